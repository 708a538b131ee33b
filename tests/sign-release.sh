#!/usr/bin/env bash
# sign-release.sh BUILD-DIR RELEASE-NAME MAKE-RELEASE-COMMAND...
# Makes a throw-away certificate authority and a code-signing certificate it issues, runs the
# release step with that certificate configured, and checks the signed release: every binary's
# signature verifies against that authority (and not against another one), the DLLs pass the
# PE checks as signed release DLLs with the PDBs of the symbols archive beside them, and with
# the signatures removed the binaries are again the build's unsigned bytes. Leaves the signed
# files in BUILD-DIR/signed/unpacked, where the Wine tests load them.
set -euo pipefail
build=$1
name=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
out="$build/signed"
rm -rf "$out"
mkdir -p "$out/pki" "$out/unpacked"
pki="$out/pki"

fail() {
    echo "FAIL: $*"
    exit 1
}

# authority NAME: a self-signed certificate authority.
authority() {
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=$1" -keyout "$pki/$1.key" -out "$pki/$1.pem" \
        -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
}
authority "Throw-away Test CA"
authority "Another Test CA"
openssl req -newkey rsa:2048 -nodes -subj "/CN=Kestrova tuner plug-ins test signer" \
    -keyout "$pki/signer.key" -out "$pki/signer.csr" 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >"$pki/signer.ext"
openssl x509 -req -in "$pki/signer.csr" -CA "$pki/Throw-away Test CA.pem" -CAkey "$pki/Throw-away Test CA.key" \
    -CAcreateserial -days 2 -extfile "$pki/signer.ext" -out "$pki/signer.pem" 2>/dev/null
password=throw-away
openssl pkcs12 -export -inkey "$pki/signer.key" -in "$pki/signer.pem" -passout "pass:$password" -out "$pki/signer.pfx"

TUNER_SIGN_PFX="$pki/signer.pfx" TUNER_SIGN_PASSWORD=$password "$@" >"$out/release.log" 2>&1 \
    || { cat "$out/release.log"; fail "the release step failed"; }
cat "$out/release.log"
grep -q "Signed the binaries" "$out/release.log" || fail "the release step did not sign"

unzip -q "$out/$name.zip" -d "$out/unpacked"
unzip -q -j "$out/$name-symbols.zip" -d "$out/unpacked/$name"
signed="$out/unpacked/$name"
(cd "$signed" && sha256sum --check --strict --quiet SHA256SUMS) || fail "checksums do not match the signed files"

binaries=(Dovrane.dll Dovrane2.dll Tarrik2.dll Tarrik.dll tuner-host.exe)
for binary in "${binaries[@]}"; do
    osslsigncode verify -CAfile "$pki/Throw-away Test CA.pem" -in "$signed/$binary" >"$out/verify.log" 2>&1 \
        || { cat "$out/verify.log"; fail "$binary: the signature does not verify"; }
    echo "$binary: signature verifies against the test authority"
    if osslsigncode verify -CAfile "$pki/Another Test CA.pem" -in "$signed/$binary" >/dev/null 2>&1; then
        fail "$binary: the signature verifies against an authority that did not issue it"
    fi
    osslsigncode remove-signature -in "$signed/$binary" -out "$out/$binary.unsigned" >/dev/null
    # Removing a signature also fills in the header's checksum, which the build leaves 0 (lld
    # writes none): set it back before comparing.
    /usr/bin/python3 -c 'import pefile, sys
pe = pefile.PE(sys.argv[1])
pe.OPTIONAL_HEADER.CheckSum = 0
pe.write(sys.argv[1])' "$out/$binary.unsigned"
    case $binary in
    *.dll) unsigned="$build/plugins/$binary" ;;
    *) unsigned="$build/host/$binary" ;;
    esac
    cmp "$out/$binary.unsigned" "$unsigned" || fail "$binary without its signature is not the unsigned build"
    echo "$binary: without its signature, the same bytes as the unsigned build"
done

/usr/bin/python3 "$here/../tools/pe-check/pe-check.py" plugin --release --signed \
    "$signed/Dovrane.dll" "$signed/Dovrane2.dll" "$signed/Tarrik2.dll" "$signed/Tarrik.dll"
