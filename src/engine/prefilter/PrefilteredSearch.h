// Searching with a literal prefilter: the literals every match must contain
// (LiteralAnalysis) are found with a fast scan, and Boost is started only
// where a match can begin relative to the first occurrence, so that Boost
// alone still decides every match.
//
// Interface: PrefilteredSearch(expression, flags); Prefiltered() tells
// whether the expression qualified; Next() finds the match regex_grep
// would find after a match ending at `from`; Grep() is boost::regex_grep
// over the same range with the same flags: the same matches in the same
// order, each reported as regex_grep reports it (prefix from the end of
// the previous match, suffix to the end of the range, positions from the
// range's start). An expression that does not qualify runs through Boost
// unchanged.
//
// Why starting late is exact: no match starts before the first occurrence
// q of a literal minus the reach (or before q's line); Boost is started
// there with match_prev_avail and the range's start as its base, so ^, \b,
// \< and \> see the real previous byte. Boost then searches a window ending
// where later text cannot change a match that starts up to q: after q's
// line feed when no match can hold a line feed, or one byte past the
// longest match from q; a match beyond those limits is looked for again
// from the next occurrence. Should Boost give up on a window (its
// complexity limit), the search is repeated without the prefilter.
//
// A chunk of a file, with more text after it, is searched through
// NextCandidate(): the same reasoning gives where Boost need start and where
// its search may stop; without a literal in the chunk, a match may still
// start where the literal of a match to come can reach back from the next
// chunk, and only there.
//
// Each candidate costs a Boost search of its own, which only pays while
// candidates are sparse: Grep() judges that as it goes, and where the text
// advances too little per Boost search it hands the rest of the range to
// regex_grep, started as the continuation of the run so far.
#pragma once

#include <boost/regex.hpp>

#include "engine/prefilter/LiteralAnalysis.h"
#include "engine/prefilter/LiteralScanner.h"
#include "engine/match/MatchGuard.h"

namespace RegexComponent::engine {

// When the prefilter is given up: once `judgeAfter` Boost searches
// have been made, the text must have advanced at least `minAdvance` bytes
// per search on average. A Boost search costs a few hundred nanoseconds of
// set-up, about what Boost's own scan spends on 256 bytes at its fastest.
struct GrepPolicy {
  unsigned judgeAfter = 32;
  std::size_t minAdvance = 256;
};

class PrefilteredSearch {
 public:
  // `expression` must outlive this object.
  PrefilteredSearch(const boost::regex& expression, boost::regex_constants::match_flag_type flags,
                    GrepPolicy policy = {});

  bool Prefiltered() const { return analysis_.usable; }
  const LiteralAnalysis& Analysis() const { return analysis_; }

  // The first match starting at or after `from` in [begin, end), reported
  // as regex_grep reports the match it finds after one that ended at
  // `from` (or its first match when `from` is `begin`). Once the policy
  // finds the prefilter not paying, the rest is searched by Boost alone.
  bool Next(const char* begin, const char* from, const char* end, boost::cmatch& out);

  // For a search over text that may go on past `end` (`more`: a chunk of a
  // file), where Boost need look for the first match that starts at or
  // after `scan`. No match starts in [scan, start). A search of
  // [start, last) finds that match when it starts at or before `accept`;
  // one found after `accept` is looked for again from accept + 1. When
  // `last` is `end` the search must run to the range's end, with the care
  // the text after it needs. False when no match starts in [scan, end).
  struct Candidate {
    const char* start;
    const char* last;
    const char* accept;
  };
  bool NextCandidate(const char* scan, const char* end, bool more, Candidate& out) const;
  const GrepPolicy& Policy() const { return policy_; }

  template <class Predicate>
  unsigned Grep(Predicate predicate, const char* begin, const char* end) {
    if (!Prefiltered()) return guard_.Grep(predicate, begin, end, flags_);
    unsigned count = 0;
    searches_ = 0;
    // Matches are never empty here, so each search starts where the last
    // match ended, as regex_grep's does.
    const char* from = begin;
    for (; PaysOff(begin, from); from = match_[0].second) {
      if (!Next(begin, from, end, match_)) return count;
      ++count;
      if (!predicate(match_) || match_[0].second == end) return count;
    }
    return count + GrepRest(predicate, begin, from, end);
  }

 private:
  struct Window {
    const char* last;    // where Boost's range ends
    const char* accept;  // a match found starting after this is not trusted
  };

  bool PaysOff(const char* begin, const char* from) const {
    return searches_ < policy_.judgeAfter || static_cast<std::size_t>(from - begin) >= policy_.minAdvance * searches_;
  }

  // regex_grep over [from, end) as the continuation of a run from `begin`:
  // the byte before `from` is real, and positions count from `begin`.
  template <class Predicate>
  unsigned GrepRest(Predicate& predicate, const char* begin, const char* from, const char* end) {
    const auto flags = from == begin ? flags_ : flags_ | boost::regex_constants::match_prev_avail;
    const auto rebased = [&](const boost::cmatch& m) {
      match_ = m;
      match_.set_base(begin);
      return predicate(match_);
    };
    return guard_.Grep(rebased, from, end, flags);
  }

  const char* Earliest(const char* from, const char* literal) const;
  Window WindowAfter(const char* literal, const char* end) const;
  bool Search(const char* begin, const char* start, const char* last, boost::cmatch& m) const;
  bool Plain(const char* begin, const char* from, const char* end, boost::cmatch& out) const;

  // Every Boost search and grep goes through the guard, as unfiltered ones do.
  MatchGuard guard_;
  boost::regex_constants::match_flag_type flags_;
  GrepPolicy policy_;
  LiteralAnalysis analysis_;
  LiteralScanner scanner_;
  boost::cmatch found_;
  boost::cmatch match_;
  unsigned searches_ = 0;  // Boost searches for candidates since Grep() began
  std::size_t longestLiteral_ = 0;
};

// Subjects from this size on are grepped with the literal prefilter: its
// analysis is paid on every call.
inline constexpr std::size_t kPrefilterMinSubject = std::size_t{1} << 20;

// regex_grep over a subject held whole in memory, as MatchGuard::Grep with
// `facts` reports it: through PrefilteredSearch from kPrefilterMinSubject
// bytes on, by the guard alone below.
unsigned GrepSubject(const boost::regex& expression, const MatchGuard::Facts& facts,
                     boost::regex_constants::match_flag_type flags, const MatchGuard::OnMatch& onMatch,
                     const char* begin, const char* end);

// Copies `found`, a match Boost reported from a search of [.., last), as
// regex_grep reports it: prefix from `from`, suffix and unset groups to
// `end`, positions counted from `begin`. Not carried over: Boost's "last
// closed group" (get_last_closed_paren, perl formats' $^N), which also
// counts groups closed by failed attempts at earlier start positions and so
// depends on where a search began; nothing in this package reads it.
void ReportAsGrep(const boost::cmatch& found, const char* begin, const char* from, const char* end,
                  const char* last, boost::cmatch& out);

}  // namespace RegexComponent::engine
