#!/usr/bin/env bash
# Builds the Debian package of Quillmark (installing what it needs): a release build
# for the /usr prefix in build-package/, packed by CPack. Prints the package's path.
#   tools/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
      -DQUILLMARK_BUILD_TESTS=OFF -DQUILLMARK_BUILD_BENCH=OFF
cmake --build build-package -j"$(nproc)"
(cd build-package && cpack -G DEB)
ls "$PWD"/build-package/quillmark_*.deb
