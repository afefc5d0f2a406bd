#!/usr/bin/env python3
"""Times the regexp tool against GNU grep and ripgrep on a tree of files.

For each pattern, `regexp grepfiles -r` and `regexp grep -rEo` are run over
the corpus together with `grep -rEo` and `rg -o`; first once each to check
that all four print the same number of matches (lines of output), then in
interleaved rounds whose order rotates. Prints per pattern

    RATIO grepfiles_vs_grep/<pattern> <regexp wall / grep wall>
    RATIO grepfiles_vs_rg/<pattern>   <regexp wall / rg wall>
    RATIO tool_grep_vs_grep/<pattern> ...
    RATIO tool_grep_vs_rg/<pattern>   ...

(medians of the wall times), then `tool_grep_many`: `regexp grep -Eno` on a
generated 100,000-line file with 200,000 matches against `grep -Eno`, and
writes the ratios as an SVG bar chart. Exits 1 when counts disagree.

usage: compare_tools.py REGEXP [--quick] [--corpus DIR] [--svg FILE] [--grep-threads NUM]
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

# (label, pattern, extra options shared by all tools). The label names the
# pattern in the ratio lines and the chart.
PATTERNS = [
    ("TODO|FIXME", "TODO|FIXME", []),
    ("namespace", "namespace", []),
    ("[A-Z_]+_H", "[A-Z_]+_H", []),
    ("#include <[a-z_]+\\.h>", "#include <[a-z_]+\\.h>", []),
    ("\\bstatic\\b", "\\bstatic\\b", []),
    ("[0-9]{4}-[0-9]{2}", "[0-9]{4}-[0-9]{2}", []),
    ("-i mutex", "mutex", ["-i"]),
    ("[[:upper:]][[:digit:]]{3} (no literal)", "[[:upper:]][[:digit:]]{3}", []),
]

ENV = dict(os.environ, LC_ALL="C")


# Extra options of `regexp grep` (--grep-threads adds --threads=NUM).
TOOL_GREP_OPTIONS = []


def commands(regexp, corpus, pattern, extra):
    """The four command lines for one pattern, keyed by tool name."""
    return {
        "grepfiles": [regexp, "grepfiles", "-r", *extra, pattern, corpus + "/*"],
        "tool_grep": [regexp, "grep", *TOOL_GREP_OPTIONS, "-a", "-rEo", *extra, pattern, corpus],
        "grep": ["grep", "-a", "-rEo", *extra, pattern, corpus],
        "rg": ["rg", "--no-config", "-uu", "-a", "-o", *extra, pattern, corpus],
    }


def run(argv, out_path):
    """Wall seconds of one run with its output written to `out_path`.

    Output goes to a regular file: GNU grep stops at the first match when its
    output is /dev/null."""
    with open(out_path, "wb") as out:
        start = time.perf_counter()
        proc = subprocess.run(argv, stdout=out, stderr=subprocess.DEVNULL, env=ENV)
        wall = time.perf_counter() - start
    if proc.returncode not in (0, 1):
        sys.exit(f"failed ({proc.returncode}): {' '.join(argv)}")
    return wall


def line_count(path):
    with open(path, "rb") as f:
        return sum(chunk.count(b"\n") for chunk in iter(lambda: f.read(1 << 20), b""))


def interleaved_medians(argvs, rounds, scratch):
    """Median wall time per key, the order of the runs rotating by round."""
    keys = list(argvs)
    times = {k: [] for k in keys}
    out = os.path.join(scratch, "timed.out")
    for r in range(rounds):
        for k in keys[r % len(keys):] + keys[:r % len(keys)]:
            times[k].append(run(argvs[k], out))
    return {k: statistics.median(v) for k, v in times.items()}


def build_corpus(path, source):
    """A copy of `source` without symbolic links, so that every tool sees the
    same files; a generated tree when `source` is missing."""
    if os.path.isdir(path):
        return
    tmp = path + ".partial"
    shutil.rmtree(tmp, ignore_errors=True)
    if os.path.isdir(source):
        subprocess.run(["cp", "-a", source, tmp], check=True)
        subprocess.run(["find", tmp, "-type", "l", "-delete"], check=True)
    else:
        generate_tree(tmp)
    os.rename(tmp, path)


def generate_tree(root, files=4000, seed=13):
    """Header-like files: include lines, guards, dates, comments, code."""
    rng = random.Random(seed)
    words = ["static", "namespace", "struct", "mutex", "Mutex", "int", "return", "const",
             "template", "typename", "size_t", "TODO", "FIXME", "buffer", "value", "count"]
    for i in range(files):
        d = os.path.join(root, f"d{i % 37}", f"s{i % 11}")
        os.makedirs(d, exist_ok=True)
        guard = f"_FILE_{i}_H"
        lines = [f"#ifndef {guard}", f"#define {guard}"]
        for _ in range(rng.randint(20, 400)):
            kind = rng.random()
            if kind < 0.05:
                lines.append(f"#include <{rng.choice(words)}_{rng.randint(0, 99)}.h>")
            elif kind < 0.08:
                lines.append(f"/* {rng.randint(1990, 2030)}-{rng.randint(1, 12):02d} A{rng.randint(100, 9999)} */")
            else:
                lines.append(" ".join(rng.choice(words) for _ in range(rng.randint(0, 12))) + ";")
        lines.append(f"#endif /* {guard} */")
        with open(os.path.join(d, f"f{i}.h"), "w") as f:
            f.write("\n".join(lines) + "\n")


def many_matches_file(path, lines=100_000):
    """100,000 lines with exactly two runs of digits each: 200,000 matches."""
    rng = random.Random(12)
    with open(path, "w") as f:
        for i in range(lines):
            f.write(f"item {i} costs {rng.randint(0, 99999)} units\n" if i % 3 else
                    f"{i}: value={rng.randint(0, 10**9)} ok\n")


def compare_corpus(regexp, corpus, rounds, scratch):
    """Checks the counts and returns {ratio name: value}; None on disagreement."""
    ratios = {}
    agree = True
    for label, pattern, extra in PATTERNS:
        argvs = commands(regexp, corpus, pattern, extra)
        counts = {}
        for key, argv in argvs.items():
            out = os.path.join(scratch, key + ".out")
            run(argv, out)  # also warms the page cache
            counts[key] = line_count(out)
        if len(set(counts.values())) != 1:
            print(f"MISMATCH {label}: " + ", ".join(f"{k} {v}" for k, v in counts.items()))
            agree = False
            continue
        med = interleaved_medians(argvs, rounds, scratch)
        print(f"# {label}: {counts['grep']} matches; wall medians " +
              ", ".join(f"{k} {v:.3f}s" for k, v in med.items()))
        for ours in ("grepfiles", "tool_grep"):
            for theirs in ("grep", "rg"):
                ratios[f"{ours}_vs_{theirs}/{label}"] = med[ours] / med[theirs]
    return ratios if agree else None


def compare_many(regexp, rounds, scratch):
    path = os.path.join(scratch, "many.txt")
    many_matches_file(path)
    argvs = {"regexp": [regexp, "grep", "-Eno", "[0-9]+", path], "grep": ["grep", "-Eno", "[0-9]+", path]}
    counts = {}
    for key, argv in argvs.items():
        out = os.path.join(scratch, key + ".out")
        run(argv, out)
        counts[key] = line_count(out)
    if counts["regexp"] != counts["grep"]:
        print(f"MISMATCH tool_grep_many: regexp {counts['regexp']} lines, grep {counts['grep']}")
        return None
    med = interleaved_medians(argvs, rounds * 3, scratch)
    print(f"# tool_grep_many: {counts['grep']} lines; wall medians regexp {med['regexp']:.3f}s, grep {med['grep']:.3f}s")
    return med["regexp"] / med["grep"]


def svg_chart(ratios, path):
    """Grouped horizontal bars, one group per pattern, with a line at 1.0."""
    series = [("grepfiles_vs_grep", "#1f77b4"), ("grepfiles_vs_rg", "#aec7e8"),
              ("tool_grep_vs_grep", "#d62728"), ("tool_grep_vs_rg", "#ff9896")]
    labels = [label for label, _, _ in PATTERNS if f"grepfiles_vs_grep/{label}" in ratios]
    top = max([1.0] + list(ratios.values()))
    left, width, bar, gap = 290, 420, 9, 14
    height = 60 + len(labels) * (len(series) * bar + gap) + 20 * len(series)
    scale = width / (top * 1.1)
    out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{left + width + 60}" height="{height}" '
           'font-family="sans-serif" font-size="12">',
           f'<text x="10" y="20" font-size="14">wall time / reference tool (lower is faster; 1.0 = same)</text>']
    y = 40
    for label in labels:
        out.append(f'<text x="{left - 8}" y="{y + 2 * bar + 4}" text-anchor="end">{escape(label)}</text>')
        for name, colour in series:
            value = ratios.get(f"{name}/{label}", 0.0)
            out.append(f'<rect x="{left}" y="{y}" width="{value * scale:.1f}" height="{bar - 1}" fill="{colour}"/>')
            out.append(f'<text x="{left + value * scale + 4:.1f}" y="{y + bar - 1}" font-size="9">{value:.2f}</text>')
            y += bar
        y += gap
    one = left + scale
    out.append(f'<line x1="{one:.1f}" y1="30" x2="{one:.1f}" y2="{y}" stroke="#444" stroke-dasharray="4 3"/>')
    for name, colour in series:
        out.append(f'<rect x="{left}" y="{y + 4}" width="12" height="10" fill="{colour}"/>')
        out.append(f'<text x="{left + 18}" y="{y + 13}">{name.replace("_vs_", " vs ")}</text>')
        y += 20
    out.append("</svg>")
    with open(path, "w") as f:
        f.write("\n".join(out) + "\n")


def escape(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("regexp")
    parser.add_argument("--quick", action="store_true", help="one timed round instead of three")
    parser.add_argument("--corpus", default="build/bench/corpus", help="where the tree is built and kept")
    parser.add_argument("--source", default="/usr/include", help="the tree the corpus copies")
    parser.add_argument("--svg", default="build/bench/tools.svg")
    parser.add_argument("--grep-threads", type=int, help="--threads for regexp grep (default: its own)")
    args = parser.parse_args()
    if args.grep_threads is not None:
        TOOL_GREP_OPTIONS.append(f"--threads={args.grep_threads}")
    rounds = 1 if args.quick else 3
    for tool in ("grep", "rg"):
        if not shutil.which(tool):
            sys.exit(f"{tool} is not installed (scripts/install-deps.sh installs it)")
    build_corpus(args.corpus, args.source)
    files = sum(len(f) for _, _, f in os.walk(args.corpus))
    print(f"# corpus {args.corpus}: {files} files; {rounds} interleaved round(s) per pattern")
    status = 0
    with tempfile.TemporaryDirectory() as scratch:
        ratios = compare_corpus(os.path.abspath(args.regexp), os.path.abspath(args.corpus), rounds, scratch)
        many = compare_many(os.path.abspath(args.regexp), rounds, scratch)
    if ratios is None or many is None:
        status = 1
    for name, value in (ratios or {}).items():
        print(f"RATIO {name} {value:.2f}")
    if many is not None:
        print(f"RATIO tool_grep_many {many:.2f}")
    if ratios:
        svg_chart(ratios, args.svg)
        print(f"# chart written to {args.svg}")
    return status


if __name__ == "__main__":
    sys.exit(main())
