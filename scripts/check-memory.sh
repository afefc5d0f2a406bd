#!/usr/bin/env bash
# Checks the regexp tool's peak memory (maximum resident set size from
# /usr/bin/time -v) on two large inputs:
#   - `regexp search` on a 512 MiB file peaks under 1.2 times the file size
#     (the input is held once);
#   - `regexp scan` of 2 GiB from standard input, searched as a stream,
#     peaks under 80 MiB.
# Usage: scripts/check-memory.sh [path/to/regexp]   (default build/dev)
# Needs about 512 MiB free in $TMPDIR. Not part of ./test.sh: it takes a
# minute or more.
# No pipefail: `yes` ends by SIGPIPE when head has enough.
set -eu

tool=${1:-build/dev/tools/regexp/regexp}
[ -x "$tool" ] || { echo "no tool at $tool" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing (Debian package time)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Peak resident set in KiB of the command line given, its output dropped.
peak_kib() {
  /usr/bin/time -v "$@" 2> "$work/time.txt" > /dev/null || true
  sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt"
}

status=0
check() {  # name, peak KiB, limit KiB
  local verdict=ok
  [ "$2" -lt "$3" ] || { verdict=FAILED; status=1; }
  printf '%-44s peak %7d MiB  limit %7d MiB  %s\n' "$1" $(($2 / 1024)) $(($3 / 1024)) "$verdict"
}

# Lines of text with a match at the very end, so the search reads it all.
size=$((512 * 1024 * 1024))
yes 'the quick brown fox jumps over the lazy dog 0123456789' | head -c $((size - 6)) > "$work/big.txt"
printf 'ZZZZZ\n' >> "$work/big.txt"
check "search, 512 MiB file" "$(peak_kib "$tool" search 'Z+' "$work/big.txt")" $((size / 1024 * 12 / 10))

stream=$((2 * 1024 * 1024 * 1024))
peak=$( { yes 'the quick brown fox jumps over the lazy dog 0123456789' | head -c $stream |
          /usr/bin/time -v "$tool" scan -c 'fox' > /dev/null; } 2>&1 |
        sed -n 's/.*Maximum resident set size (kbytes): //p')
check "scan, 2 GiB from standard input" "$peak" $((80 * 1024))
exit $status
