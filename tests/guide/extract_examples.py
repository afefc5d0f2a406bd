#!/usr/bin/env python3
"""Writes each C++ example of a Markdown guide to its own source file.

An example is a ```cpp block whose first line is `// example: NAME`; it is
written to OUT_DIR/NAME.cpp (only when its text changed, so a re-configure
rebuilds nothing new). Prints the names, one per line, for CMake to read.
"""
import pathlib
import re
import sys

guide, out_dir = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
out_dir.mkdir(parents=True, exist_ok=True)
names = []
for block in re.findall(r"^```cpp\n(.*?)^```", guide.read_text(), re.S | re.M):
    first = block.splitlines()[0] if block else ""
    m = re.fullmatch(r"// example: ([A-Za-z0-9_]+)", first.strip())
    if not m:
        sys.exit(f"{guide}: a cpp block does not start with '// example: NAME'")
    name = m.group(1)
    if name in names:
        sys.exit(f"{guide}: two examples are named {name}")
    names.append(name)
    target = out_dir / f"{name}.cpp"
    if not target.exists() or target.read_text() != block:
        target.write_text(block)
print("\n".join(names))
