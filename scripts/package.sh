#!/usr/bin/env bash
# Builds the Debian package: a release build of the three programs in build-package/, packed by
# CPack with the programs stripped, as build-package/tonwright_VERSION_ARCH.deb.
# Install it with: sudo apt-get install ./build-package/tonwright_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh package
dir=build-package
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release \
      -DTONWRIGHT_BUILD_TESTS=OFF -DTONWRIGHT_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" -j2 --target programs
rm -f "$dir"/*.deb
(cd "$dir" && cpack -G DEB)
ls "$dir"/*.deb
