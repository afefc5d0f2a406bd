#include "engine/match/MergeEngine.h"

#include "engine/match/FormatExpander.h"
#include "engine/match/MatchGuard.h"
#include "engine/prefilter/PrefilteredSearch.h"

namespace RegexComponent::engine {

std::size_t MergeAll(const boost::regex& re, const char* first, const char* last, std::string_view format,
                     bool copyUnmatched, boost::regex_constants::match_flag_type flags, std::string& out) {
  // The running state lives out here, shared with the match handler.
  const char* copiedUpTo = first;
  std::size_t count = 0;
  if (copyUnmatched) out.reserve(out.size() + static_cast<std::size_t>(last - first));

  auto onMatch = [&](const boost::match_results<const char*>& m) {
    const char* matchStart = m[0].first;
    // Matches never start before the previous one ended; the guard only
    // keeps a broken invariant from turning into an out-of-range append.
    if (copyUnmatched && matchStart > copiedUpTo) out.append(copiedUpTo, matchStart);
    ExpandFormat(format, m, out);
    copiedUpTo = m[0].second;
    ++count;
    return true;
  };
  GrepSubject(re, MatchGuard::Study(re), flags, onMatch, first, last);

  if (copyUnmatched && last > copiedUpTo) out.append(copiedUpTo, last);
  return count;
}

}  // namespace RegexComponent::engine
