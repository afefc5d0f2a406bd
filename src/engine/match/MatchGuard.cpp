#include "engine/match/MatchGuard.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>

#include "engine/expression/ExtendedAsPerl.h"
#include "engine/prefilter/LiteralAnalysis.h"

namespace RegexComponent::engine {
namespace {

// Only makes the match results of the bounded searches a type of their own,
// so that Boost's matcher for them is compiled here, with the limit below,
// instead of being the one compiled into the Boost library.
template <class T>
struct GuardAllocator : std::allocator<T> {
  GuardAllocator() = default;
  template <class U>
  GuardAllocator(const GuardAllocator<U>&) noexcept {}
};

using GuardResults = boost::match_results<const char*, GuardAllocator<boost::sub_match<const char*>>>;

// A pointer into the text that notes when the matcher compares it with the
// text's end while standing on it, that is when it asks for a character
// beyond the text or tests an assertion there.
class EdgeIterator {
 public:
  using iterator_category = std::random_access_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  struct Edge {
    const char* end;
    bool reached;
  };

  EdgeIterator() = default;
  EdgeIterator(const char* p, Edge* edge) : p_(p), edge_(edge) {}

  reference operator*() const { return *p_; }
  reference operator[](difference_type n) const { return p_[n]; }
  EdgeIterator& operator++() { return ++p_, *this; }
  EdgeIterator operator++(int) { return EdgeIterator(p_++, edge_); }
  EdgeIterator& operator--() { return --p_, *this; }
  EdgeIterator operator--(int) { return EdgeIterator(p_--, edge_); }
  EdgeIterator& operator+=(difference_type n) { return p_ += n, *this; }
  EdgeIterator& operator-=(difference_type n) { return p_ -= n, *this; }
  friend EdgeIterator operator+(EdgeIterator i, difference_type n) { return i += n; }
  friend EdgeIterator operator+(difference_type n, EdgeIterator i) { return i += n; }
  friend EdgeIterator operator-(EdgeIterator i, difference_type n) { return i -= n; }
  friend difference_type operator-(const EdgeIterator& a, const EdgeIterator& b) { return a.p_ - b.p_; }
  friend bool operator==(const EdgeIterator& a, const EdgeIterator& b) { return Compared(a, b) == 0; }
  friend bool operator!=(const EdgeIterator& a, const EdgeIterator& b) { return Compared(a, b) != 0; }
  friend bool operator<(const EdgeIterator& a, const EdgeIterator& b) { return Compared(a, b) < 0; }
  friend bool operator>(const EdgeIterator& a, const EdgeIterator& b) { return Compared(a, b) > 0; }
  friend bool operator<=(const EdgeIterator& a, const EdgeIterator& b) { return Compared(a, b) <= 0; }
  friend bool operator>=(const EdgeIterator& a, const EdgeIterator& b) { return Compared(a, b) >= 0; }

 private:
  static int Compared(const EdgeIterator& a, const EdgeIterator& b) {
    if (a.p_ == b.p_ && a.edge_ && a.p_ == a.edge_->end) a.edge_->reached = true;
    return a.p_ < b.p_ ? -1 : a.p_ == b.p_ ? 0 : 1;
  }

  const char* p_ = nullptr;
  Edge* edge_ = nullptr;
};

}  // namespace
}  // namespace RegexComponent::engine

namespace boost::BOOST_REGEX_DETAIL_NS {

// Boost sizes the state budget of each search here; for our own matcher it
// is MatchGuard::StateLimit of the text and the expression.
template <>
void perl_matcher<const char*, RegexComponent::engine::GuardAllocator<sub_match<const char*>>,
                  regex_traits<char>>::estimate_max_state_count(std::random_access_iterator_tag*) {
  const auto length = static_cast<std::uint64_t>(last - base);
  max_state_count = static_cast<std::ptrdiff_t>(RegexComponent::engine::MatchGuard::StateLimit(length, re.size()));
}

template <>
void perl_matcher<RegexComponent::engine::EdgeIterator,
                  std::allocator<sub_match<RegexComponent::engine::EdgeIterator>>,
                  regex_traits<char>>::estimate_max_state_count(std::random_access_iterator_tag*) {
  const auto length = static_cast<std::uint64_t>(last - base);
  max_state_count = static_cast<std::ptrdiff_t>(RegexComponent::engine::MatchGuard::StateLimit(length, re.size()));
}

}  // namespace boost::BOOST_REGEX_DETAIL_NS

