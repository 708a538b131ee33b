#!/usr/bin/python3
"""Checks built plug-in DLLs as a loader, a debugger and a packager see them.

  pe-check plugin [--release] [--signed] FILE...
        each FILE is a self-contained plug-in DLL (exports, imports, flags, version resource);
        --release: as the release links it, its load configuration also takes its imports from
        the system folder only, and its debug directory names the PDB beside it, whose signature
        matches; --signed: it carries an Authenticode certificate table
  pe-check identical A B
        A and B are the same bytes
  pe-check only-names-differ A B
        A and B differ in nothing but their names: the export directory's library name, the
        version resource's file names and the PDB that each names
  pe-check version FILE KEY=VALUE...
        FILE's version resource holds these strings

Prints what it found; exits 1 when a check fails, 2 on a usage or read error. Reads the images
with pefile and the PDBs with LLVM's llvm-pdbutil.
"""

import os
import re
import subprocess
import sys

import pefile

PLUGIN_EXPORTS = [(1, "SetTunerFrequency"), (2, "TunerGetProperties")]
PLUGIN_IMPORTS = {"HID.DLL", "KERNEL32.DLL", "SETUPAPI.DLL"}
RETURN_TRUE = bytes([0xB8, 0x01, 0x00, 0x00, 0x00, 0xC2, 0x0C, 0x00])  # mov eax, 1; ret 12
SEARCH_SYSTEM32 = 0x0800  # LOAD_LIBRARY_SEARCH_SYSTEM32
WINDOWS_GUI = 2

DLL_FLAGS = pefile.DLL_CHARACTERISTICS
DIRECTORY = pefile.DIRECTORY_ENTRY


class UsageError(Exception):
    pass


def load(path):
    try:
        return pefile.PE(path)
    except (OSError, pefile.PEFormatError) as error:
        raise UsageError(f"cannot read {path}: {error}") from error


def directory(pe, name):
    return pe.OPTIONAL_HEADER.DATA_DIRECTORY[DIRECTORY[name]]


def text(value):
    return value.decode("latin-1") if isinstance(value, bytes) else str(value)


def exports(pe):
    if not hasattr(pe, "DIRECTORY_ENTRY_EXPORT"):
        return "", []
    table = pe.DIRECTORY_ENTRY_EXPORT
    return text(table.name or b""), [(e.ordinal, text(e.name) if e.name else "", e.address) for e in table.symbols]


def imports(pe):
    return {
        text(entry.dll).upper(): [text(i.name) if i.name else f"#{i.ordinal}" for i in entry.imports]
        for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
    }


def version_info(pe):
    """The version resource's strings, plus its fixed file and product versions."""
    info = {}
    for file_info in getattr(pe, "FileInfo", []):
        for entry in file_info:
            for table in getattr(entry, "StringTable", []):
                info.update({text(k): text(v) for k, v in table.entries.items()})
    for fixed in getattr(pe, "VS_FIXEDFILEINFO", []):
        quad = lambda ms, ls: f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"
        info["(fixed file version)"] = quad(fixed.FileVersionMS, fixed.FileVersionLS)
        info["(fixed product version)"] = quad(fixed.ProductVersionMS, fixed.ProductVersionLS)
    return info


def resource_types(pe):
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return []
    return [entry.id for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries]


def dependent_load_flags(pe):
    """The load configuration's dependent-load flags, or None without a load configuration
    large enough to hold them."""
    config = getattr(pe, "DIRECTORY_ENTRY_LOAD_CONFIG", None)
    if config is None or config.struct.Size < 0x38:
        return None
    struct = config.struct
    # Older pefile releases call the field by its former name.
    return getattr(struct, "DependentLoadFlags", getattr(struct, "Reserved1", None))


