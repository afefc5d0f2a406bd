#!/usr/bin/env python3
"""Size limits for the sources: no file under src/, include/ or tools/ longer
than 400 lines, and no C++ function longer than 60.

  check-sizes.py [PATH...]    check these files or folders; by default src/,
                              include/ and tools/ of the repository
  check-sizes.py --self-test  run the counter over its built-in cases

How it counts:
  - A file's length is its number of lines: its newline characters, plus one
    for a last line that does not end in one (what `wc -l` says of a file
    that ends in a newline). Every file in the folders counts.
  - A function's length, in C++ files (.h .hh .hpp .hxx .inl .ipp .c .cc .cpp
    .cxx), is the number of lines from the line holding its body's opening
    `{` to the line holding its closing `}`, both included; blank and comment
    lines inside count. A function-try-block ends at its last handler's `}`.
  - A function body is a `{...}` block at namespace or class scope that
    follows a parameter list's `)`, possibly followed by const, volatile,
    &, &&, noexcept, override, final, attributes, `-> T`, a requires-clause,
    `try` and a constructor's member-initializer list `: a_(x), b_{y}`. A
    lambda's body outside any function body (in a variable's initializer at
    namespace or class scope, or in a member initializer) counts as a
    function of its own, named after the variable it initializes directly,
    else `lambda`. Lambdas, local classes and blocks inside a
    function are part of that function. Class, struct, union, enum and
    namespace bodies and brace initializers are not functions; the functions
    defined in a class body are counted one by one.
  - Comments, string and character literals (raw strings included) and
    preprocessor lines are skipped: braces in them do not count. The reader
    relies on the code being formatted (one declaration's braces balanced
    within each preprocessor branch), not on a full C++ parse.
  - A function is reported at the line of its name, qualified by the classes
    it is defined in (template arguments left out).

Output: one line per violation, `PATH:LINE: function NAME is N lines (limit
60)` or `PATH: N lines (limit 400)`; exit status 1 if there is any, else 0.
"""
import contextlib
import io
import os
import sys
import tempfile
from collections import namedtuple

FILE_LIMIT = 400
FUNCTION_LIMIT = 60
DEFAULT_FOLDERS = ("src", "include", "tools")
CXX_SUFFIXES = (".h", ".hh", ".hpp", ".hxx", ".inl", ".ipp", ".c", ".cc", ".cpp", ".cxx")

# kind: "word" (identifier or keyword), "number", "literal" (string or
# character), "punct", or "braced" (a `{...}` block already read, standing in
# the declaration that holds it).
Token = namedtuple("Token", "text kind line")

PUNCTUATORS = ("<=>", "...", "->*", "::", "->", "&&", "||", "==", "!=", "<=", ">=", "+=", "-=", "*=", "/=",
               "%=", "&=", "|=", "^=", "++", "--", ".*")
STRING_PREFIXES = ("u8", "u", "U", "L")
RAW_PREFIXES = ("R", "u8R", "uR", "UR", "LR")


def _skip_quoted(text, i, quote):
    """Index past the literal opened by the quote at i; an unterminated one
    ends at the end of its line."""
    i += 1
    while i < len(text):
        c = text[i]
        if c == "\\":
            i += 2
        elif c == quote:
            return i + 1
        elif c == "\n":
            return i
        else:
            i += 1
    return i


def _skip_raw(text, i):
    """Index past the raw string whose `"` is at i."""
    paren = text.find("(", i)
    if paren < 0:
        return len(text)
    end = text.find(")" + text[i + 1:paren] + '"', paren)
    return len(text) if end < 0 else end + paren - i + 1


def _skip_directive(text, i):
    """Index of the newline ending the preprocessor line at i, continuation
    lines and block comments included."""
    while i < len(text) and text[i] != "\n":
        if text[i] == "\\" and text.startswith("\n", i + 1):
            i += 2
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            i = len(text) if end < 0 else end + 2
        elif text.startswith("//", i):
            end = text.find("\n", i)
            return len(text) if end < 0 else end
        else:
            i += 1
    return i


