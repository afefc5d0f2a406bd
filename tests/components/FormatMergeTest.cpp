// Format and Merge on the component: which results they use, every early
// return, and what happens to the caller's string.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <RegexComponent/RegularExpression.h>

#include "EventRecorder.h"

using namespace RegexComponent;
using RE = RegularExpressionCustom;
using RegexComponent::testing::EventRecorder;

namespace {

class FormatMerge : public ::testing::Test {
 protected:
  std::string Format() {
    std::string out = "left over";
    re.Format(out);
    return out;
  }
  std::string Merge() {
    std::string out = "left over";
    re.Merge(out);
    return out;
  }

  RegularExpression re{nullptr};
  EventRecorder recorder;
};

TEST_F(FormatMerge, TheWorkedExample) {
  re.Expression = "[0-9]+";
  re.StringToMatch = "abc123def456";
  re.FormatString = "[$&]";
  re.MergeCopy = true;
  EXPECT_EQ(Merge(), "abc[123]def[456]");
  re.MergeCopy = false;
  EXPECT_EQ(Merge(), "[123][456]");
  ASSERT_TRUE(re.Search());
  EXPECT_EQ(Format(), "[123]");
}

TEST_F(FormatMerge, EarlyReturnsLeaveTheCallersStringEmpty) {
  EXPECT_EQ(Format(), "");  // no format string
  EXPECT_EQ(Merge(), "");
  re.FormatString = "x";
  EXPECT_EQ(Format(), "");  // nothing matched yet
  re.MergeCopy = true;
  EXPECT_EQ(Merge(), "");  // no subject, even when copying
  re.StringToMatch = "abc";
  EXPECT_EQ(Merge(), "");  // no expression
  re.Expression = "(";
  EXPECT_EQ(Merge(), "");  // an expression that does not compile
  EXPECT_FALSE(re.GetExpressionError().empty());
}

TEST_F(FormatMerge, WithoutAFormatStringMergeDoesNotCompile) {
  re.Expression = "(";
  re.StringToMatch = "abc";
  EXPECT_EQ(Merge(), "");
  EXPECT_EQ(re.GetExpressionError(), "");  // never compiled
  re.FormatString = "x";
  re.StringToMatch = "";
  EXPECT_EQ(Merge(), "");
  EXPECT_EQ(re.GetExpressionError(), "");
}

TEST_F(FormatMerge, CopyingKeepsEveryUnmatchedByteOnce) {
  re.FormatString = "<$&>";
  re.MergeCopy = true;
  re.Expression = "zz";
  re.StringToMatch = "no match here";
  EXPECT_EQ(Merge(), "no match here");
  re.MergeCopy = false;
  EXPECT_EQ(Merge(), "");
  re.MergeCopy = true;
  re.Expression = "a+";
  re.StringToMatch = "aa-b-aaa";  // matches at the very start and the very end
  EXPECT_EQ(Merge(), "<aa>-b-<aaa>");
  re.Expression = "a|ab";  // leftmost-longest, as the other operations
  re.StringToMatch = "xab";
  EXPECT_EQ(Merge(), "x<ab>");
}

TEST_F(FormatMerge, MergeNeitherReadsNorReplacesTheHeldResults) {
  re.Expression = "(b)";
  re.StringToMatch = "abc";
  ASSERT_TRUE(re.Search());
  re.Expression = "c";
  re.FormatString = "$1";
  EXPECT_EQ(Merge(), "");  // "c" has no group 1
  EXPECT_EQ(Format(), "b");  // the Search's results, with their own numbering
}

TEST_F(FormatMerge, FormatPrefersTheGrepMatchWhileAGrepReportsOne) {
  re.Expression = "[0-9]";
  re.StringToMatch = "x1";
  ASSERT_TRUE(re.Search());
  re.StringToMatch = "a2b3";
  re.FormatString = "$`|$&|$'";
  std::vector<std::string> inside;
  re.OnGrepping = Bind(&recorder, &EventRecorder::Grepping);
  recorder.During = [&](std::size_t, const CPPStringArray&, bool&) { inside.push_back(Format()); };
  EXPECT_EQ(re.Grep(), 2u);
  EXPECT_EQ(inside, (std::vector<std::string>{"a|2|b3", "b|3|"}));
  EXPECT_EQ(Format(), "x|1|");  // after the grep, the held Search results again
}

TEST_F(FormatMerge, FormatInsideASearchHandlerFormatsTheMatchBeingReported) {
  re.Expression = "(o+)";
  re.StringToMatch = "foo";
  re.FormatString = "<$1>";
  std::string inside;
  re.OnSearching = Bind(&recorder, &EventRecorder::Matching);
  recorder.During = [&](std::size_t, const CPPStringArray&, bool&) { inside = Format(); };
  ASSERT_TRUE(re.Search());
  EXPECT_EQ(inside, "<oo>");
}

TEST_F(FormatMerge, AFailedCompileKeepsTheEarlierResultsForFormat) {
  re.Expression = "b+";
  re.StringToMatch = "abbc";
  ASSERT_TRUE(re.Search());
  re.Expression = "(";
  EXPECT_FALSE(re.Search());
  re.FormatString = "[$&]";
  EXPECT_EQ(Format(), "[bb]");
}

TEST_F(FormatMerge, HeldResultsOutliveANewSubject) {
  re.Expression = "b(c)";
  re.StringToMatch = std::string(1000, 'a') + "bcd";
  ASSERT_TRUE(re.Search());
  re.StringToMatch = "something else entirely";  // the old text must stay readable
  re.FormatString = "$&/$1/$'";
  EXPECT_EQ(Format(), "bc/c/d");
}

TEST_F(FormatMerge, AnEngineFailureInMergeLeavesTheStringEmpty) {
  re.Expression = "(x+x+)+y";  // exponential on a run of x without y
  re.StringToMatch = std::string(64, 'x');
  re.FormatString = "-";
  re.MergeCopy = true;
  std::string out = "left over";
  EXPECT_THROW(re.Merge(out), std::runtime_error);
  EXPECT_EQ(out, "");
}

TEST_F(FormatMerge, FormatStringAccessorsRoundTrip) {
  re.FormatString = "x";
  re.SetFormatString(AnsiString());
  EXPECT_TRUE(re.GetFormatString().IsEmpty());
  re.FormatString = "a$";
  EXPECT_EQ(re.GetFormatString(), "a$");
}

}  // namespace
