#!/usr/bin/env bash
# Prints the size of the tests against the size of the code: C++ lines under tests/
# (fuzz targets and test support included, data files and captured listings not)
# divided by those of app/, lib/ and tools/. Blank lines and // comment lines do
# not count.
set -euo pipefail
cd "$(dirname "$0")/.."

lines() {
    find "$@" \( -path tests/data -o -path tests/fuzz/corpus \) -prune -o -type f \
        \( -name '*.cpp' -o -name '*.cc' -o -name '*.cxx' -o -name '*.h' -o -name '*.hpp' \) \
        -print0 | xargs -0 -r cat | grep -cv '^[[:space:]]*\(//.*\)\?$' || true
}

tests=$(lines tests)
code=$(lines app lib tools)
echo "tests $tests lines, code $code lines: $((100 * tests / code)) %"
