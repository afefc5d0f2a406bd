#include "RegexComponent/Framework/FormStreaming.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <vector>

namespace RegexComponent {

EFormError::EFormError(int line, int column, const std::string& message)
    : std::runtime_error(line > 0 ? "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " +
                                        message
                                  : message),
      line_(line),
      column_(column),
      message_(message) {}

namespace {

// Identifiers of the format are ASCII; its keywords (object, end, True,
// False, nil) are matched without regard to case, names exactly.
bool SameKeyword(std::string_view word, std::string_view keyword) {
  if (word.size() != keyword.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(word[i]) != lower(keyword[i])) return false;
  }
  return true;
}

std::string ComponentLabel(const TComponent& c) {
  const AnsiString name = c.GetName();
  return name.IsEmpty() ? "an unnamed " + c.ClassName() : name.ToStdString();
}

// ===========================================================================
// Writing

bool IsControlByte(unsigned char b) { return b < 32 || b == 127; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || IsDigit(c); }

// "nil" is the reader's word for no handler, so it cannot name one.
bool IsMethodName(std::string_view name) {
  if (name.empty() || !IsIdentStart(name[0]) || SameKeyword(name, "nil")) return false;
  for (const char c : name) {
    if (!IsIdentChar(c)) return false;
  }
  return true;
}

// Printable runs go in quotes (a quote doubled), control bytes as #nn
// between them; bytes of 128 and above stay inside the quotes as they are.
std::string QuoteString(std::string_view text) {
  if (text.empty()) return "''";
  std::string out;
  bool quoted = false;
  for (const char ch : text) {
    const auto b = static_cast<unsigned char>(ch);
    if (IsControlByte(b) == quoted) {
      out += '\'';
      quoted = !quoted;
    }
    if (IsControlByte(b)) {
      out += '#' + std::to_string(b);
    } else {
      out += ch;
      if (ch == '\'') out += '\'';
    }
  }
  if (quoted) out += '\'';
  return out;
}

std::string SetText(const TSetTypeInfo& type, std::uint64_t bits) {
  std::string out = "[";
  for (std::size_t n = 0; n < type.MemberNames.size() && n < 64; ++n) {
    if (!(bits & (std::uint64_t{1} << n))) continue;
    if (out.size() > 1) out += ", ";
    out += type.MemberNames[n];
  }
  return out + "]";
}

class FormWriter {
 public:
  explicit FormWriter(const TComponent& methodRoot) : methodRoot_(methodRoot), methods_(methodRoot.PublishedMethods()) {}

  std::string Write(const TComponent& component) {
    WriteObject(component, 0);
    return std::move(out_);
  }

 private:
  void WriteObject(const TComponent& c, int depth) {
    if (depth >= kMaxFormNesting)
      throw EFormError(0, 0, "cannot save " + ComponentLabel(c) + ": components are nested deeper than " +
                                 std::to_string(kMaxFormNesting) + " levels");
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    const AnsiString name = c.GetName();
    out_ += indent + "object " + (name.IsEmpty() ? "" : name.ToStdString() + ": ") + c.ClassName() + "\n";
    const TComponent& fresh = Fresh(c.ClassType());
    for (const TPropInfo& p : c.ClassType()->PublishedProperties()) {
      if (p.Name == "Name" || !p.Stored) continue;
      const TPropertyValue value = p.Read(c);
      if (value == p.Read(fresh)) continue;
      out_ += indent + "  " + p.Name + " = " + ValueText(c, p, value) + "\n";
    }
    for (int i = 0; i < c.ComponentCount(); ++i) WriteObject(*c.Components(i), depth + 1);
    out_ += indent + "end\n";
  }

  std::string ValueText(const TComponent& c, const TPropInfo& p, const TPropertyValue& value) const {
    switch (p.Kind) {
      case TTypeKind::Integer: return std::to_string(std::get<std::int64_t>(value));
      case TTypeKind::Boolean: return std::get<bool>(value) ? "True" : "False";
      case TTypeKind::String: return StringText(c, p, std::get<AnsiString>(value).View());
      case TTypeKind::Set: return SetText(*p.SetType, std::get<TSetValue>(value).Bits);
      case TTypeKind::Method: return MethodName(c, p, std::get<TMethod>(value));
    }
    return {};
  }

