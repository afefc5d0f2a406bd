#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour
# sanitizers on) in build-fuzz and runs each on a fresh copy of its seed
# corpus.
#
#   fuzz/run.sh [SECONDS] [extra libFuzzer options...]
#   RC_FUZZ_TARGETS="forms" fuzz/run.sh 600     # one target only
#   RC_FUZZ_OPTIMIZE=-O2 fuzz/run.sh 3600        # another optimisation level
#
# Targets: format (the format expander and merge), forms (the form reader),
# prefilter (the literal prefilter against plain regex_grep).
# SECONDS (per target) defaults to 5. Crash reproducers are written to
# fuzz/corpus-work/crashes/; see docs/fuzzing.md for longer runs.
set -euo pipefail

seconds="${1:-5}"
[[ $# -gt 0 ]] && shift
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${RC_FUZZ_BUILD:-$root/build-fuzz}"
work="$root/fuzz/corpus-work"

# target name -> "executable dictionary"
declare -A targets=([format]="format_expander_fuzz format.dict" [forms]="form_reader_fuzz forms.dict"
                   [prefilter]="prefilter_fuzz prefilter.dict")

# -O1 with line tables by default, as fuzzing services build their targets:
# fast enough to fuzz, and all a crash's stack trace needs. RC_FUZZ_OPTIMIZE
# chooses the level; ./test.sh's few seconds take -O0, which builds in a
# third of the time.
optimize="${RC_FUZZ_OPTIMIZE:--O1}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$optimize -gline-tables-only -DNDEBUG" \
  -DCMAKE_CXX_COMPILER=clang++ -DRC_BUILD_TESTS=OFF -DRC_BUILD_EXAMPLES=OFF \
  -DRC_BUILD_TOOLS=OFF -DRC_BUILD_BENCH=OFF >/dev/null

names=(${RC_FUZZ_TARGETS:-format forms prefilter})
exes=()
for name in "${names[@]}"; do
  read -r exe _ <<<"${targets[$name]}"
  exes+=("$exe")
done
# All targets in one build, so that both cores share the work.
cmake --build "$build" -j"$(nproc)" --target "${exes[@]}"

for name in "${names[@]}"; do
  read -r exe dict <<<"${targets[$name]}"
  rm -rf "${work:?}/$name"
  mkdir -p "$work/$name" "$work/crashes"
  cp "$root/fuzz/corpus/$name"/* "$work/$name/"
  echo "fuzzing $name for ${seconds}s"
  "$build/fuzz/$exe" -max_total_time="$seconds" -max_len=4096 \
    -dict="$root/fuzz/$dict" -artifact_prefix="$work/crashes/" "$@" "$work/$name"
done
