#include "engine/match/LineMatcher.h"

#include <optional>
#include <string_view>

#include "engine/expression/ExtendedAsPerl.h"
#include "engine/expression/FlagWords.h"
#include "engine/prefilter/LiteralAnalysis.h"
#include "engine/expression/RepeatShape.h"
#include "engine/expression/MatchFlags.h"
#include "engine/expression/SyntaxTranslator.h"

namespace RegexComponent::engine {

namespace {

namespace bc = boost::regex_constants;

// `^` and `$` only at the subject's ends: Boost otherwise also takes a
// carriage return or form feed inside the line for a line break.
const bc::match_flag_type kLineFlags = ToBoostMatchFlags(0) | bc::match_single_line;

boost::regex Compile(std::uint32_t word, std::string_view text) {
  const TranslatedExpression translated = TranslateExpression(word, text);
  return boost::regex(translated.pattern, translated.flags);
}

// An empty pattern matches the empty string in every syntax, though the
// POSIX grammars reject an empty expression.
boost::regex CompileOne(std::uint32_t word, std::string_view text) {
  if (text.empty()) return boost::regex("", bc::perl);
  return Compile(word, text);
}

bool HasBackReference(std::string_view text) {
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '\\') continue;
    if (text[i + 1] >= '1' && text[i + 1] <= '9') return true;
    ++i;
  }
  return false;
}

// The expression as the literal analysis reads it, or nothing where the
// skipping it allows could hide Boost giving up (see RepeatShape.h).
std::optional<PerlReading> FormFor(const boost::regex& expression) {
  std::optional<PerlReading> form = ReadAsPerl(expression);
  const bool literalText = form && (form->options & boost::regbase::main_option_type) == bc::literal;
  if (!form || (!literalText && !FewRepeats(form->text))) return std::nullopt;
  return form;
}

bool Longer(const boost::cmatch& a, const boost::cmatch& b) { return a.length(0) > b.length(0); }

// An expression's match flags: kLineFlags, and where the lines are records
// that may hold line feeds, a perl `.` that does not match one, as Perl's
// does not without /s ((?s) still turns that off).
bc::match_flag_type FlagsFor(const boost::regex& expression, char terminator) {
  // The POSIX extended grammar is Boost's perl group without its extensions.
  const boost::regex::flag_type options = expression.flags();
  const bool perl = (options & boost::regbase::main_option_type) == boost::regbase::perl_syntax_group &&
                    (options & boost::regbase::no_perl_ex) == 0;
  return terminator != '\n' && perl ? kLineFlags | bc::match_not_dot_newline : kLineFlags;
}

}  // namespace

bool IsWordByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

LineMatcher::LineMatcher(const std::vector<std::string>& patterns, std::uint32_t syntaxWord, LineFit fit,
                         char terminator)
    : fit_(fit), terminator_(terminator) {
  const bool literal = (syntaxWord & syntax::Literals) != 0;
  std::string joined;
  std::size_t joinedCount = 0;
  for (const std::string& pattern : patterns) {
    // Each pattern is compiled alone first, so that one with an unbalanced
    // group cannot pair up with its neighbour once they are joined.
    boost::regex alone = CompileOne(syntaxWord, pattern);
    if (!literal && (pattern.empty() || HasBackReference(pattern))) {
      expressions_.push_back(std::move(alone));
      continue;
    }
    if (joinedCount++ > 0) joined += '\n';
    joined += pattern;
  }
  if (joinedCount == 1 && !literal) expressions_.push_back(CompileOne(syntaxWord, joined));
  if (joinedCount > 1 || (joinedCount == 1 && literal))
    expressions_.push_back(Compile(syntaxWord | syntax::NewlineAsAlternation, joined));
  for (const boost::regex& expression : expressions_) {
    facts_.push_back(MatchGuard::Study(expression));
    flags_.push_back(FlagsFor(expression, terminator));
  }
  FindCandidates();
  CheckAcrossLines();
}

// Every match of a pattern holds one of its literals, and a line matches
// only through some pattern's match (under -w and -x too, which only narrow
// which matches count), so the patterns' literals together find every
// line that can match; unless the scanner would try every start for some.
void LineMatcher::FindCandidates() {
  std::vector<Literal> literals;
  for (std::size_t i = 0; i < expressions_.size(); ++i) {
    const boost::regex& expression = expressions_[i];
    const std::optional<PerlReading> form = FormFor(expression);
    if (!form) return;
    const LiteralAnalysis analysis = AnalyzeLiterals(form->text, form->options, flags_[i], expression.getloc());
    if (!analysis.usable) return;
    literals.insert(literals.end(), analysis.literals.begin(), analysis.literals.end());
  }
  if (!literals.empty() && LiteralScanner::Covers(literals)) candidates_ = std::make_unique<LiteralScanner>(literals);
}