  // A file could not hold what the reader refuses, so neither is written.
  static std::string StringText(const TComponent& c, const TPropInfo& p, std::string_view text) {
    if (text.find('\0') != std::string_view::npos)
      throw EFormError(0, 0, "cannot save " + p.Name + " of " + ComponentLabel(c) + ": the string holds a NUL byte");
    return QuoteString(text);
  }

  std::string MethodName(const TComponent& c, const TPropInfo& p, const TMethod& method) const {
    if (!method.IsAssigned()) return "nil";
    for (const TPublishedMethod& m : methods_) {
      if (!(m.Method == method)) continue;
      if (!IsMethodName(m.Name))
        throw EFormError(0, 0, "cannot save " + p.Name + " of " + ComponentLabel(c) + ": its handler's name '" +
                                   m.Name + "' is not an identifier");
      return m.Name;
    }
    throw EFormError(0, 0, "cannot save " + p.Name + " of " + ComponentLabel(c) +
                               ": its handler is not a published method of " + ComponentLabel(methodRoot_));
  }

  // A newly constructed instance per class: what a reader starts from.
  const TComponent& Fresh(TComponentClass cls) {
    auto& slot = fresh_[cls];
    if (!slot) slot.reset(cls->Create(nullptr));
    return *slot;
  }

  const TComponent& methodRoot_;
  std::vector<TPublishedMethod> methods_;
  std::map<TComponentClass, std::unique_ptr<TComponent>> fresh_;
  std::string out_;
};

// ===========================================================================
// Reading: text -> tokens -> a checked tree of objects -> components

struct Position {
  int Line = 1;
  int Column = 1;
};

[[noreturn]] void Fail(Position at, const std::string& message) { throw EFormError(at.Line, at.Column, message); }

enum class TokenKind { End, Identifier, Integer, String, Symbol };

struct Token {
  TokenKind Kind = TokenKind::End;
  Position Pos;
  std::string Text;  // the identifier, symbol or number as written; a string decoded
  std::int64_t Number = 0;
};

std::string Describe(const Token& t) {
  switch (t.Kind) {
    case TokenKind::End: return "end of file";
    case TokenKind::String: return "a string";
    default: return "'" + t.Text + "'";
  }
}

bool IsKeyword(const Token& t, std::string_view keyword) {
  return t.Kind == TokenKind::Identifier && SameKeyword(t.Text, keyword);
}
bool IsSymbol(const Token& t, char symbol) { return t.Kind == TokenKind::Symbol && t.Text[0] == symbol; }

std::string ByteText(char c) {
  const auto b = static_cast<unsigned char>(c);
  if (b > 32 && b < 127) return std::string("'") + c + "'";
  char buf[16];
  std::snprintf(buf, sizeof buf, "byte 0x%02X", b);
  return buf;
}

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  const Token& Peek() {
    if (!peeked_) peeked_ = Lex();
    return *peeked_;
  }
  Token Next() {
    Token t = Peek();
    peeked_.reset();
    return t;
  }

 private:
  bool AtEnd() const { return pos_ >= text_.size(); }
  char Cur() const { return AtEnd() ? '\0' : text_[pos_]; }
  char Ahead() const { return pos_ + 1 < text_.size() ? text_[pos_ + 1] : '\0'; }
  void Advance() {
    if (text_[pos_++] == '\n') {
      ++at_.Line;
      at_.Column = 1;
    } else {
      ++at_.Column;
    }
  }

  Token Lex() {
    while (!AtEnd() && (Cur() == ' ' || Cur() == '\t' || Cur() == '\r' || Cur() == '\n')) Advance();
    Token t;
    t.Pos = at_;
    if (AtEnd()) return t;
    const char c = Cur();
    if (IsIdentStart(c)) return LexIdentifier(t);
    if (IsDigit(c) || (c == '-' && IsDigit(Ahead()))) return LexNumber(t);
    if (c == '\'' || c == '#') return LexString(t);
    if (c != '\0' && std::strchr("=:[],", c)) {
      t.Kind = TokenKind::Symbol;
      t.Text = std::string(1, c);
      Advance();
      return t;
    }
    Fail(at_, "unexpected character " + ByteText(c));
  }

