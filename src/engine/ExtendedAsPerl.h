// Whether a pattern of Boost's POSIX extended grammar reads the same in the
// perl grammar, so that the literal analysis (which reads only perl) can
// speak for it.
//
// Interface: ExtendedReadsAsPerl(pattern, newlineAlternation) and
// PerlOptionsFor(extended options).
#pragma once

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

}  // namespace RegexComponent::engine
