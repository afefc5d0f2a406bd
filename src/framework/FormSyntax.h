// What the form units share: the format's character classes and keyword
// rule, places in a text and the error they raise.
//
// Interface (namespace RegexComponent::form): Position, Fail, SameKeyword,
// IsDigit, IsIdentStart, IsIdentChar, kMaxSetMembers, ComponentLabel.
#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

#include "RegexComponent/Framework/Classes.h"
#include "RegexComponent/Framework/FormStreaming.h"
#include "RegexComponent/Framework/TypInfo.h"

namespace RegexComponent::form {

// A 1-based line and column (in bytes) in a form text.
struct Position {
  int Line = 1;
  int Column = 1;
};

// Raises the reading error `message` at `at`.
[[noreturn]] inline void Fail(Position at, const std::string& message) {
  throw EFormError(at.Line, at.Column, message);
}

// Identifiers of the format are ASCII; its keywords (object, end, True,
// False, nil) are matched without regard to case, names exactly.
inline bool SameKeyword(std::string_view word, std::string_view keyword) {
  const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
  if (word.size() != keyword.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (lower(word[i]) != lower(keyword[i])) return false;
  }
  return true;
}

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
inline bool IsIdentChar(char c) { return IsIdentStart(c) || IsDigit(c); }

// A set value has one bit per member, so members past these have no bit.
inline constexpr std::size_t kMaxSetMembers = std::numeric_limits<decltype(TSetValue::Bits)>::digits;

// How messages name a component: its name, or its class when unnamed.
inline std::string ComponentLabel(const TComponent& c) {
  const AnsiString name = c.GetName();
  return name.IsEmpty() ? "an unnamed " + c.ClassName() : name.ToStdString();
}

}  // namespace RegexComponent::form