  Token LexIdentifier(Token t) {
    t.Kind = TokenKind::Identifier;
    while (!AtEnd() && IsIdentChar(Cur())) {
      t.Text += Cur();
      Advance();
    }
    return t;
  }

  Token LexNumber(Token t) {
    t.Kind = TokenKind::Integer;
    const bool negative = Cur() == '-';
    if (negative) {
      t.Text += '-';
      Advance();
    }
    std::uint64_t magnitude = 0;
    bool overflow = false;
    while (!AtEnd() && IsDigit(Cur())) {
      // Past 2^63 no int64 holds the value; stop accumulating before the
      // unsigned arithmetic could wrap back into range.
      if (magnitude > (std::uint64_t{1} << 63) / 10) overflow = true;
      else magnitude = magnitude * 10 + static_cast<unsigned>(Cur() - '0');
      overflow = overflow || magnitude > (std::uint64_t{1} << 63);
      if (t.Text.size() < 32) t.Text += Cur();
      Advance();
    }
    if (overflow || (!negative && magnitude == (std::uint64_t{1} << 63)))
      Fail(t.Pos, "integer " + t.Text + (t.Text.size() >= 32 ? "..." : "") + " is out of range");
    t.Number = negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
    return t;
  }

  // Quoted runs and #nn codes written directly after one another.
  Token LexString(Token t) {
    t.Kind = TokenKind::String;
    for (;;) {
      if (Cur() == '\'') {
        LexQuotedRun(t.Text);
      } else if (Cur() == '#' && !AtEnd()) {
        t.Text += LexCharacterCode();
      } else {
        return t;
      }
    }
  }

  void LexQuotedRun(std::string& out) {
    const Position start = at_;
    Advance();
    for (;;) {
      if (AtEnd() || Cur() == '\n' || Cur() == '\r')
        Fail(start, "unterminated string: expected a closing quote before the end of the " +
                        std::string(AtEnd() ? "file" : "line"));
      if (Cur() == '\0') Fail(at_, "a string cannot hold a NUL byte");
      if (Cur() == '\'') {
        Advance();
        if (Cur() != '\'' || AtEnd()) return;
      }
      out += Cur();
      Advance();
    }
  }

  char LexCharacterCode() {
    const Position start = at_;
    Advance();
    if (AtEnd() || !IsDigit(Cur())) Fail(at_, "expected a decimal character code after '#'");
    std::string digits;
    unsigned code = 0;
    while (!AtEnd() && IsDigit(Cur())) {
      code = std::min(code * 10 + static_cast<unsigned>(Cur() - '0'), 1000u);
      if (digits.size() < 12) digits += Cur();
      Advance();
    }
    if (code == 0 || code > 255)
      Fail(start, "character code #" + digits + (digits.size() >= 12 ? "..." : "") +
                      " is out of range: expected 1 to 255");
    return static_cast<char>(code);
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  Position at_;
  std::optional<Token> peeked_;
};

// ---------------------------------------------------------------------------
// The checked tree: classes, properties and values resolved, handlers named.

struct Assignment {
  const TPropInfo* Info = nullptr;
  TPropertyValue Value;
  std::string Method;  // events: the handler's name; empty for nil
  Position Pos;
  Position ValuePos;
};

struct ObjectNode {
  std::string Name;
  Position NamePos;
  TComponentClass Class = nullptr;
  std::vector<Assignment> Properties;
  std::vector<ObjectNode> Children;
};

class Parser {
 public:
  explicit Parser(std::string_view text) : lexer_(text) {}

  // `rootClass` is the class the outer object must name; null looks the
  // outer object's class up among the registered classes.
  ObjectNode ParseForm(TComponentClass rootClass) {
    ObjectNode root = ParseObject(rootClass, 1);
    const Token rest = lexer_.Next();
    if (rest.Kind != TokenKind::End)
      Fail(rest.Pos, "expected end of file after the final 'end', found " + Describe(rest));
    return root;
  }

