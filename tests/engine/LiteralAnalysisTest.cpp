#include "engine/prefilter/LiteralAnalysis.h"

#include <gtest/gtest.h>

#include <locale>
#include <string>
#include <vector>

#include "engine/expression/FlagWords.h"
#include "engine/expression/MatchFlags.h"
#include "engine/expression/SyntaxTranslator.h"

namespace RegexComponent::engine {
namespace {

namespace sx = syntax;
namespace mx = match;

LiteralAnalysis Analyze(const char* expression, std::uint32_t syntaxWord = sx::Normal, std::uint32_t matchWord = 0) {
  const TranslatedExpression t = TranslateExpression(syntaxWord, expression);
  return AnalyzeLiterals(t.pattern, t.flags, ToBoostMatchFlags(matchWord));
}

// A literal written back as text; a position standing for several bytes
// is shown as its bytes in brackets.
std::string Text(const Literal& literal) {
  std::string out;
  for (const ByteSet& set : literal) {
    std::string bytes;
    for (std::size_t b = 0; b < set.size(); ++b) {
      if (set.test(b)) bytes += static_cast<char>(b);
    }
    out += bytes.size() == 1 ? bytes : "[" + bytes + "]";
  }
  return out;
}

std::vector<std::string> Texts(const LiteralAnalysis& a) {
  std::vector<std::string> out;
  for (const Literal& l : a.literals) out.push_back(Text(l));
  return out;
}

TEST(LiteralAnalysisTest, FindsTheLiteralsAndWhereMatchesStart) {
  const LiteralAnalysis word = Analyze("namespace");
  ASSERT_TRUE(word.usable);
  EXPECT_EQ(Texts(word), std::vector<std::string>{"namespace"});
  EXPECT_EQ(word.reach, 0u);
  EXPECT_EQ(word.maxLength, 9u);
  EXPECT_FALSE(word.matchesNewline);

  const LiteralAnalysis alternatives = Analyze("TODO|FIXME");
  ASSERT_TRUE(alternatives.usable);
  EXPECT_EQ(Texts(alternatives), (std::vector<std::string>{"TODO", "FIXME"}));

  // An unbounded run before the literal that cannot cross a line.
  const LiteralAnalysis guard = Analyze("[A-Z_]+_H");
  ASSERT_TRUE(guard.usable);
  EXPECT_EQ(Texts(guard), std::vector<std::string>{"[ABCDEFGHIJKLMNOPQRSTUVWXYZ_]_H"});
  EXPECT_EQ(guard.reach, kUnbounded);
  EXPECT_TRUE(guard.reachWithinLine);

  const LiteralAnalysis date = Analyze("[0-9]{4}-[0-9]{2}");
  ASSERT_TRUE(date.usable);
  // Positions too common to look for still narrow the candidates.
  const std::string digit = "[0123456789]";
  EXPECT_EQ(Texts(date), std::vector<std::string>{digit + digit + digit + digit + "-" + digit + digit});
  EXPECT_EQ(date.reach, 0u);
  EXPECT_EQ(date.maxLength, 7u);

  EXPECT_EQ(Texts(Analyze("\\bstatic\\b")), std::vector<std::string>{"static"});
  EXPECT_EQ(Texts(Analyze("#include <[a-z_]+\\.h>")),
            std::vector<std::string>{"#include <[_abcdefghijklmnopqrstuvwxyz]"});
  // Groups and repeats: the first copy of a required repeat still counts.
  EXPECT_EQ(Texts(Analyze("(?:qz|jz)+[0-9]")), (std::vector<std::string>{"qz", "jz"}));
  EXPECT_EQ(Texts(Analyze("[0-9]*zq+")), std::vector<std::string>{"zq"});
  // The literal grammar: the whole text, metacharacters included.
  EXPECT_EQ(Texts(Analyze("a.b", sx::Normal | sx::Literals)), std::vector<std::string>{"a.b"});
}

// With no small position, two classes rare enough together place a match.
TEST(LiteralAnalysisTest, RareClassesTogetherPlaceMatches) {
  const LiteralAnalysis code = Analyze("[[:upper:]][[:digit:]]{3}");
  ASSERT_TRUE(code.usable);
  const std::string digit = "[0123456789]";
  EXPECT_EQ(Texts(code), std::vector<std::string>{"[ABCDEFGHIJKLMNOPQRSTUVWXYZ]" + digit + digit + digit});
  EXPECT_EQ(code.reach, 0u);
  EXPECT_TRUE(Analyze("(?:[A-Z][0-9])+").usable);
  // Lower-case letters are everywhere: Boost's own scan does better.
  EXPECT_FALSE(Analyze("[a-z]{4}").usable);
  EXPECT_FALSE(Analyze("\\w+\\s*\\w+").usable);
}

TEST(LiteralAnalysisTest, CaseFoldingAndMatchFlagsShapeTheResult) {
  const LiteralAnalysis folded = Analyze("Ab_", sx::Normal | sx::CaseInsensitive);
  ASSERT_TRUE(folded.usable);
  EXPECT_EQ(Texts(folded), std::vector<std::string>{"[Aa][Bb]_"});

  // '.' crosses lines unless told not to; then the line bounds the start.
  EXPECT_FALSE(Analyze(".*foo").usable);
  const LiteralAnalysis dot = Analyze(".*foo", sx::Normal, mx::NotDotNewline);
  ASSERT_TRUE(dot.usable);
  EXPECT_TRUE(dot.reachWithinLine);
  EXPECT_FALSE(dot.matchesNewline);
  EXPECT_TRUE(Analyze("\\s{1,3}foo").usable);
  EXPECT_TRUE(Analyze("\\s{1,3}foo").matchesNewline);

  // Flags that tie a match to where the search began.
  EXPECT_FALSE(Analyze("foo", sx::Normal, mx::Continuous).usable);
  // Only the perl and literal grammars are analysed.
  EXPECT_FALSE(Analyze("foo", sx::Extended).usable);
  EXPECT_FALSE(Analyze("foo", sx::Basic).usable);
}

// Latin-1 case pairs for É and é on top of the classic table.
class Latin1Ctype : public std::ctype<char> {
 protected:
  char do_tolower(char c) const override { return c == '\xC9' ? '\xE9' : std::ctype<char>::do_tolower(c); }
  const char* do_tolower(char* low, const char* high) const override {
    for (; low != high; ++low) *low = do_tolower(*low);
    return high;
  }
};

// Case variants come from the expression's locale, as Boost folds them.
TEST(LiteralAnalysisTest, CaseVariantsFollowTheLocale) {
  const std::locale latin1(std::locale::classic(), new Latin1Ctype);
  const auto icase = boost::regex::perl | boost::regex::icase;
  const LiteralAnalysis a = AnalyzeLiterals("x\xE9", icase, boost::match_default, latin1);
  ASSERT_TRUE(a.usable);
  ASSERT_EQ(a.literals.size(), 1u);
  EXPECT_EQ(Text(a.literals[0]), "[Xx][\xC9\xE9]");
  boost::regex re;
  re.imbue(latin1);
  re.assign("x\xE9", icase);
  EXPECT_TRUE(boost::regex_match("X\xC9", re));
}

TEST(LiteralAnalysisTest, RefusesWhatItDoesNotFullyUnderstand) {
  for (const char* expression :
       {"(?=a)bc", "(?<=a)bc", "(a)\\1bc", "\\Gabc", "\\Aabc", "\\`abc", "abc\\z", "abc\\Z", "abc\\'",
        "(?i)abc", "\\Qabc\\E", "a\\Kbc", "\\x41bc", "abc++", "(?>abc)", "[[.a.]]bc", "[[=a=]]bc", "(?#x)abc",
        "a{,2}bc", "(?|(a)|(b))c", "(*ACCEPT)abc", "\\Rabc", "\\Xabc", "\\pLabc", "\\cAbc"}) {
    EXPECT_FALSE(Analyze(expression).usable) << expression;
  }
  // Expressions that can match the empty string, or have no literal that
  // places a match.
  for (const char* expression : {"a*", "abc|", "\\b", "(?:abc)?", "x*(?:abc)?", "[0-9]+", ".*abc", "\\s*abc"}) {
    EXPECT_FALSE(Analyze(expression).usable) << expression;
  }
}

}  // namespace
}  // namespace RegexComponent::engine