def _skip_word(text, i):
    while i < len(text) and (text[i].isalnum() or text[i] == "_" or ord(text[i]) > 127):
        i += 1
    return i


def _skip_number(text, i):
    # Digit separators (1'000) and exponent signs stay in the number.
    i += 1
    while i < len(text):
        c = text[i]
        if c in "+-" and text[i - 1] in "eEpP":
            i += 1
        elif c.isalnum() or c in "_.'":
            i += 1
        else:
            break
    return i


def _skip_trivia(text, i, at_line_start):
    """Index past whitespace, comments or a preprocessor line starting at i,
    or i itself when there are none there."""
    c = text[i]
    if c in " \t\r\f\v\n":
        return i + 1
    if c == "\\" and text.startswith("\n", i + 1):
        return i + 2
    if c == "#" and at_line_start:
        return _skip_directive(text, i)
    if text.startswith("//", i):
        end = text.find("\n", i)
        return len(text) if end < 0 else end
    if text.startswith("/*", i):
        end = text.find("*/", i + 2)
        return len(text) if end < 0 else end + 2
    return i


def tokenize(text):
    tokens = []
    i = 0
    line = 1
    at_line_start = True  # nothing but whitespace since the last newline
    while i < len(text):
        c = text[i]
        end = _skip_trivia(text, i, at_line_start)
        if end != i:
            at_line_start = at_line_start and c in " \t\r\f\v" or c == "\n"
            line += text.count("\n", i, end)
            i = end
            continue
        at_line_start = False
        if c.isalpha() or c == "_" or ord(c) > 127:
            end = _skip_word(text, i)
            word = text[i:end]
            if text.startswith('"', end) and word in RAW_PREFIXES:
                end, kind = _skip_raw(text, end), "literal"
            elif end < len(text) and text[end] in "\"'" and word in STRING_PREFIXES:
                end, kind = _skip_quoted(text, end, text[end]), "literal"
            else:
                kind = "word"
        elif c.isdigit() or (c == "." and text[i + 1:i + 2].isdigit()):
            end, kind = _skip_number(text, i), "number"
        elif c in "\"'":
            end, kind = _skip_quoted(text, i, c), "literal"
        else:
            end = i + next((len(p) for p in PUNCTUATORS if text.startswith(p, i)), 1)
            kind = "punct"
        tokens.append(Token(text[i:end], kind, line))
        line += text.count("\n", i, end)
        i = end
    return tokens


# Words that take a parenthesized operand but never name a function.
NOT_NAMES = {"if", "for", "while", "switch", "catch", "return", "sizeof", "alignof", "alignas", "decltype",
             "noexcept", "throw", "typeid", "static_assert", "requires", "explicit", "__attribute__",
             "__declspec", "new", "delete", "asm", "co_await", "co_return", "co_yield", "_Pragma"}
CLASS_KEYS = ("class", "struct", "union", "enum")
ACCESS = ("public", "protected", "private")


def _match(head, i):
    """Index of the bracket closing the `(` or `[` at head[i], or None."""
    opener = head[i].text
    closer = ")" if opener == "(" else "]"
    depth = 0
    for j in range(i, len(head)):
        t = head[j].text
        if t == opener:
            depth += 1
        elif t == closer:
            depth -= 1
            if depth == 0:
                return j
    return None


def _match_angles(head, i):
    """Like _match for `<`, stepping over parenthesized groups."""
    depth = 0
    j = i
    while j < len(head):
        t = head[j].text
        if t in ("(", "["):
            close = _match(head, j)
            if close is None:
                return None
            j = close
        elif t == "<":
            depth += 1
        elif t == ">":
            depth -= 1
            if depth == 0:
                return j
        j += 1
    return None


