#!/usr/bin/env python3
"""Runs `regexp grep` with --threads=1 (every file on the calling thread)
and with several threads on the same tree and options, and compares
standard output, standard error and exit status byte for byte, and the two
streams interleaved when both go to one pipe.

The tree has many small files, a few large ones (one whose output is
several times the piece a worker holds before waiting), a binary file, a
file of NUL-ended records (for -z), an unreadable one, a symbolic link to a file whose reading fails, a match on a
last line without a line feed, and files that begin and end with selected
lines, so that context groups and their separators cross file boundaries.

The cases are dealt to SHARDS runs (see run_scope.py). A soak run makes the
large files as large as it wants and adds thread counts. Under a sanitizer
a covering subset runs: every option set (each with one of the patterns,
in turn), every pattern and every operand list, and each stream mode with
one thread count; the plain build and a soak run take every combination.

usage: grep_threads.py REGEXP SCRATCH_DIR [K SHARDS]
"""
import concurrent.futures
import os
import shutil
import subprocess
import sys

from run_scope import COVERING, SOAK, crossed, shard


# --threads=0 is a worker per core, the default.
THREADS = ["--threads=4", "--threads=0"] + (["--threads=2", "--threads=7"] if SOAK else [])

# The large files: one whose output is several times the 256 KiB piece a
# worker holds before it waits, one above the 64 KiB the calling thread
# searches itself; their hits every SPARSE lines.
MANY_HITS_LINES = 150000 if SOAK else 40000
SPARSE_LINES = 200000 if SOAK else 30000
SPARSE = 9973


def tree_files():
    files = {}
    for i in range(400):
        body = "".join("line %d of file %d%s\n" % (n, i, " hit" if (n + i) % 11 == 0 else "")
                       for n in range(i % 13))
        if i % 5 == 0:
            body = "hit first\n" + body + "hit last\n"
        files["d%d/f%03d.txt" % (i % 7, i)] = body
    files["big/many-hits.txt"] = "".join("hit %07d and more text\n" % n for n in range(MANY_HITS_LINES))
    files["big/sparse.txt"] = "".join("%07d %s\n" % (n, "hit" if n % SPARSE == 0 else "...")
                                      for n in range(SPARSE_LINES))
    files["bin/data.bin"] = "text hit\n\0\x01 binary hit\nmore\n"
    files["bin/later.bin"] = "hit before\n" * 50 + "\0 hit after\n"
    files["edge/noeol.txt"] = "first\nlast hit without newline"
    files["edge/empty.txt"] = ""
    files["edge/crlf.txt"] = "hit\r\nno\r\n"
    files["edge/unreadable.txt"] = "hit hidden\n"
    # NUL-ended records for -z, some holding line feeds.
    files["z/records.z"] = "".join("rec %d\n%s\0" % (n, "hit" if n % 7 == 0 else "no") for n in range(300))
    return files


def build_tree(root):
    if os.path.exists(root):
        shutil.rmtree(root)
    for name, content in tree_files().items():
        path = os.path.join(root, "t", name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content.encode("latin-1"))
    os.chmod(os.path.join(root, "t/edge/unreadable.txt"), 0)
    # Reading from offset 0 of a process's memory fails (EIO): a read error
    # in the middle of the walk, followed by -R.
    os.symlink("/proc/self/mem", os.path.join(root, "t/edge/mem"))
    os.symlink("nowhere", os.path.join(root, "t/edge/dangling"))
    with open(os.path.join(root, "one.txt"), "wb") as f:
        f.write(b"hit one\n")


OPTIONS = [
    [], ["-n"], ["-b"], ["-o"], ["-ob"], ["-on"], ["-c"], ["-l"], ["-L"], ["-q"], ["-s"],
    ["-m2"], ["-m1", "-A2"], ["-C1"], ["-n", "-A2"], ["-B1", "-n"], ["-C2", "--group-separator=XX"],
    ["--no-group-separator", "-C1"], ["-v", "-c"], ["-v", "-C1", "-m3"], ["--json"], ["--json", "-v"],
    ["-a"], ["-I", "-c"], ["-Z", "-l"], ["-T", "-n", "-H"], ["-h", "-n"],
    ["--color=always", "-n", "-C1"], ["--color=always", "-o", "-b"], ["-w", "-c"],
    ["-z"], ["-z", "-n", "-C1"], ["-z", "-o", "-b"], ["-z", "-c"], ["-z", "-lZ"], ["-z", "--json"],
]

PATTERNS = [["hit"], ["-E", "hit (first|last)"], ["-F", "zzz"], ["-e", "^"]]


