#!/usr/bin/env python3
"""Runs `regexp grep` and GNU grep side by side on a generated tree and
compares standard output and exit status byte for byte, and standard error
after grep's "grep:" prefix is read as "regexp:".

The cases come from grep's manual: its options, alone and combined, over
portable patterns (basic without locale-dependent classes, extended, fixed
strings) and ASCII text in the C locale. Recursive runs are compared as
multisets of lines, since grep lists a directory in the order it reads it
and regexp in name order.

The cases are dealt to SHARDS runs, and under a sanitizer a covering subset
runs (see run_scope.py): every pattern, option set, colour setting,
recursive and other case, with the crossed lists thinned (each pattern with
some of the options it is crossed with, and so on); the plain build and a
soak run take every combination.

usage: grep_side_by_side.py REGEXP GREP SCRATCH_DIR [K SHARDS]
"""
import concurrent.futures
import os
import re
import shutil
import subprocess
import sys

from run_scope import crossed, sampled, shard

LONG = "x" * 3000 + " needle " + "y" * 3000

FILES = {
    "text.txt": "\n".join([
        "hello world", "Hello World", "foo bar baz", "foobar", "foo_bar",
        "abc123", "a.b*c", "", "   leading spaces", "trailing   ",
        "tab\there", "back\\slash", "word-word", "123 456 7890", "aaa",
        "xx", "ooo", "(paren) [bracket] {brace}", "a|b", "a+b?c", LONG,
        "the end"]) + "\n",
    "crlf.txt": "hello\r\nworld\r\n\r\nfoo bar\r\n",
    "empty.txt": "",
    "noeol.txt": "first\nlast line without newline",
    "binary.dat": "text hello\n\0\x01\x02 binary hello\nmore\n",
    "many.txt": "".join(
        ("match %d\n" % i) if i % 7 == 0 else ("line %d\n" % i) for i in range(1, 60)),
    "tree/a/x.c": "int hello;\n",
    "tree/a/y.h": "hello header\nother\n",
    "tree/a/b/c/deep.txt": "deep hello\n",
    "tree/a/b/skip.o": "hello object\n",
    "tree/.hidden/h.txt": "hidden hello\n",
    "tree/top.txt": "top\nhello top\n",
    "patterns.txt": "foo\nhello\n",
    # Past the reader's first chunk of 4 MiB: line numbers and offsets run on.
    "big.txt": "".join("%07d some text %s\n" % (i, "hit" if i % 9973 == 0 else "...")
                       for i in range(1, 200101)),
    "globs.txt": "*.o\n*.h\n",
    # Two empty patterns, which grep reads as one.
    "two-empty.txt": "\n\n",
    # -T makes the number field as wide as the file's size (plus one with -n).
    "size8.txt": "\n\n\n\nabc\n",
    "size9.txt": "\na\naaaaaa",
    "size99.txt": "".join("%d\n" % i for i in range(1, 34)) + "x" * 9,
    # NUL-ended records for -z: line feeds inside them, empty records, a
    # carriage return, bytes past 0x7f, and a last record without its NUL.
    "records.z": "\0".join([
        "hello world", "foo\nbar", "", "line one\nline two\nhello again", "a\nb", "x", "abc\n",
        "\n", "foo bar\r", "o\x80b\xff", "tail\n\nhello", "a.b*c\nfoo_bar x"]) + "\0last\nrecord",
    # Records past the reader's first chunk of 4 MiB.
    "big.z": "".join("%07d rec\n%s\0" % (i, "hit" if i % 9973 == 0 else "...") for i in range(1, 230001)),
    "tree/z/r.z": "hello\nthere\0no\0hello\0",
}

LINKS = {"tree/link-file": "a/x.c", "tree/link-dir": "a/b", "tree/dangling": "nowhere"}

FLAT = ["text.txt", "crlf.txt", "noeol.txt", "empty.txt"]

BASIC = ["hello", "hel*o", "^foo", "bar$", "o\\+", "fo\\?o", "foo\\|bar", "\\(ab\\)c",
         "[0-9]\\{3\\}", "\\<foo\\>", "\\bfoo", "o\\b", "\\w\\+", "\\W", "x\\{2,\\}",
         "\\(o\\)\\1", ".", "^$", "^", "[[:digit:]]\\+", "a.b", "\\.", "[^a-z ]",
         "a|b", "a+b", "[]x]", "needle", "o*", "\\Bor", "d$", "^\\(a\\|t\\)"]
