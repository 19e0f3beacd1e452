#!/usr/bin/env bash
# R CMD check of the R package, built against the build's library: its
# examples that need an engine are not run, its code, documentation and
# native routines are checked. Fails on any error or warning.
#   tools/check-r-package.sh [build directory]
set -euo pipefail
build=$(realpath "${1:-build}")
source_dir=$(realpath "$(dirname "$0")/..")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export VEXA_API_INCLUDE="$source_dir/backend/drivex/vexaxd_p"
export VEXA_COMMON_INCLUDE="$source_dir/backend/drivex/common/include"
export VEXA_LIBRARY_DIR="$build/backend/drivex/vexaxd_p"
cd "$work"
R CMD build --no-build-vignettes "$source_dir/languages/r/vexa" > build.log 2>&1 || { cat build.log; exit 1; }
_R_CHECK_FORCE_SUGGESTS_=false R CMD check --no-manual vexa_*.tar.gz > check.log 2>&1 || true
cat check.log
if grep -q "^Status: .*\(ERROR\|WARNING\)" check.log || ! grep -q "^Status:" check.log; then
    echo "R CMD check: errors or warnings" >&2
    exit 1
fi
