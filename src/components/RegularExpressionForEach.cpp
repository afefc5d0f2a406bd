// RegularExpressionCustom::ForEachMatch: the grep over the subject handed to
// a callback as MatchViews, with no event and no copy of any text.
//
// Interface: the two ForEachMatch overloads declared in
// RegularExpressionCustom.h.
#include <cstddef>
#include <vector>

#include "RegexComponent/RegularExpressionCustom.h"
#include "components/ComponentState.h"
#include "components/ComponentSupport.h"
#include "engine/search/LineCounter.h"
#include "engine/expression/MatchFlags.h"
#include "engine/match/MatchSlots.h"
#include "engine/prefilter/PrefilteredSearch.h"

namespace RegexComponent {

namespace {

// Turns the engine's matches over one subject into views: offsets from the
// subject's start, and lines counted in one pass over the whole run.
class SubjectViews {
 public:
  explicit SubjectViews(const std::string& subject)
      : begin_(subject.data()), end_(begin_ + subject.size()), lines_(begin_) {}

  // The view of `m`, valid until the next call.
  MatchView Describe(const reg_match& m) {
    engine::SlotsOf(m, begin_, 0, slots_);
    const char* first = m[0].first;
    const char* last = m[0].second;
    lines_.AdvanceTo(first);
    // regex_grep's prefix starts where the previous match ended.
    const char* prefix = m.prefix().first;
    return MatchView(begin_, 0, slots_.data(), slots_.size(), {prefix, static_cast<std::size_t>(first - prefix)},
                     {last, static_cast<std::size_t>(end_ - last)}, lines_.Line(), lines_.LineStart());
  }

 private:
  const char* begin_;
  const char* end_;
  engine::LineCounter lines_;
  std::vector<MatchView::Slot> slots_;
};

}  // namespace

std::uint64_t RegularExpressionCustom::ForEachMatch(MatchCallback f) { return ForEachMatch(f, std::stop_token()); }

std::uint64_t RegularExpressionCustom::ForEachMatch(MatchCallback f, std::stop_token stop) {
  // As in Grep, the run keeps its own subject and compiled expression, so f
  // may set StringToMatch or Expression and run other operations.
  const detail::SubjectText subject = State->StringToMatch;
  if (subject->empty()) return 0;
  if (ParseExpression() != 0 || stop.stop_requested()) return 0;
  const auto flags = engine::ToBoostMatchFlags(GetMatchFlags());
  const boost::regex expression = State->CompiledExpression;
  SubjectViews views(*subject);
  // Counted here rather than taken from regex_grep: its count is 32-bit and
  // includes a match found after a stop request, which f never sees.
  std::uint64_t delivered = 0;
  const auto deliver = [&](const reg_match& m) {
    if (stop.stop_requested()) return false;
    ++delivered;
    const MatchView view = views.Describe(m);
    detail::ScopedValue<const reg_match*> current(State->CurrentGrepMatch, &m);
    return f(view);
  };
  const char* begin = subject->data();
  engine::GrepSubject(expression, State->CompiledFacts, flags, deliver, begin, begin + subject->size());
  return delivered;
}

}  // namespace RegexComponent
