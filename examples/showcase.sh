#!/usr/bin/env bash
# A short tour of the regexp tool over the sample data in examples/data.
# Usage: examples/showcase.sh PATH-TO-REGEXP
# Each step prints the command as a user would type it, then its output.
# The script fails when a step ends with another exit status than expected.
set -uo pipefail

if [ $# -ne 1 ] || [ ! -x "$1" ]; then
  echo "usage: $0 PATH-TO-REGEXP" >&2
  exit 2
fi
tool=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
cd "$(dirname "$0")/data"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

regexp() { "$tool" "$@"; }
failures=0

# step EXPECTED-STATUS "TITLE" 'COMMAND'
step() {
  printf '\n== %s\n$ %s\n' "$2" "$3"
  eval "$3" 2>&1
  local status=$?
  [ "$status" -eq 0 ] || printf '(exit status %d)\n' "$status"
  if [ "$status" -ne "$1" ]; then
    echo "!! expected exit status $1" >&2
    failures=$((failures + 1))
  fi
}

step 0 "search: the first match, its parts and its line" \
  "regexp search '<(\\w+)@(\\w+)\\.uk>' contacts.txt"
step 0 "grep: the matching lines with their numbers, as GNU grep prints them" \
  "regexp grep -n -i -E 'turing|hopper' contacts.txt"
step 0 "scan: the component's grep, every match with its line number" \
  "regexp scan -i 'turing|hopper' contacts.txt"
step 0 "merge: rewrite every date with the format syntax" \
  "regexp merge '(\\d{4})-(\\d{2})-(\\d{2})' '\$3.\$2.\$1' contacts.txt"
step 0 "merge -o: keep only the expansions" \
  "regexp merge -o '<(\\w+)@([\\w.]+)>' '\$1 at \$2\\n' contacts.txt"
step 0 "grepfiles -r: FILE:OFFSET:MATCH through a directory tree ('.' stops at line ends)" \
  "regexp grepfiles -r --not-dot-newline 'TODO: .*' 'project/*'"
step 0 "findfiles -r: the files that hold a match" \
  "regexp findfiles -r 'FIXME|upper' 'project/*.c'"
step 0 "a form file loaded: expression and format come from dates.form" \
  "cat dates.form && regexp merge --form dates.form contacts.txt"
step 0 "a form file saved: the loaded component changed on the command line" \
  "regexp --form dates.form -i -e 'joined (\\d{4})' --save-form \"\$scratch/joined.form\" info && cat \"\$scratch/joined.form\""
step 1 "nothing matched: exit status 1" \
  "regexp grep 'COBOL' contacts.txt"
step 2 "a bad expression: the engine's message and exit status 2" \
  "regexp search '(unbalanced' contacts.txt"

echo
if [ "$failures" -ne 0 ]; then
  echo "showcase: $failures step(s) ended unexpectedly" >&2
  exit 1
fi
echo "showcase: done. Try ./run.sh --help, or ./run.sh grepfiles -r PATTERN 'DIR/*'."
