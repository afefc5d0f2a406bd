// How an expression's repeats are arranged, read from its text: whether
// Boost could backtrack through it long enough to give up.
//
// Interface: FewRepeats(pattern).
#pragma once

#include <string_view>

namespace RegexComponent::engine {

// True when no repeated group holds a repeat of its own and at most one
// repeat is unbounded (*, +, {n,}), read in the perl or POSIX extended
// grammar. The fast paths that skip text without a candidate literal are
// used only then: on an expression like (a*)*b Boost may exceed its
// complexity limit on such text, an error the skipping would hide. A
// heuristic, not a bound: other shapes can still run away on long lines.
bool FewRepeats(std::string_view pattern);

}  // namespace RegexComponent::engine
