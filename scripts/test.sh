#!/usr/bin/env bash
# Builds everything and runs every test: once optimised, once under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the control panel's tests, which edit the parameters while the
# audio thread processes, once more under ThreadSanitizer. Benchmarks are built (so they keep
# compiling) but not run here.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
jobs=$(nproc)

# run_suite DIR TARGET TESTS CMAKE-OPTIONS...: builds TARGET ("all" for everything) and runs the
# tests whose names match the regular expression TESTS.
run_suite() {
  local dir=$1 target=$2 tests=$3; shift 3
  cmake -S "$root" -B "$dir" -G Ninja -DQEX_WARNINGS_AS_ERRORS=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs" --target "$target"
  (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs" -R "$tests")
}

run_suite "$root/build/test-release" all . -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_suite "$root/build/test-sanitize" all . -DCMAKE_BUILD_TYPE=Debug -DQEX_SANITIZE=ON -DQEX_BUILD_BENCH=OFF
run_suite "$root/build/test-thread" qex_panel_tests '^(PanelTest|PanelLibrary)\.' \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQEX_SANITIZE_THREAD=ON -DQEX_BUILD_BENCH=OFF
echo "All tests passed."