def cases():
    for i, options in enumerate(OPTIONS):
        for j, pattern in enumerate(PATTERNS):
            if crossed(i, j, len(PATTERNS)):
                yield ["-R"] + options + pattern + ["t"]
    # Operands: a missing file, standard input and a directory among files.
    for options in ([], ["-n", "-C1"], ["-c"], ["-q"], ["--json"]):
        yield options + ["hit", "t/d1/f001.txt", "missing", "-", "t/d2", "t/big/sparse.txt",
                         "t/edge/noeol.txt", "one.txt"]
    yield ["-r", "hit"]
    yield ["-r", "-q", "hit", "t/edge", "t/d0"]
    yield ["-rc", "--include=*.bin", "--exclude-dir=d3", "hit", "t"]


# What a sanitizer writes when it finds a fault in a run.
SANITIZER_REPORTS = (b"ERROR: AddressSanitizer", b"WARNING: ThreadSanitizer", b"runtime error:",
                     b"ERROR: LeakSanitizer")


def sanitizer_report(*streams):
    return any(report in (stream or b"") for stream in streams for report in SANITIZER_REPORTS)


def run(argv, root, merged):
    stderr = subprocess.STDOUT if merged else subprocess.PIPE
    env = {"LC_ALL": "C", "PATH": "/usr/bin:/bin", "TERM": "dumb"}
    # The sanitizers' settings reach the tool (halt_on_error and the like).
    env.update({k: v for k, v in os.environ.items() if k.endswith("SAN_OPTIONS")})
    p = subprocess.run(argv, cwd=root, input=b"hit from stdin\nno\n", stdout=subprocess.PIPE, stderr=stderr,
                       env=env, timeout=120)
    return p.returncode, p.stdout, p.stderr


def compare(regexp, root, args):
    failures = []
    # The covering subset runs each case once, with the streams apart: the
    # order of messages among the output is the plain build's to check.
    for merged in (False, True) if not COVERING else (False,):
        one = run([regexp, "grep", "--threads=1"] + args, root, merged)
        # Covering: the thread counts in turn, case by case.
        for threads in THREADS if not COVERING else [THREADS[len(" ".join(args)) % len(THREADS)]]:
            many = run([regexp, "grep", threads] + args, root, merged)
            if many != one or sanitizer_report(*one[1:], *many[1:]):
                failures.append("grep %s %s%s\n  --threads=1: status %s out %r err %r\n  %s: status %s out %r err %r"
                                % (threads, " ".join(args), " (2>&1)" if merged else "", one[0], one[1][-400:],
                                   (one[2] or b"")[-300:], threads, many[0], many[1][-400:], (many[2] or b"")[-300:]))
    return failures


def standard_input_file(regexp, root):
    """Standard input that is a regular file, named twice: every copy shares
    one reading position, so the second reads nothing, as on one thread."""
    results = []
    for threads in ["--threads=1"] + THREADS:
        with open(os.path.join(root, "t/big/sparse.txt"), "rb") as stdin:
            p = subprocess.run([regexp, "grep", threads, "-c", "hit", "-", "t/d1/f001.txt", "-", "one.txt",
                                "t/big/many-hits.txt"], cwd=root, stdin=stdin, capture_output=True,
                               env={"LC_ALL": "C"}, timeout=60)
        results.append((p.returncode, p.stdout, p.stderr))
    expected = b"(standard input):%d" % len(range(0, SPARSE_LINES, SPARSE))
    if len(set(results)) == 1 and expected in results[0][1]:
        return []
    return ["standard input as a file: %r" % results]


def closed_output(regexp, root):
    """A reader that goes away after one line ends every run quietly."""
    results = []
    for threads in ["--threads=1"] + THREADS:
        p = subprocess.Popen([regexp, "grep", threads, "-r", "hit", "t"], cwd=root, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, env={"LC_ALL": "C"})
        p.stdout.readline()
        p.stdout.close()
        err = p.stderr.read()
        results.append((threads, p.wait(timeout=60), err))
    if len({r[1:] for r in results}) == 1 and results[0][2] == b"":
        return []
    return ["closed output: %r" % results]


def main():
    regexp, scratch = sys.argv[1:3]
    index, shards = shard(sys.argv, 3)
    root = os.path.join(scratch, "grep-threads-%d" % index)
    build_tree(root)
    all_cases = list(cases())[index::shards]
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        failures = [f for fs in pool.map(lambda c: compare(regexp, root, c), all_cases) for f in fs]
    if index == 0:
        failures += standard_input_file(regexp, root) + closed_output(regexp, root)
    for failure in failures:
        print(failure)
    print("%d cases, %d differ" % (len(all_cases), len(failures)))
    os.chmod(os.path.join(root, "t/edge/unreadable.txt"), 0o644)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
