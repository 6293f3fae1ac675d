#!/usr/bin/env bash
# Builds Lumavox QEX (release) and starts it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQEX_BUILD_TESTS=OFF -DQEX_BUILD_BENCH=OFF >/dev/null
cmake --build "$root/build/release" --target qex
exec "$root/build/release/bin/qex"
