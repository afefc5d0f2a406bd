#include "FormLexer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "RegexComponent/Framework/QuotedInput.h"

namespace RegexComponent::form {

namespace {

// A number's digits beyond this are not kept: a message quotes no more.
constexpr std::size_t kKeptDigits = kQuotedInputLimit + 1;

std::string ByteText(char c) {
  const auto b = static_cast<unsigned char>(c);
  if (b > 32 && b < 127) return std::string("'") + c + "'";
  char buf[16];
  std::snprintf(buf, sizeof buf, "byte 0x%02X", b);
  return buf;
}

}  // namespace

std::string Describe(const Token& t) {
  switch (t.Kind) {
    case TokenKind::End: return "end of file";
    case TokenKind::String: return "a string";
    default: return "'" + CutQuotedInput(t.Text) + "'";
  }
}

bool IsKeyword(const Token& t, std::string_view keyword) {
  return t.Kind == TokenKind::Identifier && SameKeyword(t.Text, keyword);
}

bool IsSymbol(const Token& t, char symbol) { return t.Kind == TokenKind::Symbol && t.Text[0] == symbol; }

const Token& Lexer::Peek() {
  if (!peeked_) peeked_ = Lex();
  return *peeked_;
}

Token Lexer::Next() {
  Token t = Peek();
  peeked_.reset();
  return t;
}

void Lexer::Advance() {
  if (text_[pos_++] == '\n') {
    ++at_.Line;
    at_.Column = 1;
  } else {
    ++at_.Column;
  }
}

Token Lexer::Lex() {
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

Token Lexer::LexIdentifier(Token t) {
  t.Kind = TokenKind::Identifier;
  const std::size_t start = pos_;
  while (!AtEnd() && IsIdentChar(Cur())) Advance();
  t.Text = text_.substr(start, pos_ - start);
  return t;
}

Token Lexer::LexNumber(Token t) {
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
    if (t.Text.size() < kKeptDigits) t.Text += Cur();
    Advance();
  }
  if (overflow || (!negative && magnitude == (std::uint64_t{1} << 63)))
    Fail(t.Pos, "integer " + CutQuotedInput(t.Text) + " is out of range");
  t.Number = negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
  return t;
}

// Quoted runs and #nn codes written directly after one another.
Token Lexer::LexString(Token t) {
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

void Lexer::LexQuotedRun(std::string& out) {
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

char Lexer::LexCharacterCode() {
  const Position start = at_;
  Advance();
  if (AtEnd() || !IsDigit(Cur())) Fail(at_, "expected a decimal character code after '#'");
  std::string digits;
  unsigned code = 0;
  while (!AtEnd() && IsDigit(Cur())) {
    code = std::min(code * 10 + static_cast<unsigned>(Cur() - '0'), 1000u);
    if (digits.size() < kKeptDigits) digits += Cur();
    Advance();
  }
  if (code == 0 || code > 255)
    Fail(start, "character code #" + CutQuotedInput(digits) + " is out of range: expected 1 to 255");
  return static_cast<char>(code);
}

}  // namespace RegexComponent::form