def codeview(pe):
    """The CodeView record of the debug directory: (PDB file name, GUID text, age), or None."""
    for entry in getattr(pe, "DIRECTORY_ENTRY_DEBUG", []):
        record = entry.entry
        if entry.struct.Type == pefile.DEBUG_TYPE["IMAGE_DEBUG_TYPE_CODEVIEW"] and record is not None \
                and text(record.CvSignature) == "RSDS":
            guid = "{:08X}-{:04X}-{:04X}-{}-{}".format(
                record.Signature_Data1, record.Signature_Data2, record.Signature_Data3,
                record.Signature_Data4.to_bytes(1, "little").hex().upper() + record.Signature_Data5.to_bytes(1, "little").hex().upper(),
                record.Signature_Data6.hex().upper())
            return text(record.PdbFileName).rstrip("\0"), guid, record.Age
    return None


def pdb_signature(path):
    """(GUID text, age) of a PDB file, as llvm-pdbutil reads them."""
    tool = os.environ.get("LLVM_PDBUTIL", "llvm-pdbutil")
    result = subprocess.run([tool, "dump", "-summary", path], capture_output=True, text=True, check=False)
    guid = re.search(r"GUID: \{([0-9A-F-]+)\}", result.stdout)
    age = re.search(r"Age: (\d+)", result.stdout)
    if result.returncode != 0 or not guid or not age:
        return None
    return guid.group(1), int(age.group(1))


def check_pdb(pe, path, problems):
    record = codeview(pe)
    want = os.path.splitext(os.path.basename(path))[0] + ".pdb"
    if record is None or not record[0]:
        problems.append("no PDB reference in its debug directory: crash dumps cannot be read")
        return "none"
    name, guid, age = record
    if name != want:
        problems.append(f'its debug directory names the PDB "{name}", not {want}')
        return name
    pdb = os.path.join(os.path.dirname(path), want)
    found = pdb_signature(pdb) if os.path.exists(pdb) else None
    if found != (guid, age):
        problems.append(f"{want} does not match it: the DLL wants {{{guid}}} age {age}, the PDB is {found}")
    return f"{name} {{{guid}}} age {age}"