def _back_over_angles(head, j):
    """Index of the `<` matching the `>` at head[j], or None."""
    depth = 0
    while j >= 0:
        t = head[j].text
        if t == ">":
            depth += 1
        elif t == "<":
            depth -= 1
            if depth == 0:
                return j
        elif t in (";", "{", "}"):
            return None
        j -= 1
    return None


def _after_template_headers(head):
    """Index past the leading `template <...>` headers."""
    i = 0
    while i + 1 < len(head) and head[i].text == "template" and head[i + 1].text == "<":
        close = _match_angles(head, i + 1)
        if close is None:
            return i
        i = close + 1
    return i


def _qualify(head, start, name):
    """`name`, starting at head[start], with its `A::B::` qualifiers."""
    if start > 0 and head[start - 1].text == "~":
        start -= 1
        name = "~" + name
    while start > 1 and head[start - 1].text == "::":
        j = start - 2
        if head[j].text == ">":
            j = _back_over_angles(head, j)
            if j is None or j == 0:
                break
            j -= 1
        if head[j].kind != "word":
            break
        name = head[j].text + "::" + name
        start = j
    return name


def _name_before(head, open_paren):
    """(name, line) of the function whose parameter list opens at
    head[open_paren], or None when what precedes it names no function."""
    j = open_paren - 1
    if j < 0:
        return None
    for k in range(j, max(j - 5, -1), -1):
        if head[k].text == "operator":
            if any(t.text in (";", ",", "{", "}") for t in head[k + 1:open_paren]) or k == j:
                return None
            spelled = "".join(t.text if t.kind != "word" else " " + t.text for t in head[k + 1:open_paren])
            return _qualify(head, k, "operator" + spelled.rstrip()), head[k].line
    last = head[j]
    if last.text == ">":
        j = _back_over_angles(head, j)
        if j is None or j == 0:
            return None
        j -= 1
        last = head[j]
    if last.kind != "word" or last.text in NOT_NAMES:
        return None
    return _qualify(head, j, last.text), last.line


def _skip_to_stop(head, p, stops):
    """Index of the first token from p at bracket depth 0 among `stops`, or
    the end."""
    while p < len(head) and head[p].text not in stops:
        if head[p].text in ("(", "["):
            close = _match(head, p)
            if close is None:
                return len(head)
            p = close
        p += 1
    return p


def _skip_qualifiers(head, p):
    """Index past what may follow a parameter list before a function-try's
    `try` or a member-initializer list."""
    while p < len(head):
        t = head[p].text
        if t in ("const", "volatile", "&", "&&", "override", "final"):
            p += 1
        elif t in ("noexcept", "throw"):
            p += 1
            if p < len(head) and head[p].text == "(":
                close = _match(head, p)
                if close is None:
                    return None
                p = close + 1
        elif t == "[" and p + 1 < len(head) and head[p + 1].text == "[":
            close = _match(head, p)
            if close is None:
                return None
            p = close + 1
        elif t == "->":
            p = _skip_to_stop(head, p + 1, ("requires", "try", ":", "override", "final"))
        elif t == "requires":
            p = _skip_to_stop(head, p + 1, ("try", ":"))
        else:
            return p
    return p


def _member_initializers(head, p):
    """"complete" when head[p:] is a whole member-initializer list,
    "incomplete" when it ends in a member's name whose braced initializer is
    the block about to open, None when it is not such a list."""
    while True:
        if p < len(head) and head[p].text == "::":
            p += 1
        if p >= len(head) or head[p].kind != "word":
            return None
        p += 1
        while p + 1 < len(head) and head[p].text == "::" and head[p + 1].kind == "word":
            p += 2
        if p < len(head) and head[p].text == "<":
            close = _match_angles(head, p)
            if close is None:
                return None
            p = close + 1
        if p == len(head):
            return "incomplete"
        if head[p].text == "(":
            close = _match(head, p)
            if close is None:
                return None
            p = close + 1
        elif head[p].kind == "braced":
            p += 1
        else:
            return None
        if p < len(head) and head[p].text == "...":
            p += 1
        if p == len(head):
            return "complete"
        if head[p].text != ",":
            return None
        p += 1


