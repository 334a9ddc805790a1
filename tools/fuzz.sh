#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz/) and runs each for a bounded
# time, starting from the seeds in tests/fuzz/corpus; a crash, leak or timeout fails.
#   tools/fuzz.sh [seconds per target, default 60]
# Inputs found along the way collect in build-fuzz/corpus, failing ones in build-fuzz/artifacts.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-60}

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUILLMARK_BUILD_FUZZ=ON -DQUILLMARK_BUILD_TESTS=OFF -DQUILLMARK_BUILD_BENCH=OFF
cmake --build build-fuzz -j"$(nproc)" --target fuzz_ziplisting fuzz_hvamjson fuzz_vararchive \
    fuzz_referencescanner

# Full stacks through Qt (built without frame pointers), so that the suppressions of
# leaks inside Qt see where an allocation started.
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:fast_unwind_on_malloc=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0"

# run TARGET [libFuzzer options] [-- further seed folders]. New inputs go to the first
# folder named, build-fuzz/corpus/TARGET; the seed folders are only read.
run() {
    local target=$1
    shift
    local options=() seeds=("tests/fuzz/corpus/$target")
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do
        options+=("$1")
        shift
    done
    [ $# -gt 0 ] && shift
    seeds+=("$@")
    mkdir -p "build-fuzz/corpus/$target" build-fuzz/artifacts
    echo "== $target for ${seconds}s"
    "build-fuzz/tests/fuzz/$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
        -max_len=65536 -print_final_stats=1 -artifact_prefix="build-fuzz/artifacts/$target-" \
        "${options[@]}" "build-fuzz/corpus/$target" "${seeds[@]}" < /dev/null
}

run fuzz_ziplisting -- tests/data/listings
run fuzz_hvamjson -dict=tests/fuzz/json.dict
run fuzz_vararchive
run fuzz_referencescanner -dict=tests/fuzz/json.dict
