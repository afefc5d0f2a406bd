// Matching one line at a time, the way grep selects lines.
//
// External interface: LineFit, LineMatcher (construction from patterns and
// the component's syntax-flag word, Matches, Find, FindAcross),
// LineMatchCursor.
//
// A line is the text between two line terminators, without them: nothing a
// pattern matches can reach into the next line, `^` and `$` match only at
// the line's two ends and `\b`, `\<`, `\>` see the line's first and last
// bytes as next to a non-word. The terminator is a line feed, or for
// NUL-ended records (grep -z) a NUL byte; a line feed inside a record is
// then an ordinary byte, which `.` and `[^x]` match (in the perl grammar
// `.` does not, as in Perl without /s).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <boost/regex.hpp>

#include "engine/prefilter/LiteralScanner.h"
#include "engine/match/MatchGuard.h"

namespace RegexComponent::engine {

// Where a match must lie for its line to count.
enum class LineFit {
  Anywhere,
  // Bounded on both sides by the line's ends or non-word bytes (word bytes:
  // ASCII letters, digits, '_'). A match that is not is shortened, and then
  // looked for further on, before the line is given up (grep -w).
  Word,
  // Spanning the whole line (grep -x).
  WholeLine,
};

class LineMatcher {
 public:
  // `patterns` are alternatives; a line matches when any of them does. Each
  // is read under `syntaxWord` (the component's syntax-flag word). Patterns
  // that hold a back-reference are compiled one by one, so that its number
  // counts the groups of its own pattern; the others are compiled together.
  // An empty pattern matches the empty string. Throws boost::regex_error
  // for a pattern that does not compile. `terminator` is the byte that ends
  // the lines matched: '\n', or '\0' for NUL-ended records.
  LineMatcher(const std::vector<std::string>& patterns, std::uint32_t syntaxWord, LineFit fit,
              char terminator = '\n');

  // The byte that ends the lines this matcher is for.
  char Terminator() const { return terminator_; }

  // Whether some pattern matches in [begin, end) under the fit.
  bool Matches(const char* begin, const char* end) const;

  // The leftmost match starting at or after `from` in the line [begin, end),
  // the longest among the patterns' matches that start there. `results`
  // holds the winning pattern's groups (index 0: the whole match); when
  // there is no match its content is unspecified.
  bool Find(const char* begin, const char* end, const char* from, boost::cmatch& results) const;

  // Finds literals of which every line that Matches holds one wholly, or is
  // null when some pattern does not allow that conclusion (see
  // LiteralAnalysis.h): a line without any of them need not be matched.
  const LiteralScanner* Candidates() const { return candidates_.get(); }

  // Whether FindAcross may stand in for Find: one expression, LineFit::
  // Anywhere, lines ended by line feeds, and every match non-empty and
  // within one line with nothing outside the line deciding it (see
  // StaysWithinLine in LiteralAnalysis.h).
  bool SearchesAcrossLines() const { return acrossLines_; }
  // The leftmost-longest match starting at or after `from` in [base, end),
  // text of whole lines, `base` at a line's start. It is the match Find
  // gives in `from`'s line, when SearchesAcrossLines, or a match in a later
  // line when that one has none from `from` on.
  bool FindAcross(const char* base, const char* end, const char* from, boost::cmatch& results) const;
  // Calls `onMatch` with each match in [begin, end), text of whole lines, in
  // order (each as FindAcross from the end of the one before would give it)
  // until it returns false.
  void GrepAcross(const char* begin, const char* end, const MatchGuard::OnMatch& onMatch) const;

 private:
  void FindCandidates();
  void CheckAcrossLines();
  // Every search goes through the match guard, as the component's do.
  MatchGuard Guard(std::size_t i) const { return MatchGuard(expressions_[i], facts_[i]); }
  bool FindWith(std::size_t i, const char* begin, const char* end, const char* from, boost::cmatch& results) const;
  bool FindWord(std::size_t i, const char* begin, const char* end, const char* from, boost::cmatch& results) const;

  std::vector<boost::regex> expressions_;
  std::vector<MatchGuard::Facts> facts_;  // one per expression
  std::vector<boost::regex_constants::match_flag_type> flags_;  // one per expression
  LineFit fit_;
  char terminator_;
  std::unique_ptr<LiteralScanner> candidates_;
  bool acrossLines_ = false;
};

// The matches of one line one after another, as grep takes them: each is
// Find's from the end of the one before, or from one byte further after an
// empty match.
class LineMatchCursor {
 public:
  LineMatchCursor(const LineMatcher& matcher, const char* begin, const char* end)
      : matcher_(matcher), begin_(begin), end_(end), from_(begin) {}
  // The next match into `results`; false when there is none.
  bool Next(boost::cmatch& results);

 private:
  const LineMatcher& matcher_;
  const char* begin_;
  const char* end_;
  const char* from_;
};

// Whether `c` is a word byte for LineFit::Word: an ASCII letter or digit or '_'.
bool IsWordByte(char c);

}  // namespace RegexComponent::engine