EXTENDED = ["hel+o", "foo|bar", "(ab)+", "[0-9]{3}", "^(foo|hello)", "o{2}", "(o)\\1",
            "world$", "^[a-z]+$", "x+", "\\<w", "[[:space:]]+$", "a\\|b", "b?c", "(a|b)*c",
            "\\(paren\\)", "o{1,2}", "[[:alpha:]]+[0-9]", "^.{5}$", ""]
FIXED = ["foo", "a.b*c", "", "o", "hello\nfoo", "back\\slash", "a|b", "WORLD", "\r"]

PER_PATTERN = [["-n"], ["-o", "-n"], ["-c"], ["-v", "-c"], ["-w", "-n"], ["-x"], ["-i", "-o"]]

OPTION_SETS = [
    [], ["-i"], ["-y"], ["-i", "--no-ignore-case"], ["-v"], ["-w"], ["-x"], ["-c"], ["-o"],
    ["-n"], ["-b"], ["-H"], ["-h"], ["-l"], ["-L"], ["-q"], ["-s"], ["-m1"], ["-m", "2", "-A1"],
    ["-A1"], ["-B2"], ["-C1"], ["-2"], ["-n", "-C1", "--group-separator=XX"],
    ["--no-group-separator", "-A1"], ["-nbH"], ["-T", "-n"], ["-T", "-H", "-b"], ["-Z", "-H"],
    ["-Z", "-l"], ["-on"], ["-ob"], ["-c", "-v"], ["-vn"], ["-iw"], ["-wo"], ["-xn"], ["-ci"],
    ["-A0"], ["-o", "-C1"], ["-o", "-v"], ["-c", "-m2"], ["-l", "-c"], ["-L", "-v"],
    ["-m1", "-c", "-v"], ["-n", "-B1", "-m2"], ["-vC1"], ["--max-count=1", "--line-number"],
    ["--line-buffered"], ["--colour=always"], ["--color=always", "-n", "-H", "-C1"],
    ["--color=always", "-o", "-b"], ["--color=always", "-v"], ["--color=always", "-c", "-H"],
    ["--color=always", "-l"], ["--color=never"], ["--color=auto"], ["-U"],
]

COLOR_ENVS = ["ms=04;32:fn=1:se=33", "sl=1:cx=2", "sl=1:cx=2:rv", "ne", "mt=7", "ln=31:bn=34"]

RECURSIVE = [
    ["-r", "hello", "tree"], ["-R", "hello", "tree"], ["-r", "hello"], ["-rn", "hello", "tree/"],
    ["-r", "-l", "hello", "tree"], ["-r", "-L", "hello", "tree"], ["-r", "-c", "hello", "tree"],
    ["-r", "--include=*.c", "hello", "tree"], ["-r", "--exclude=*.o", "hello", "tree"],
    ["-r", "--exclude-dir=b", "hello", "tree"], ["-r", "--exclude-dir=a", "hello", "tree"],
    ["-r", "--exclude-dir=b/", "hello", "tree"], ["-r", "--exclude-dir=a//", "hello", "tree"],
    ["-r", "--exclude-dir=/", "hello", "tree"],
    ["-r", "--include=*.h", "--include=*.c", "hello", "tree"],
    ["-r", "--exclude=*.txt", "--include=*.txt", "hello", "tree"],
    ["-r", "--exclude-from=globs.txt", "hello", "tree"], ["-r", "-h", "hello", "tree"],
    ["-r", "hello", "tree/link-file"], ["-r", "hello", "tree/link-dir"], ["-R", "-l", "hello"],
    ["-d", "recurse", "hello", "tree"], ["-d", "skip", "hello", "tree", "text.txt"],
    ["hello", "tree"], ["-s", "hello", "tree"], ["-r", "hello", "tree", "text.txt"],
    ["-r", "--exclude=t*", "hello", "tree", "text.txt"], ["--include=*.c", "hello", "text.txt"],
    ["--exclude=text*", "hello", "./text.txt"],
]

