#!/usr/bin/env bash
# Builds Lumavox QEX (release) and its Debian package, build/package/lumavox-qex_<version>_<arch>.deb.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build/package" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DQEX_BUILD_TESTS=OFF -DQEX_BUILD_BENCH=OFF >/dev/null
cmake --build "$root/build/package"
cd "$root/build/package" && cpack -G DEB