def check_plugin(path, release, want_signed):
    """The problems of one plug-in DLL; also prints what it found."""
    pe = load(path)
    problems = []
    file_name = os.path.basename(path)
    header = pe.OPTIONAL_HEADER
    flags = header.DllCharacteristics

    if pe.FILE_HEADER.Machine != pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"] or not pe.is_dll():
        problems.append("not a 32-bit x86 DLL")

    export_name, symbols = exports(pe)
    export_text = [f"@{ordinal} {name or '(no name)'}" for ordinal, name, _ in symbols]
    if sorted((o, n) for o, n, _ in symbols) != PLUGIN_EXPORTS:
        problems.append("exports are not exactly @1 SetTunerFrequency and @2 TunerGetProperties: "
                        + ", ".join(export_text))
    if export_name != file_name:
        problems.append(f'export directory names the library "{export_name}", not {file_name}')

    imported = imports(pe)
    import_text = "; ".join(f"{dll} ({', '.join(names)})" for dll, names in sorted(imported.items()))
    if set(imported) != PLUGIN_IMPORTS:
        problems.append("imports other than HID.DLL, KERNEL32.DLL and SETUPAPI.DLL: " + import_text)

    if not flags & DLL_FLAGS["IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE"]:
        problems.append("address-space randomisation (DYNAMIC_BASE) not enabled")
    if not flags & DLL_FLAGS["IMAGE_DLLCHARACTERISTICS_NX_COMPAT"]:
        problems.append("no-execute data (NX_COMPAT) not enabled")
    if not flags & DLL_FLAGS["IMAGE_DLLCHARACTERISTICS_NO_SEH"]:
        problems.append("does not declare that it has no exception handlers (NO_SEH), as a 32-bit image must "
                        "for loaders that check for safe handlers")
    if header.Subsystem != WINDOWS_GUI:
        problems.append(f"subsystem {header.Subsystem}, not the Windows subsystem (2) that DLLs carry")
    load_flags = dependent_load_flags(pe)
    if release and load_flags != SEARCH_SYSTEM32:
        found = "no load configuration" if load_flags is None else f"dependent-load flags 0x{load_flags:04X}"
        problems.append(f"its imports are not taken from the system folder only ({found}, not "
                        "LOAD_LIBRARY_SEARCH_SYSTEM32 0x0800)")
    if directory(pe, "IMAGE_DIRECTORY_ENTRY_BASERELOC").Size == 0:
        problems.append("no base relocations: the DLL cannot be moved")
    if directory(pe, "IMAGE_DIRECTORY_ENTRY_TLS").Size != 0:
        problems.append("has a thread-local storage directory: code may run at load")
    entry = header.AddressOfEntryPoint
    if entry == 0:
        problems.append("no entry point")
    elif pe.get_data(entry, len(RETURN_TRUE)) != RETURN_TRUE:
        problems.append("the entry point does more than return TRUE")
    for section in pe.sections:
        name = text(section.Name).rstrip("\0")
        if name in (".CRT", ".ctors", ".tls"):
            problems.append(f"has a {name} section: code may run at load")
    if pe.FILE_HEADER.TimeDateStamp != 0:
        problems.append("carries a time stamp: builds are not reproducible")

    version = version_info(pe)
    if resource_types(pe) != [pefile.RESOURCE_TYPE["RT_VERSION"]]:
        problems.append("resources other than one version resource")
    for name in ("OriginalFilename", "InternalName"):
        if version.get(name, "") != file_name:
            problems.append(f'version resource\'s {name} is "{version.get(name, "")}", not {file_name}')
    for name in ("FileDescription", "ProductName"):
        if not version.get(name):
            problems.append(f"version resource has no {name}")
    fixed = version.get("(fixed file version)", "")
    if not fixed or {version.get("FileVersion"), version.get("ProductVersion"),
                     version.get("(fixed product version)")} != {fixed}:
        problems.append(f"file and product versions disagree: {version.get('FileVersion', '')}, "
                        f"{version.get('ProductVersion', '')}, fixed {fixed}")

    pdb_text = check_pdb(pe, path, problems) if release else (codeview(pe) or ("none",))[0]
    signed = directory(pe, "IMAGE_DIRECTORY_ENTRY_SECURITY").Size != 0
    if want_signed and not signed:
        problems.append("no certificate table: not signed")

    set_flags = [name[len("IMAGE_DLLCHARACTERISTICS_"):] for name, value in DLL_FLAGS.items()
                 if isinstance(name, str) and flags & value]
    print(f"{file_name}: {len(pe.__data__)} bytes\n"
          f"  exports: {', '.join(export_text)}\n"
          f"  imports: {import_text}\n"
          f"  DLL characteristics: 0x{flags:04X} ({' '.join(set_flags)}); subsystem {header.Subsystem}; "
          f"time stamp {pe.FILE_HEADER.TimeDateStamp}\n"
          f"  load configuration: "
          + ("none" if load_flags is None else f"dependent-load flags 0x{load_flags:04X}") + "\n"
          f"  debug directory: {pdb_text}\n"
          f"  certificate table: {'present' if signed else 'none'}\n"
          f"  version: {version.get('FileVersion', '')} \"{version.get('ProductName', '')}\", "
          f"\"{version.get('FileDescription', '')}\"")
    return problems


