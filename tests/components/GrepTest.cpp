// Grep over the subject: count, per-match events with line positions, and
// handlers that stop the run, replace the subject or expression, throw, or
// run other operations of the same component.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <RegexComponent/EngineTypes.h>

#include "EventRecorder.h"

using namespace RegexComponent;
using RE = RegularExpressionCustom;
using RegexComponent::testing::EventRecorder;

namespace {

using Position = std::pair<unsigned, unsigned>;

class Grep : public ::testing::Test {
 protected:
  RE re{nullptr};
  EventRecorder grepping;
  EventRecorder matching;

  void Listen() {
    re.OnGrepping = Bind(&grepping, &EventRecorder::Grepping);
    re.OnMatching = Bind(&matching, &EventRecorder::Matching);
  }
  void Set(const char* expression, const std::string& subject) {
    re.Expression = expression;
    re.StringToMatch = AnsiString(subject);
  }
  std::vector<Position> Positions() const {
    std::vector<Position> out;
    for (const auto& e : grepping.Events) out.emplace_back(e.LineIndex, e.StartOfLine);
    return out;
  }
  std::vector<std::string> Matched() const {
    std::vector<std::string> out;
    for (const auto& e : grepping.Events) out.push_back(e.Parts.empty() ? "<no parts>" : e.Parts[0]);
    return out;
  }
};

TEST_F(Grep, NothingToRunOnGivesZeroWithoutEvents) {
  Listen();
  Set("(", "");
  EXPECT_EQ(re.Grep(), 0u);
  EXPECT_EQ(re.GetExpressionError(), "");  // an empty subject is not even worth compiling for
  EXPECT_EQ(re.NumberOfSubexpressions(), 0u);
  re.StringToMatch = "abc";
  EXPECT_EQ(re.Grep(), 0u);
  EXPECT_NE(re.GetExpressionError(), "");
  re.Expression = "";
  EXPECT_EQ(re.Grep(), 0u);
  EXPECT_TRUE(grepping.Events.empty());
}

TEST_F(Grep, EachMatchReportsItsLineAndTheTextAroundIt) {
  Listen();
  Set("ab", "ab\ncab");
  EXPECT_EQ(re.Grep(), 2u);
  ASSERT_EQ(grepping.Events.size(), 2u);
  EXPECT_EQ(Positions(), (std::vector<Position>{{1, 0}, {2, 3}}));
  // The prefix of a grep match runs from the end of the previous one.
  EXPECT_EQ(grepping.Events[0].Parts, (CPPStringArray{"ab", "", "", "\ncab"}));
  EXPECT_EQ(grepping.Events[1].Parts, (CPPStringArray{"ab", "", "\nc", ""}));
  for (const auto& e : grepping.Events) EXPECT_EQ(e.Sender, &re);

  grepping.Events.clear();
  Set("x", "x\r\nx");  // only the line feed ends a line
  EXPECT_EQ(re.Grep(), 2u);
  EXPECT_EQ(Positions(), (std::vector<Position>{{1, 0}, {2, 3}}));

  grepping.Events.clear();
  Set("a", "aa");
  EXPECT_EQ(re.Grep(), 2u);
  EXPECT_EQ(Positions(), (std::vector<Position>{{1, 0}, {1, 0}}));

  grepping.Events.clear();
  Set("a|b", "a\n\n\nb\na");  // lines without a match are counted too
  EXPECT_EQ(re.Grep(), 3u);
  EXPECT_EQ(Positions(), (std::vector<Position>{{1, 0}, {4, 4}, {5, 6}}));
}

TEST_F(Grep, AMatchAcrossALineFeedCountsFromItsStart) {
  Listen();
  Set("b.c|d", "ab\ncd");
  EXPECT_EQ(re.Grep(), 2u);
  EXPECT_EQ(Matched(), (std::vector<std::string>{"b\nc", "d"}));
  EXPECT_EQ(Positions(), (std::vector<Position>{{1, 0}, {2, 3}}));
}

TEST_F(Grep, WithoutAHandlerEveryMatchIsCounted) {
  Set("a", "banana\nand a");
  EXPECT_EQ(re.Grep(), 5u);
  Set("(b)|(x)", "abxbx");
  EXPECT_EQ(re.Grep(), 4u);
}

TEST_F(Grep, StoppingAtAMatchCountsThatMatch) {
  Listen();
  grepping.During = [](std::size_t, const CPPStringArray&, bool& bcontinue) { bcontinue = false; };
  Set("a", "aaaa");
  EXPECT_EQ(re.Grep(), 1u);
  EXPECT_EQ(grepping.Events.size(), 1u);

  grepping.Events.clear();
  grepping.During = [](std::size_t index, const CPPStringArray&, bool& bcontinue) { bcontinue = index < 2; };
  EXPECT_EQ(re.Grep(), 3u);
  EXPECT_EQ(grepping.Events.size(), 3u);
}

TEST_F(Grep, ReplacingTheSubjectInAHandlerLeavesTheRunOnTheOldText) {
  Listen();
  const std::string old = "ab, on a first line long enough for the heap\nab\nab";
  grepping.During = [this](std::size_t index, const CPPStringArray&, bool&) {
    if (index == 0) re.StringToMatch = "x\nx\nx\nx\nab, the new subject, long enough for the heap";
  };
  Set("ab", old);
  EXPECT_EQ(re.Grep(), 3u);
  EXPECT_EQ(Positions(), (std::vector<Position>{{1, 0}, {2, 45}, {3, 48}}));
  ASSERT_EQ(grepping.Events.size(), 3u);
  EXPECT_EQ(grepping.Events[2].Parts, (CPPStringArray{"ab", "", "\n", ""}));
}

TEST_F(Grep, MatchInsideAHandlerReportsTheGrepsCurrentMatch) {
  Listen();
  re.FormatString = "<$&>";
  std::vector<std::string> formatted;
  grepping.During = [this, &formatted](std::size_t, const CPPStringArray& given, bool&) {
    ASSERT_TRUE(re.Match());  // "a." at the start of the subject: "ab"
    EXPECT_EQ(re.GetMatchingStrings(), given);
    std::string text;
    re.Format(text);
    formatted.push_back(text);
  };
  Set("a.", "ab\nac");
  EXPECT_EQ(re.Grep(), 2u);
  ASSERT_EQ(matching.Events.size(), 2u);
  EXPECT_EQ(matching.Events[0].Parts[0], "ab");
  EXPECT_EQ(matching.Events[1].Parts, (CPPStringArray{"ac", "", "\n", ""}));
  EXPECT_EQ(formatted, (std::vector<std::string>{"<ab>", "<ac>"}));
  // Once the run is over LastMatch is described again: the last Match's "ab".
  EXPECT_EQ(re.GetMatchingStrings(), (CPPStringArray{"ab", "", "", "\nac"}));
}

TEST_F(Grep, AfterARunLastMatchIsDescribedAgain) {
  Listen();
  Set("c", "abcd");
  ASSERT_TRUE(re.Search());
  const CPPStringArray held = re.GetMatchingStrings();
  Set("(x)", "x\nx");
  EXPECT_EQ(re.Grep(), 2u);
  EXPECT_EQ(grepping.Events[1].Parts, (CPPStringArray{"x", "x", "", "\n", ""}));
  EXPECT_EQ(re.GetMatchingStrings(), held);
}

// The predicate called with results built by the caller's own Boost (the
// declaration of reg_match in the public header names that very type):
// outside a run, lines are counted within the text the results cover.
TEST_F(Grep, ThePredicateTakesResultsBuiltWithBoostDirectly) {
  Listen();
  const std::string text = "ab\nxcd";
  boost::cmatch m;
  ASSERT_TRUE(boost::regex_search(text.c_str(), m, boost::regex("(c)d")));
  EXPECT_TRUE(re.GrepCallbackPredicate(m));
  ASSERT_EQ(grepping.Events.size(), 1u);
  EXPECT_EQ(grepping.Events[0].Parts, (CPPStringArray{"cd", "c", "", "ab\nx", ""}));
  EXPECT_EQ(Positions(), (std::vector<Position>{{2, 3}}));
  EXPECT_TRUE(re.GetMatchingStrings().empty());  // the predicate's match is gone once it returns
}

TEST_F(Grep, AnExceptionFromAHandlerReachesTheCallerAndTheComponentRecovers) {
  Listen();
  Set("q", "q");
  ASSERT_TRUE(re.Search());
  const CPPStringArray held = re.GetMatchingStrings();
  grepping.During = [](std::size_t index, const CPPStringArray&, bool&) {
    if (index == 1) throw std::runtime_error("stop");
  };
  Set("ab", "ab\nab\nab");
  EXPECT_THROW(re.Grep(), std::runtime_error);
  EXPECT_EQ(grepping.Events.size(), 2u);
  EXPECT_EQ(re.GetMatchingStrings(), held);

  grepping.Events.clear();
  grepping.During = nullptr;
  EXPECT_EQ(re.Grep(), 3u);
  EXPECT_EQ(Positions(), (std::vector<Position>{{1, 0}, {2, 3}, {3, 6}}));
  EXPECT_TRUE(re.Search());
}

TEST_F(Grep, ANestedGrepRunsOnItsOwnAndTheOuterRunKeepsItsLines) {
  Listen();
  EventRecorder inner;
  std::vector<CPPStringArray> afterInner;
  grepping.During = [&](std::size_t index, const CPPStringArray&, bool&) {
    if (index != 0) return;
    re.OnGrepping = Bind(&inner, &EventRecorder::Grepping);
    re.StringToMatch = "\n\n\nab";
    EXPECT_EQ(re.Grep(), 1u);
    re.OnGrepping = Bind(&grepping, &EventRecorder::Grepping);
    afterInner.push_back(re.GetMatchingStrings());  // the outer run's current match again
  };
  Set("ab", "ab\nab\nab");
  EXPECT_EQ(re.Grep(), 3u);
  ASSERT_EQ(inner.Events.size(), 1u);
  EXPECT_EQ(inner.Events[0].LineIndex, 4u);
  EXPECT_EQ(inner.Events[0].StartOfLine, 3u);
  EXPECT_EQ(Positions(), (std::vector<Position>{{1, 0}, {2, 3}, {3, 6}}));
  ASSERT_EQ(afterInner.size(), 1u);
  EXPECT_EQ(afterInner[0], (CPPStringArray{"ab", "", "", "\nab\nab"}));
}

TEST_F(Grep, ChangingTheExpressionInAHandlerLeavesTheRunningGrepAlone) {
  Listen();
  grepping.During = [this](std::size_t index, const CPPStringArray&, bool&) {
    if (index != 0) return;
    re.Expression = "(x)(y)";
    EXPECT_FALSE(re.Match());
    EXPECT_EQ(re.NumberOfSubexpressions(), 3u);  // the new expression is compiled
  };
  Set("ab", "ab\nab");
  EXPECT_EQ(re.Grep(), 2u);
  EXPECT_EQ(Positions(), (std::vector<Position>{{1, 0}, {2, 3}}));
  ASSERT_EQ(grepping.Events.size(), 2u);
  // The array describes the match being reported, with that match's slots.
  EXPECT_EQ(grepping.Events[1].Parts, (CPPStringArray{"ab", "", "\n", ""}));
  EXPECT_TRUE(matching.Events.empty());
}

}  // namespace