# Recursive runs under -z, compared as multisets of records and lines.
NULL_DATA_RECURSIVE = [
    ["-rz", "hello", "tree"], ["-rzc", "hello", "tree"], ["-rzl", "hello", "tree"], ["-rzL", "hello", "tree"],
    ["-rzn", "-o", "hel*o", "tree"], ["-rz", "-lZ", "^hello", "tree"],
    ["-z", "-H", "-n", "hello", "tree/z/r.z", "tree/a/y.h", "records.z"],
]

# -z: the record rules (^ and $ at a record's ends only, . and [^x] taking
# a line feed, but -P's . not), each pattern with several of the options,
# over records, text without a NUL (one record) and data grep would
# otherwise call binary.
NULL_DATA_PATTERNS = [
    ["^foo"], ["bar$"], ["o.b"], ["o[^x]b"], ["^$"], ["hel*o"], ["-E", "^(a|x)$"], ["-E", "(o|e)\\b"],
    ["-E", "line (one|two)"], ["-F", "line"], ["-F", "o\nx"], ["-P", "o.b"], ["-P", "(?s)o.b"],
    ["-P", "o[^x]b"], ["-P", "^a|c$"], ["-e", "a", "-e", "hello"], ["-x", "a.b"], ["-E", "-w", "b|x"],
]

NULL_DATA_OPTIONS = [
    [], ["-c"], ["-o"], ["-ob"], ["-v"], ["-n"], ["-b"], ["-l"], ["-L"], ["-lZ"], ["-cZ", "-H"], ["-m1"],
    ["-m1", "-A1"], ["-A1"], ["-B1", "-n"], ["-C1", "--group-separator=XX"], ["--no-group-separator", "-A0"],
    ["-vc"], ["-vn"], ["-H", "-n", "-o"], ["--color=always", "-n"], ["--color=always", "-o"], ["-T", "-n"],
    ["-i"], ["--line-buffered"], ["-a"], ["-I"], ["-q"], ["-h", "-x"], ["-w", "-n"],
]

NULL_DATA_FILES = ["records.z", "text.txt", "noeol.txt", "binary.dat", "empty.txt"]

NULL_DATA_MISC = [
    (["-z", "-c", "hit", "big.z"], None), (["-z", "-n", "-b", "hit", "big.z"], None),
    (["-z", "-n", "-C1", "0200000", "big.z"], None), (["-z", "-c", "-v", "\\.", "big.z"], None),
    (["-z", "-bo", "hit", "big.txt"], None), (["-z", "-c", "^0", "big.txt"], None),
    (["--null-data", "-n", "x"], "a\0x\ny\0\0x"), (["--null-d", "-c", ""], "a\0b\0"), (["-zc", ""], ""),
    (["-z", "-H", "--label=in", "-o", "[ab]"], "a\nb\0ab"), (["--nu", "x", "text.txt"], None),
    (["-z", "-f", "patterns.txt", "records.z"], None), (["-z", "-c", "-e", "foo\n", "records.z"], None),
    (["-z", "-L", "-m0", "x", "records.z"], None), (["-zx", "-e", "", "-n", "records.z"], None),
    (["-z", "-T", "-b", "", "records.z"], None), (["-z", "-Z", "-H", "-n", "o", "records.z"], None),
    (["-z", "--color=always", "-C1", "-v", "o", "records.z"], None),
]

