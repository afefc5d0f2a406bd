// Whether a pattern of Boost's POSIX extended grammar reads the same in the
// perl grammar, so that the literal analysis (which reads only perl) can
// speak for it.
//
// Interface: ExtendedReadsAsPerl(pattern, newlineAlternation),
// PerlOptionsFor(extended options) and ReadAsPerl(compiled expression).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <boost/regex.hpp>

namespace RegexComponent::engine {

// True when every construct of `pattern` means the same in both grammars:
// no backslash inside a bracket expression (the extended grammar keeps it
// literal there), escapes only of punctuation or of the class and word
// boundary letters both share (w W s S d D b B), no quantifier where there
// is nothing to repeat or right after another one (the extended grammar
// repeats the repeat, perl makes it lazy or possessive), braces only in
// well-formed intervals and no "(?". Conservative: false for much that
// would agree.
bool ExtendedReadsAsPerl(std::string_view pattern, bool newlineAlternation);

// The perl grammar's options for an expression compiled with the extended
// grammar's `options`: the grammar's own bits dropped, the others kept.
boost::regex_constants::syntax_option_type PerlOptionsFor(boost::regex_constants::syntax_option_type options);

// A compiled expression's text with options the literal analysis reads.
struct PerlReading {
  std::string text;
  boost::regex_constants::syntax_option_type options;
};

// The expression as it stands when compiled in the perl or literal grammar;
// with the perl options when compiled in the extended grammar and it reads
// the same in perl; nothing otherwise.
std::optional<PerlReading> ReadAsPerl(const boost::regex& expression);

}  // namespace RegexComponent::engine
