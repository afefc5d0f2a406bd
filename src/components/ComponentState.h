// ComponentState: the private state of a RegularExpressionCustom, held
// through its State pointer so that the public header names no engine type
// and a change here leaves the library's ABI alone. Only the component's
// units and the tests (through ComponentTestAccess.h) include this header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <locale>
#include <memory>
#include <string>

#include <boost/regex.hpp>

#include "RegexComponent/RegularExpressionCustom.h"
#include "engine/match/MatchGuard.h"

namespace RegexComponent::detail {

// The subject text shared by the component, the held results and a running
// grep: it is never modified in place, so setting StringToMatch replaces the
// pointer and earlier readers keep their text.
using SubjectText = std::shared_ptr<const std::string>;

// Results of the latest Match, Search or MatchAll, with the subject text
// they point into.
struct HeldMatch {
  SubjectText Subject;
  reg_match Results;
};

// Line bookkeeping of one Grep run, defined by the grep unit.
struct GrepLineCounter;

// The shared empty subject every new or emptied component points at.
const SubjectText& EmptySubject();

struct ComponentState {
  std::locale ExpressionLocale;
  std::string Expression;
  SubjectText StringToMatch = EmptySubject();
  std::string FilesToMatch;
  std::string FormatString;
  bool ExpressionParsed = false;
  boost::regex CompiledExpression;
  // What the match guard works out about CompiledExpression, once per
  // compilation for the searches that run it.
  engine::MatchGuard::Facts CompiledFacts;
  std::unique_ptr<HeldMatch> LastMatch;
  const reg_match* CurrentGrepMatch = nullptr;
  std::int32_t FileSubexpressionLimit = 0;
  // The limit of the walk now reporting events: a walk started from one of
  // its handlers rewrites FileSubexpressionLimit, not this outer value.
  std::int32_t WalkSubexpressionLimit = 0;
  Closure<bool(const reg_match&)> GrepPredicate;
  GrepLineCounter* ActiveGrepLines = nullptr;

  // The match GetMatchingStrings and Format describe: the running grep's,
  // else the held one, else none.
  const reg_match* CurrentMatch() const {
    if (CurrentGrepMatch) return CurrentGrepMatch;
    return LastMatch ? &LastMatch->Results : nullptr;
  }
};

}  // namespace RegexComponent::detail
