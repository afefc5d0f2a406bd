#include "engine/prefilter/PrefilteredSearch.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace RegexComponent::engine {

namespace bc = boost::regex_constants;

namespace {

LiteralAnalysis AnalyzeCompiled(const boost::regex& expression, bc::match_flag_type flags) {
  if (expression.status() != 0) return {};
  const std::string pattern = expression.str();
  return AnalyzeLiterals(pattern, expression.flags(), flags, expression.getloc());
}

}  // namespace

void ReportAsGrep(const boost::cmatch& found, const char* begin, const char* from, const char* end,
                  const char* last, boost::cmatch& out) {
  out = found;
  const std::size_t n = found.size();
  out.set_size(n, from, end);
  out.set_base(begin);
  out.set_first(found[0].first);
  out.set_second(found[0].second);
  for (std::size_t i = 1; i < n; ++i) {
    const boost::csub_match& sub = found[static_cast<int>(i)];
    // A group Boost never set stays where set_size put it: at the end.
    if (!sub.matched && sub.first == last && sub.second == last) continue;
    out.set_first(sub.first, i);
    out.set_second(sub.second, i, sub.matched);
  }
}

PrefilteredSearch::PrefilteredSearch(const boost::regex& expression, bc::match_flag_type flags, GrepPolicy policy)
    : guard_(expression), flags_(flags), policy_(policy), analysis_(AnalyzeCompiled(expression, flags)),
      scanner_(analysis_.literals) {
  for (const Literal& literal : analysis_.literals) longestLiteral_ = std::max(longestLiteral_, literal.size());
}

const char* PrefilteredSearch::Earliest(const char* from, const char* literal) const {
  const char* start = from;
  const auto before = static_cast<std::size_t>(literal - from);
  if (analysis_.reach < before) start = literal - analysis_.reach;
  if (analysis_.reachWithinLine && literal > start) {
    const void* lf = memrchr(start, '\n', static_cast<std::size_t>(literal - start));
    if (lf) start = static_cast<const char*>(lf) + 1;
  }
  return start;
}

PrefilteredSearch::Window PrefilteredSearch::WindowAfter(const char* literal, const char* end) const {
  if (!analysis_.matchesNewline) {
    const void* lf = std::memchr(literal, '\n', static_cast<std::size_t>(end - literal));
    if (!lf) return {end, end};
    return {static_cast<const char*>(lf) + 1, static_cast<const char*>(lf)};
  }
  const std::size_t longest = analysis_.maxLength;
  if (longest < kUnbounded && static_cast<std::size_t>(end - literal) > longest + 1) {
    return {literal + longest + 1, literal};
  }
  return {end, end};
}

bool PrefilteredSearch::NextCandidate(const char* scan, const char* end, bool more, Candidate& out) const {
  if (const char* literal = scanner_.Find(scan, end)) {
    const Window window = WindowAfter(literal, end);
    out = {Earliest(scan, literal), window.last, window.accept};
    return true;
  }
  if (!more) return false;
  // Every occurrence lying whole in [scan, end) was found: the literal of a
  // match yet to come starts within a literal's length of the end.
  const auto tail = static_cast<std::size_t>(end - scan);
  const char* literal = tail < longestLiteral_ ? scan : end - (longestLiteral_ - 1);
  out = {Earliest(scan, literal), end, end};
  return true;
}

bool PrefilteredSearch::Search(const char* begin, const char* start, const char* last, boost::cmatch& m) const {
  const bc::match_flag_type flags = start == begin ? flags_ : flags_ | bc::match_prev_avail;
  return guard_.Search(start, last, m, flags, begin);
}

bool PrefilteredSearch::Plain(const char* begin, const char* from, const char* end, boost::cmatch& out) const {
  if (!Search(begin, from, end, out)) return false;
  out.set_base(begin);
  return true;
}

bool PrefilteredSearch::Next(const char* begin, const char* from, const char* end, boost::cmatch& out) {
  if (!Prefiltered()) return Plain(begin, from, end, out);
  const char* scan = from;  // no match starts in [from, scan)
  while (PaysOff(begin, scan)) {
    const char* literal = scanner_.Find(scan, end);
    if (!literal) return false;
    const Window window = WindowAfter(literal, end);
    bool found = false;
    ++searches_;
    try {
      found = Search(begin, Earliest(scan, literal), window.last, found_);
    } catch (const std::runtime_error&) {
      return Plain(begin, from, end, out);
    }
    if (found && found_[0].first <= window.accept) {
      ReportAsGrep(found_, begin, from, end, window.last, out);
      return true;
    }
    if (window.accept == end) return false;
    scan = window.accept + 1;
  }
  // Candidates come too thick to pay: Boost searches the rest itself.
  if (!Search(begin, scan, end, found_)) return false;
  ReportAsGrep(found_, begin, from, end, end, out);
  return true;
}

unsigned GrepSubject(const boost::regex& expression, const MatchGuard::Facts& facts, bc::match_flag_type flags,
                     const MatchGuard::OnMatch& onMatch, const char* begin, const char* end) {
  if (static_cast<std::size_t>(end - begin) < kPrefilterMinSubject)
    return MatchGuard(expression, facts).Grep(onMatch, begin, end, flags);
  PrefilteredSearch search(expression, flags);
  return search.Grep(onMatch, begin, end);
}

}  // namespace RegexComponent::engine