def _tail(head, p):
    """What follows a parameter list closing before head[p], up to the block
    about to open: ("complete", try) when the block is the function's body,
    ("incomplete", try) when it initializes a member, None when the `)` is
    no parameter list's."""
    p = _skip_qualifiers(head, p)
    if p is None:
        return None
    try_block = p < len(head) and head[p].text == "try"
    if try_block:
        p += 1
    if p == len(head):
        return "complete", try_block
    if head[p].text != ":":
        return None
    state = _member_initializers(head, p + 1)
    return (state, try_block) if state else None


def _declarator(head):
    """(name, line, state, try) of the function whose declaration `head` is,
    or None: the first parenthesized group after which the rest reads as a
    function's qualifiers and initializers."""
    first = _after_template_headers(head)
    i = first
    while i < len(head):
        t = head[i].text
        if t == "[":
            close = _match(head, i)
            if close is None:
                return None
            i = close + 1
            continue
        if t != "(":
            i += 1
            continue
        close = _match(head, i)
        if close is None:
            return None
        named = _name_before(head, i)
        tail = _tail(head, close + 1) if named else None
        if tail:
            # `x = f(y) {` is no declaration; `operator=(` is one.
            if any(tok.text == "=" and (k == 0 or head[k - 1].text != "operator")
                   for k, tok in enumerate(head[first:i], first)):
                return None
            return named[0], named[1], tail[0], tail[1]
        i = close + 1
    return None


def _lambda(head, start):
    """(name, line) when the block about to open is the body of a lambda
    whose introducer lies in head[start:], else None."""
    introducer = None
    i = start
    while i < len(head):
        t = head[i].text
        if t in ("(", "["):
            close = _match(head, i)
            if close is None:
                return None
            if t == "[" and head[i + 1].text != "[":
                before = head[i - 1] if i > 0 else None
                # After a name or an operand it is a subscript or a declarator.
                if before is None or not (before.kind in ("word", "number", "literal", "braced")
                                          or before.text in (")", "]", ">")):
                    introducer = (i, close)
            i = close + 1
        else:
            i += 1
    if introducer is None:
        return None
    p = introducer[1] + 1
    if p < len(head) and head[p].text == "<":
        p = _match_angles(head, p)
        if p is None:
            return None
        p += 1
    if p < len(head) and head[p].text == "(":
        p = _match(head, p)
        if p is None:
            return None
        p += 1
    while p < len(head) and head[p].text in ("mutable", "constexpr", "consteval", "static"):
        p += 1
    p = _skip_qualifiers(head, p)
    if p != len(head):
        return None
    at = introducer[0]
    if at >= 2 and head[at - 1].text == "=" and head[at - 2].kind == "word":
        return head[at - 2].text, head[at - 2].line
    return "lambda", head[at].line


def _innermost_open_group(head):
    """Index past the innermost `(` or `[` of head left open, or None."""
    opened = []
    for i, t in enumerate(head):
        if t.text in ("(", "["):
            opened.append(i)
        elif t.text in (")", "]") and opened:
            opened.pop()
    return opened[-1] + 1 if opened else None


def _class_name(head, key):
    """The name a class head declares after head[key], qualified, or ""."""
    i = _skip_to_stop(head, key + 1, (":",)) - 1
    while i > key:
        t = head[i]
        if t.text == ">":
            i = _back_over_angles(head, i)
            if i is None:
                return ""
            i -= 1
        elif t.text in ("]", ")"):
            # An attribute or alignas(): step back over its group.
            opener = "[" if t.text == "]" else "("
            depth = 0
            while i > key:
                depth += {t.text: 1, opener: -1}.get(head[i].text, 0)
                i -= 1
                if depth == 0:
                    break
        elif t.text == "final":
            i -= 1
        elif t.kind == "word" and t.text not in ("alignas",) + CLASS_KEYS:
            return _qualify(head, i, t.text)
        else:
            return ""
    return ""


