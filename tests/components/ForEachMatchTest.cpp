// ForEachMatch on the component: the callables it takes, stopping (by the
// callback's result and by a stop token from another thread), callbacks that
// throw, nest other operations or replace the subject, and a subject given
// up by the caller without a copy.
#include <gtest/gtest.h>

#include <stdexcept>
#include <stop_token>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include <RegexComponent/RegularExpressionCustom.h>

using namespace RegexComponent;
using RE = RegularExpressionCustom;

namespace {

class ForEach : public ::testing::Test {
 protected:
  RE re{nullptr};

  void Set(const char* expression, const std::string& subject) {
    re.Expression = expression;
    re.StringToMatch = AnsiString(subject);
  }
  // The whole-match texts ForEachMatch hands over, with a callback that never stops.
  std::vector<std::string> Texts() {
    std::vector<std::string> out;
    re.ForEachMatch([&out](const MatchView& v) { out.emplace_back(v.Str(0)); });
    return out;
  }
  std::string Formatted() const {
    std::string out;
    re.Format(out);
    return out;
  }
};

int plainCalls = 0;
void CountPlain(const MatchView&) { ++plainCalls; }
bool StopAtSecond(const MatchView&) { return ++plainCalls < 2; }

TEST_F(ForEach, TakesLambdasFunctionsAndFunctionPointersReturningBoolOrNothing) {
  Set("a", "banana");
  int calls = 0;
  EXPECT_EQ(re.ForEachMatch([&calls](const MatchView&) { ++calls; }), 3u);
  EXPECT_EQ(calls, 3);
  const auto stopAtFirst = [](const MatchView&) { return false; };
  EXPECT_EQ(re.ForEachMatch(stopAtFirst), 1u);

  plainCalls = 0;
  EXPECT_EQ(re.ForEachMatch(CountPlain), 3u);
  EXPECT_EQ(re.ForEachMatch(&StopAtSecond), 1u);  // plainCalls reaches 4: stops at once
  EXPECT_EQ(plainCalls, 4);
  // A function pointer is held by value, so a MatchCallback may outlive the
  // expression that named it.
  const MatchCallback held = &CountPlain;
  EXPECT_EQ(re.ForEachMatch(held), 3u);
  EXPECT_EQ(plainCalls, 7);

  // Only bool or nothing is accepted: a count returned by mistake is not a
  // stop request.
  const auto returnsInt = [](const MatchView&) { return 0; };
  static_assert(!std::is_constructible_v<MatchCallback, decltype(returnsInt)>);
  static_assert(!std::is_constructible_v<MatchCallback, void (*)(int)>);
}

TEST_F(ForEach, NothingToRunOnGivesZeroWithoutCalls) {
  int calls = 0;
  const auto count = [&calls](const MatchView&) { ++calls; };
  Set("(", "");
  EXPECT_EQ(re.ForEachMatch(count), 0u);
  EXPECT_EQ(re.GetExpressionError(), "");  // an empty subject is not compiled for
  re.StringToMatch = "abc";
  EXPECT_EQ(re.ForEachMatch(count), 0u);
  EXPECT_NE(re.GetExpressionError(), "");
  re.Expression = "";
  EXPECT_EQ(re.ForEachMatch(count), 0u);
  re.Expression = "z";
  EXPECT_EQ(re.ForEachMatch(count), 0u);
  EXPECT_EQ(calls, 0);
}

TEST_F(ForEach, FormatAndGetMatchingStringsDescribeTheCurrentMatchOnlyWhileTheCallbackRuns) {
  Set("q(.)", "qz");
  ASSERT_TRUE(re.Search());
  re.FormatString = "<$1|$`>";
  Set("(a)|(b)", "xa\nb");
  std::vector<std::string> formatted;
  std::vector<CPPStringArray> parts;
  EXPECT_EQ(re.ForEachMatch([&](const MatchView&) {
    formatted.push_back(Formatted());
    parts.push_back(re.GetMatchingStrings());
  }),
            2u);
  EXPECT_EQ(formatted, (std::vector<std::string>{"<a|x>", "<|\n>"}));
  EXPECT_EQ(parts[1], (CPPStringArray{"b", "", "b", "", "\n", ""}));
  EXPECT_EQ(Formatted(), "<z|>");  // LastMatch, the Search's, again
}

TEST_F(ForEach, ACallbackThatReturnsFalseStopsAfterItsMatch) {
  Set("a", "aaaa");
  int calls = 0;
  EXPECT_EQ(re.ForEachMatch([&calls](const MatchView&) { return ++calls < 3; }), 3u);
  EXPECT_EQ(calls, 3);
}

TEST_F(ForEach, AStopRequestedFromAnotherThreadEndsTheRunBeforeTheNextMatch) {
  Set("a", std::string(100, 'a'));
  std::stop_source source;
  int calls = 0;
  const auto stopFromAThreadAtThird = [&](const MatchView&) {
    if (++calls == 3) std::jthread([&source] { source.request_stop(); }).join();
  };
  EXPECT_EQ(re.ForEachMatch(stopFromAThreadAtThird, source.get_token()), 3u);
  EXPECT_EQ(calls, 3);
  // Already requested: nothing runs.
  EXPECT_EQ(re.ForEachMatch(stopFromAThreadAtThird, source.get_token()), 0u);
  EXPECT_EQ(calls, 3);
  // A token nobody stops runs to the end.
  EXPECT_EQ(re.ForEachMatch([](const MatchView&) {}, std::stop_source().get_token()), 100u);
}

TEST_F(ForEach, AnExceptionFromTheCallbackReachesTheCallerAndTheComponentRecovers) {
  Set("q", "q");
  ASSERT_TRUE(re.Search());
  re.FormatString = "[$&]";
  Set("ab", "ab\nab\nab");
  int calls = 0;
  EXPECT_THROW(re.ForEachMatch([&calls](const MatchView&) {
    if (++calls == 2) throw std::runtime_error("stop");
  }),
               std::runtime_error);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(Formatted(), "[q]");
  EXPECT_EQ(re.GetMatchingStrings(), (CPPStringArray{"q", "", "", ""}));
  EXPECT_EQ(Texts(), (std::vector<std::string>{"ab", "ab", "ab"}));
}

TEST_F(ForEach, NestedRunsInsideTheCallbackLeaveTheOuterRunIntact) {
  re.FormatString = "<$&>";
  Set("a.", "ab\nac\nad");
  std::vector<std::string> outer, afterNesting;
  std::vector<std::uint64_t> lines;
  EXPECT_EQ(re.ForEachMatch([&](const MatchView& v) {
    outer.emplace_back(v.Str(0));
    lines.push_back(v.LineIndex());
    if (outer.size() == 1) {
      std::vector<std::string> inner;
      EXPECT_EQ(re.ForEachMatch([&](const MatchView& w) { inner.push_back(Formatted() + std::string(w.Str(0))); }),
                3u);
      EXPECT_EQ(inner, (std::vector<std::string>{"<ab>ab", "<ac>ac", "<ad>ad"}));
      std::vector<std::string> grepped;
      re.OnGrepping = [&](TObject*, const CPPStringArray&, unsigned, unsigned, bool&) { grepped.push_back(Formatted()); };
      EXPECT_EQ(re.Grep(), 3u);
      re.OnGrepping = nullptr;
      EXPECT_EQ(grepped, (std::vector<std::string>{"<ab>", "<ac>", "<ad>"}));
    }
    afterNesting.push_back(Formatted());
  }),
            3u);
  EXPECT_EQ(outer, (std::vector<std::string>{"ab", "ac", "ad"}));
  EXPECT_EQ(afterNesting, (std::vector<std::string>{"<ab>", "<ac>", "<ad>"}));
  EXPECT_EQ(lines, (std::vector<std::uint64_t>{1, 2, 3}));
}

TEST_F(ForEach, ReplacingTheSubjectOrExpressionInTheCallbackLeavesTheRunOnTheOldOnes) {
  const std::string old = "ab, on a first line long enough for the heap\nab\nab";
  Set("ab", old);
  std::vector<std::uint64_t> starts;
  std::vector<std::string> suffixes;
  EXPECT_EQ(re.ForEachMatch([&](const MatchView& v) {
    if (starts.empty()) {
      re.StringToMatch = "x\nx\nab, the new subject, long enough for the heap";
      re.Expression = "x";
    }
    starts.push_back(v.StartOfLine());
    suffixes.emplace_back(v.Suffix());
  }),
            3u);
  EXPECT_EQ(starts, (std::vector<std::uint64_t>{0, 45, 48}));
  EXPECT_EQ(suffixes.back(), "");
  EXPECT_EQ(suffixes[1], "\nab");
  EXPECT_EQ(Texts(), (std::vector<std::string>{"x", "x"}));
}

TEST_F(ForEach, AMovedInSubjectIsSearchedInTheCallersBuffer) {
  std::string big(1 << 20, '.');
  big += "needle\n";
  const char* buffer = big.data();
  re.SetStringToMatch(std::move(big));
  re.Expression = "needle";
  const char* found = nullptr;
  EXPECT_EQ(re.ForEachMatch([&found](const MatchView& v) { found = v.Str(0).data(); }), 1u);
  EXPECT_EQ(found, buffer + (1 << 20));
}

TEST_F(ForEach, AMovedInSubjectEndsAtItsFirstNulWithoutACopy) {
  std::string big(1 << 20, '.');
  big += "needle";
  big += '\0';
  big += "needle after the NUL";
  const char* buffer = big.data();
  re.SetStringToMatch(std::move(big));
  re.Expression = "needle";
  const char* found = nullptr;
  EXPECT_EQ(re.ForEachMatch([&found](const MatchView& v) { found = v.Str(0).data(); }), 1u);
  EXPECT_EQ(found, buffer + (1 << 20));
  EXPECT_EQ(re.GetStringToMatch().Length(), (1u << 20) + 6);

  re.SetStringToMatch(std::string("ab\0ab", 5));
  EXPECT_EQ(re.GetStringToMatch(), "ab");
  re.Expression = "b";
  EXPECT_EQ(re.Grep(), 1u);
  re.SetStringToMatch(std::string("\0ab", 3));
  EXPECT_EQ(re.GetStringToMatch(), "");
  EXPECT_EQ(re.Grep(), 0u);
}

TEST_F(ForEach, SettingTheSubjectFromALvalueOrTextCopiesIt) {
  const std::string kept = "keep me";
  re.SetStringToMatch(kept);
  EXPECT_EQ(kept, "keep me");
  EXPECT_EQ(re.GetStringToMatch(), "keep me");
  re.SetStringToMatch("text\0ignored");
  EXPECT_EQ(re.GetStringToMatch(), "text");
  re.StringToMatch = "through the property";
  EXPECT_EQ(re.GetStringToMatch(), "through the property");
}

}  // namespace
