// GNU grep's basic syntax, read by respelling it in the component's
// Extended syntax.
//
// External interface: GnuBasicToExtended.
//
// The component's Basic mode with QuestionmarkPlusNotOperators and
// VerticalbarNotOperator already reads \+ \? \| as operators, but Boost's
// basic grammar has no \< \> \b \B \w \W \s \S \` \' (they are the letters
// themselves), which GNU's basic syntax has. Boost's extended grammar has
// them all, so a GNU basic pattern is rewritten into it:
//   \( \) \{ \} \| \+ \?  become  ( ) { } | + ?
//   ( ) { } | + ?         become  \( \) \{ \} \| \+ \?
//   *  at the start of an expression (after ^, \( or \|) is literal
//   ^  is an anchor only at such a start, $ only at an expression's end
//      (before \) or \| or at the end); elsewhere both are literal
//   \c for any other c    is c itself, escaped where it is special
// Bracket expressions are copied as they stand: in both syntaxes a
// backslash inside one is an ordinary character.
#pragma once

#include <string>
#include <string_view>

namespace RegexComponent::engine {

std::string GnuBasicToExtended(std::string_view pattern);

}  // namespace RegexComponent::engine
