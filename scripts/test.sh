#!/usr/bin/env bash
# Builds everything and runs every test three times: optimised, under AddressSanitizer and
# UndefinedBehaviorSanitizer, and under ThreadSanitizer (the engine's threads, the module's
# panel against its audio thread, the main window's chain). Compiler warnings are errors.
# Benchmarks are built (so they keep compiling) but not run here.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
jobs=$(nproc)

run_suite() {
  local dir=$1; shift
  cmake -S "$root" -B "$dir" -G Ninja -DQEX_WARNINGS_AS_ERRORS=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs")
}

run_suite "$root/build/test-release" -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_suite "$root/build/test-sanitize" -DCMAKE_BUILD_TYPE=Debug -DQEX_SANITIZE=ON -DQEX_BUILD_BENCH=OFF
TSAN_OPTIONS="suppressions=$root/tests/tsan.supp" \
  run_suite "$root/build/test-thread" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQEX_SANITIZE_THREAD=ON -DQEX_BUILD_BENCH=OFF
echo "All tests passed."