// -w and -x judge a match by what surrounds it in its line, and several
// expressions would each need a search of their own. The analysis knows
// lines ended by line feeds only: records ended by another byte are
// matched one by one.
void LineMatcher::CheckAcrossLines() {
  if (expressions_.size() != 1 || fit_ != LineFit::Anywhere || terminator_ != '\n') return;
  const std::optional<PerlReading> form = FormFor(expressions_.front());
  acrossLines_ = form && StaysWithinLine(form->text, form->options, flags_[0], expressions_.front().getloc());
}

bool LineMatcher::FindAcross(const char* base, const char* end, const char* from, boost::cmatch& results) const {
  return Guard(0).Search(from, end, results, flags_[0], base);
}

void LineMatcher::GrepAcross(const char* begin, const char* end, const MatchGuard::OnMatch& onMatch) const {
  Guard(0).Grep(onMatch, begin, end, flags_[0]);
}

bool LineMatcher::Matches(const char* begin, const char* end) const {
  // Reused, so that a line costs no allocation of match results.
  thread_local boost::cmatch results;
  for (std::size_t i = 0; i < expressions_.size(); ++i) {
    const MatchGuard guard = Guard(i);
    if (fit_ == LineFit::WholeLine && guard.Match(begin, end, results, flags_[i])) return true;
    // Any match will do: the first found is enough to select the line.
    if (fit_ == LineFit::Anywhere && guard.Search(begin, end, results, flags_[i] | bc::match_any)) return true;
  }
  if (fit_ != LineFit::Word) return false;
  return Find(begin, end, begin, results);
}

bool LineMatcher::Find(const char* begin, const char* end, const char* from, boost::cmatch& results) const {
  // One expression needs no comparison, nor results of its own.
  if (expressions_.size() == 1) return FindWith(0, begin, end, from, results);
  boost::cmatch candidate;
  bool found = false;
  for (std::size_t i = 0; i < expressions_.size(); ++i) {
    if (!FindWith(i, begin, end, from, candidate)) continue;
    const bool better = !found || candidate[0].first < results[0].first ||
                        (candidate[0].first == results[0].first && Longer(candidate, results));
    if (better) results.swap(candidate);
    found = true;
  }
  return found;
}

bool LineMatcher::FindWith(std::size_t i, const char* begin, const char* end, const char* from,
                           boost::cmatch& results) const {
  switch (fit_) {
    case LineFit::WholeLine:
      return from == begin && Guard(i).Match(begin, end, results, flags_[i]);
    case LineFit::Word:
      return FindWord(i, begin, end, from, results);
    default:
      return Guard(i).Search(from, end, results, flags_[i], begin);
  }
}

// A match counts as a word when no word byte touches it on either side.
// One that does is tried shorter at the same start (the longest match that
// ends earlier), and when no shorter non-empty match is left, the search
// goes on from the next start.
bool LineMatcher::FindWord(std::size_t i, const char* begin, const char* end, const char* from,
                           boost::cmatch& results) const {
  const MatchGuard guard = Guard(i);
  const auto bounded = [&](const char* first, const char* last) {
    return (first == begin || !IsWordByte(first[-1])) && (last == end || !IsWordByte(*last));
  };
  // The shorter match may not use the line's end as its own.
  const bc::match_flag_type shorter = flags_[i] | bc::match_continuous | bc::match_not_eol | bc::match_not_eob;
  for (const char* start = from; start <= end;) {
    if (!guard.Search(start, end, results, flags_[i], begin)) return false;
    const char* first = results[0].first;
    const char* last = results[0].second;
    for (;;) {
      if (bounded(first, last)) return true;
      boost::cmatch shorterMatch;
      if (last == first || !guard.Search(first, last - 1, shorterMatch, shorter, begin) ||
          shorterMatch.length(0) == 0)
        break;
      last = shorterMatch[0].second;
      results.swap(shorterMatch);
    }
    start = first + 1;
  }
  return false;
}

bool LineMatchCursor::Next(boost::cmatch& results) {
  if (from_ > end_ || !matcher_.Find(begin_, end_, from_, results)) return false;
  from_ = results.length(0) > 0 ? results[0].second : results[0].first + 1;
  return true;
}

}  // namespace RegexComponent::engine
