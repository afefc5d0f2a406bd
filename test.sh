#!/usr/bin/env bash
# Sets up what is missing, then builds and runs every test through CTest:
# once in a normal build and once under AddressSanitizer and
# UndefinedBehaviorSanitizer, the threaded tests (the library's and the
# regexp tool's) once more under ThreadSanitizer; then runs each fuzz target
# briefly. No test may take more than 60 seconds in any phase; the time of
# each phase and the slowest tests are printed at the end.
#
# Volume (more rounds, larger trees, long fuzzing) is scripts/soak.sh's.
set -euo pipefail
cd "$(dirname "$0")"
jobs=$(nproc)
limit=60
phases=()

# phase NAME COMMAND...: runs COMMAND and records how long it took.
phase() {
  local name=$1 start=$SECONDS
  shift
  echo "== $name"
  "$@"
  phases+=("$(printf '%-44s %5d s' "$name" $((SECONDS - start)))")
}

report() {
  local status=$?
  echo
  echo "== phase times"
  printf '%s\n' "${phases[@]}"
  printf '%-44s %5d s\n' "total" "$SECONDS"
  [ "$status" -eq 0 ] || echo "test.sh failed (status $status)"
}
trap report EXIT

# suite NAME BUILD_DIR "CTEST ARGS" CMAKE ARGS...: configures and builds one
# build, runs its tests, then checks their times against the limit.
suite() {
  local name=$1 dir=$2 filter=$3
  shift 3
  phase "build: $name" build "$dir" "$@"
  # shellcheck disable=SC2086
  phase "tests: $name" ctest --test-dir "$dir" --output-on-failure -j"$jobs" --timeout "$limit" \
    --output-junit "$PWD/$dir/test-times.xml" $filter
  python3 scripts/test-times.py "$dir/test-times.xml" --limit "$limit" --slowest 10
}

build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
}

phase "install what is missing" bash scripts/install-deps.sh
# No source file over 400 lines, no function over 60; the checker's own
# cases first, so that a broken counter cannot pass the tree.
phase "source sizes" sh -c 'python3 scripts/check-sizes.py --self-test && python3 scripts/check-sizes.py'

source scripts/test-builds.sh
suite "normal (optimised)" "$normal_dir" "$normal_filter" "${normal_cmake[@]}"
suite "AddressSanitizer + UBSan" "$asan_dir" "$asan_filter" "${asan_cmake[@]}"
suite "ThreadSanitizer (threaded tests)" "$tsan_dir" "$tsan_filter" "${tsan_cmake[@]}"

# A few seconds of fuzzing replay the seed corpora and try a few thousand
# inputs; an unoptimised build does that as well and builds far sooner.
phase "fuzz targets, briefly" env RC_FUZZ_OPTIMIZE=-O0 bash fuzz/run.sh 5
