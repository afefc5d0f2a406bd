#!/usr/bin/env bash
# Measures `regexp grep` against GNU grep: wall time of -r over a copy of a
# tree (default /usr/include) for a few patterns, checking that both print
# the same counts, and peak memory while searching a large stream from a
# pipe. Prints what it measured; it sets no thresholds.
#
# usage: scripts/grep-speed.sh PATH-TO-REGEXP [TREE] [PIPE-BYTES]
set -euo pipefail

regexp=$1
tree=${2:-/usr/include}
pipe_bytes=${3:-2G}
export LC_ALL=C

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp -r "$tree" "$scratch/tree"
echo "tree: $tree ($(du -sh "$scratch/tree" | cut -f1), $(find "$scratch/tree" -type f | wc -l) files)"

# Seconds of wall time for one run, output to a file.
timed() {
  local out=$1
  shift
  local start end
  start=$(date +%s.%N)
  "$@" >"$out" 2>/dev/null || true
  end=$(date +%s.%N)
  echo "$end - $start" | bc
}

printf '%-24s %10s %10s %s\n' pattern regexp grep same-output
for pattern in 'size_t' 'EXIT_SUCCESS' 'struct [a-z_]+ \{' '[0-9]{4,}'; do
  # Once to warm the page cache, then measured.
  "$regexp" grep -rEc "$pattern" "$scratch/tree" >/dev/null 2>&1 || true
  ours=$(timed "$scratch/ours" "$regexp" grep -rEc "$pattern" "$scratch/tree")
  theirs=$(timed "$scratch/theirs" grep -rEc "$pattern" "$scratch/tree")
  same=no
  if cmp -s <(sort "$scratch/ours") <(sort "$scratch/theirs"); then same=yes; fi
  printf '%-24s %9.2fs %9.2fs %s\n' "$pattern" "$ours" "$theirs" "$same"
done

line='some line of text here, nothing to see'
for program in "$regexp grep" grep; do
  /usr/bin/time -f "$program -c over $pipe_bytes from a pipe: %e s wall, %M KiB peak resident" \
    bash -c "yes '$line' | head -c $pipe_bytes | $program -c zzz >/dev/null" 2>&1 | tail -1 || true
done