namespace RegexComponent::engine {

namespace bc = boost::regex_constants;
namespace rd = boost::BOOST_REGEX_DETAIL_NS;

namespace {

constexpr std::uint64_t kMaxCount = static_cast<std::uint64_t>(std::numeric_limits<std::ptrdiff_t>::max()) - 2;
// Boost's constant term and its cap of the N^2 term.
constexpr std::uint64_t kStateFloor = 100000;
constexpr std::uint64_t kQuadraticCap = BOOST_REGEX_MAX_STATE_COUNT;

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) { return a > kMaxCount - b ? kMaxCount : a + b; }
std::uint64_t SaturatingMul(std::uint64_t a, std::uint64_t b) {
  return a != 0 && b > kMaxCount / a ? kMaxCount : a * b;
}

// The states the length walk looks at before settling for what it has.
constexpr int kWalkLimit = 64;

// Adds up what the states from a given one on must consume at least. It
// steps over what it cannot judge (bodies of general repeats, back
// references) as consuming nothing and stops at the first state it does not
// know, so the sum is always a lower bound.
class LengthWalk {
 public:
  std::uint64_t From(const rd::re_syntax_base* state) {
    std::uint64_t sum = 0;
    while (state && stepsLeft_-- > 0) {
      const rd::re_syntax_base* next = state->next.p;
      switch (state->type) {
        case rd::syntax_element_literal:
          sum = SaturatingAdd(sum, static_cast<const rd::re_literal*>(state)->length);
          break;
        case rd::syntax_element_wild:
        case rd::syntax_element_set:
        case rd::syntax_element_long_set:
          sum = SaturatingAdd(sum, 1);
          break;
        case rd::syntax_element_dot_rep:
        case rd::syntax_element_char_rep:
        case rd::syntax_element_short_set_rep:
        case rd::syntax_element_long_set_rep:
          // One character, set or '.' per repetition.
          sum = SaturatingAdd(sum, static_cast<const rd::re_repeat*>(state)->min);
          next = static_cast<const rd::re_repeat*>(state)->alt.p;
          break;
        case rd::syntax_element_rep:
          next = static_cast<const rd::re_repeat*>(state)->alt.p;
          break;
        case rd::syntax_element_startmark:
        case rd::syntax_element_endmark:
          // Negative indexes are look-arounds, independent and conditional
          // groups and the like.
          if (static_cast<const rd::re_brace*>(state)->index < 0) return sum;
          break;
        case rd::syntax_element_jump:
          next = static_cast<const rd::re_jump*>(state)->alt.p;
          if (next <= state) return sum;
          break;
        case rd::syntax_element_alt:
          return SaturatingAdd(sum, std::min(From(next), From(static_cast<const rd::re_alt*>(state)->alt.p)));
        case rd::syntax_element_start_line:
        case rd::syntax_element_end_line:
        case rd::syntax_element_word_boundary:
        case rd::syntax_element_within_word:
        case rd::syntax_element_word_start:
        case rd::syntax_element_word_end:
        case rd::syntax_element_buffer_start:
        case rd::syntax_element_buffer_end:
        case rd::syntax_element_soft_buffer_end:
        case rd::syntax_element_restart_continue:
        case rd::syntax_element_toggle_case:
        case rd::syntax_element_backref:
          break;
        default:  // the end of the expression, or a state not judged
          return sum;
      }
      state = next;
    }
    return sum;
  }

 private:
  int stepsLeft_ = kWalkLimit;
};

std::size_t ShortestMatch(const boost::regex& expression) {
  if (expression.empty() || expression.status() != 0) return 0;
  const std::uint64_t length = LengthWalk().From(expression.get_first_state());
  return static_cast<std::size_t>(std::min<std::uint64_t>(length, std::numeric_limits<std::size_t>::max()));
}

// Gives `to` the sub-expressions, prefix and suffix of the match `from`
// holds, and the same group closed last.
void CopyResults(const GuardResults& from, boost::cmatch& to, const boost::regex& expression) {
  const std::size_t n = from.size();
  to.set_size(n, from.prefix().first, from.suffix().second);
  to.set_base(from.base());
  to.set_named_subs(expression.get_named_subs());
  to.set_first(from[0].first);
  std::size_t closedLast = 0;
  for (std::size_t i = 1; i < n; ++i) {
    const auto& sub = from[static_cast<int>(i)];
    if (&sub == &from.get_last_closed_paren()) closedLast = i;
    if (!sub.matched || i == closedLast) continue;
    to.set_first(sub.first, i);
    to.set_second(sub.second, i);
  }
  if (closedLast != 0) {
    const auto& sub = from[static_cast<int>(closedLast)];
    to.set_first(sub.first, closedLast);
    to.set_second(sub.second, closedLast, sub.matched);
  }
  to.set_second(from[0].second, 0, from[0].matched);
}

// regex_grep's walk (including its retry for a non-empty match where an
// empty one was found), which also ends once the text left is shorter than
// any match.
template <class Results, class Report>
unsigned GrepWalk(const boost::regex& expression, std::size_t shortest, const char* first, const char* last,
                  bc::match_flag_type flags, const Report& report) {
  if (expression.flags() & bc::failbit) return 0;
  using Matcher = rd::perl_matcher<const char*, typename Results::allocator_type, boost::regex_traits<char>>;
  Results m;
  Matcher matcher(first, last, m, expression, flags, first);
  const bool partial = (flags & bc::match_partial) != 0;
  unsigned count = 0;
  const char* from = first;
  while ((partial || static_cast<std::size_t>(last - from) >= shortest) && matcher.find()) {
    ++count;
    if (!report(m) || m[0].second == last) return count;
    from = m[0].second;
    if (m.length() != 0) continue;
    const Results empty(m);
    matcher.setf(bc::match_not_null | bc::match_continuous);
    if (matcher.find()) {
      ++count;
      if (!report(m)) return count;
      from = m[0].second;
    } else {
      m = empty;
    }
    matcher.unsetf((bc::match_not_null | bc::match_continuous) & ~flags);
  }
  return count;
}

}  // namespace