MISC = [
    (["hello", "binary.dat"], None), (["-c", "hello", "binary.dat"], None),
    (["-a", "hello", "binary.dat"], None), (["-I", "hello", "binary.dat"], None),
    (["--binary-files=text", "-n", "binary", "binary.dat"], None),
    (["--binary-files=without-match", "-c", "hello", "binary.dat", "text.txt"], None),
    (["-l", "hello", "binary.dat"], None), (["-v", "zzz", "binary.dat"], None),
    (["-o", "hello", "binary.dat", "text.txt"], None), (["-q", "hello", "binary.dat"], None),
    (["hello", "missing.txt", "text.txt"], None), (["-s", "hello", "missing.txt", "text.txt"], None),
    (["-q", "hello", "missing.txt", "text.txt"], None), (["-q", "zzz", "missing.txt", "text.txt"], None),
    (["hello", "tree/dangling"], None), (["-e", "foo", "-e", "hello", "text.txt"], None),
    (["-f", "patterns.txt", "text.txt"], None), (["-f", "patterns.txt", "-e", "aaa", "text.txt"], None),
    (["-f", "empty.txt", "text.txt"], None), (["-v", "-f", "empty.txt", "noeol.txt"], None),
    (["-f", "missing.txt", "text.txt"], None), (["-e", "", "noeol.txt"], None),
    (["-c", "-e", "foo\n", "text.txt"], None), (["hello"], "hello\nbye\nhello again\n"),
    (["-H", "hello"], "hello\n"), (["-H", "--label=in", "hello", "-"], "hello\n"),
    (["-c", "x", "-", "text.txt"], "x\nx\n"), (["-T", "-n", "hello"], "hello\n"),
    (["-m0", "hello", "text.txt"], None), (["-m0", "hello", "missing.txt"], None),
    (["--", "-v", "text.txt"], None), (["-e", "-v", "text.txt"], None), (["hello", "text.txt", "-n"], None),
    (["-3n", "needle", "text.txt"], None), (["-n3", "aaa", "text.txt"], None),
    (["-E", "-F", "x", "text.txt"], None), (["-k", "x", "text.txt"], None), ([], None),
    (["--co", "x", "text.txt"], "err-shape"), (["--colo=always", "hello", "text.txt"], None),
    (["--count=3", "x", "text.txt"], None), (["-A", "x", "x", "text.txt"], None),
    (["-m", "x", "x", "text.txt"], None), (["-e"], None), (["--regexp"], None),
    (["--binary-files=maybe", "x", "text.txt"], None), (["-d", "maybe", "x", "text.txt"], None),
    (["-D", "maybe", "x", "text.txt"], None), (["-C", "-1", "x", "text.txt"], None),
    # Abbreviations: one taking the next argument, ambiguous or unknown ones
    # quoted whole with their "=ARG", an alias refusing an argument under its
    # own name, a missing argument at the end of a cluster or of a long name.
    (["--max", "1", "o", "text.txt"], None), (["--in=a", "x", "text.txt"], None),
    (["--b", "x", "text.txt"], None), (["--foo=bar", "x", "text.txt"], None),
    (["--silent=x", "x", "text.txt"], None), (["--qu=x", "x", "text.txt"], None),
    (["--no-m", "x", "missing.txt"], None), (["-ne"], None), (["--reg"], None),
    # -NUM: the digits of one argument make one number, of two arguments two;
    # leading zeros do not count towards grep's limit of digits; an -A or -B
    # stands whether -NUM or -C comes before or after it.
    (["-1", "-2", "-n", "match 28", "many.txt"], None), (["-12", "-n", "match 28", "many.txt"], None),
    (["-1n2", "match 28", "many.txt"], None), (["-" + "0" * 30 + "2", "-n", "match 28", "many.txt"], None),
    (["-" + "1" * 22, "match 28", "many.txt"], None), (["-A1", "-C3", "-n", "match 28", "many.txt"], None),
    (["-B0", "-2", "-n", "match 28", "many.txt"], None), (["-n", "match 28", "-1", "many.txt", "-A0"], None),
    (["hello", "-n", "--", "text.txt", "-c"], None),
    (["-D", "skip", "hello", "text.txt"], None), (["-d", "read", "hello", "tree"], None),
    (["-x", "-e", "", "text.txt"], None), (["-w", "-e", "", "-c", "text.txt"], None),
    (["-o", "-e", "o*", "-e", "x", "text.txt"], None), (["-ow", "o*", "text.txt"], None),
    (["-E", "-w", "o+|ooo", "text.txt"], None), (["-w", "foo", "text.txt"], None),
    (["-w", "-o", "[a-z]*", "text.txt"], None), (["-E", "-o", "b*", "text.txt"], None),
    (["-E", "(a)|b", "-o", "text.txt"], None), (["-Hc", "hello", "text.txt"], None),
    (["-F", "-x", "-e", "foobar", "-e", "aaa", "text.txt"], None), (["-F", "-w", "-c", "o", "text.txt"], None),
    (["-c", "hit", "big.txt"], None), (["-nb", "hit", "big.txt"], None),
    (["-n", "-C1", "0200000", "big.txt"], None), (["-c", "-v", "t", "big.txt"], None),
    (["-o", "-A0", "match", "many.txt"], None), (["-A0", "-n", "match", "many.txt"], None),
    (["-c", "-Z", "match", "many.txt", "text.txt"], None), (["-L", "-Z", "zzz", "many.txt"], None),
    (["-T", "-C1", "-n", "match", "many.txt"], None), (["-b", "o", "crlf.txt"], None),
    (["-x", "-o", "foobar", "text.txt"], None), (["-F", "-w", "-e", "foo", "-e", "bar", "-o", "text.txt"], None),
    (["-o", "-e", "a", "-e", "", "text.txt"], None), (["--color=always", "-T", "-n", "o", "text.txt"], None),
    (["--color=always", "-A1", "-v", "o", "text.txt"], None), (["-m1", "-A3", "match", "many.txt"], None),
    (["--label=x", "hello"], "hello\n"), (["-c", "hello", "-", "-"], "hello\n"),
    (["-i", "HELLO", "-e", "World", "text.txt"], None), (["-e", "a", "-f", "empty.txt", "text.txt"], None),
    (["-G", "\\(", "text.txt"], "err-shape"), (["-E", "(", "text.txt"], "err-shape"),
    # -m 0 selects nothing: -L lists every file it reads (status 1, as no
    # line is selected), and -q, which overrides -L, ends at once.
    (["-L", "-m0", "a"], "a\n"), (["-q", "-L", "-m0", "a"], "a\n"),
    (["-L", "-m0", "hello", "text.txt", "binary.dat", "-", "missing.txt"], "hello\n"),
    (["-L", "-m0", "-v", "zzz", "text.txt"], None), (["-L", "-m", "0", "-c", "hello", "text.txt"], None),
    # Repeated empty patterns are the empty pattern, which -v leaves no line.
    (["-v", "-c", "-e", "", "-e", ""], "a\n"), (["-v", "-e", "", "-e", "", "-e", "", "text.txt"], None),
    (["-v", "-c", "-f", "two-empty.txt", "text.txt"], None), (["-v", "-c", "-e", "", "-e", "x"], "a\nx\n"),
    (["-v", "-L", "-e", "", "-e", "", "text.txt"], None),
    # A binary file's report separates the next group of context as
    # printed lines do.
    (["-A0", "hello", "binary.dat", "text.txt"], None), (["-C1", "hello", "text.txt", "binary.dat", "text.txt"], None),
    (["-B0", "hello", "binary.dat", "binary.dat", "many.txt", "text.txt"], None),
    (["-T", "-n", "", "size8.txt", "size9.txt"], None), (["-T", "-n", "-h", "", "size9.txt"], None),
    (["-T", "-b", "", "size9.txt"], None), (["-T", "-b", "-n", "", "size99.txt"], None),
    (["-T", "-n", "x", "-"], "x\n"),
]


