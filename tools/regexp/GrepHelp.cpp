// The text of `regexp grep --help`.
//
// External interface: PrintGrepHelp (declared in GrepOptions.h).
#include <cstdio>

#include "GrepOptions.h"

namespace RegexComponent::tool {

namespace {

const char* const kHelp = R"(Usage: regexp grep [OPTION]... PATTERNS [FILE]...
Print the lines of each FILE that hold a match for PATTERNS, as GNU grep does.
Example: regexp grep -n -i 'todo' src/main.c
PATTERNS may hold several patterns, one per line.

Patterns:
  -G, --basic-regexp        PATTERNS are POSIX basic expressions (default),
                            with \+ \? \| as operators
  -E, --extended-regexp     PATTERNS are POSIX extended expressions
  -F, --fixed-strings       PATTERNS are plain strings
  -P, --perl-regexp         PATTERNS use the component's Normal (Perl-like)
                            syntax
  -e, --regexp=PATTERNS     search for PATTERNS (may be repeated)
  -f, --file=FILE           read PATTERNS from FILE, one per line
  -i, -y, --ignore-case     ignore case in patterns and data
      --no-ignore-case      do not ignore case (the default)
  -w, --word-regexp         a match must be a whole word
  -x, --line-regexp         a match must be the whole line
  -z, --null-data           lines read and printed end in a NUL byte, not a
                            line feed (which is then an ordinary byte)

Messages and help:
  -s, --no-messages         do not report unreadable or missing files
  -v, --invert-match        select the lines that do not match
  -V, --version             print the version and exit
      --help                print this help and exit

Output:
  -m, --max-count=NUM       stop reading a file after NUM selected lines
  -b, --byte-offset         prefix each output line with its byte offset
  -n, --line-number         prefix each output line with its line number
      --line-buffered       flush the output after every line
  -H, --with-filename       prefix each output line with its file name
  -h, --no-filename         never prefix output lines with file names
      --label=LABEL         call standard input LABEL in the output
  -o, --only-matching       print only the matched (non-empty) parts
  -q, --quiet, --silent     print nothing; exit 0 at the first selected line
      --binary-files=TYPE   treat binary files as TYPE: 'binary', 'text'
                            or 'without-match'
  -a, --text                same as --binary-files=text
  -I                        same as --binary-files=without-match
  -d, --directories=ACTION  directories: 'read' (an error), 'recurse' or 'skip'
  -D, --devices=ACTION      devices, FIFOs and sockets: 'read' or 'skip'
  -r, --recursive           same as --directories=recurse
  -R, --dereference-recursive  same, following every symbolic link
      --include=GLOB        search only the files whose name matches GLOB
      --exclude=GLOB        skip the files whose name matches GLOB
      --exclude-from=FILE   skip the files matching a GLOB listed in FILE
      --exclude-dir=GLOB    skip the directories whose name matches GLOB
  -L, --files-without-match  print only the names of files with no selected line
  -l, --files-with-matches  print only the names of files with a selected line
  -c, --count               print only the number of selected lines per file
  -T, --initial-tab         line the text up after a tab
  -Z, --null                end file names with a NUL byte instead of ':'
      --json                print JSON objects, one per line (see the manual)
      --threads=NUM         search files on NUM worker threads (0, the default:
                            one per core; 1: one file after another); the
                            output is the same in any case

Context:
  -B, --before-context=NUM  print NUM lines before each selected line
  -A, --after-context=NUM   print NUM lines after each selected line
  -C, --context=NUM         print NUM lines before and after
  -NUM                      same as --context=NUM
      --group-separator=SEP  print SEP between groups of context lines
      --no-group-separator  print nothing between groups
      --color[=WHEN],
      --colour[=WHEN]       highlight matches and prefixes; WHEN is 'always',
                            'never' or 'auto'; GREP_COLORS sets the colours
  -U, --binary              accepted for compatibility; changes nothing

A FILE '-' is standard input. Without FILE, '.' is searched when recursive
and standard input otherwise. With fewer than two FILEs, -h is assumed.
Exit status: 0 a line was selected, 1 none was, 2 an error occurred (unless
-q found a line). Messages start with 'regexp:' where grep's start with 'grep:'.
)";

}  // namespace

void PrintGrepHelp() { std::fputs(kHelp, stdout); }

}  // namespace RegexComponent::tool
