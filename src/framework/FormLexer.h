// Form text to tokens: identifiers, integers, strings (quoted runs and #nn
// codes, decoded) and the symbols = : [ ] , with their places. Bad input
// raises a positioned EFormError.
//
// Interface (namespace RegexComponent::form): TokenKind, Token, Lexer,
// Describe, IsKeyword, IsSymbol.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "FormSyntax.h"

namespace RegexComponent::form {

enum class TokenKind { End, Identifier, Integer, String, Symbol };

struct Token {
  TokenKind Kind = TokenKind::End;
  Position Pos;
  // The identifier or symbol as written; a string decoded; an integer's
  // first digits as written, enough to quote it.
  std::string Text;
  std::int64_t Number = 0;
};

// How messages name what was found: "end of file", "a string" or the token
// quoted (cut to a few dozen bytes).
std::string Describe(const Token& t);
bool IsKeyword(const Token& t, std::string_view keyword);
bool IsSymbol(const Token& t, char symbol);

// Reads tokens one at a time, with one token of look-ahead.
class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  const Token& Peek();
  Token Next();

 private:
  bool AtEnd() const { return pos_ >= text_.size(); }
  char Cur() const { return AtEnd() ? '\0' : text_[pos_]; }
  char Ahead() const { return pos_ + 1 < text_.size() ? text_[pos_ + 1] : '\0'; }
  void Advance();

  Token Lex();
  Token LexIdentifier(Token t);
  Token LexNumber(Token t);
  Token LexString(Token t);
  void LexQuotedRun(std::string& out);
  char LexCharacterCode();

  std::string_view text_;
  std::size_t pos_ = 0;
  Position at_;
  std::optional<Token> peeked_;
};

}  // namespace RegexComponent::form
