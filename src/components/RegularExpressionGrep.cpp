// RegularExpressionCustom: Grep over the subject, its predicate (which
// fires OnGrepping) and the line bookkeeping of a run.
#include "RegexComponent/RegularExpressionCustom.h"

#include "components/ComponentState.h"
#include "components/ComponentSupport.h"
#include "engine/search/LineCounter.h"
#include "engine/expression/MatchFlags.h"
#include "engine/prefilter/PrefilteredSearch.h"

namespace RegexComponent {

using RC = RegularExpressionCustom;

// The counter of a running Grep, which its predicate advances match by match.
struct detail::GrepLineCounter : engine::LineCounter {
  using LineCounter::LineCounter;
};

std::uint32_t RC::Grep() {
  // The run holds its own reference to the subject and to the compiled
  // expression, so a handler that sets StringToMatch or Expression and runs
  // other operations changes neither under the running grep.
  const detail::SubjectText subject = State->StringToMatch;
  if (subject->empty()) return 0;
  if (ParseExpression() != 0) return 0;
  const auto flags = engine::ToBoostMatchFlags(GetMatchFlags());
  const boost::regex expression = State->CompiledExpression;
  const char* begin = subject->data();
  detail::GrepLineCounter lines(begin);
  detail::ScopedValue<detail::GrepLineCounter*> activeLines(State->ActiveGrepLines, &lines);
  State->GrepPredicate = Closure<bool(const reg_match&)>(this, &RC::GrepCallbackPredicate);
  const auto predicate = State->GrepPredicate;
  const auto onMatch = [&predicate](const reg_match& m) { return predicate(m); };
  const char* end = begin + subject->size();
  return static_cast<std::uint32_t>(engine::GrepSubject(expression, State->CompiledFacts, flags, onMatch, begin, end));
}

bool RC::GrepCallbackPredicate(const reg_match& match) {
  bool bcontinue = true;
  detail::ScopedValue<const reg_match*> current(State->CurrentGrepMatch, &match);
  if (!OnGrepping) return bcontinue;
  const CPPStringArray parts = GetMatchingStrings();
  // Called outside a run, lines are counted within the text the match
  // results cover.
  detail::GrepLineCounter outside(match.prefix().first);
  detail::GrepLineCounter* lines = State->ActiveGrepLines ? State->ActiveGrepLines : &outside;
  lines->AdvanceTo(match[0].first);
  GreppingEvent handler = OnGrepping;
  handler(this, parts, engine::Saturate32(lines->Line()), engine::Saturate32(lines->LineStart()), bcontinue);
  return bcontinue;
}

}  // namespace RegexComponent
