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

source scripts/test-builds.sh
echo "== soak: normal (optimised)"
soak "$normal_dir" "$normal_filter" "${normal_cmake[@]}"
echo "== soak: AddressSanitizer + UBSan"
soak "$asan_dir" "$asan_filter" "${asan_cmake[@]}"
echo "== soak: ThreadSanitizer (threaded tests)"
soak "$tsan_dir" "$tsan_filter" "${tsan_cmake[@]}"
echo "== soak: fuzz targets, ${fuzz_seconds} s each"
bash fuzz/run.sh "$fuzz_seconds"