def build_tree(root):
    if os.path.exists(root):
        shutil.rmtree(root)
    for name, content in FILES.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content.encode("latin-1"))
    for name, target in LINKS.items():
        os.symlink(target, os.path.join(root, name))


def normalize_err(text):
    lines = []
    for line in text.splitlines(keepends=True):
        if line.startswith(b"grep: "):
            line = b"regexp: " + line[len(b"grep: "):]
        line = line.replace(b"Usage: grep ", b"Usage: regexp grep ")
        line = line.replace(b"Try 'grep --help'", b"Try 'regexp grep --help'")
        lines.append(line)
    return b"".join(lines)


def run(command, cwd, stdin, env):
    # grep names itself by argv[0] in its messages.
    p = subprocess.run(["grep"] + command[1:], executable=command[0], cwd=cwd, input=stdin,
                       capture_output=True, env=env, timeout=60)
    return p.returncode, p.stdout, p.stderr


def compare(case, regexp, grep, root):
    args, stdin, mode, colors = case
    env = {"LC_ALL": "C", "PATH": "/usr/bin:/bin", "TERM": "dumb"}
    if colors is not None:
        env["GREP_COLORS"] = colors
    data = stdin.encode() if stdin is not None else b""
    ours = run([regexp, "grep"] + args, root, data, env)
    theirs = run([grep] + args, root, data, env)
    status_o, out_o, err_o = ours
    status_t, out_t, err_t = theirs
    err_t = normalize_err(err_t)
    if mode == "sets":
        out_o, out_t = sorted(out_o.splitlines()), sorted(out_t.splitlines())
        err_o, err_t = sorted(err_o.splitlines()), sorted(err_t.splitlines())
    if mode == "record-sets":
        out_o, out_t = sorted(re.split(b"[\n\0]", out_o)), sorted(re.split(b"[\n\0]", out_t))
        err_o, err_t = sorted(err_o.splitlines()), sorted(err_t.splitlines())
    if mode == "err-shape":
        # Messages for a malformed pattern are the engine's own words.
        shape = lambda e: [l.split(b":")[0] for l in e.splitlines()]
        err_o, err_t = shape(err_o), shape(err_t)
    if (status_o, out_o, err_o) == (status_t, out_t, err_t):
        return None
    return "grep %s%s\n  regexp: status %s out %r err %r\n  grep:   status %s out %r err %r" % (
        " ".join(repr(a) for a in args), "" if colors is None else " GREP_COLORS=" + colors,
        status_o, out_o[:600], err_o[:300], status_t, out_t[:600], err_t[:300])


