#!/usr/bin/env python3
"""Checks on what the library shows a consumer.

  public_surface.py headers CXX INCLUDE_DIR
      Every public header compiles on its own, and none of them reaches a
      Boost header (RegexComponent/EngineTypes.h, which exists to bring the
      engine's types in, is the one exception). Boost's headers are found
      where the compiler finds them by default, as a consumer's would be.
  public_surface.py size CXX INCLUDE_DIR LIMIT_BYTES
      A file including RegexComponent/RegularExpression.h preprocesses to
      fewer than LIMIT_BYTES bytes.
  public_surface.py symbols LIBRARY EXPECTED_LIST [--update]
      The library's exported symbols, demangled, equal the list kept in the
      repository; --update rewrites the list from the library.
"""
import difflib
import pathlib
import re
import subprocess
import sys
import tempfile

# Public headers that may include Boost: they exist to bring its types in.
BOOST_HEADERS_ALLOWED = {"RegexComponent/EngineTypes.h"}


def compile_unit(cxx, include_dir, text, *flags):
    """Runs the compiler on `text` as a C++20 file; returns (rc, stdout, stderr)."""
    with tempfile.NamedTemporaryFile("w", suffix=".cpp", delete=False) as unit:
        unit.write(text)
    try:
        run = subprocess.run([cxx, "-std=c++20", f"-I{include_dir}", *flags, unit.name],
                             capture_output=True, text=True)
        return run.returncode, run.stdout, run.stderr
    finally:
        pathlib.Path(unit.name).unlink()


def include_chain(trace, index):
    """The headers that led to line `index` of a -H trace, outermost first."""
    depth = len(trace[index].split(" ", 1)[0])
    chain = [trace[index]]
    for line in reversed(trace[:index]):
        dots = len(line.split(" ", 1)[0])
        if dots < depth:
            chain.insert(0, line)
            depth = dots
    return chain


def check_headers(cxx, include_dir):
    root = pathlib.Path(include_dir)
    failures = []
    for header in sorted(root.rglob("*.h")):
        name = header.relative_to(root).as_posix()
        rc, _, err = compile_unit(cxx, include_dir, f"#include <{name}>\n", "-fsyntax-only", "-H")
        if rc != 0:
            failures.append(f"{name} does not compile on its own:\n{err}")
            continue
        if name in BOOST_HEADERS_ALLOWED:
            continue
        trace = [line for line in err.splitlines() if re.match(r"^\.+ ", line)]
        for i, line in enumerate(trace):
            if "/boost/" in line:
                failures.append(f"{name} reaches Boost:\n  " + "\n  ".join(include_chain(trace, i)))
                break
    for failure in failures:
        print(failure)
    return 1 if failures else 0


def check_size(cxx, include_dir, limit):
    rc, out, err = compile_unit(cxx, include_dir, "#include <RegexComponent/RegularExpression.h>\n", "-E")
    if rc != 0:
        print(err)
        return 1
    size = len(out.encode())
    print(f"RegularExpression.h preprocesses to {size} bytes (limit {limit})")
    return 0 if size < limit else 1


def exported_symbols(library):
    out = subprocess.run(["nm", "-D", "--defined-only", "-C", library],
                         capture_output=True, text=True, check=True).stdout
    symbols = set()
    for line in out.splitlines():
        # "<address> <type> <name>"; the name itself may hold spaces.
        parts = line.split(" ", 2)
        if len(parts) == 3:
            symbols.add(re.sub(r"@@?\w+$", "", parts[2]))
    return sorted(symbols)


def check_symbols(library, expected_path, update):
    actual = exported_symbols(library)
    path = pathlib.Path(expected_path)
    if update:
        path.write_text("".join(f"{s}\n" for s in actual))
        print(f"wrote {len(actual)} symbols to {path}")
        return 0
    expected = path.read_text().splitlines()
    print(f"{len(actual)} exported symbols, {len(expected)} listed")
    if actual == expected:
        return 0
    print("exported symbols differ from the list (+ exported but not listed, - listed but not exported);")
    print(f"if the change is meant, rerun with --update and commit {path.name}")
    sys.stdout.writelines(difflib.unified_diff([f"{s}\n" for s in expected], [f"{s}\n" for s in actual],
                                               "listed", "exported", n=0))
    return 1


def main(argv):
    if len(argv) >= 3 and argv[0] == "headers":
        return check_headers(argv[1], argv[2])
    if len(argv) >= 4 and argv[0] == "size":
        return check_size(argv[1], argv[2], int(argv[3]))
    if len(argv) >= 3 and argv[0] == "symbols":
        return check_symbols(argv[1], argv[2], "--update" in argv[3:])
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
