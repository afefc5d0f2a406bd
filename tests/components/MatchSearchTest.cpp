// Match, MatchAll and Search: where a match may start and end, what the
// events report and what GetMatchingStrings gives afterwards.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include <boost/regex.hpp>

#include <RegexComponent/RegularExpressionCustom.h>

#include "EventRecorder.h"

using namespace RegexComponent;
using RE = RegularExpressionCustom;
using RegexComponent::testing::EventRecorder;

namespace {

class MatchSearch : public ::testing::Test {
 protected:
  RE re{nullptr};
  EventRecorder matching;
  EventRecorder searching;

  void Listen() {
    re.OnMatching = Bind(&matching, &EventRecorder::Matching);
    re.OnSearching = Bind(&searching, &EventRecorder::Matching);
  }
  void Set(const char* expression, const std::string& subject) {
    re.Expression = expression;
    re.StringToMatch = AnsiString(subject);
  }
  void AddMatchOption(RE::Matches option) { re.MatchOptions = RE::MatchesSet(re.MatchOptions) << option; }
  std::size_t EventCount() const { return matching.Events.size() + searching.Events.size(); }
};

// Raw Boost with the component's default flags, for cases whose outcome is
// the engine's choice rather than the component's.
std::string RawAnchored(const char* expression, const std::string& subject,
                        boost::regex_constants::match_flag_type flags) {
  boost::cmatch m;
  const char* begin = subject.c_str();
  if (!boost::regex_search(begin, begin + subject.size(), m, boost::regex(expression),
                           flags | boost::regex_constants::match_continuous))
    return "<none>";
  return m.str(0);
}

TEST_F(MatchSearch, WhereEachOperationMayStartAndEnd) {
  Listen();
  Set("b", "abc");
  EXPECT_FALSE(re.Match());
  EXPECT_TRUE(re.GetMatchingStrings().empty());  // a failed attempt leaves nothing to read
  EXPECT_FALSE(re.MatchAll());
  EXPECT_EQ(EventCount(), 0u);
  ASSERT_TRUE(re.Search());
  ASSERT_EQ(searching.Events.size(), 1u);
  EXPECT_TRUE(matching.Events.empty());
  const auto& found = searching.Events[0];
  EXPECT_EQ(found.Sender, &re);
  EXPECT_EQ(found.Parts, (CPPStringArray{"b", "", "a", "c"}));
  EXPECT_EQ(found.LineIndex, 1u);
  EXPECT_EQ(found.StartOfLine, 0u);
  EXPECT_EQ(re.GetMatchingStrings(), found.Parts);

  Set("ab", "abc");
  ASSERT_TRUE(re.Match());
  ASSERT_EQ(matching.Events.size(), 1u);
  EXPECT_EQ(matching.Events[0].Sender, &re);
  EXPECT_EQ(matching.Events[0].Parts, (CPPStringArray{"ab", "", "", "c"}));
  EXPECT_EQ(matching.Events[0].LineIndex, 1u);
  EXPECT_EQ(matching.Events[0].StartOfLine, 0u);
  // MatchAll finds "ab" but it does not reach the end: false, no event, and
  // the match it found is what GetMatchingStrings describes.
  EXPECT_FALSE(re.MatchAll());
  EXPECT_EQ(matching.Events.size(), 1u);
  const CPPStringArray held = re.GetMatchingStrings();
  ASSERT_FALSE(held.empty());
  EXPECT_EQ(held[0], "ab");

  Set("abc", "abc");
  EXPECT_TRUE(re.MatchAll());
  EXPECT_EQ(matching.Events.size(), 2u);
  EXPECT_EQ(searching.Events.size(), 1u);  // Match and MatchAll never raise OnSearching

  // A failed attempt after a successful one leaves nothing to read either.
  re.StringToMatch = "a subject long enough for the heap, without the letters";
  re.Expression = "zz";
  EXPECT_FALSE(re.Search());
  EXPECT_TRUE(re.GetMatchingStrings().empty());
}

TEST_F(MatchSearch, LineIndexAndStartOfLineCountLineFeedsBeforeTheMatch) {
  Listen();
  Set("ab", "x\nyy\nzab");
  ASSERT_TRUE(re.Search());
  EXPECT_EQ(searching.Events.back().LineIndex, 3u);
  EXPECT_EQ(searching.Events.back().StartOfLine, 5u);

  Set("ab", "x\r\ryab");  // a carriage return does not end a line
  ASSERT_TRUE(re.Search());
  EXPECT_EQ(searching.Events.back().LineIndex, 1u);
  EXPECT_EQ(searching.Events.back().StartOfLine, 0u);

  Set("y\nz", "x\nyy\nz\n\n");  // a line feed inside or after the match does not count
  ASSERT_TRUE(re.Search());
  EXPECT_EQ(searching.Events.back().LineIndex, 2u);
  EXPECT_EQ(searching.Events.back().StartOfLine, 2u);

  Set("a", "\n\n\na");
  ASSERT_TRUE(re.Search());
  EXPECT_EQ(searching.Events.back().LineIndex, 4u);
  EXPECT_EQ(searching.Events.back().StartOfLine, 3u);
}

TEST_F(MatchSearch, AnEmptyOrBadExpressionFailsAndKeepsTheEarlierMatch) {
  Listen();
  re.FormatString = "[$&]";
  Set("b", "abc");
  ASSERT_TRUE(re.Search());
  const std::size_t before = EventCount();
  for (const char* expression : {"", "a(b", "*"}) {
    SCOPED_TRACE(expression);
    re.Expression = expression;
    EXPECT_FALSE(re.Match());
    EXPECT_FALSE(re.MatchAll());
    EXPECT_FALSE(re.Search());
    EXPECT_EQ(EventCount(), before);
    EXPECT_EQ(re.GetMatchingStrings(), (CPPStringArray{"b", "", "a", "c"}));
    std::string formatted;
    re.Format(formatted);
    EXPECT_EQ(formatted, "[b]");
  }
}

TEST_F(MatchSearch, AlternativesAndRepeatsTakeTheLongestMatch) {
  Listen();
  Set("a|ab", "ab");
  ASSERT_TRUE(re.Match());
  EXPECT_EQ(matching.Events.back().Parts[0], "ab");
  EXPECT_TRUE(re.MatchAll());

  Set("ab|abcd", "xabcde");
  ASSERT_TRUE(re.Search());
  EXPECT_EQ(searching.Events.back().Parts, (CPPStringArray{"abcd", "", "x", "e"}));

  Set("(a|ab)(c|bcd)", "abcd");  // the overall match is the longest, not the first found
  ASSERT_TRUE(re.Search());
  EXPECT_EQ(searching.Events.back().Parts[0], "abcd");

  // With MatchShortest the engine may stop at any match; the component
  // reports what the engine found, and MatchAll accepts it only if it
  // reaches the end.
  AddMatchOption(RE::MatchShortest);
  Set("a|ab", "ab");
  const std::string engine = RawAnchored("a|ab", "ab", boost::regex_constants::match_any);
  ASSERT_TRUE(re.Match());
  EXPECT_EQ(matching.Events.back().Parts[0], engine);
  EXPECT_EQ(re.MatchAll(), engine == "ab");
}

TEST_F(MatchSearch, EmptyMatchesAndMatchNotNullString) {
  Listen();
  Set("x*", "abc");
  ASSERT_TRUE(re.Match());
  EXPECT_EQ(matching.Events.back().Parts, (CPPStringArray{"", "", "", "abc"}));
  EXPECT_FALSE(re.MatchAll());

  AddMatchOption(RE::MatchNotNullString);
  const std::size_t before = EventCount();
  EXPECT_FALSE(re.Match());
  EXPECT_FALSE(re.Search());
  EXPECT_EQ(EventCount(), before);
  Set("b*", "abbc");
  ASSERT_TRUE(re.Search());  // the empty match at 0 is passed over
  EXPECT_EQ(searching.Events.back().Parts, (CPPStringArray{"bb", "", "a", "c"}));
}

TEST_F(MatchSearch, AnEmptySubjectMatchesOnlyWhatMatchesTheEmptyText) {
  Listen();
  re.StringToMatch = "";
  for (const char* expression : {"x*", "^$", "(a)?"}) {
    SCOPED_TRACE(expression);
    re.Expression = expression;
    matching.Events.clear();
    searching.Events.clear();
    EXPECT_TRUE(re.Match());
    EXPECT_TRUE(re.MatchAll());
    EXPECT_TRUE(re.Search());
    ASSERT_EQ(matching.Events.size(), 2u);
    ASSERT_EQ(searching.Events.size(), 1u);
    for (const auto* e : {&matching.Events[0], &matching.Events[1], &searching.Events[0]}) {
      EXPECT_EQ(e->LineIndex, 1u);
      EXPECT_EQ(e->StartOfLine, 0u);
      EXPECT_EQ(e->Parts[0], "");
      EXPECT_EQ(e->Parts.size(), re.NumberOfSubexpressions() + 3);
    }
  }
  re.Expression = "a";
  EXPECT_FALSE(re.Match());
  EXPECT_FALSE(re.MatchAll());
  EXPECT_FALSE(re.Search());

  AddMatchOption(RE::MatchNotNullString);
  matching.Events.clear();
  searching.Events.clear();
  re.Expression = "x*";
  EXPECT_FALSE(re.Match());
  EXPECT_FALSE(re.MatchAll());
  EXPECT_FALSE(re.Search());
  EXPECT_EQ(EventCount(), 0u);
}

TEST_F(MatchSearch, MatchContinuousKeepsSearchAtTheFirstByte) {
  Listen();
  AddMatchOption(RE::MatchContinuous);
  Set("b", "abc");
  EXPECT_FALSE(re.Search());
  EXPECT_EQ(EventCount(), 0u);
  Set("ab", "abc");
  ASSERT_TRUE(re.Search());
  EXPECT_EQ(searching.Events.back().Parts, (CPPStringArray{"ab", "", "", "c"}));
}

TEST_F(MatchSearch, GroupsThatTookNoPartAreEmptyAndTheSeparatorIsAlwaysEmpty) {
  Listen();
  Set("(a)|(b)", "xb");
  ASSERT_TRUE(re.Search());
  EXPECT_EQ(searching.Events.back().Parts, (CPPStringArray{"b", "", "b", "", "x", ""}));
  EXPECT_EQ(re.GetMatchingStrings(), searching.Events.back().Parts);

  Set("(x*)(y)", "ay");  // a group that matched the empty text is empty too
  ASSERT_TRUE(re.Search());
  EXPECT_EQ(searching.Events.back().Parts, (CPPStringArray{"y", "", "y", "", "a", ""}));
}

TEST_F(MatchSearch, WithoutAHandlerTheResultAndLastMatchAreTheSame) {
  struct Case {
    const char* expression;
    const char* subject;
    bool (RE::*operation)();
  };
  const Case cases[] = {{"b", "abc", &RE::Search},   {"b", "abc", &RE::Match},   {"(a)(b)?", "abc", &RE::Match},
                        {"ab", "abc", &RE::MatchAll}, {"c$", "abc", &RE::Search}, {"(a)|(b)", "xb", &RE::Search}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.expression) + " in " + c.subject);
    RE silent(nullptr);
    Listen();
    for (RE* component : {&re, &silent}) {
      component->Expression = c.expression;
      component->StringToMatch = c.subject;
    }
    EXPECT_EQ((silent.*c.operation)(), (re.*c.operation)());
    EXPECT_EQ(silent.GetMatchingStrings(), re.GetMatchingStrings());
  }
}

