// Bounded searching: every place that runs Boost.Regex over a subject goes
// through MatchGuard::Search or MatchGuard::Grep, which behave as
// boost::regex_search and boost::regex_grep but cannot run away.
//
// Boost gives up a search with its complexity error after visiting
//   max(N * S^2 + 100000, min(N^2 + 100000, 10^8))
// states of its matcher, N the length of the text searched and S that of the
// expression. The S^2 term lets long expressions run practically forever, so
// an expression longer than kPlainLength characters is searched by a matcher
// of our own whose limit grows with S * kPlainLength instead:
//   max(N * S * kPlainLength + 100000, min(N^2 + 100000, 10^8)).
// Shorter expressions keep Boost's own matcher and limit; both limits agree
// at S = kPlainLength. Past the limit std::runtime_error (the same
// boost::regex_error Boost raises) reaches the caller.
//
// Repeats of a single character, set or '.' are matched by scanning, which
// the state count hardly sees; an expression whose shortest match is longer
// than the text left therefore is not run at all (no match, found at once).
// See docs/limits.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include <boost/regex.hpp>

namespace RegexComponent::engine {

class MatchGuard {
 public:
  using OnMatch = std::function<bool(const boost::cmatch&)>;

  // Expressions up to this length run on Boost's own matcher and limit.
  static constexpr std::size_t kPlainLength = 16;

  // What a guard works out about its expression, once for many searches.
  struct Facts {
    std::size_t minimumLength = 0;  // a lower bound of any match's length
    // Boost's perl rule finds what its leftmost-longest rule finds, groups
    // included (FirstMatchIsLongest in LiteralAnalysis.h), and stops at the
    // first match at a start instead of trying every way on: a search asked
    // for the leftmost-longest match (match_posix) runs the perl rule.
    bool perlRuleAgrees = false;
  };
  static Facts Study(const boost::regex& expression);

  // `expression` must outlive the guard and stay unchanged while it is used.
  explicit MatchGuard(const boost::regex& expression);
  // The same with the Study() of `expression`, for callers that search with
  // one expression many times.
  MatchGuard(const boost::regex& expression, const Facts& facts);

  // As boost::regex_search(first, last, m, expression, flags, base).
  bool Search(const char* first, const char* last, boost::cmatch& m, boost::regex_constants::match_flag_type flags,
              const char* base) const;
  bool Search(const char* first, const char* last, boost::cmatch& m,
              boost::regex_constants::match_flag_type flags) const {
    return Search(first, last, m, flags, first);
  }
  // As boost::regex_match(first, last, m, expression, flags).
  bool Match(const char* first, const char* last, boost::cmatch& m,
             boost::regex_constants::match_flag_type flags) const;
  // As boost::regex_grep(onMatch, first, last, expression, flags): calls
  // `onMatch` for each match until it returns false; returns the count.
  unsigned Grep(const OnMatch& onMatch, const char* first, const char* last,
                boost::regex_constants::match_flag_type flags) const;

  // Whether the attempt to match at `first` alone (a search with `flags` and
  // match_continuous; `base` as in Search) looks at the end `last` before it
  // settles: a match found at `first` without doing so is the one that
  // text after `last` would give too, when a match found is taken at once
  // (match_any). Costs no more than that attempt.
  bool ReachesEnd(const char* first, const char* last, boost::regex_constants::match_flag_type flags,
                  const char* base) const;

  // A lower bound of the length of any match of the expression.
  std::size_t MinimumLength() const { return facts_.minimumLength; }
  // Whether searches run on the matcher of our own.
  bool Bounded() const { return bounded_; }
  // The number of matcher states one search over `textLength` characters may
  // visit with an expression of `expressionLength` characters.
  static std::uint64_t StateLimit(std::uint64_t textLength, std::uint64_t expressionLength);

 private:
  // The flags a search runs with: the perl rule for leftmost-longest where
  // the two agree.
  boost::regex_constants::match_flag_type Rule(boost::regex_constants::match_flag_type flags) const;

  const boost::regex& expression_;
  Facts facts_;
  bool bounded_;
};

}  // namespace RegexComponent::engine
