#!/usr/bin/env bash
# Builds everything from a clean build folder with many parallel jobs, several times in
# a row, to show that no two steps of the build race. Slow on a small machine.
#   tools/buildrepeat.sh [runs, default 10] [jobs, default 16]
# Builds in build-repeat/; the log of a failed run is kept as build-repeat-logs/run-N.log.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-10}
jobs=${2:-16}
build="build-repeat"
logs="build-repeat-logs"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
mkdir -p "$logs"

failed=0
for ((run = 1; run <= runs; run++)); do
    rm -rf "$build"
    log=$logs/run-$run.log
    start=$SECONDS
    if cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >"$log" 2>&1 &&
        cmake --build "$build" -j"$jobs" >>"$log" 2>&1; then
        echo "run $run: ok in $((SECONDS - start)) s"
        rm "$log"
    else
        failed=$((failed + 1))
        echo "run $run: FAILED after $((SECONDS - start)) s, see $log"
    fi
done
rm -rf "$build"
echo "$((runs - failed)) of $runs clean builds with -j$jobs succeeded"
[ "$failed" -eq 0 ]
