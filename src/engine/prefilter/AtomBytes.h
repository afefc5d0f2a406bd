// Byte sets of single-character atoms (classes, escapes, '.', literal
// characters), as Boost matches them.
//
// Interface: AtomBytes(syntax, match, locale); Of(atom) compiles the atom
// alone with the expression's options and locale and runs it over all 256
// bytes: an atom that fails to compile, captures, matches the empty string
// or matches more than one byte gives nothing. Char(c) is a literal
// character: itself, or under icase every byte Boost's traits fold to the
// same value, the comparison Boost makes for literals.
#pragma once

#include <locale>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include <boost/regex.hpp>

#include "engine/prefilter/LiteralAnalysis.h"

namespace RegexComponent::engine {

class AtomBytes {
 public:
  AtomBytes(boost::regex_constants::syntax_option_type syntax, boost::regex_constants::match_flag_type match,
            const std::locale& locale);

  std::optional<ByteSet> Of(std::string_view atom);
  ByteSet Char(unsigned char c) const;

 private:
  std::optional<ByteSet> Test(std::string_view atom) const;

  boost::regex_constants::syntax_option_type syntax_;
  boost::regex_constants::match_flag_type match_;
  std::locale locale_;
  boost::regex_traits<char> traits_;
  std::map<std::string, std::optional<ByteSet>> cache_;
};

}  // namespace RegexComponent::engine