 private:
  Token Expect(TokenKind kind, const std::string& what) {
    Token t = lexer_.Next();
    if (t.Kind != kind) Fail(t.Pos, "expected " + what + ", found " + Describe(t));
    return t;
  }

  ObjectNode ParseObject(TComponentClass rootClass, int depth) {
    const Token keyword = lexer_.Next();
    if (!IsKeyword(keyword, "object")) Fail(keyword.Pos, "expected 'object', found " + Describe(keyword));
    ObjectNode node;
    Token cls = Expect(TokenKind::Identifier, "a component name or class name after 'object'");
    node.NamePos = cls.Pos;
    if (IsSymbol(lexer_.Peek(), ':')) {
      lexer_.Next();
      node.Name = cls.Text;
      cls = Expect(TokenKind::Identifier, "a class name after ':'");
    }
    node.Class = ResolveClass(cls, rootClass, depth);
    ParseBody(node, keyword.Pos, depth);
    return node;
  }

  TComponentClass ResolveClass(const Token& cls, TComponentClass rootClass, int depth) {
    if (depth == 1 && rootClass) {
      if (cls.Text != rootClass->ClassName())
        Fail(cls.Pos, "class " + cls.Text + " does not match the component being loaded: expected " +
                          rootClass->ClassName());
      return rootClass;
    }
    TComponentClass found = FindRegisteredClass(cls.Text);
    if (!found) Fail(cls.Pos, "unknown class " + cls.Text + ": expected a registered component class");
    return found;
  }

  void ParseBody(ObjectNode& node, Position begun, int depth) {
    for (;;) {
      const Token& t = lexer_.Peek();
      if (t.Kind == TokenKind::End)
        Fail(t.Pos, "unexpected end of file: expected 'end' to close the object begun at line " +
                        std::to_string(begun.Line));
      if (IsKeyword(t, "end")) {
        lexer_.Next();
        return;
      }
      if (IsKeyword(t, "object")) {
        if (depth >= kMaxFormNesting)
          Fail(t.Pos, "objects are nested deeper than " + std::to_string(kMaxFormNesting) + " levels");
        AddChild(node, ParseObject(nullptr, depth + 1));
      } else if (t.Kind == TokenKind::Identifier) {
        node.Properties.push_back(ParseProperty(node));
      } else {
        Fail(t.Pos, "expected a property, 'object' or 'end', found " + Describe(t));
      }
    }
  }

  static void AddChild(ObjectNode& parent, ObjectNode child) {
    for (const ObjectNode& sibling : parent.Children) {
      if (!child.Name.empty() && sibling.Name == child.Name)
        Fail(child.NamePos, "duplicate component name " + child.Name + ": already used at line " +
                                std::to_string(sibling.NamePos.Line));
    }
    parent.Children.push_back(std::move(child));
  }

  Assignment ParseProperty(const ObjectNode& node) {
    const Token name = lexer_.Next();
    Assignment a;
    a.Pos = name.Pos;
    a.Info = FindPropInfo(node.Class->PublishedProperties(), name.Text);
    if (!a.Info) Fail(name.Pos, "unknown property " + name.Text + " of class " + node.Class->ClassName());
    if (a.Info->Name == "Name")
      Fail(name.Pos, "the component's name belongs in its 'object Name: Class' line, not in a property");
    const Token eq = lexer_.Next();
    if (!IsSymbol(eq, '=')) Fail(eq.Pos, "expected '=' after property name " + name.Text + ", found " + Describe(eq));
    a.ValuePos = lexer_.Peek().Pos;
    ParseValue(a);
    return a;
  }

