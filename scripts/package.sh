#!/usr/bin/env bash
# Builds Lumavox QEX (release) and its Debian package, build/package/lumavox-qex_<version>_<arch>.deb,
# with Debian's own compiler and linker flags (hardening: fortified functions, full RELRO).
set -euo pipefail
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# No debug information: the processing module also travels inside qex, where stripping cannot reach.
export DEB_CFLAGS_MAINT_STRIP=-g DEB_CXXFLAGS_MAINT_STRIP=-g
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
CFLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  cmake -S "$root" -B "$root/build/package" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DQEX_BUILD_TESTS=OFF -DQEX_BUILD_BENCH=OFF >/dev/null
cmake --build "$root/build/package"
cd "$root/build/package" && cpack -G DEB
