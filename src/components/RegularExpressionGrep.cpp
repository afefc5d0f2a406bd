// RegularExpressionCustom: Grep over the subject, its predicate (which
// fires OnGrepping) and the line bookkeeping of a run.
#include "RegexComponent/RegularExpressionCustom.h"

#include <cstring>
#include <tuple>

#include "components/ComponentSupport.h"
#include "engine/MatchFlags.h"
#include "engine/MatchGuard.h"

namespace RegexComponent {

using RC = RegularExpressionCustom;

void RC::GrepLineCounter::AdvanceTo(const char* position) {
  while (Scanned < position) {
    const void* lf = std::memchr(Scanned, '\n', static_cast<std::size_t>(position - Scanned));
    if (!lf) {
      Scanned = position;
      break;
    }
    Scanned = static_cast<const char*>(lf) + 1;
    ++Line;
    LineStart = Scanned;
  }
}

std::uint32_t RC::Grep() {
  // The run holds its own reference to the subject and to the compiled
  // expression, so a handler that sets StringToMatch or Expression and runs
  // other operations changes neither under the running grep.
  const SubjectText subject = FStringToMatch;
  if (subject->empty()) return 0;
  if (ParseExpression() != 0) return 0;
  const auto flags = engine::ToBoostMatchFlags(GetMatchFlags());
  const boost::regex expression = CompiledExpression;
  const char* begin = subject->data();
  GrepLineCounter lines{begin, begin, 1, begin};
  detail::ScopedValue<GrepLineCounter*> activeLines(ActiveGrepLines, &lines);
  GrepPredicate = Closure<bool(const reg_match&)>(this, &RC::GrepCallbackPredicate);
  const auto predicate = GrepPredicate;
  const unsigned count = engine::MatchGuard(expression).Grep([&predicate](const reg_match& m) { return predicate(m); },
                                                              begin, begin + subject->size(), flags);
  return static_cast<std::uint32_t>(count);
}

bool RC::GrepCallbackPredicate(const reg_match& match) {
  bool bcontinue = true;
  detail::ScopedValue<const reg_match*> current(CurrentGrepMatch, &match);
  if (!OnGrepping) return bcontinue;
  const CPPStringArray parts = GetMatchingStrings();
  unsigned line = 1;
  unsigned lineStart = 0;
  if (GrepLineCounter* lines = ActiveGrepLines) {
    lines->AdvanceTo(match[0].first);
    line = lines->Line;
    lineStart = static_cast<unsigned>(lines->LineStart - lines->Begin);
  } else {
    // Called outside a run: lines are counted within the text the match
    // results cover.
    std::tie(line, lineStart) = detail::LineOf(match.prefix().first, match[0].first);
  }
  GreppingEvent handler = OnGrepping;
  handler(this, parts, line, lineStart, bcontinue);
  return bcontinue;
}

}  // namespace RegexComponent
