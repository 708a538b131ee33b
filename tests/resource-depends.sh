#!/usr/bin/env bash
# resource-depends.sh BUILD-DIR NINJA VARIANT...
# Each deliverable's version resource depends, in the build graph, on its Variant.h: changing a
# deliverable's constants rebuilds its file properties as well as its code, so an incremental
# build never ships a DLL whose properties disagree with what it reports.
set -euo pipefail
build=$1
ninja=$2
shift 2
failed=0
for variant in "$@"; do
    resource="CMakeFiles/$variant.dir/plugin/VersionInfo.rc.res"
    deps=$("$ninja" -C "$build" -t deps "$resource")
    if grep -q "/variants/$variant/Variant.h$" <<<"$deps"; then
        echo "$variant: the version resource depends on variants/$variant/Variant.h"
    else
        echo "FAIL: $variant: the version resource does not depend on variants/$variant/Variant.h:"
        printf '%s\n' "$deps"
        failed=1
    fi
done
exit "$failed"
