#!/usr/bin/env bash
# Sets up what is missing, builds in Release and runs the main job: with no
# arguments a short showcase of the package, otherwise the regexp tool with
# the arguments given.
set -euo pipefail
caller_dir=$PWD
cd "$(dirname "$0")"
bash scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DRC_BUILD_TESTS=OFF >/dev/null
cmake --build build/release -j"$(nproc)" >/dev/null
if [ $# -gt 0 ] && [ -x build/release/tools/regexp/regexp ]; then
  # File arguments are the caller's, relative to where run.sh was started.
  tool=$PWD/build/release/tools/regexp/regexp
  cd "$caller_dir"
  exec "$tool" "$@"
fi
if [ -x examples/showcase.sh ] && [ -x build/release/tools/regexp/regexp ]; then
  exec bash examples/showcase.sh build/release/tools/regexp/regexp
fi
exec build/release/examples/core_tour
