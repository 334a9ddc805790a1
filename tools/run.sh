#!/usr/bin/env bash
# Builds Quillmark (installing what it needs) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release \
      -DQUILLMARK_BUILD_TESTS=OFF -DQUILLMARK_BUILD_BENCH=OFF
cmake --build build-release -j"$(nproc)" --target quillmark
exec build-release/app/quillmark "$@"
