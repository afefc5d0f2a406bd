#!/usr/bin/env bash
# Sets up what is missing, then builds and runs every test through CTest:
# once in a normal build and once under AddressSanitizer and
# UndefinedBehaviorSanitizer, the threaded tests once more under ThreadSanitizer;
# then runs each fuzz target briefly.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/install-deps.sh
jobs=$(nproc)

# run_suite BUILD_DIR "CTEST ARGS" CMAKE ARGS...
run_suite() {
  local dir=$1 filter=$2; shift 2
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  # shellcheck disable=SC2086
  ctest --test-dir "$dir" --output-on-failure -j"$jobs" $filter
}

echo "== tests (RelWithDebInfo)"
run_suite build/test "" -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== tests under AddressSanitizer + UndefinedBehaviorSanitizer"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite build/asan "" -DCMAKE_BUILD_TYPE=Debug -DRC_SANITIZE=address,undefined -DRC_BUILD_EXAMPLES=OFF

echo "== thread tests under ThreadSanitizer"
TSAN_OPTIONS=halt_on_error=1 \
  run_suite build/tsan "-R Thread" -DCMAKE_BUILD_TYPE=Debug -DRC_SANITIZE=thread -DRC_BUILD_EXAMPLES=OFF \
  -DRC_BUILD_TOOLS=OFF

echo "== fuzzing each target briefly"
bash fuzz/run.sh 5
