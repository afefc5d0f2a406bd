// EngineTypes: the engine's match results that GrepCallbackPredicate takes.
// The other public headers only declare reg_match; a caller that builds one
// to hand to the predicate includes this header, which needs Boost.Regex's
// development headers.
#pragma once

#include <type_traits>

#include <boost/regex.hpp>

#include "RegexComponent/RegularExpressionCustom.h"

namespace RegexComponent {

// The declaration in RegularExpressionCustom.h names the same type as Boost's
// own default-allocator match results over byte pointers.
static_assert(std::is_same_v<reg_match, boost::match_results<const char*>>);
static_assert(std::is_same_v<reg_match, boost::cmatch>);

}  // namespace RegexComponent