TEST_F(MatchSearch, PartsAndLastMatchOutliveTheSubjectTheyCameFrom) {
  re.FormatString = "$`<$&>$'";
  const std::string longSubject = "a line long enough to live on the heap: needle and more";
  Set("needle", longSubject);
  ASSERT_TRUE(re.Search());
  const CPPStringArray before = re.GetMatchingStrings();
  // The old text is no longer the component's subject; the held match
  // still reads it (AddressSanitizer reports a read of freed text).
  re.StringToMatch = "something else entirely, also long enough for the heap";
  EXPECT_EQ(re.GetMatchingStrings(), before);
  std::string formatted;
  re.Format(formatted);
  EXPECT_EQ(formatted, "a line long enough to live on the heap: <needle> and more");

  re.Expression = "else";
  ASSERT_TRUE(re.Search());
  EXPECT_EQ(before[0], "needle");
  EXPECT_EQ(before[2], "a line long enough to live on the heap: ");
  EXPECT_EQ(re.GetMatchingStrings()[0], "else");
}

TEST_F(MatchSearch, AnEngineFailureLeavesNoResultsFromAnEarlierSubject) {
  Listen();
  re.FormatString = "[$&]";
  Set("needle", "an earlier subject, long enough for the heap: needle");
  ASSERT_TRUE(re.Search());
  // Nested repeats over a long run without the final 'y' exceed the
  // engine's complexity bound; the exception reaches the caller.
  Set("(x+x+)+y", std::string(64, 'x'));
  EXPECT_THROW(re.Search(), std::runtime_error);
  EXPECT_EQ(searching.Events.size(), 1u);
  // The attempt replaced the held results before the engine ran, so
  // nothing of the earlier subject is described any more.
  EXPECT_TRUE(re.GetMatchingStrings().empty());
  std::string formatted;
  re.Format(formatted);
  EXPECT_EQ(formatted.find("needle"), std::string::npos) << formatted;
  Set("x", "x");
  EXPECT_TRUE(re.Match());
}

TEST_F(MatchSearch, AHandlerMayReplaceTheSubjectAndRunAgain) {
  Listen();
  searching.During = [this](std::size_t index, const CPPStringArray& given, bool&) {
    if (index != 0) return;
    re.StringToMatch = "replacement text that is long enough for the heap: two";
    re.Expression = "two";
    ASSERT_TRUE(re.Search());
    // The array this handler was given is its own copy.
    EXPECT_EQ(given, (CPPStringArray{"one", "", "first subject, long enough for the heap: ", ""}));
  };
  Set("one", "first subject, long enough for the heap: one");
  ASSERT_TRUE(re.Search());
  ASSERT_EQ(searching.Events.size(), 2u);
  EXPECT_EQ(searching.Events[1].Parts[0], "two");
  EXPECT_EQ(re.GetMatchingStrings()[0], "two");  // the nested Search's match is the last one
}

}  // namespace
