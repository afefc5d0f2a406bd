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

# Line tables (-g1) are what a failure's stack trace needs; full debug
# information would double the build. The test programs themselves build at
# -O1; what they test is built at -O2.
suite "normal (optimised)" build/test "" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DRC_TEST_COMPILE_OPTIONS=-O1

ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  suite "AddressSanitizer + UBSan" build/asan "" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g1" \
  -DRC_SANITIZE=address,undefined -DRC_BUILD_EXAMPLES=OFF

# The ThreadSanitizer build holds only the test sources with threaded suites
# and the tool, whose threads the grep tests run.
TSAN_OPTIONS=halt_on_error=1 \
  suite "ThreadSanitizer (threaded tests)" build/tsan "-R Thread" -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" -DRC_SANITIZE=thread -DRC_BUILD_EXAMPLES=OFF

# A few seconds of fuzzing replay the seed corpora and try a few thousand
# inputs; an unoptimised build does that as well and builds far sooner.
phase "fuzz targets, briefly" env RC_FUZZ_OPTIMIZE=-O0 bash fuzz/run.sh 5
