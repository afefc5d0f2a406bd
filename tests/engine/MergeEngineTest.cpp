#include "engine/match/MergeEngine.h"

#include <string>

#include <gtest/gtest.h>

#include "engine/expression/FlagWords.h"
#include "engine/match/FormatExpander.h"
#include "engine/expression/MatchFlags.h"

namespace RegexComponent::engine {
namespace {

namespace bc = boost::regex_constants;

struct Merged {
  std::string text;
  std::size_t count;
};

// Flags as the component passes them: translated from its match-flag word.
Merged Merge(const char* pattern, const std::string& subject, std::string_view format, bool copy,
             std::uint32_t matchWord = 0) {
  Merged r{"", 0};
  r.count = MergeAll(boost::regex(pattern), subject.data(), subject.data() + subject.size(), format, copy,
                     ToBoostMatchFlags(matchWord), r.text);
  return r;
}

TEST(MergeEngine, WorkedExample) {
  const Merged copied = Merge("[0-9]+", "abc123def456", "[$&]", true);
  EXPECT_EQ(copied.text, "abc[123]def[456]");
  EXPECT_EQ(copied.count, 2u);
  EXPECT_EQ(Merge("[0-9]+", "abc123def456", "[$&]", false).text, "[123][456]");
}

TEST(MergeEngine, MatchesAtTheEdgesAndNoMatch) {
  EXPECT_EQ(Merge("[0-9]+", "12ab34", "[$&]", true).text, "[12]ab[34]");
  EXPECT_EQ(Merge("[0-9]+", "1234", "[$&]", true).text, "[1234]");
  const Merged none = Merge("[0-9]+", "abc", "[$&]", true);
  EXPECT_EQ(none.text, "abc");
  EXPECT_EQ(none.count, 0u);
  EXPECT_EQ(Merge("[0-9]+", "abc", "[$&]", false).text, "");
  EXPECT_EQ(Merge("[0-9]+", "", "[$&]", true).text, "");
}

TEST(MergeEngine, AppendsAndExpandsSubExpressions) {
  std::string out = "head:";
  const std::string subject = "a=1, bb=22";
  MergeAll(boost::regex("(\\w+)=(\\w+)"), subject.data(), subject.data() + subject.size(), "$2-$1", true,
           ToBoostMatchFlags(0), out);
  EXPECT_EQ(out, "head:1-a, 22-bb");
  EXPECT_EQ(Merge("[0-9]", "a1b2c", "<$`|$'>", false).text, "<a|b2c><b|c>");
}

TEST(MergeEngine, EmptyMatchesLoseAndDoubleNothing) {
  const Merged copied = Merge("x*", "abc", "-", true);
  EXPECT_EQ(copied.text, "-a-b-c-");
  EXPECT_EQ(copied.count, 4u);
  EXPECT_EQ(Merge("x*", "abc", "-", false).text, "----");
  EXPECT_EQ(Merge("x*", "", "-", true).text, "-");

  // Replacing every match by itself must give back the subject unchanged,
  // whatever mix of empty and non-empty matches the expression produces.
  const std::string subject = "baaacaab";
  for (const char* pattern : {"a*", "a*?", "\\b", "^|$", "(?=a)", "a|", "b*|a+"}) {
    for (std::uint32_t word : {0u, match::Shortest}) {
      EXPECT_EQ(Merge(pattern, subject, "$&", true, word).text, subject) << pattern << " word " << word;
    }
  }
  EXPECT_EQ(Merge("a*", "baaac", "<$&>", true).text, "<>b<aaa><>c<>");
}

TEST(MergeEngine, PassesFlagsThrough) {
  const Merged notNull = Merge("x*", "abc", "-", true, match::NotNullString);
  EXPECT_EQ(notNull.text, "abc");
  EXPECT_EQ(notNull.count, 0u);
  EXPECT_EQ(Merge("a*", "baaac", "<$&>", true, match::NotNullString).text, "b<aaa>c");
  // Leftmost-longest unless the shortest match is asked for.
  EXPECT_EQ(Merge("a|ab", "abab", "[$&]", true).text, "[ab][ab]");
  EXPECT_EQ(Merge("a|ab", "abab", "[$&]", true, match::Shortest).text, "[a]b[a]b");
  EXPECT_EQ(Merge("^a", "aa", "-", true, match::NotBeginningOfLine).text, "aa");
}

// A subject large enough for the prefilter merges as Boost's own regex_grep
// walk over it would, the text before each match ($`) included.
TEST(MergeEngine, LargeSubjectsMergeAsThePlainWalkDoes) {
  std::string subject;
  for (int i = 0; subject.size() < (std::size_t{3} << 19); ++i)
    subject += i % 997 == 0 ? "key=12345 ok\n" : "nothing here at all\n";
  const std::string_view format = "<$`|$&>";
  for (const char* pattern : {"key=[0-9]+", "ok$", "[a-z]+=[0-9]{5}"}) {
    const boost::regex re(pattern);
    const auto flags = ToBoostMatchFlags(0);
    std::string expected;
    const char* begin = subject.data();
    const char* end = begin + subject.size();
    const char* copied = begin;
    std::size_t count = 0;
    boost::regex_grep(
        [&](const boost::cmatch& m) {
          expected.append(copied, m[0].first);
          ExpandFormat(format, m, expected);
          copied = m[0].second;
          ++count;
          return true;
        },
        begin, end, re, flags);
    expected.append(copied, end);
    const Merged merged = Merge(pattern, subject, format, true);
    EXPECT_GT(count, 50u) << pattern;
    EXPECT_EQ(merged.count, count) << pattern;
    EXPECT_TRUE(merged.text == expected) << pattern;
  }
}

}  // namespace
}  // namespace RegexComponent::engine