  void ParseValue(Assignment& a) {
    const TPropInfo& p = *a.Info;
    const Token t = lexer_.Next();
    const auto wrong = [&](const std::string& expected) {
      Fail(t.Pos, "expected " + expected + " for " + p.Name + ", found " + Describe(t));
    };
    switch (p.Kind) {
      case TTypeKind::Integer:
        if (t.Kind != TokenKind::Integer) wrong("an integer");
        if (t.Number < INT_MIN || t.Number > INT_MAX)
          Fail(t.Pos, "integer " + t.Text + " is out of range for " + p.Name + ": expected -2147483648 to 2147483647");
        a.Value = t.Number;
        return;
      case TTypeKind::Boolean:
        if (!IsKeyword(t, "True") && !IsKeyword(t, "False")) wrong("True or False");
        a.Value = IsKeyword(t, "True");
        return;
      case TTypeKind::String:
        if (t.Kind != TokenKind::String) wrong("a quoted string");
        a.Value = AnsiString(t.Text);
        return;
      case TTypeKind::Set:
        if (!IsSymbol(t, '[')) wrong("a set in brackets");
        a.Value = TSetValue{ParseSetMembers(p)};
        return;
      case TTypeKind::Method:
        if (t.Kind != TokenKind::Identifier) wrong("a method name");
        a.Value = TMethod{};
        if (!SameKeyword(t.Text, "nil")) a.Method = t.Text;
        return;
    }
  }

  std::uint64_t ParseSetMembers(const TPropInfo& p) {
    std::uint64_t bits = 0;
    if (IsSymbol(lexer_.Peek(), ']')) {
      lexer_.Next();
      return bits;
    }
    for (;;) {
      const Token member = Expect(TokenKind::Identifier, "a member of " + p.SetType->TypeName);
      bits |= std::uint64_t{1} << MemberOrdinal(p, member);
      const Token sep = lexer_.Next();
      if (IsSymbol(sep, ']')) return bits;
      if (!IsSymbol(sep, ',')) Fail(sep.Pos, "expected ',' or ']' in the set, found " + Describe(sep));
    }
  }

  static std::size_t MemberOrdinal(const TPropInfo& p, const Token& member) {
    const auto& names = p.SetType->MemberNames;
    for (std::size_t n = 0; n < names.size() && n < 64; ++n) {
      if (names[n] == member.Text) return n;
    }
    Fail(member.Pos, "unknown member " + member.Text + " of set type " + p.SetType->TypeName);
  }

  Lexer lexer_;
};

// ---------------------------------------------------------------------------
// Building components from the checked tree.

class Builder {
 public:
  // Events bind to `methodRoot`'s published methods; null means the first
  // component this builder creates.
  explicit Builder(const TComponent* methodRoot, const TFormReadOptions& options = {})
      : methodRoot_(methodRoot), options_(options) {}

  // Creates the component of `node` owned by `owner`, with its properties
  // and owned components. On failure it is destroyed before the error leaves.
  std::unique_ptr<TComponent> Create(const ObjectNode& node, TComponent* owner) {
    if (owner && !node.Name.empty() && owner->FindComponent(AnsiString(node.Name)))
      Fail(node.NamePos, "duplicate component name " + node.Name + ": " + ComponentLabel(*owner) +
                             " already owns a component of that name");
    std::unique_ptr<TComponent> c(node.Class->Create(owner));
    if (!methodRoot_) methodRoot_ = c.get();
    SetName(*c, node);
    Fill(*c, node);
    return c;
  }

  void SetName(TComponent& c, const ObjectNode& node) {
    try {
      c.SetName(AnsiString(node.Name));
    } catch (const std::exception& e) {
      Fail(node.NamePos, e.what());
    }
  }

  // Properties, then the owned components (each kept by its owner).
  void Fill(TComponent& c, const ObjectNode& node) {
    for (const Assignment& a : node.Properties) Assign(c, a);
    for (const ObjectNode& child : node.Children) Create(child, &c).release();
  }

  void Assign(TComponent& c, const Assignment& a) {
    const TPropertyValue value = a.Info->Kind == TTypeKind::Method ? TPropertyValue(Bind(c, a)) : a.Value;
    try {
      (a.Info->Load ? a.Info->Load : a.Info->Write)(c, value);
    } catch (const std::exception& e) {
      Fail(a.Pos, "cannot set " + a.Info->Name + ": " + e.what());
    }
  }

