#!/usr/bin/env python3
"""Makes the regexp(1) man page from the manual in README.md.

The manual is the part of the README from `### NAME` up to the next `## `
heading. It uses a small subset of Markdown, which maps onto man macros:
`### X` a section, indented lines a literal block, ```` ``` ```` fences a
literal block, a term line followed by `: text` a tagged paragraph, a table
a tagged paragraph per row, anything else filled text. `code` becomes bold,
[text](link) its text.

    make-manpage.py README.md VERSION [OUTPUT]   (standard output without OUTPUT)
"""
import re
import sys


def inline(text):
    text = re.sub(r"\[([^\]]+)\]\([^)]+\)", r"\1", text)
    text = text.replace("\\", "\\e")
    text = re.sub(r"`([^`]+)`", r"\\fB\1\\fR", text)
    return text


def escape_line(line):
    # A line starting with . or ' would be read as a macro.
    return "\\&" + line if line[:1] in (".", "'") else line


def manual(readme):
    lines = readme.splitlines()
    start = next(i for i, l in enumerate(lines) if l.strip() == "### NAME")
    end = next((i for i in range(start + 1, len(lines)) if lines[i].startswith("## ")), len(lines))
    return lines[start:end]


def convert(lines, version):
    out = [f'.TH REGEXP 1 "" "RegexComponents {version}" "User Commands"']
    i = 0
    while i < len(lines):
        line = lines[i]
        if line.startswith("### "):
            out.append(".SH " + line[4:].strip().upper())
        elif line.startswith("```"):
            out.append(".PP\n.nf")
            i += 1
            while i < len(lines) and not lines[i].startswith("```"):
                out.append(escape_line(lines[i].replace("\\", "\\e")))
                i += 1
            out.append(".fi")
        elif line.startswith("    "):
            out.append(".PP\n.nf")
            while i < len(lines) and (lines[i].startswith("    ") or not lines[i].strip()):
                if lines[i].strip():
                    out.append(escape_line(lines[i][4:].replace("\\", "\\e")))
                i += 1
            out.append(".fi")
            continue
        elif line.startswith("|"):
            while i < len(lines) and lines[i].startswith("|"):
                cells = [c.strip() for c in lines[i].strip().strip("|").split("|")]
                if not set("".join(cells)) <= set("-: ") and i > 0 and lines[i - 1].startswith("|"):
                    out.append(".TP\n" + inline(cells[0]) + "\n" + inline(" ".join(cells[1:])))
                i += 1
            continue
        elif line.strip() and i + 1 < len(lines) and lines[i + 1].startswith(": "):
            out.append(".TP\n" + inline(line.strip()))
            i += 1
            body = [lines[i][2:]]
            while i + 1 < len(lines) and lines[i + 1].startswith("  ") and lines[i + 1].strip():
                i += 1
                body.append(lines[i].strip())
            out.append(escape_line(inline(" ".join(body))))
        elif line.strip():
            para = [line.strip()]
            while i + 1 < len(lines) and lines[i + 1].strip() and not re.match(r"(###|```|    |\||: )", lines[i + 1]):
                if i + 2 < len(lines) and lines[i + 2].startswith(": "):
                    break
                i += 1
                para.append(lines[i].strip())
            out.append(".PP\n" + escape_line(inline(" ".join(para))))
        i += 1
    return "\n".join(out) + "\n"


if __name__ == "__main__":
    readme, version = sys.argv[1], sys.argv[2]
    page = convert(manual(open(readme, encoding="utf-8").read()), version)
    if len(sys.argv) > 3:
        with open(sys.argv[3], "w", encoding="utf-8") as out:
            out.write(page)
    else:
        sys.stdout.write(page)