std::uint64_t MatchGuard::StateLimit(std::uint64_t textLength, std::uint64_t expressionLength) {
  const std::uint64_t n = std::max<std::uint64_t>(textLength, 1);
  const std::uint64_t s = std::max<std::uint64_t>(expressionLength, 1);
  const std::uint64_t linear = SaturatingAdd(SaturatingMul(SaturatingMul(n, s), kPlainLength), kStateFloor);
  const std::uint64_t quadratic = std::min(SaturatingAdd(SaturatingMul(n, n), kStateFloor), kQuadraticCap);
  return std::max(linear, quadratic);
}

MatchGuard::Facts MatchGuard::Study(const boost::regex& expression) {
  Facts facts;
  facts.minimumLength = ShortestMatch(expression);
  const std::optional<PerlReading> reading = ReadAsPerl(expression);
  facts.perlRuleAgrees = reading && FirstMatchIsLongest(reading->text, reading->options, expression.getloc());
  return facts;
}

MatchGuard::MatchGuard(const boost::regex& expression) : MatchGuard(expression, Study(expression)) {}

MatchGuard::MatchGuard(const boost::regex& expression, const Facts& facts)
    : expression_(expression), facts_(facts), bounded_(expression.size() > kPlainLength) {}

// A partial match is left to the rule asked for: it is judged by where the
// text ends, not by a path through the expression.
bc::match_flag_type MatchGuard::Rule(bc::match_flag_type flags) const {
  if (!facts_.perlRuleAgrees || !(flags & bc::match_posix) || (flags & bc::match_partial)) return flags;
  return (flags & ~bc::match_posix) | bc::match_perl;
}

bool MatchGuard::Search(const char* first, const char* last, boost::cmatch& m, bc::match_flag_type flags,
                        const char* base) const {
  flags = Rule(flags);
  if (!(flags & bc::match_partial) && static_cast<std::size_t>(last - first) < facts_.minimumLength) {
    if (!m.empty()) m = boost::cmatch();
    return false;
  }
  if (!bounded_) return boost::regex_search(first, last, m, expression_, flags, base);
  GuardResults results;
  const bool found = boost::regex_search(first, last, results, expression_, flags, base);
  if (found) {
    CopyResults(results, m, expression_);
  } else if (!m.empty()) {
    m = boost::cmatch();
  }
  return found;
}

bool MatchGuard::Match(const char* first, const char* last, boost::cmatch& m, bc::match_flag_type flags) const {
  flags = Rule(flags);
  if (static_cast<std::size_t>(last - first) < facts_.minimumLength) {
    if (!m.empty()) m = boost::cmatch();
    return false;
  }
  if (!bounded_) return boost::regex_match(first, last, m, expression_, flags);
  GuardResults results;
  const bool found = boost::regex_match(first, last, results, expression_, flags);
  if (found) {
    CopyResults(results, m, expression_);
  } else if (!m.empty()) {
    m = boost::cmatch();
  }
  return found;
}

bool MatchGuard::ReachesEnd(const char* first, const char* last, bc::match_flag_type flags,
                            const char* base) const {
  EdgeIterator::Edge edge{last, false};
  boost::match_results<EdgeIterator> results;
  boost::regex_search(EdgeIterator(first, &edge), EdgeIterator(last, &edge), results, expression_,
                      flags | bc::match_continuous, EdgeIterator(base, &edge));
  return edge.reached;
}

unsigned MatchGuard::Grep(const OnMatch& onMatch, const char* first, const char* last,
                          bc::match_flag_type flags) const {
  flags = Rule(flags);
  if (!bounded_) return GrepWalk<boost::cmatch>(expression_, facts_.minimumLength, first, last, flags, onMatch);
  boost::cmatch copy;
  return GrepWalk<GuardResults>(expression_, facts_.minimumLength, first, last, flags, [&](const GuardResults& m) {
    CopyResults(m, copy, expression_);
    return onMatch(copy);
  });
}

}  // namespace RegexComponent::engine