def _class_key(head):
    """Index of the class key a class head starts with, or None."""
    i = _after_template_headers(head)
    while i < len(head) and (head[i].text in ("typedef", "friend", "export") or head[i].kind == "braced"):
        i += 1
    return i if i < len(head) and head[i].text in CLASS_KEYS else None


Block = namedtuple("Block", "kind name line nested try_block")


def classify(scope, head):
    """What the `{` following `head` in `scope` opens."""
    open_group = _innermost_open_group(head)
    lam = _lambda(head, open_group or 0)
    if lam:
        return Block("function", lam[0], lam[1], True, False)
    if open_group is not None or scope.kind == "other":
        return Block("other", "", 0, True, False)
    words = [t.text for t in head if t.kind != "braced"]
    if words[:1] == ["namespace"] or words[:2] == ["inline", "namespace"]:
        return Block("namespace", "", 0, False, False)
    if words[:1] == ["extern"] and len(head) == 2 and head[1].kind == "literal":
        return Block("namespace", "", 0, False, False)
    decl = _declarator(head)
    if decl and decl[2] == "complete":
        return Block("function", decl[0], decl[1], False, decl[3])
    if decl:
        return Block("other", "", 0, True, False)
    key = _class_key(head)
    if key is not None and head[key].text != "enum":
        return Block("class", _class_name(head, key), 0, True, False)
    return Block("other", "", 0, True, False)


class Scope:
    def __init__(self, kind, name="", nested=False, function=None):
        self.kind = kind          # "file", "namespace", "class", "other" or "function"
        self.name = name          # a class's
        self.nested = nested      # its parent's declaration goes on after it
        self.function = function  # a function scope's record
        self.depth = 0            # a function scope's blocks open inside it
        self.head = []            # tokens of the declaration read so far
        self.try_function = None  # a function-try-block whose handlers may follow


Function = namedtuple("Function", "name line start end")


def _open(stack, block, line, records):
    if block.kind != "function":
        stack.append(Scope(block.kind, block.name, block.nested))
        return
    classes = [s.name for s in stack if s.kind == "class" and s.name]
    name = "::".join(classes + [block.name])
    record = {"name": name, "line": block.line, "start": line, "end": line, "try": block.try_block}
    stack.append(Scope("function", nested=block.nested, function=record))
    records.append(record)


def _close(stack, line):
    scope = stack.pop()
    parent = stack[-1]
    if scope.function is not None:
        scope.function["end"] = line
    if scope.nested:
        parent.head.append(Token("{}", "braced", line))
        return
    parent.head = []
    parent.try_function = scope.function if scope.function and scope.function["try"] else None


def find_functions(text):
    """The functions defined in C++ source `text`, in order."""
    records = []
    stack = [Scope("file")]
    for tok in tokenize(text):
        scope = stack[-1]
        if scope.kind == "function":
            if tok.text == "{":
                scope.depth += 1
            elif tok.text == "}" and scope.depth:
                scope.depth -= 1
            elif tok.text == "}":
                _close(stack, tok.line)
            continue
        if tok.text == "{":
            if scope.try_function and scope.head and scope.head[0].text == "catch":
                # A function-try-block's handler: part of the same function,
                # after which another handler may follow.
                stack.append(Scope("function", function=scope.try_function))
            else:
                _open(stack, classify(scope, scope.head), tok.line, records)
        elif tok.text == "}":
            if len(stack) > 1:
                _close(stack, tok.line)
        elif tok.text == ";":
            scope.head = []
            scope.try_function = None
        elif tok.text == ":" and scope.kind == "class" and [t.text for t in scope.head] in ([a] for a in ACCESS):
            scope.head = []
        else:
            if scope.try_function and not (scope.head or tok.text == "catch"):
                scope.try_function = None
            scope.head.append(tok)
    return [Function(r["name"], r["line"], r["start"], r["end"]) for r in records]


