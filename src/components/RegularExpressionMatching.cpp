// RegularExpressionCustom: Match, MatchAll and Search against the subject,
// the results they hold (LastMatch) and GetMatchingStrings, which reads
// those results or the match of a running grep.
#include "RegexComponent/RegularExpressionCustom.h"

#include "components/ComponentState.h"
#include "engine/search/LineCounter.h"
#include "engine/expression/MatchFlags.h"
#include "engine/match/MatchGuard.h"

namespace RegexComponent {

using RC = RegularExpressionCustom;

namespace {
// The text of a sub-match, empty when it did not take part.
std::string TextOf(const boost::sub_match<const char*>& sub) {
  return sub.matched ? std::string(sub.first, sub.second) : std::string();
}

// Runs the search into the held results and makes sure that, whatever the
// outcome, they describe either this attempt's match or no match at all:
// a failed or aborted attempt never leaves an earlier match readable.
bool SearchInto(const detail::ComponentState& state, reg_match& results, const char* begin, const char* end,
                boost::regex_constants::match_flag_type flags) {
  bool found = false;
  try {
    found = engine::MatchGuard(state.CompiledExpression, state.CompiledFacts).Search(begin, end, results, flags);
  } catch (...) {
    results = reg_match();
    throw;
  }
  if (!found && !results.empty() && results[0].matched) results = reg_match();
  return found;
}
}  // namespace

bool RC::Match() { return RunOnce(MatchVariant::Anchored); }
bool RC::MatchAll() { return RunOnce(MatchVariant::Whole); }
bool RC::Search() { return RunOnce(MatchVariant::Anywhere); }

bool RC::RunOnce(MatchVariant variant) {
  if (ParseExpression() != 0) return false;
  // The held results are overwritten in place, so a repeated call allocates
  // nothing; nobody keeps a reference to them between calls (handlers get
  // copies, see below). Results that point into another subject are dropped
  // before that subject can be released.
  auto& held = State->LastMatch;
  if (!held) held = std::make_unique<detail::HeldMatch>();
  if (held->Subject != State->StringToMatch) {
    held->Results = reg_match();
    held->Subject = State->StringToMatch;
  }
  auto flags = engine::ToBoostMatchFlags(GetMatchFlags());
  if (variant != MatchVariant::Anywhere) flags |= boost::regex_constants::match_continuous;
  const std::string& subject = *held->Subject;
  const char* begin = subject.data();
  const char* end = begin + subject.size();
  reg_match& results = held->Results;
  if (!SearchInto(*State, results, begin, end, flags)) return false;
  if (variant == MatchVariant::Whole && results[0].second != end) return false;
  const MatchingEvent& event = variant == MatchVariant::Anywhere ? OnSearching : OnMatching;
  if (!event) return true;
  // The handler may run operations that replace LastMatch; everything it is
  // given is computed first, and nothing is read from LastMatch afterwards.
  const CPPStringArray parts = GetMatchingStrings();
  engine::LineCounter lines(begin);
  lines.AdvanceTo(results[0].first);
  MatchingEvent handler = event;
  handler(this, parts, engine::Saturate32(lines.Line()), engine::Saturate32(lines.LineStart()));
  return true;
}

CPPStringArray RC::GetMatchingStrings() const {
  const reg_match* source = State->CurrentMatch();
  // No source, or an attempt that found nothing: there is no text to give.
  if (!source || source->empty() || !(*source)[0].matched) return {};
  const std::size_t n = source->size();
  CPPStringArray parts;
  parts.reserve(n + 3);
  for (std::size_t i = 0; i < n; ++i) parts.push_back(TextOf((*source)[static_cast<int>(i)]));
  parts.emplace_back();
  parts.push_back(TextOf(source->prefix()));
  parts.push_back(TextOf(source->suffix()));
  return parts;
}

}  // namespace RegexComponent
