#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for the given time on a scratch
# copy of its seed corpus (the committed corpus never grows).
#   tools/fuzz.sh <seconds-per-target>      BUILD=<dir> overrides build-fuzz
# Prints per target the executions done and whether it found anything; exits
# non-zero when any target did. Reproducers are kept under <build>/fuzz-findings.
set -uo pipefail

seconds=${1:?usage: tools/fuzz.sh <seconds-per-target>}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$root/build-fuzz}
targets=(fuzz_codec fuzz_framedreceive fuzz_configreader fuzz_enginecommands fuzz_enginedata fuzz_syntax fuzz_expression)

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVEXA_BUILD_FUZZ=ON -DVEXA_BUILD_TESTS=OFF -DVEXA_BUILD_BENCH=OFF >/dev/null || exit 2
cmake --build "$build" -j 2 --target fuzz_all >/dev/null || { echo "fuzz build failed" >&2; exit 2; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
findings=$build/fuzz-findings
failed=0
total=0
for target in "${targets[@]}"; do
    corpus=$scratch/$target
    mkdir -p "$corpus" "$findings/$target"
    cp "$root/fuzz/corpus/$target"/* "$corpus"/ 2>/dev/null
    log=$findings/$target/last.log
    "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$findings/$target/" "$corpus" >"$log" 2>&1
    status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    runs=${runs:-0}
    total=$((total + runs))
    if [ "$status" -eq 0 ]; then
        printf '%-22s %12s executions  no finding\n' "$target" "$runs"
    else
        failed=1
        printf '%-22s %12s executions  FINDING (exit %d), see %s\n' "$target" "$runs" "$status" "$log"
        grep -m3 -E 'ERROR:|runtime error:|SUMMARY:' "$log" | sed 's/^/    /'
    fi
done
printf '%-22s %12s executions\n' "all targets" "$total"
exit "$failed"