def count_lines(text):
    return text.count("\n") + (1 if text and not text.endswith("\n") else 0)


def check_file(path, shown):
    """The violations of the file at `path`, named `shown` in them."""
    with open(path, encoding="utf-8", errors="replace") as f:
        text = f.read()
    problems = []
    lines = count_lines(text)
    if lines > FILE_LIMIT:
        problems.append("%s: %d lines (limit %d)" % (shown, lines, FILE_LIMIT))
    if path.endswith(CXX_SUFFIXES):
        for fn in find_functions(text):
            length = fn.end - fn.start + 1
            if length > FUNCTION_LIMIT:
                problems.append("%s:%d: function %s is %d lines (limit %d)" %
                                (shown, fn.line, fn.name, length, FUNCTION_LIMIT))
    return problems


def files_under(path):
    if os.path.isfile(path):
        return [path]
    found = []
    for folder, dirs, names in os.walk(path):
        dirs.sort()
        found.extend(os.path.join(folder, name) for name in sorted(names))
    return found


def check(paths, root):
    problems = []
    for path in paths:
        for file in files_under(path):
            shown = os.path.relpath(file, root) if root else file
            problems.extend(check_file(file, shown))
    return problems


SELF_TEST_CASES = [
    ("constructor with an initializer list, a braced member and a lambda argument", """
Pipeline::Pipeline(Client& client, int n)
    : client_(client), limits_{n, 2},
      ring_(n), hook_([this] { return 1; }) {
  Start();
}
""", [("lambda", 4, 4, 4), ("Pipeline::Pipeline", 2, 4, 6)]),
    ("lambda and blocks inside a function", """
int Sum(const std::vector<int>& v) {
  auto add = [&](int x) {
    if (x > 0) {
      return x;
    }
    return 0;
  };
  int s = 0;
  for (int x : v) { s += add(x); }
  return s;
}
""", [("Sum", 2, 2, 12)]),
    ("raw string, string and character literals holding braces", """
const char* const kHelp = R"x(usage: {
  } ) " }
)x";
void f() {
  const char* s = "}{";
  char c = '{';
  char d = '\\'';
  int n = 1'000'000;
  /* } */ // {
}
""", [("f", 5, 5, 11)]),
    ("class with inline methods, a nested struct, an enum and member initializers", """
template <class T>
class Box final : public Base<T> {
 public:
  Box() = default;
  explicit Box(T t) noexcept : t_(t) {}
  const T& get() const& { return t_; }
  auto size() const -> std::size_t {
    return 1;
  }
  bool operator==(const Box& o) const { return t_ == o.t_; }
  T& operator()() { return t_; }
  operator bool() const {
    return true;
  }

 private:
  struct Node {
    int v{0};
    int Value() const { return v; }
  };
  enum class State { kA, kB };
  T t_{};
  std::vector<int> v_ = {1, 2, 3};
};
""", [("Box::Box", 6, 6, 6), ("Box::get", 7, 7, 7), ("Box::size", 8, 8, 10), ("Box::operator==", 11, 11, 11),
      ("Box::operator()", 12, 12, 12), ("Box::operator bool", 13, 13, 15), ("Box::Node::Value", 20, 20, 20)]),
    ("function-try-block, its handlers included", """
Widget::Widget(int x)
try : x_(x) {
  Open();
} catch (const std::exception&) {
  Log();
  throw;
}
int g() try {
  return 1;
} catch (...) {
  return 0;
}
""", [("Widget::Widget", 2, 3, 8), ("g", 9, 9, 13)]),
    ("namespaces, templates, preprocessor lines and out-of-line members", """
namespace a::b {
#define BRACE {
#if defined(X) && \\
    Y {
#endif
template <class C, int N = sizeof(C)>
typename Pipeline<C>::Pumped Pipeline<C>::Pump(bool wait) {
  return {};
}
std::unique_lock<std::mutex> Pipeline<C>::Lock() { return std::unique_lock(m_); }
extern "C" {
int c_api(void) { return 0; }
}
}  // namespace a::b
namespace {
const auto kTable = MakeTable({{1, 2}, {3, 4}});
}
""", [("Pipeline::Pump", 8, 8, 10), ("Pipeline::Lock", 11, 11, 11), ("c_api", 13, 13, 13)]),
    ("brace initializers, declarations and defaulted members are not functions", """
const std::vector<Rule> kRules = {
    {"a", Make(1)},
    {"b", Make(2)},
};
std::atomic<const Job*> awaited_{nullptr};
int Declared(int x);
struct Limits {
  unsigned workers = 1;
  Limits() = default;
  Limits(const Limits&) = delete;
  std::size_t batch{Default(4)};
};
enum class Kind : std::uint8_t { kA = 1, kB = Bits(2) };
template <class T>
concept Sized = requires(T t) { t.size(); };
""", []),
    ("lambdas outside any function count as functions", """
const auto kCompare = [](int a, int b) -> bool {
  return a < b;
};
struct Rules {
  std::function<void()> hook = [] {
    Run();
  };
};
""", [("kCompare", 2, 2, 4), ("Rules::hook", 6, 6, 8)]),
]