def comparable(pe):
    """What must be equal in two deliverables that differ only in their names: the image's bytes
    with the places that hold or follow from a name blanked out, and the targets of its base
    relocations by meaning (an imported function, or an address). The export directory, the
    import tables after it, the resources and the debug record move or change with the names;
    what they say is compared apart."""
    data = bytearray(pe.__data__)

    def blank(offset, length):
        data[offset:offset + length] = bytes(length)

    blank(pe.OPTIONAL_HEADER.get_field_absolute_offset("CheckSum"), 4)
    for size_field in ("SizeOfInitializedData", "SizeOfImage"):
        blank(pe.OPTIONAL_HEADER.get_field_absolute_offset(size_field), 4)
    for name in ("IMAGE_DIRECTORY_ENTRY_EXPORT", "IMAGE_DIRECTORY_ENTRY_IMPORT", "IMAGE_DIRECTORY_ENTRY_RESOURCE",
                 "IMAGE_DIRECTORY_ENTRY_IAT", "IMAGE_DIRECTORY_ENTRY_DEBUG"):
        entry = directory(pe, name)
        blank(entry.get_file_offset(), 8)
    export_start = directory(pe, "IMAGE_DIRECTORY_ENTRY_EXPORT").VirtualAddress
    for section in pe.sections:
        blank(section.get_field_absolute_offset("Misc_VirtualSize"), 4)
        name = text(section.Name).rstrip("\0")
        if name in (".rsrc", ".buildid", ".edata"):
            blank(section.PointerToRawData, section.SizeOfRawData)
        elif section.contains_rva(export_start):
            # Everything from the export directory on: exports, then the imports, whose places
            # shift with the length of the library's name.
            start = section.PointerToRawData + export_start - section.VirtualAddress
            blank(start, section.PointerToRawData + section.SizeOfRawData - start)

    slots = {imp.address - pe.OPTIONAL_HEADER.ImageBase: f"{text(entry.dll).upper()}!{text(imp.name)}"
             for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []) for imp in entry.imports}
    targets = []
    for block in getattr(pe, "DIRECTORY_ENTRY_BASERELOC", []):
        for reloc in block.entries:
            if reloc.type == 0:
                continue
            target = pe.get_dword_at_rva(reloc.rva) - pe.OPTIONAL_HEADER.ImageBase
            targets.append((reloc.rva, slots.get(target, target)))
            blank(pe.get_offset_from_rva(reloc.rva), 4)
    return bytes(data), targets


def version_without_names(pe):
    version = version_info(pe)
    version.pop("OriginalFilename", None)
    version.pop("InternalName", None)
    return version


def identical(a, b):
    """Any two files, PDBs included, byte for byte."""
    try:
        with open(a, "rb") as first, open(b, "rb") as second:
            same = first.read() == second.read()
    except OSError as error:
        raise UsageError(str(error)) from error
    if not same:
        print(f"FAIL: {a} and {b} differ")
        return 1
    print(f"{a} and {b} are identical ({os.path.getsize(a)} bytes)")
    return 0


def only_names_differ(a, b):
    first, second = load(a), load(b)
    problems = []
    if comparable(first) != comparable(second):
        problems.append("code, data, imports or relocations differ")
    if imports(first) != imports(second):
        problems.append("their imports differ")
    if version_without_names(first) != version_without_names(second) \
            or resource_types(first) != resource_types(second):
        problems.append("their resources differ in more than the file names")
    if exports(first)[1] != exports(second)[1]:
        problems.append("their exports differ")
    for problem in problems:
        print(f"FAIL: {a} / {b}: {problem}")
    if problems:
        return 1
    print(f"{os.path.basename(a)} and {os.path.basename(b)} differ only in their names "
          f"(\"{exports(first)[0]}\", \"{exports(second)[0]}\" in the export directory and version)")
    return 0


def version(path, expected):
    found = version_info(load(path))
    failed = 0
    for pair in expected:
        key, _, want = pair.partition("=")
        if found.get(key, "") != want:
            print(f'FAIL: {os.path.basename(path)}: {key} is "{found.get(key, "")}", expected "{want}"')
            failed = 1
        else:
            print(f'{os.path.basename(path)}: {key} = "{want}"')
    return failed


def main(args):
    if len(args) >= 2 and args[0] == "plugin":
        options = {arg for arg in args[1:] if arg.startswith("--")}
        files = [arg for arg in args[1:] if not arg.startswith("--")]
        if not files or not options <= {"--release", "--signed"}:
            raise UsageError(__doc__)
        failed = 0
        for path in files:
            for problem in check_plugin(path, "--release" in options, "--signed" in options):
                print(f"FAIL: {os.path.basename(path)}: {problem}")
                failed = 1
        return failed
    if len(args) == 3 and args[0] == "identical":
        return identical(args[1], args[2])
    if len(args) == 3 and args[0] == "only-names-differ":
        return only_names_differ(args[1], args[2])
    if len(args) >= 3 and args[0] == "version":
        return version(args[1], args[2:])
    raise UsageError(__doc__)


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except UsageError as error:
        print(f"pe-check: {error}", file=sys.stderr)
        sys.exit(2)
