#!/usr/bin/env bash
# Draws the program's parts and the arrows between them as the build declares them: the
# graph of CMake's targets, kept to the program's own, laid out by graphviz's dot.
#   tools/partsgraph.sh [OUT.svg]      (default docs/parts.svg)
# Needs graphviz (tools/install-deps.sh --screenshots).
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-docs/parts.svg}")
command -v dot >/dev/null || bash tools/install-deps.sh graphviz
build=$(mktemp -d)
trap 'rm -rf "$build"' EXIT

# Qt and other outside libraries, the tools and the aggregate that tests link stay out.
cat >"$build/CMakeGraphVizOptions.cmake" <<'OPTIONS'
set(GRAPHVIZ_GRAPH_NAME "Quillmark")
set(GRAPHVIZ_EXTERNAL_LIBS FALSE)
set(GRAPHVIZ_IGNORE_TARGETS "^quillmark_core$" "^makeicons$" "^librarytour$")
set(GRAPHVIZ_GENERATE_PER_TARGET FALSE)
set(GRAPHVIZ_GENERATE_DEPENDERS FALSE)
OPTIONS
cmake -S . -B "$build" -DQUILLMARK_BUILD_TESTS=OFF -DQUILLMARK_BUILD_BENCH=OFF \
    --graphviz="$build/parts.dot" >/dev/null

# Each part named by its folder (what a part may use besides is in its folder's
# CMakeLists.txt); without CMake's legend of shapes, every arrow drawn alike.
sed -e '/^subgraph clusterLegend {/,/^}/d' -e 's/ \[ style = dotted \]//' \
    -e 's|label = "quillmark_library"|label = "app/library\\nlibrary engine\\n(Qt Core, Concurrent, Sql)"|' \
    -e 's|label = "quillmark_inspection"|label = "app/inspection\\ninspection"|' \
    -e 's|label = "quillmark_files"|label = "app/files\\nfile actions"|' \
    -e 's|label = "quillmark_window"|label = "app/window\\nwindow"|' \
    -e 's|label = "quillmark"|label = "app/main.cpp\\nquillmark"|' \
    -e 's|label = "dovetalk[^"]*"|label = "lib\\nDovetalk"|' \
    "$build/parts.dot" >"$build/labelled.dot"
mkdir -p "$(dirname "$out")"
dot -Grankdir=TB -Nfontname=sans -T"${out##*.}" "$build/labelled.dot" -o "$out"
echo "$out"