// A large subject is grepped through the literal prefilter: every event
// must carry what regex_grep's matches give, the prefix from the end of the
// previous match included, with the lines counted as before.
TEST_F(Grep, ALargeSubjectReportsWhatRegexGrepReports) {
  std::string subject = "a=TODO first\n";
  for (int line = 0; subject.size() < (std::size_t{3} << 19); ++line) {
    subject += line % 997 == 5 ? "  key_" + std::to_string(line) + "=FIXME, x=TODOS\r\n" : "plain text=1 to do\n";
  }
  subject += "last=TODO";
  Listen();
  const char* expression = "(\\w+)=(TODO|FIXME)\\b";
  Set(expression, subject);
  const unsigned count = re.Grep();

  const boost::regex raw(expression, boost::regex::perl);
  std::vector<CPPStringArray> parts;
  std::vector<Position> positions;
  const char* begin = subject.data();
  const auto record = [&](const boost::cmatch& m) {
    CPPStringArray p;
    for (std::size_t i = 0; i < m.size(); ++i) p.push_back(m[static_cast<int>(i)].str());
    p.insert(p.end(), {"", m.prefix().str(), m.suffix().str()});
    parts.push_back(std::move(p));
    const std::string before(begin, m[0].first);
    const std::size_t lf = before.rfind('\n');
    positions.emplace_back(1 + std::count(before.begin(), before.end(), '\n'),
                           lf == std::string::npos ? 0 : static_cast<unsigned>(lf + 1));
    return true;
  };
  EXPECT_EQ(count, boost::regex_grep(record, begin, begin + subject.size(), raw, boost::match_posix));
  ASSERT_GT(count, 50u);
  ASSERT_EQ(grepping.Events.size(), parts.size());
  // Compared piece by piece, so that a failure does not print megabytes.
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const CPPStringArray& got = grepping.Events[i].Parts;
    ASSERT_EQ(got.size(), parts[i].size()) << "match " << i;
    for (std::size_t k = 0; k < got.size(); ++k) {
      ASSERT_EQ(got[k].size(), parts[i][k].size()) << "match " << i << " part " << k;
      ASSERT_TRUE(got[k] == parts[i][k]) << "match " << i << " part " << k;
    }
  }
  EXPECT_EQ(Positions(), positions);
}
