// RegularExpressionCustom: Format (the format string expanded against the
// current match) and Merge (every match in the subject replaced by its
// expansion).
#include "RegexComponent/RegularExpressionCustom.h"

#include "components/ComponentState.h"
#include "engine/match/FormatExpander.h"
#include "engine/expression/MatchFlags.h"
#include "engine/match/MergeEngine.h"

namespace RegexComponent {

using RC = RegularExpressionCustom;

void RC::Format(std::string& out) const {
  out.clear();
  if (State->FormatString.empty()) return;
  const reg_match* source = State->CurrentMatch();
  if (!source) return;
  std::string text;
  engine::ExpandFormat(State->FormatString, *source, text);
  out = std::move(text);
}

void RC::Merge(std::string& out) {
  out.clear();
  if (State->FormatString.empty()) return;
  const detail::SubjectText subject = State->StringToMatch;
  if (subject->empty()) return;
  if (ParseExpression() != 0) return;
  const auto flags = engine::ToBoostMatchFlags(GetMatchFlags());
  const char* begin = subject->data();
  // Written straight into `out`, so a caller that merges repeatedly into the
  // same string reuses its capacity instead of paying for a fresh buffer of
  // the subject's size each time. On an exception `out` is left empty, as if
  // nothing had been produced.
  try {
    engine::MergeAll(State->CompiledExpression, begin, begin + subject->size(), State->FormatString, MergeCopy, flags,
                     out);
  } catch (...) {
    out.clear();
    throw;
  }
}

}  // namespace RegexComponent
