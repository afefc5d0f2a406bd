// Search-and-replace over a character range, the engine of the component's
// Merge operation.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include <boost/regex.hpp>

namespace RegexComponent::engine {

// Replaces every non-overlapping match of `re` in [first, last) by the
// expansion of `format` (see FormatExpander.h) and appends the result to
// `out`; with `copyUnmatched` the text before, between and after the matches
// is copied as well, so with no match `out` receives the whole subject.
// Matches are found exactly as the component's Grep finds them: regex_grep's
// walk under MatchGuard with the same, already translated, `flags` (empty
// matches included, and Boost's own rule for stepping past them), through
// the literal prefilter on large subjects (GrepSubject). Returns the number
// of matches.
// As regex_grep reports them, "$`" in the format is the text since the end of
// the previous match (not since `first`) and "$'" runs to `last`.
// Boost's exceptions (e.g. on excessive backtracking, see MatchGuard.h)
// propagate; `out` then
// holds what was produced up to that point.
std::size_t MergeAll(const boost::regex& re, const char* first, const char* last, std::string_view format,
                     bool copyUnmatched, boost::regex_constants::match_flag_type flags, std::string& out);

}  // namespace RegexComponent::engine
