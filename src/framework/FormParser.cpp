#include "FormParser.h"

#include <climits>
#include <cstdint>

#include "FormLexer.h"
#include "RegexComponent/Framework/QuotedInput.h"
#include "framework/PackageClassTable.h"

namespace RegexComponent::form {

namespace {

class Parser {
 public:
  explicit Parser(std::string_view text) : lexer_(text) {}

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

  static TComponentClass ResolveClass(const Token& cls, TComponentClass rootClass, int depth) {
    if (depth == 1 && rootClass) {
      if (cls.Text != rootClass->ClassName())
        Fail(cls.Pos, "class " + CutQuotedInput(cls.Text) + " does not match the component being loaded: expected " +
                          rootClass->ClassName());
      return rootClass;
    }
    TComponentClass found = FindRegisteredClass(cls.Text);
    if (!found) found = FindPackageClass(cls.Text);
    if (!found) Fail(cls.Pos, "unknown class " + CutQuotedInput(cls.Text) + ": expected a registered component class");
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
        Fail(child.NamePos, "duplicate component name " + CutQuotedInput(child.Name) + ": already used at line " +
                                std::to_string(sibling.NamePos.Line));
    }
    parent.Children.push_back(std::move(child));
  }

  Assignment ParseProperty(const ObjectNode& node) {
    const Token name = lexer_.Next();
    Assignment a;
    a.Pos = name.Pos;
    a.Info = FindPropInfo(node.Class->PublishedProperties(), name.Text);
    if (!a.Info)
      Fail(name.Pos, "unknown property " + CutQuotedInput(name.Text) + " of class " + node.Class->ClassName());
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
    for (std::size_t n = 0; n < names.size() && n < kMaxSetMembers; ++n) {
      if (names[n] == member.Text) return n;
    }
    Fail(member.Pos, "unknown member " + CutQuotedInput(member.Text) + " of set type " + p.SetType->TypeName);
  }

  Lexer lexer_;
};

}  // namespace

ObjectNode ParseForm(std::string_view text, TComponentClass rootClass) { return Parser(text).ParseForm(rootClass); }

}  // namespace RegexComponent::form
