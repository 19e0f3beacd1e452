#!/usr/bin/env bash
# Checks an installation as a user makes one: `cmake --install` into a fresh
# prefix, a C program built with nothing but `pkg-config --cflags --libs
# vexaxd_p`, and `pip install languages/python` into a fresh virtual
# environment (with the system's numpy) whose package finds the installed
# library without VEXA_LIBRARY. Both drive the build's engine home.
#   tools/check-install.sh [build directory]
set -euo pipefail
build=$(realpath "${1:-build}")
source_dir=$(realpath "$(dirname "$0")/..")
home="$build/tools/engine"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

cmake --install "$build" --prefix "$prefix" > "$work/install.log"
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"

cat > "$work/count.c" <<'C'
#include <stdio.h>
#include <vexaxd_p.h>
int main(int argc, char** argv) {
    char arguments[4096];
    snprintf(arguments, sizeof arguments, "-vexahome=%s,", argc > 1 ? argv[1] : "");
    int status = StartVexa(arguments);
    if (status != VEXA_OK) return fprintf(stderr, "StartVexa: %d\n", status), 1;
    int err = 0;
    const int count = GetVariableCount(&err);
    StopVexa();
    if (err) return fprintf(stderr, "GetVariableCount: %d\n", err), 1;
    printf("%d variables\n", count);
    return count > 0 ? 0 : 1;
}
C
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Werror -o "$work/count" "$work/count.c" $(pkg-config --cflags --libs vexaxd_p)
echo "C program built with pkg-config only: $("$work/count" "$home")"

# pip builds in the folder it is given: a copy keeps the sources clean.
cp -r "$source_dir/languages/python" "$work/package"
/usr/bin/python3 -m venv --system-site-packages "$work/venv"
"$work/venv/bin/pip" install --quiet --no-build-isolation --no-deps "$work/package" \
    > "$work/pip.log" 2>&1 || { cat "$work/pip.log"; exit 1; }
(cd "$work" && env -u VEXA_LIBRARY -u PYTHONPATH "$work/venv/bin/python" - "$home" <<'PY'
import sys
import vexa
import vexa.data
if vexa._native.blocks() is None:
    sys.exit("the installed package has no compiled part")
with vexa.session(sys.argv[1]):
    columns = vexa.data.read()
    rows = {len(values) for values in columns.values()}
print(f"pip-installed package, library {vexa._native.library()._name}: "
      f"{len(columns)} variables x {rows.pop()} cases")
PY
)
