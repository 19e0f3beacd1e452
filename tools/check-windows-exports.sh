#!/usr/bin/env bash
# Fails unless the DLL exports every function of the public header by name,
# and no plain (C) name besides them: the C and threads runtimes linked into
# it stay inside. Prints the counts.
#   tools/check-windows-exports.sh path/to/vexaxd_p.dll path/to/vexaxd_p.h include-dir
set -euo pipefail
dll=$1 header=$2 includes=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
x86_64-w64-mingw32-gcc-posix -fsyntax-only -aux-info "$work/aux" -x c -I "$includes" "$header"
grep -F "$(basename "$header"):" "$work/aux" | sed -E 's/.*[ *]([A-Za-z_][A-Za-z0-9_]*) \(.*/\1/' |
    sort -u >"$work/declared"
x86_64-w64-mingw32-objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    grep -E '^\s*\[ *[0-9]+\]' | awk '{print $NF}' | grep -v '^_Z' | sort -u >"$work/plain"
missing=$(comm -23 "$work/declared" "$work/plain")
extra=$(comm -13 "$work/declared" "$work/plain")
echo "header functions: $(wc -l <"$work/declared"), plain exports: $(wc -l <"$work/plain")"
status=0
if [[ -n $missing ]]; then
    echo "declared but not exported:" $missing >&2
    status=1
fi
if [[ -n $extra ]]; then
    echo "exported but not declared:" $extra >&2
    status=1
fi
exit $status
