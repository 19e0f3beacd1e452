#!/usr/bin/env bash
# Fails when the shared library exports an instance of a standard-library
# template (namespace std or __gnu_cxx): they belong to each user, not to the
# library's interface. Prints the exported counts.
#   tools/check-exports.sh path/to/libvexaxd_p.so
set -euo pipefail
library=$1
symbols=$(nm -D --defined-only "$library" | awk '{print $3}')
c_functions=$(grep -vc '^_Z' <<<"$symbols" || true)
cxx_symbols=$(grep -c '^_Z' <<<"$symbols" || true)
leaked=$(grep '^_Z' <<<"$symbols" | c++filt | grep -E '^((typeinfo|typeinfo name|vtable) for )?(std|__gnu_cxx)::|^[a-z ]+ (std|__gnu_cxx)::' || true)
echo "exported: $c_functions plain, $cxx_symbols C++"
if [[ -n $leaked ]]; then
    echo "standard-library instances exported:" >&2
    echo "$leaked" >&2
    exit 1
fi
