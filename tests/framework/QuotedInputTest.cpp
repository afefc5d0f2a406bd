// Cutting quoted input for messages.
#include <gtest/gtest.h>

#include <string>

#include <RegexComponent/Framework/QuotedInput.h>

using namespace RegexComponent;

namespace {

const std::string kEllipsis = "\xE2\x80\xA6";

TEST(CutQuotedInput, KeepsInputUpToTheLimitAndCutsLongerInputWithAnEllipsis) {
  const std::string atLimit(kQuotedInputLimit, 'x');
  EXPECT_EQ(CutQuotedInput(""), "");
  EXPECT_EQ(CutQuotedInput(atLimit), atLimit);
  EXPECT_EQ(CutQuotedInput(atLimit + "y"), atLimit + kEllipsis);
  EXPECT_EQ(CutQuotedInput(std::string(10'000'000, 'z')), std::string(kQuotedInputLimit, 'z') + kEllipsis);
  EXPECT_EQ(CutQuotedInput("abcdef", 3), "abc" + kEllipsis);
  EXPECT_EQ(CutQuotedInput("", 0), "");
  EXPECT_EQ(CutQuotedInput("abcd", 0), kEllipsis);
}

TEST(CutQuotedInput, DoesNotSplitAUtf8Sequence) {
  const std::string euro = "\xE2\x82\xAC";        // three bytes
  const std::string emoji = "\xF0\x9F\x98\x80";   // four bytes
  // Cuts after one, two and three bytes of the sequence all fall back to
  // its start.
  for (std::size_t into = 1; into < emoji.size(); ++into)
    EXPECT_EQ(CutQuotedInput("ab" + emoji + "cd", 2 + into), "ab" + kEllipsis) << into;
  EXPECT_EQ(CutQuotedInput("ab" + euro + "cd", 5), "ab" + euro + kEllipsis);
  EXPECT_EQ(CutQuotedInput("\xC3\xA9\xC3\xA9", 3), "\xC3\xA9" + kEllipsis);
  // Bytes that are no UTF-8 at all lose at most three more.
  EXPECT_EQ(CutQuotedInput("a\x80\x80\x80\x80\x80\x80", 5), "a\x80" + kEllipsis);
}

}  // namespace
