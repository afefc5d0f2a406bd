#include "engine/match/LineMatcher.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/expression/FlagWords.h"
#include "engine/expression/GnuBasic.h"

namespace RegexComponent::engine {
namespace {

using Span = std::pair<long, long>;  // start and end in the line; {-1, -1}: none

Span FindIn(const LineMatcher& matcher, const std::string& line, std::size_t from = 0) {
  boost::cmatch match;
  const char* begin = line.data();
  if (!matcher.Find(begin, begin + line.size(), begin + from, match)) return {-1, -1};
  return {match[0].first - begin, match[0].second - begin};
}

bool Selects(const LineMatcher& matcher, const std::string& line) {
  return matcher.Matches(line.data(), line.data() + line.size());
}

LineMatcher Extended(std::vector<std::string> patterns, LineFit fit = LineFit::Anywhere) {
  return LineMatcher(patterns, syntax::Extended, fit);
}

TEST(LineMatcher, TheLineIsTheWholeSubject) {
  const LineMatcher caret = Extended({"^b"});
  EXPECT_EQ(FindIn(caret, "bab"), Span(0, 1));
  // Searching on from inside the line does not make that point a line start.
  EXPECT_EQ(FindIn(caret, "bab", 1), Span(-1, -1));
  // A carriage return is data: '$' matches only at the line's end.
  EXPECT_FALSE(Selects(Extended({"a$"}), "a\r"));
  EXPECT_TRUE(Selects(Extended({"a\r$"}), "a\r"));
  EXPECT_FALSE(Selects(Extended({"^b"}), "a\rb"));
  // Word boundaries see the byte before the point the search starts from.
  EXPECT_EQ(FindIn(Extended({"\\bb"}), "ab b", 1), Span(3, 4));
  EXPECT_EQ(FindIn(Extended({"\\<"}), "ab", 1), Span(-1, -1));
}

TEST(LineMatcher, WordFitShortensThenMovesOn) {
  // The longest match "ab xb" is followed by '_'; the shorter "ab" is a word.
  EXPECT_EQ(FindIn(Extended({"a.*b"}, LineFit::Word), "ab xb_"), Span(0, 2));
  // Neither the match nor any shorter one at its start is a word, and no
  // later start has one either.
  EXPECT_FALSE(Selects(Extended({"a.*b"}, LineFit::Word), "ab_x ab_"));
  EXPECT_FALSE(Selects(Extended({"a.*b"}, LineFit::Word), "xab_ab"));
  EXPECT_EQ(FindIn(Extended({"foo"}, LineFit::Word), "foo_ foo"), Span(5, 8));
  // An empty match counts where no word byte touches it.
  EXPECT_TRUE(Selects(Extended({"x*"}, LineFit::Word), " a"));
  EXPECT_FALSE(Selects(Extended({"x*"}, LineFit::Word), "a"));
  EXPECT_TRUE(IsWordByte('_'));
  EXPECT_FALSE(IsWordByte('-'));
}

TEST(LineMatcher, WholeLineFitTriesEveryAlternative) {
  const LineMatcher whole = Extended({"a|ab"}, LineFit::WholeLine);
  EXPECT_TRUE(Selects(whole, "ab"));
  EXPECT_EQ(FindIn(whole, "ab"), Span(0, 2));
  EXPECT_FALSE(Selects(whole, "abc"));
  EXPECT_EQ(FindIn(whole, "ab", 1), Span(-1, -1));
}

TEST(LineMatcher, PatternsAreAlternativesEachWithItsOwnGroups) {
  // Back-references count the groups of their own pattern.
  const LineMatcher refs = Extended({"(a)\\1", "(b)\\1"});
  EXPECT_TRUE(Selects(refs, "xbb"));
  EXPECT_FALSE(Selects(refs, "ab"));
  // Leftmost first, then longest among the patterns.
  EXPECT_EQ(FindIn(Extended({"ab", "abcd", "b"}), "xabcd"), Span(1, 5));
  EXPECT_EQ(FindIn(Extended({"b", "(a)\\1"}), "xaab"), Span(1, 3));
  // The empty pattern matches everywhere, also beside others.
  const LineMatcher empty = Extended({"", "x"});
  EXPECT_TRUE(Selects(empty, "abc"));
  EXPECT_EQ(FindIn(empty, "ax"), Span(0, 0));
  EXPECT_EQ(FindIn(empty, "ax", 1), Span(1, 2));
  // A pattern with an unbalanced group cannot pair up with its neighbour.
  EXPECT_THROW(Extended({"(a", "b)"}), boost::regex_error);
  // No pattern: nothing matches.
  EXPECT_FALSE(Selects(Extended({}), ""));
}

TEST(LineMatcher, LiteralAndCaseOptionsApplyToEveryPattern) {
  const LineMatcher literal({"a.c", "x|y"}, syntax::Literals, LineFit::Anywhere);
  EXPECT_FALSE(Selects(literal, "abc"));
  EXPECT_TRUE(Selects(literal, "1 x|y 2"));
  const LineMatcher single({"a.c"}, syntax::Literals | syntax::CaseInsensitive, LineFit::Anywhere);
  EXPECT_TRUE(Selects(single, "A.C"));
  EXPECT_FALSE(Selects(single, "abc"));
  const LineMatcher icase({"b+", "Q"}, syntax::Extended | syntax::CaseInsensitive, LineFit::Anywhere);
  EXPECT_EQ(FindIn(icase, "aBbq"), Span(1, 3));
  EXPECT_EQ(FindIn(icase, "aBbq", 3), Span(3, 4));
}

// In NUL-ended records a line feed is data: `^` and `$` still match at the
// record's ends only, `.` and `[^x]` take a line feed, and so does the perl
// grammar's `[^x]` but not its `.` (unless (?s)), as with grep -z.
TEST(LineMatcher, RecordsEndedByNulHoldLineFeedsAsData) {
  struct Row {
    std::uint32_t syntaxWord;
    const char* pattern;
    LineFit fit;
    const char* record;
    bool selected;
  };
  const Row rows[] = {
      {syntax::Extended, "^b", LineFit::Anywhere, "a\nb", false},
      {syntax::Extended, "a$", LineFit::Anywhere, "a\nb", false},
      {syntax::Extended, "^a.b$", LineFit::Anywhere, "a\nb", true},
      {syntax::Extended, "a[^x]b", LineFit::Anywhere, "a\nb", true},
      {syntax::Extended, "a[[:space:]]b", LineFit::Anywhere, "a\nb", true},
      {syntax::Extended, "a.b", LineFit::WholeLine, "a\nb", true},
      {syntax::Extended, "a", LineFit::WholeLine, "a\n", false},
      {syntax::Extended, "b", LineFit::Word, "a\nb", true},
      {syntax::Normal, "a.b", LineFit::Anywhere, "a\nb", false},
      {syntax::Normal, "a.b", LineFit::Anywhere, "a-b", true},
      {syntax::Normal, "(?s)a.b", LineFit::Anywhere, "a\nb", true},
      {syntax::Normal, "a[^x]b", LineFit::Anywhere, "a\nb", true},
      {syntax::Normal, "a$", LineFit::Anywhere, "a\n", false},
      {syntax::Normal, "^b", LineFit::Anywhere, "a\nb", false},
  };
  for (const Row& row : rows) {
    const LineMatcher matcher({row.pattern}, row.syntaxWord, row.fit, '\0');
    EXPECT_EQ(Selects(matcher, row.record), row.selected) << row.pattern;
    boost::cmatch match;
    const std::string record = row.record;
    EXPECT_EQ(matcher.Find(record.data(), record.data() + record.size(), record.data(), match), row.selected)
        << row.pattern;
  }
  // The search over many lines at once knows line feeds only.
  EXPECT_TRUE(LineMatcher({"[0-9]+"}, syntax::Extended, LineFit::Anywhere).SearchesAcrossLines());
  EXPECT_FALSE(LineMatcher({"[0-9]+"}, syntax::Extended, LineFit::Anywhere, '\0').SearchesAcrossLines());
}

TEST(GnuBasic, RespellsOperatorsAndKeepsGnuEscapes) {
  const std::pair<const char*, const char*> cases[] = {
      {"\\(a\\)\\{2\\}\\1", "(a){2}\\1"},
      {"a+b?c|d(e){f}", "a\\+b\\?c\\|d\\(e\\)\\{f\\}"},
      {"a\\+b\\?c\\|d", "a+b?c|d"},
      {"*a", "\\*a"},
      {"^*a", "^\\*a"},
      {"\\(*a\\|*b\\)", "(\\*a|\\*b)"},
      {"a*.b", "a*.b"},
      {"a^b$c", "a\\^b\\$c"},
      {"^a$", "^a$"},
      {"\\(^a$\\)\\|^b$", "(^a$)|^b$"},
      {"\\<\\w\\+\\>\\b\\B\\W\\s\\S\\`\\'", "\\<\\w+\\>\\b\\B\\W\\s\\S\\`\\'"},
      {"\\.\\*\\[\\]\\^\\$\\\\", "\\.\\*\\[\\]\\^\\$\\\\"},
      {"\\n\\d", "nd"},
      {"[]a+\\]+", "[]a+\\]\\+"},
      {"[^]a]", "[^]a]"},
      {"[[:alpha:]+]|", "[[:alpha:]+]\\|"},
      {"a\\", "a\\"},
  };
  for (const auto& [basic, extended] : cases) EXPECT_EQ(GnuBasicToExtended(basic), extended) << basic;
}

TEST(GnuBasic, RespelledPatternsMatchAsGnuBasicDoes) {
  const auto gnu = [](const char* pattern) {
    return LineMatcher({GnuBasicToExtended(pattern)}, syntax::Extended, LineFit::Anywhere);
  };
  EXPECT_TRUE(Selects(gnu("\\<fo\\+\\>"), "a foo b"));
  EXPECT_FALSE(Selects(gnu("\\<fo\\+\\>"), "afoo"));
  EXPECT_TRUE(Selects(gnu("a+b"), "a+b"));
  EXPECT_FALSE(Selects(gnu("a+b"), "aab"));
  EXPECT_TRUE(Selects(gnu("x\\|^y$"), "y"));
  EXPECT_TRUE(Selects(gnu("a^b"), "a^b"));
  EXPECT_TRUE(Selects(gnu("\\(ab\\)\\1"), "abab"));
}

}  // namespace
}  // namespace RegexComponent::engine
