#include "engine/match/MatchGuard.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "Volume.h"
#include "Watchdog.h"
#include "engine/expression/FlagWords.h"
#include "engine/expression/MatchFlags.h"
#include "engine/match/MergeEngine.h"

namespace RegexComponent::engine {
namespace {

namespace bc = boost::regex_constants;
using testing::Watchdog;
using namespace std::chrono_literals;

// Exponential backtracking behind many alternatives that never apply: the
// expression is long, so Boost's own limit is practically none.
std::string NestedRepeatsAndAlternatives(int alternatives) {
  std::string expression = "(x+x+)+y";
  for (int i = 0; i < alternatives; ++i) expression += "|w" + std::to_string(i);
  return expression;
}

std::string Repeated(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

const bc::match_flag_type kDefaultFlags = ToBoostMatchFlags(0);
const bc::match_flag_type kShortestFlags = ToBoostMatchFlags(match::Shortest);

// Every way the engine runs an expression over a subject gives up with the
// complexity error, well before the watchdog.
void ExpectGivesUp(const std::string& expression, const std::string& subject) {
  const boost::regex re(expression);
  const MatchGuard guard(re);
  const char* begin = subject.data();
  const char* end = begin + subject.size();
  for (const bc::match_flag_type flags : {kDefaultFlags, kShortestFlags}) {
    Watchdog watchdog(expression.substr(0, 40), 30s);
    boost::cmatch m;
    EXPECT_THROW(guard.Search(begin, end, m, flags), std::runtime_error) << expression.substr(0, 40);
    EXPECT_THROW(guard.Grep([](const boost::cmatch&) { return true; }, begin, end, flags), std::runtime_error);
    std::string out;
    EXPECT_THROW(MergeAll(re, begin, end, "<$&>", true, flags, out), std::runtime_error);
  }
}

// The backtracking is exponential in the text's length, the limit grows with
// it: a short text gives up soonest.
TEST(MatchGuardTest, RunawayMatchesOfLongExpressionsGiveUp) {
  const std::string text(testing::Volume(40, 100), 'x');
  ExpectGivesUp(NestedRepeatsAndAlternatives(1000), text);
  ExpectGivesUp(NestedRepeatsAndAlternatives(3000), text);
  ExpectGivesUp(Repeated("a*", 5000) + "b", std::string(50, 'a'));
}

// A repeat count beyond the text is no match, found without scanning the
// text once per position.
TEST(MatchGuardTest, ExpressionsLongerThanTheTextAreNoMatchAtOnce) {
  const std::string subject(1 << 20, 'a');
  const char* begin = subject.data();
  const char* end = begin + subject.size();
  Watchdog watchdog("a{2147483647}", 30s);
  const boost::regex re("a{2147483647}");
  const MatchGuard guard(re);
  EXPECT_EQ(guard.MinimumLength(), 2147483647u);
  boost::cmatch m;
  EXPECT_FALSE(guard.Search(begin, end, m, kDefaultFlags));
  EXPECT_EQ(guard.Grep([](const boost::cmatch&) { return true; }, begin, end, kDefaultFlags), 0u);
  // Once a match has used up most of the text, the rest is not searched.
  const boost::regex most("a{600000}");
  EXPECT_EQ(MatchGuard(most).Grep([](const boost::cmatch&) { return true; }, begin, end, kDefaultFlags), 1u);
}

// The length found is a lower bound for every match, and exact where the
// expression is a plain sequence.
TEST(MatchGuardTest, MinimumLengthBoundsEveryMatch) {
  const std::pair<const char*, std::size_t> exact[] = {
      {"abc", 3}, {"a{3}b+", 4}, {"[a-c].\\w{2,5}", 4}, {"ab|c", 1}, {"(ab|cde)f", 3}, {"a*", 0},
      {"^(a)\\b(?:bc)$", 3}, {"x(?=yyy)", 1}};
  for (const auto& [expression, length] : exact) {
    EXPECT_EQ(MatchGuard(boost::regex(expression)).MinimumLength(), length) << expression;
  }
  std::mt19937 random(11);
  const char* const expressions[] = {"a+b?", "(ab|b)*a{2}", "(?:a|bb)(?<=b)a", "[ab]{2,}|b", "a(?!b)\\w*", "(a|)b"};
  for (const char* expression : expressions) {
    const boost::regex re(expression);
    const std::size_t shortest = MatchGuard(re).MinimumLength();
    for (int round = 0; round < 50; ++round) {
      std::string text(random() % 12, 'a');
      for (char& c : text) c = "ab"[random() % 2];
      boost::regex_grep(
          [&](const boost::cmatch& m) {
            EXPECT_GE(static_cast<std::size_t>(m.length()), shortest) << expression << " on " << text;
            return true;
          },
          std::as_const(text).data(), std::as_const(text).data() + text.size(), re, kDefaultFlags);
    }
  }
}

// Where each part of a match lies, prefix and suffix included, and which
// group closed last.
std::vector<std::ptrdiff_t> Layout(const boost::cmatch& m, const char* base) {
  std::vector<std::ptrdiff_t> layout;
  const auto add = [&](const boost::csub_match& sub) {
    layout.insert(layout.end(), {sub.first - base, sub.second - base, sub.matched});
  };
  for (std::size_t i = 0; i < m.size(); ++i) add(m[static_cast<int>(i)]);
  add(m.prefix());
  add(m.suffix());
  add(m.get_last_closed_paren());
  return layout;
}

// Long expressions run on the matcher of our own; what it finds is what
// Boost's regex_search and regex_grep find, down to prefixes and suffixes.
TEST(MatchGuardTest, BoundedSearchesGiveBoostsResults) {
  const char* const expressions[] = {
      "(?:([a-z]+)=([0-9]+)|(q)?(zz))(;)?", "(ab|a)(c|bcd)(d*)|(x{0,3})y+(?:never-here)?",
      "(?:()|(b+)|(a))*?\\b(aab|ab|b)(?:nothing|at|all)?"};
  std::mt19937 random(3);
  for (const char* expression : expressions) {
    const boost::regex re(expression);
    const MatchGuard guard(re);
    ASSERT_TRUE(guard.Bounded()) << expression;
    for (int round = 0; round < 40; ++round) {
      std::string text(random() % 40, ' ');
      for (char& c : text) c = "abcdxyzq=19; "[random() % 13];
      const char* begin = text.data();
      const char* end = begin + text.size();
      for (const bc::match_flag_type flags : {kDefaultFlags, kShortestFlags, kDefaultFlags | bc::match_partial}) {
        boost::cmatch expected;
        boost::cmatch got;
        const char* from = begin + text.size() / 3;
        ASSERT_EQ(guard.Search(from, end, got, flags, begin),
                  boost::regex_search(from, end, expected, re, flags, begin));
        if (got.size() != 0) {
          EXPECT_EQ(Layout(got, begin), Layout(expected, begin)) << expression << " on " << text;
        }
        // Partial matches are only ever searched for, not grepped.
        if (flags & bc::match_partial) continue;
        std::vector<std::vector<std::ptrdiff_t>> all;
        std::vector<std::vector<std::ptrdiff_t>> allExpected;
        guard.Grep([&](const boost::cmatch& m) { return all.push_back(Layout(m, begin)), true; }, begin, end, flags);
        boost::regex_grep([&](const boost::cmatch& m) { return allExpected.push_back(Layout(m, begin)), true; },
                          begin, end, re, flags);
        ASSERT_EQ(all, allExpected) << expression << " on " << text;
      }
    }
  }
}

// A match taken as soon as it is found stands unless finding it looked at
// the end of the text.
TEST(MatchGuardTest, ReachesEndTellsWhetherMoreTextCouldChangeTheFirstMatch) {
  const boost::regex re("ab*c|a");
  const MatchGuard guard(re);
  const std::string open = "xabb";
  const std::string closed = "xabbbcabb";
  EXPECT_TRUE(guard.ReachesEnd(open.data() + 1, open.data() + open.size(), kShortestFlags, open.data()));
  EXPECT_FALSE(guard.ReachesEnd(closed.data() + 1, closed.data() + closed.size(), kShortestFlags, closed.data()));
  const std::string word = "xab";
  EXPECT_TRUE(MatchGuard(boost::regex("ab\\b")).ReachesEnd(word.data() + 1, word.data() + 3, kShortestFlags,
                                                            word.data()));
}

}  // namespace
}  // namespace RegexComponent::engine
