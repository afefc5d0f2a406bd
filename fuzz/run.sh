#!/usr/bin/env bash
# Builds the libFuzzer target with clang (address and undefined-behaviour
# sanitizers on) in build-fuzz and runs it on a fresh copy of the seed corpus.
#
#   fuzz/run.sh [SECONDS] [extra libFuzzer options...]
#
# SECONDS defaults to 5. Crash reproducers are written to
# fuzz/corpus-work/crashes/; see docs/fuzzing.md for longer runs.
set -euo pipefail

seconds="${1:-5}"
[[ $# -gt 0 ]] && shift
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-fuzz"
work="$root/fuzz/corpus-work"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DRC_BUILD_TESTS=OFF -DRC_BUILD_EXAMPLES=OFF \
  -DRC_BUILD_TOOLS=OFF -DRC_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target format_expander_fuzz

rm -rf "$work/format"
mkdir -p "$work/format" "$work/crashes"
cp "$root"/fuzz/corpus/format/* "$work/format/"

"$build/fuzz/format_expander_fuzz" -max_total_time="$seconds" -max_len=4096 \
  -dict="$root/fuzz/format.dict" -artifact_prefix="$work/crashes/" "$@" "$work/format"
