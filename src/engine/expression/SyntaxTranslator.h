// Translation of the component's syntax-option word and expression text
// into the pattern and syntax options handed to boost::basic_regex.
//
// Which Boost grammar a word is read in
//   The word has no mode bit; the grammar is picked by the bits that set the
//   three modes apart, so every word, mode or not, gets one by one rule:
//   - LimitedOperations, BracesNotOperators and ParenthesesNotOperators all
//     present (Basic's own bits): Boost's POSIX basic grammar. A word that
//     holds both Basic's and Normal's combinations lands here too: those
//     three bits reshape the grammar, while Normal's own two bits
//     (EscapeInCharacterSets, NoLocaleSpecificCollation) are plain options
//     that every Boost grammar takes.
//   - otherwise EscapeInCharacterSets and NoLocaleSpecificCollation both
//     present (Normal's own bits): Boost's perl grammar.
//   - otherwise: Boost's POSIX extended grammar (with back-references).
//   So Basic, Extended and Normal map to boost::regex::basic,
//   extended (minus no_bk_refs) and perl exactly, and a mode with a bit
//   taken away keeps the grammar of the mode it came from whenever the bit
//   removed is not one of the mode's own bits (Normal without Intervals is
//   still perl; Normal without EscapeInCharacterSets is Extended plus
//   NoLocaleSpecificCollation).
//
// The remaining bits then adjust that grammar: a Boost option where the
// grammar has one, otherwise a rewrite of the expression text by a small
// lexer that knows escapes, \Q...\E and bracket expressions. Rewrites never
// add or drop a group and never turn a malformed expression into a valid
// one. docs/syntax-options.md lists how each bit is realised.
//
// Literals: the text is matched as it stands (Boost's literal option);
// with NewlineAsAlternation as well, each line of the text is a literal
// alternative (like fgrep), built as an escaped perl pattern.
//
// Without BackReferences, \1..\9 match the digit itself in every grammar
// (Boost's own no_bk_refs makes them an error in the perl group and does
// not exist in the basic one). \g and \k references of the perl grammar
// are not \digit forms and stay as they are.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <boost/regex.hpp>

namespace RegexComponent::engine {

struct TranslatedExpression {
  // Text to hand to boost::basic_regex.
  std::string pattern;
  // Boost syntax options, without no_except (the caller adds it).
  boost::regex_constants::syntax_option_type flags;
};

TranslatedExpression TranslateExpression(std::uint32_t flagWord, std::string_view expression);

}  // namespace RegexComponent::engine
