#!/usr/bin/env bash
# The long run: what ./test.sh leaves out for time. Every test again with
# RC_SOAK=1, which gives the randomized and generated tests their full
# volume (more rounds, larger files and trees, more thread counts), in the
# optimised build and under AddressSanitizer + UBSan, the threaded ones under
# ThreadSanitizer; then each fuzz target for longer.
#
#   scripts/soak.sh [FUZZ_SECONDS]      # per fuzz target; default 300
#
# It reuses ./test.sh's build folders when they are there. No time limit per
# test applies here beyond CTest's own, raised to 30 minutes.
set -euo pipefail
cd "$(dirname "$0")/.."
fuzz_seconds=${1:-300}
jobs=$(nproc)
bash scripts/install-deps.sh

soak() {
  local dir=$1 filter=$2
  shift 2
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  # shellcheck disable=SC2086
  RC_SOAK=1 ctest --test-dir "$dir" --output-on-failure -j"$jobs" --timeout 1800 \
    --output-junit "$PWD/$dir/soak-times.xml" $filter
  python3 scripts/test-times.py "$dir/soak-times.xml" --limit 1800 --slowest 10
}

echo "== soak: normal (optimised)"
soak build/test "" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
  -DRC_TEST_COMPILE_OPTIONS=-O1
echo "== soak: AddressSanitizer + UBSan"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  soak build/asan "" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g1" \
  -DRC_SANITIZE=address,undefined -DRC_BUILD_EXAMPLES=OFF
echo "== soak: ThreadSanitizer (threaded tests)"
TSAN_OPTIONS=halt_on_error=1 \
  soak build/tsan "-R Thread" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
  -DRC_SANITIZE=thread -DRC_BUILD_EXAMPLES=OFF
echo "== soak: fuzz targets, ${fuzz_seconds} s each"
bash fuzz/run.sh "$fuzz_seconds"