def output_is_input(regexp, grep, root):
    """grep refuses to read the file its standard output is written to."""
    results = []
    for program, argv in ((regexp, ["regexp", "grep"]), (grep, ["grep"])):
        path = os.path.join(root, "out.txt")
        with open(path, "wb") as f:
            f.write(b"hello\n")
        with open(path, "ab") as out:
            p = subprocess.run(argv + ["hello", "text.txt", "out.txt"], executable=program,
                               cwd=root, stdout=out, stderr=subprocess.PIPE,
                               env={"LC_ALL": "C"}, timeout=60)
        with open(path, "rb") as f:
            results.append((p.returncode, f.read(), normalize_err(p.stderr)))
        os.remove(path)
    if results[0] == results[1]:
        return None
    return "output is input:\n  regexp: %r\n  grep:   %r" % tuple(results)


def cases():
    for syntax, patterns in (("-G", BASIC), ("-E", EXTENDED), ("-F", FIXED)):
        for i, pattern in enumerate(patterns):
            for j, options in enumerate(PER_PATTERN):
                if crossed(i, j, 3):
                    yield ([syntax] + options + ["-e", pattern] + FLAT, None, "exact", None)
    for i, options in enumerate(OPTION_SETS):
        for j, (syntax, pattern) in enumerate((("-G", "hel*o"), ("-E", "o+|needle"), ("-F", "foo"))):
            if crossed(i, j, 2):
                yield ([syntax] + options + ["-e", pattern] + FLAT, None, "exact", None)
        yield (options + ["-e", "match"] + ["many.txt"], None, "exact", None)
    for i, colors in enumerate(COLOR_ENVS):
        for j, options in enumerate((["-n", "-H"], ["-v", "-C1"], ["-o"], ["-C1"])):
            if crossed(i, j, 2):
                yield (["--color=always"] + options + ["o", "text.txt", "crlf.txt"], None, "exact", colors)
    for args in RECURSIVE:
        yield (args, None, "sets", None)
    # Each record pattern meets a third of the option sets (and, in the
    # covering subset, a tenth), each option set several patterns.
    for i, pattern in enumerate(NULL_DATA_PATTERNS):
        for j, options in enumerate(NULL_DATA_OPTIONS):
            if sampled(i, j, 3, 10):
                yield (["-z"] + options + (pattern if pattern[0].startswith("-") else ["-e"] + pattern)
                       + NULL_DATA_FILES, None, "exact", None)
    for args, stdin in NULL_DATA_MISC:
        yield (args, stdin, "exact", None)
    for args in NULL_DATA_RECURSIVE:
        yield (args, None, "record-sets", None)
    for args, extra in MISC:
        mode = "err-shape" if extra == "err-shape" else "exact"
        stdin = None if extra in (None, "err-shape") else extra
        yield (args, stdin, mode, None)


def main():
    regexp, grep, scratch = sys.argv[1:4]
    index, shards = shard(sys.argv, 4)
    version = subprocess.run([grep, "--version"], capture_output=True).stdout
    if not version.startswith(b"grep (GNU grep) 3."):
        print("skipped: %s is not GNU grep 3" % grep)
        return 77
    root = os.path.join(scratch, "grep-side-by-side-%d" % index)
    build_tree(root)
    all_cases = list(cases())[index::shards]
    with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
        failures = [f for f in pool.map(lambda c: compare(c, regexp, grep, root), all_cases) if f]
    if index == 0:
        failures += [f for f in [output_is_input(regexp, grep, root)] if f]
    for failure in failures:
        print(failure)
    print("%d cases, %d differ" % (len(all_cases), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
