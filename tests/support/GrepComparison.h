// Runs the guarded regex_grep and the prefiltered grep over one subject and
// records every reported match as text: the spans of the prefix, the
// suffix and each group (with their matched flags) and the match's
// position. Two runs agree when their records do.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include <boost/regex.hpp>

#include "engine/prefilter/PrefilteredSearch.h"

namespace RegexComponent::testing {

inline std::string DescribeMatch(const boost::cmatch& m, const char* begin) {
  const auto span = [begin](const boost::csub_match& s) {
    return std::string(s.matched ? "[" : "![") + std::to_string(s.first - begin) + "," +
           std::to_string(s.second - begin) + ") ";
  };
  std::string out = "prefix " + span(m.prefix()) + "suffix " + span(m.suffix()) + "groups ";
  for (std::size_t i = 0; i < m.size(); ++i) out += span(m[static_cast<int>(i)]);
  return out + "position " + std::to_string(m.position());
}

struct GrepRecord {
  std::vector<std::string> matches;
  unsigned count = 0;
  bool threw = false;
};

// `stopAfter` matches are accepted; the predicate then asks to stop.
template <class Grep>
GrepRecord RecordGrep(Grep grep, const char* begin, unsigned stopAfter) {
  GrepRecord record;
  const auto predicate = [&record, begin, stopAfter](const boost::cmatch& m) {
    record.matches.push_back(DescribeMatch(m, begin));
    return record.matches.size() < stopAfter;
  };
  try {
    record.count = grep(predicate);
  } catch (const std::runtime_error&) {
    record.threw = true;
  }
  return record;
}

inline GrepRecord ReferenceGrep(const boost::regex& re, boost::regex_constants::match_flag_type flags,
                                const char* begin, const char* end, unsigned stopAfter = ~0u) {
  // The unfiltered grep every caller gets: Boost's, under the match guard.
  const engine::MatchGuard guard(re);
  return RecordGrep([&](auto predicate) { return guard.Grep(predicate, begin, end, flags); }, begin, stopAfter);
}

inline GrepRecord PrefilteredGrep(engine::PrefilteredSearch& search, const char* begin, const char* end,
                                  unsigned stopAfter = ~0u) {
  return RecordGrep([&](auto predicate) { return search.Grep(predicate, begin, end); }, begin, stopAfter);
}

}  // namespace RegexComponent::testing
