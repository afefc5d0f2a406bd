#include "engine/LineMatcher.h"

#include <optional>
#include <string_view>

#include "engine/ExtendedAsPerl.h"
#include "engine/FlagWords.h"
#include "engine/LiteralAnalysis.h"
#include "engine/RepeatShape.h"
#include "engine/MatchFlags.h"
#include "engine/SyntaxTranslator.h"

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

// The expression as the literal analysis reads it: its text with options of
// the perl or literal grammar (an extended expression that reads the same
// way in the perl grammar takes the perl options), or nothing when the
// analysis cannot be trusted with it.
struct AnalysedForm {
  std::string text;
  bc::syntax_option_type options;
};

std::optional<AnalysedForm> FormFor(const boost::regex& expression) {
  AnalysedForm form{expression.str(), expression.flags()};
  const bool literalText = (form.options & boost::regbase::main_option_type) == bc::literal;
  if (!literalText && !FewRepeats(form.text)) return std::nullopt;
  if (form.options & boost::regbase::no_perl_ex) {
    if ((form.options & boost::regbase::main_option_type) != bc::perl ||
        !ExtendedReadsAsPerl(form.text, (form.options & boost::regbase::newline_alt) != 0))
      return std::nullopt;
    form.options = PerlOptionsFor(form.options);
  }
  return form;
}

// The line flags, with Boost's perl rule in place of the leftmost-longest
// one where the two find the same matches (the perl rule stops at the first
// match it finds at a start, the other tries every way on).
bc::match_flag_type FlagsFor(const boost::regex& expression) {
  const std::optional<AnalysedForm> form = FormFor(expression);
  if ((kLineFlags & bc::match_posix) && form && FirstMatchIsLongest(form->text, form->options, expression.getloc()))
    return (kLineFlags & ~bc::match_posix) | bc::match_perl;
  return kLineFlags;
}

bool Longer(const boost::cmatch& a, const boost::cmatch& b) { return a.length(0) > b.length(0); }

}  // namespace

bool IsWordByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

LineMatcher::LineMatcher(const std::vector<std::string>& patterns, std::uint32_t syntaxWord, LineFit fit)
    : fit_(fit) {
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
    minimumLengths_.push_back(MatchGuard(expression).MinimumLength());
    flags_.push_back(FlagsFor(expression));
  }
  FindCandidates();
  CheckAcrossLines();
}

// Every match of a pattern holds one of its literals, and a line matches
// only through some pattern's match (under -w and -x too, which only narrow
// which matches count), so the patterns' literals together find every
// line that can match.
void LineMatcher::FindCandidates() {
  std::vector<Literal> literals;
  for (const boost::regex& expression : expressions_) {
    const std::optional<AnalysedForm> form = FormFor(expression);
    if (!form) return;
    const LiteralAnalysis analysis = AnalyzeLiterals(form->text, form->options, kLineFlags, expression.getloc());
    if (!analysis.usable) return;
    literals.insert(literals.end(), analysis.literals.begin(), analysis.literals.end());
  }
  if (!literals.empty()) candidates_ = std::make_unique<LiteralScanner>(literals);
}

// -w and -x judge a match by what surrounds it in its line, and several
// expressions would each need a search of their own.
void LineMatcher::CheckAcrossLines() {
  if (expressions_.size() != 1 || fit_ != LineFit::Anywhere) return;
  const std::optional<AnalysedForm> form = FormFor(expressions_.front());
  acrossLines_ = form && StaysWithinLine(form->text, form->options, kLineFlags, expressions_.front().getloc());
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

}  // namespace RegexComponent::engine
