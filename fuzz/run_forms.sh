#!/usr/bin/env bash
# Builds the form-reader libFuzzer target with clang (address and
# undefined-behaviour sanitizers on) and runs it on a fresh copy of the
# seed corpus fuzz/corpus/forms/.
#
#   fuzz/run_forms.sh [SECONDS] [extra libFuzzer options...]
#
# SECONDS defaults to 5. The build directory is build-fuzz (shared with
# fuzz/run.sh), or $RC_FUZZ_BUILD when set. Crash reproducers are written
# to fuzz/corpus-work/crashes/; see docs/forms.md.
set -euo pipefail

seconds="${1:-5}"
[[ $# -gt 0 ]] && shift
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${RC_FUZZ_BUILD:-$root/build-fuzz}"
work="$root/fuzz/corpus-work"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DRC_BUILD_TESTS=OFF -DRC_BUILD_EXAMPLES=OFF \
  -DRC_BUILD_TOOLS=OFF -DRC_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target form_reader_fuzz

rm -rf "$work/forms"
mkdir -p "$work/forms" "$work/crashes"
cp "$root"/fuzz/corpus/forms/* "$work/forms/"

"$build/fuzz/form_reader_fuzz" -max_total_time="$seconds" -max_len=4096 \
  -dict="$root/fuzz/forms.dict" -artifact_prefix="$work/crashes/" "$@" "$work/forms"