 private:
  TMethod Bind(const TComponent& c, const Assignment& a) {
    if (a.Method.empty()) return {};
    if (options_.SkipEvents) {
      if (options_.SkippedEvents)
        options_.SkippedEvents->push_back(c.GetName().ToStdString() + "." + a.Info->Name + " = " + a.Method);
      return {};
    }
    if (!methods_) methods_ = methodRoot_->PublishedMethods();
    for (const TPublishedMethod& m : *methods_) {
      if (m.Name != a.Method) continue;
      const std::type_info* type = a.Info->MethodType;
      if (!m.Method.Signature || !type || *m.Method.Signature != *type)
        Fail(a.ValuePos, "method " + a.Method + " of " + ComponentLabel(*methodRoot_) + " has the wrong type for " +
                             a.Info->Name + ": expected a " + a.Info->TypeName + " handler");
      return m.Method;
    }
    Fail(a.ValuePos, "unknown method " + a.Method + ": " + ComponentLabel(*methodRoot_) +
                         " has no published method of that name");
  }

  const TComponent* methodRoot_;
  TFormReadOptions options_;
  std::optional<std::vector<TPublishedMethod>> methods_;
};

// The values a load is about to change on an existing root, to put back if
// the load fails.
class RootSnapshot {
 public:
  RootSnapshot(TComponent& root, const ObjectNode& node) : root_(root), name_(root.GetName()) {
    for (const Assignment& a : node.Properties) values_.emplace_back(a.Info, a.Info->Read(root));
  }

  void Restore() noexcept {
    for (auto it = values_.rbegin(); it != values_.rend(); ++it) {
      try {
        (it->first->Load ? it->first->Load : it->first->Write)(root_, it->second);
      } catch (...) {  // the load's own error is the one to report
      }
    }
    try {
      root_.SetName(name_);
    } catch (...) {
    }
  }

 private:
  TComponent& root_;
  AnsiString name_;
  std::vector<std::pair<const TPropInfo*, TPropertyValue>> values_;
};

void FillRoot(TComponent& root, const ObjectNode& node) {
  RootSnapshot snapshot(root, node);
  std::vector<std::unique_ptr<TComponent>> created;
  try {
    Builder builder(&root);
    builder.SetName(root, node);
    for (const Assignment& a : node.Properties) builder.Assign(root, a);
    for (const ObjectNode& child : node.Children) created.push_back(builder.Create(child, &root));
  } catch (...) {
    while (!created.empty()) created.pop_back();  // newest first, as the owner would
    snapshot.Restore();
    throw;
  }
  for (auto& c : created) c.release();  // now kept by root
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EFormError(0, 0, "cannot open " + path + " for reading: " + std::strerror(errno));
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw EFormError(0, 0, "cannot read " + path);
  return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".saving";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) throw EFormError(0, 0, "cannot open " + temporary + " for writing: " + std::strerror(errno));
    out << text;
    out.flush();
    if (!out) {
      std::remove(temporary.c_str());
      throw EFormError(0, 0, "cannot write " + temporary);
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    std::remove(temporary.c_str());
    throw EFormError(0, 0, "cannot replace " + path + ": " + std::strerror(error));
  }
}

}  // namespace

// ===========================================================================

std::string WriteComponentToText(const TComponent& root) { return FormWriter(root).Write(root); }

std::string WriteComponent(const TComponent& component) {
  const TComponent* owner = component.GetOwner();
  return FormWriter(owner ? *owner : component).Write(component);
}

void ReadComponentFromText(std::string_view text, TComponent& root) {
  const ObjectNode node = Parser(text).ParseForm(root.ClassType());
  FillRoot(root, node);
}

TComponent* ReadComponent(std::string_view text, TComponent* owner, const TFormReadOptions& options) {
  const ObjectNode node = Parser(text).ParseForm(nullptr);
  return Builder(owner, options).Create(node, owner).release();
}

void SaveFormFile(const std::string& path, const TComponent& root) { WriteFile(path, WriteComponentToText(root)); }

void LoadFormFile(const std::string& path, TComponent& root) { ReadComponentFromText(ReadFile(path), root); }

void SaveComponentFile(const std::string& path, const TComponent& component) {
  WriteFile(path, WriteComponent(component));
}

TComponent* LoadComponentFile(const std::string& path, TComponent* owner, const TFormReadOptions& options) {
  return ReadComponent(ReadFile(path), owner, options);
}

}  // namespace RegexComponent
