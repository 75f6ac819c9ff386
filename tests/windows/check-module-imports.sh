#!/usr/bin/env bash
# Checks a Windows module's export and import tables as `objdump -p` reports them:
# the exported names must be exactly the expected ones, and the imported DLLs exactly the
# expected system DLLs, which any Windows machine has, so the module loads with nothing else
# installed and gains no import unnoticed.
#
#   check-module-imports.sh OBJDUMP MODULE IMPORTED-DLLS EXPECTED-EXPORT...
#
# IMPORTED-DLLS is one word, the names joined by commas, e.g. KERNEL32.dll,msvcrt.dll.
set -euo pipefail

objdump=$1 module=$2
expected_imports=$(tr ',' '\n' <<<"$3" | sort -f)
shift 3
expected=$(printf '%s\n' "$@" | sort)
allowed_imports='^(KERNEL32\.dll|msvcrt\.dll|USER32\.dll|GDI32\.dll)$'

headers=$("$objdump" -p "$module")
exports=$(awk '/^\[Ordinal\/Name Pointer\] Table/ {table = 1; next}
               table && /^\t\[ *[0-9]+\]/ {print $NF; next}
               table {table = 0}' <<<"$headers" | sort)
imports=$(awk '/^\tDLL Name: / {print $3}' <<<"$headers")

status=0
if [[ $exports != "$expected" ]]; then
    echo "exports of $module:" $exports "; expected:" $expected >&2
    status=1
fi
if [[ -z $imports ]]; then
    echo "no import table found in $module" >&2
    status=1
fi
if [[ $(sort -f <<<"$imports") != "$expected_imports" ]]; then
    echo "imports of $module:" $imports "; expected:" $expected_imports >&2
    status=1
fi
while read -r dll; do
    if ! grep -qiE "$allowed_imports" <<<"$dll"; then
        echo "$module imports $dll, which is not a system DLL" >&2
        status=1
    fi
done <<<"$imports"
echo "exports:" $exports
echo "imports:" $imports
exit $status
