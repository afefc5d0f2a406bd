// Random grep patterns and texts of short lines, for the tests that hold
// the line search's fast paths against the plain one.
#pragma once

#include <cstdint>
#include <iterator>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "engine/match/LineMatcher.h"

namespace RegexComponent::engine {

// Atoms and quantifiers, many of which the extended and perl grammars read
// differently: a backslash in a bracket, a repeated repeat, a lazy mark.
inline const char* const kAtoms[] = {"a",    "b",    "ab",   "ba ",  " ",    "x",    ".",     "\\.",
                                     "\\\\", "[ab]", "[^a]", "[\\a]", "[[:alpha:]]", "(a|b)", "(ab)", "\\w",
                                     "\\s",  "\\d",  "\\b",  "\\<",  "\\>",   "{",    "A",     "\\x"};
inline const char* const kQuantifiers[] = {"", "", "", "*", "+", "?", "{2}", "{1,2}", "{0,}", "+?", "*?", "??", "**",
                                           "{,2}"};

// A pattern of one to four atoms from `atoms`, each with one of the
// `quantifiers`, sometimes anchored or with an alternation.
inline std::string RandomPattern(std::mt19937& random, std::span<const char* const> atoms = kAtoms,
                                 std::span<const char* const> quantifiers = kQuantifiers) {
  std::string pattern = random() % 6 == 0 ? "^" : "";
  const int count = 1 + static_cast<int>(random() % 4);
  for (int i = 0; i < count; ++i) {
    if (i > 0 && random() % 6 == 0) pattern += '|';
    pattern += atoms[random() % atoms.size()];
    pattern += quantifiers[random() % quantifiers.size()];
  }
  if (random() % 6 == 0) pattern += '$';
  return pattern;
}

inline std::string RandomText(std::mt19937& random) {
  static const char kAlphabet[] = "aabbb xA.\\{}1\t";
  std::string text;
  for (int line = static_cast<int>(random() % 60); line > 0; --line) {
    for (std::size_t k = random() % 24; k > 0; --k) text += kAlphabet[random() % (sizeof kAlphabet - 1)];
    text += '\n';
  }
  if (random() % 2) text += "ab ba";
  return text;
}

// The matcher of random patterns, or null when one does not compile.
inline std::unique_ptr<LineMatcher> MatcherOrNull(const std::vector<std::string>& patterns, std::uint32_t word,
                                                  LineFit fit) {
  try {
    return std::make_unique<LineMatcher>(patterns, word, fit);
  } catch (const boost::regex_error&) {
    return nullptr;
  }
}

}  // namespace RegexComponent::engine
