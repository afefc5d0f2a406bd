#!/usr/bin/env bash
# Checks that ordinary expressions never reach the match limit (docs/limits.md):
# searches one line of ordinary text, 100 MB long by default, for the
# benchmark expressions and longer ones, each followed by a line feed the line
# does not hold, so that one search tries every position of the line and has
# to stay within one limit; fails if any ends with an error.
#
#   scripts/check-match-limit.sh [REGEXP_TOOL] [MEGABYTES]
set -euo pipefail
tool=${1:-build/dev/tools/regexp/regexp}
megabytes=${2:-100}
line=$(mktemp "${TMPDIR:-/tmp}/rc-line-XXXXXX")
trap 'rm -f "$line"' EXIT

python3 - "$line" "$megabytes" <<'PY'
import random, sys
random.seed(7)
words = ("the of and alpha beta gamma delta report shipped crates balloon key=99 value=4711 "
         "#include <stdio.h> mail@example.com static int return 2024-06-11 x_y Zeta").split()
size = int(sys.argv[2]) * 1000 * 1000
with open(sys.argv[1], "w") as out:
    written = 0
    while written < size:
        chunk = " ".join(random.choice(words) for _ in range(100000)) + " "
        out.write(chunk)
        written += len(chunk)
PY

names=$(python3 -c "import random; random.seed(3); print('|'.join(''.join(random.choice('abcdefghij') for _ in range(6)) for _ in range(100)))")
expressions=(
  'alpha|beta|gamma' '[0-9]+' '([a-z])\1' 'zqxj[0-9]{5}' '\bstatic\b'
  '#include <[a-z_]+\.h>' '([a-z]+)=([0-9]+)' '(\w+)\s+(\w+)\s+\1'
  '[A-Za-z0-9._%+-]+@[A-Za-z0-9.-]+\.[A-Za-z]{2,}' '\b(alpha|beta|gamma|delta|report|shipped|crates)\b'
  '([0-9]{4})-([0-9]{2})-([0-9]{2})' "\\b($names)\\b"
)
status=0
for expression in "${expressions[@]}"; do
  start=$(date +%s.%N)
  set +e
  "$tool" search -e "(?:$expression)\\n" "$line" >/dev/null 2>/tmp/rc-limit-err.$$
  rc=$?
  set -e
  seconds=$(echo "$(date +%s.%N) - $start" | bc)
  printf '%-6s %8.2fs  %s\n' "rc=$rc" "$seconds" "${expression:0:60}"
  if [ "$rc" -ne 1 ]; then
    cat /tmp/rc-limit-err.$$
    status=1
  fi
done
rm -f /tmp/rc-limit-err.$$
exit "$status"