def _write(path, text):
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def _self_test_limits():
    """Violations reported exactly at the limits, and the exit status."""
    failures = []
    body = lambda lines: "void f%d() {\n%s}\n" % (lines, "  x();\n" * (lines - 2))
    with tempfile.TemporaryDirectory() as folder:
        _write(os.path.join(folder, "a.cpp"), body(FUNCTION_LIMIT) + body(FUNCTION_LIMIT + 1))
        _write(os.path.join(folder, "b.txt"), "x\n" * (FILE_LIMIT + 1))
        _write(os.path.join(folder, "c.h"), "x\n" * FILE_LIMIT)
        _write(os.path.join(folder, "d.h"), "x\n" * FILE_LIMIT + "y")
        got = check([folder], folder)
        want = ["a.cpp:%d: function f%d is %d lines (limit %d)" %
                (FUNCTION_LIMIT + 1, FUNCTION_LIMIT + 1, FUNCTION_LIMIT + 1, FUNCTION_LIMIT),
                "b.txt: %d lines (limit %d)" % (FILE_LIMIT + 1, FILE_LIMIT),
                "d.h: %d lines (limit %d)" % (FILE_LIMIT + 1, FILE_LIMIT)]
        if got != want:
            failures.append("limits: got %r, want %r" % (got, want))
        _write(os.path.join(folder, "e.cpp"), "int main() { return 0; }\n")
        with contextlib.redirect_stdout(io.StringIO()):
            status = (main([os.path.join(folder, "e.cpp")]), main([folder]))
        if status != (0, 1):
            failures.append("limits: wrong exit status")
    return failures


def self_test():
    failures = []
    for title, source, want in SELF_TEST_CASES:
        got = [tuple(fn) for fn in find_functions(source)]
        if got != want:
            failures.append("%s:\n  got  %r\n  want %r" % (title, got, want))
    failures.extend(_self_test_limits())
    for failure in failures:
        print("self-test failed: " + failure)
    if not failures:
        print("self-test: %d cases passed" % (len(SELF_TEST_CASES) + 1))
    return 1 if failures else 0


def main(argv):
    if argv == ["--self-test"]:
        return self_test()
    if argv:
        paths, root = argv, None
    else:
        root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
        paths = [os.path.join(root, folder) for folder in DEFAULT_FOLDERS]
    problems = check(paths, root)
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
