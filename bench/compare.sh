#!/usr/bin/env bash
# Builds the benchmarks in Release and compares the component with raw
# Boost.Regex in the same process. Prints one line per comparison:
#   RATIO <name> <component time / raw Boost time>
# then a table with the absolute times and targets, and the peak memory of
# a GrepFiles over one large generated file:
#   PEAKMEM grepfiles_1GiB <MiB> (file 1024 MiB)
# then the regexp tool against GNU grep and ripgrep over a copy of
# /usr/include (bench/compare_tools.py): RATIO grepfiles_vs_grep/<pattern>,
# grepfiles_vs_rg, tool_grep_vs_grep, tool_grep_vs_rg and tool_grep_many,
# with the chart in $build/tools.svg.
#
#   bench/compare.sh [--quick] [benchmark options...]
#
# --quick: a smaller subject (8 MiB), fewer repetitions, a 128 MiB file
# for the memory measurement and one timed round of the tools. Other options go to the benchmark program,
# e.g. --only=REGEX (run only the comparisons whose names match) or
# --tree=DIR (the tree for the file comparisons, default /usr/include).
# RC_BENCH_BUILD_DIR chooses the build directory (default build/bench).
set -euo pipefail
cd "$(dirname "$0")/.."

quick=()
peak_mib=1024
args=()
for arg in "$@"; do
  if [ "$arg" = "--quick" ]; then
    quick=(--quick)
    peak_mib=128
  else
    args+=("$arg")
  fi
done
build=${RC_BENCH_BUILD_DIR:-build/bench}

bash scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRC_BUILD_BENCH=ON \
  -DRC_BUILD_TESTS=OFF -DRC_BUILD_EXAMPLES=OFF -DRC_BUILD_TOOLS=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target rc_bench_compare rc_bench_peakmem regexp

echo "== machine"
echo "cpu:      $(lscpu | sed -n 's/^Model name: *//p' | head -n1), $(nproc) cores"
echo "memory:   $(awk '/MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)"
echo "compiler: $(c++ --version | head -n1)"
echo "boost:    $(sed -n 's/^#define BOOST_LIB_VERSION "\(.*\)"/\1/p' /usr/include/boost/version.hpp | tr _ .)"
echo "date:     $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "load:     $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min averages before the run)"

status=0
echo "== comparisons"
"$build/bench/rc_bench_compare" "${quick[@]}" "${args[@]}" || status=$?

echo "== peak memory"
[ ${#quick[@]} -gt 0 ] && echo "quick run: the file is ${peak_mib} MiB instead of 1 GiB"
"$build/bench/rc_bench_peakmem" --size-mib "$peak_mib" --dir "${TMPDIR:-/tmp}" || status=$?

echo "== against GNU grep and ripgrep"
python3 bench/compare_tools.py "$build/tools/regexp/regexp" ${quick[@]+"${quick[@]}"} \
  --corpus "$build/corpus" --svg "$build/tools.svg" || status=$?
exit "$status"
