#!/usr/bin/env bash
# Builds everything and runs every test: once optimised, once under AddressSanitizer and
# UndefinedBehaviorSanitizer. Benchmarks are built (so they keep compiling) but not run here.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
jobs=$(nproc)

run_suite() {
  local dir=$1; shift
  cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs")
}

run_suite "$root/build/test-release" -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_suite "$root/build/test-sanitize" -DCMAKE_BUILD_TYPE=Debug -DQEX_SANITIZE=ON -DQEX_BUILD_BENCH=OFF
echo "All tests passed."
