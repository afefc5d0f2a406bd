#include "engine/expression/SyntaxTranslator.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <locale>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/expression/FlagWords.h"

namespace RegexComponent::engine {
namespace {

namespace sx = syntax;

// Collates letters as a A b B c C ..., so a collating range [a-c] takes in
// 'B' while a code-point range does not. Keys are (group, rank) pairs.
class InterleavedCaseCollate : public std::collate<char> {
 protected:
  std::string do_transform(const char* low, const char* high) const override {
    std::string key;
    for (; low != high; ++low) {
      const char c = *low;
      const bool upper = c >= 'A' && c <= 'Z';
      if (upper || (c >= 'a' && c <= 'z')) {
        key += '\x02';
        key += static_cast<char>(2 * ((upper ? c - 'A' : c - 'a') + 1) + (upper ? 1 : 0));
      } else {
        key += '\x01';
        key += c == 0 ? '\x01' : c;
      }
    }
    return key;
  }
  int do_compare(const char* l1, const char* h1, const char* l2, const char* h2) const override {
    return do_transform(l1, h1).compare(do_transform(l2, h2));
  }
};

const std::locale& TestLocale() {
  static const std::locale locale(std::locale::classic(), new InterleavedCaseCollate);
  return locale;
}

// Compiles exactly as the component does.
boost::regex Compile(std::uint32_t word, std::string_view expression) {
  const TranslatedExpression translated = TranslateExpression(word, expression);
  boost::regex regex;
  regex.imbue(TestLocale());
  regex.assign(translated.pattern.data(), translated.pattern.data() + translated.pattern.size(),
               translated.flags | boost::regex::no_except);
  return regex;
}

struct Outcome {
  enum Kind { kError, kNoMatch, kMatch } kind;
  std::string match;
  int marks = -1;  // -1: not checked

  bool operator==(const Outcome& other) const {
    if (kind != other.kind || match != other.match) return false;
    return marks < 0 || other.marks < 0 || marks == other.marks;
  }
  friend void PrintTo(const Outcome& o, std::ostream* os) {
    if (o.kind == kError) *os << "compile error";
    if (o.kind == kNoMatch) *os << "no match";
    if (o.kind == kMatch) *os << "match \"" << o.match << "\" marks " << o.marks;
  }
};
Outcome Error() { return {Outcome::kError, "", -1}; }
Outcome Miss() { return {Outcome::kNoMatch, "", -1}; }
Outcome Hit(std::string match, int marks = -1) { return {Outcome::kMatch, std::move(match), marks}; }

// Leftmost-longest search, as the component matches by default.
Outcome Search(std::uint32_t word, std::string_view expression, std::string_view text) {
  const boost::regex regex = Compile(word, expression);
  if (regex.status() != 0) return Error();
  boost::match_results<std::string_view::const_iterator> m;
  if (!boost::regex_search(text.begin(), text.end(), m, regex, boost::match_posix)) return Miss();
  return Hit(m.str(), static_cast<int>(regex.mark_count()));
}

std::string WordName(std::uint32_t word) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%04X", word);
  return buffer;
}

// Bases for words without a mode: each lacks one of the bits every mode has.
constexpr std::uint32_t kNoMode = sx::CharacterClasses | sx::Intervals;
constexpr std::uint32_t kNoModeNoIntervals = sx::CharacterClasses;
constexpr std::uint32_t kNoModeNoClasses = sx::Intervals;

struct MemberCase {
  std::uint32_t member;
  std::uint32_t base;
  const char* pattern;
  const char* text;
  Outcome with;     // base | member
  Outcome without;  // base & ~member
};

// Every member toggled in Basic, Extended, Normal and a word with no mode.
const MemberCase kMemberMatrix[] = {
    {sx::EscapeInCharacterSets, sx::Basic, R"([\n])", "\\\n", Hit("\n"), Hit("\\")},
    {sx::EscapeInCharacterSets, sx::Extended, R"([\n])", "\\\n", Hit("\n"), Hit("\\")},
    {sx::EscapeInCharacterSets, sx::Normal, R"([\n])", "\\\n", Hit("\n"), Hit("\\")},
    {sx::EscapeInCharacterSets, kNoMode, R"([\n])", "\\\n", Hit("\n"), Hit("\\")},
    {sx::EscapeInCharacterSets, sx::Basic, R"([\d])", "d5", Hit("5"), Hit("d")},
    {sx::EscapeInCharacterSets, sx::Extended, R"([\d])", "d5", Hit("5"), Hit("d")},
    {sx::EscapeInCharacterSets, sx::Normal, R"([\d])", "d5", Hit("5"), Hit("d")},
    {sx::EscapeInCharacterSets, kNoMode, R"([\d])", "d5", Hit("5"), Hit("d")},
    {sx::CharacterClasses, sx::Basic, "[[:digit:]]", "5:]", Hit("5"), Hit(":]")},
    {sx::CharacterClasses, sx::Extended, "[[:digit:]]", "5:]", Hit("5"), Hit(":]")},
    {sx::CharacterClasses, sx::Normal, "[[:digit:]]", "5:]", Hit("5"), Hit(":]")},
    {sx::CharacterClasses, kNoModeNoClasses, "[[:digit:]]", "5:]", Hit("5"), Hit(":]")},
    {sx::Intervals, sx::Basic, R"(a\{2\})", "aa a{2}", Hit("aa"), Hit("a{2}")},
    {sx::Intervals, sx::Extended, "a{2}", "aa a{2}", Hit("aa"), Hit("a{2}")},
    {sx::Intervals, sx::Normal, "a{2}", "aa a{2}", Hit("aa"), Hit("a{2}")},
    {sx::Intervals, kNoModeNoIntervals, "a{2}", "aa a{2}", Hit("aa"), Hit("a{2}")},
    {sx::LimitedOperations, sx::Basic, "a+", "aa a+", Hit("a+"), Hit("aa")},
    {sx::LimitedOperations, sx::Extended, "a+", "aa a+", Hit("a+"), Hit("aa")},
    {sx::LimitedOperations, sx::Normal, "a+", "aa a+", Hit("a+"), Hit("aa")},
    {sx::LimitedOperations, kNoMode, "a+", "aa a+", Hit("a+"), Hit("aa")},
    {sx::LimitedOperations, sx::Basic, "ab?", "a ab?", Hit("ab?"), Hit("a")},
    {sx::LimitedOperations, sx::Extended, "ab?", "a ab?", Hit("ab?"), Hit("a")},
    {sx::LimitedOperations, sx::Normal, "ab?", "a ab?", Hit("ab?"), Hit("a")},
    {sx::LimitedOperations, kNoMode, "ab?", "a ab?", Hit("ab?"), Hit("a")},
    {sx::LimitedOperations, sx::Basic, "a|b", "b a|b", Hit("a|b"), Hit("b")},
    {sx::LimitedOperations, sx::Extended, "a|b", "b a|b", Hit("a|b"), Hit("b")},
    {sx::LimitedOperations, sx::Normal, "a|b", "b a|b", Hit("a|b"), Hit("b")},
    {sx::LimitedOperations, kNoMode, "a|b", "b a|b", Hit("a|b"), Hit("b")},
    {sx::NewlineAsAlternation, sx::Basic, "a\nb", "b", Hit("b"), Miss()},
    {sx::NewlineAsAlternation, sx::Extended, "a\nb", "b", Hit("b"), Miss()},
    {sx::NewlineAsAlternation, sx::Normal, "a\nb", "b", Hit("b"), Miss()},
    {sx::NewlineAsAlternation, kNoMode, "a\nb", "b", Hit("b"), Miss()},
    {sx::QuestionmarkPlusNotOperators, sx::Basic, R"(a\+)", "aa a+", Hit("aa"), Hit("a+")},
    {sx::QuestionmarkPlusNotOperators, sx::Extended, R"(a\+)", "aa a+", Hit("aa"), Hit("a+")},
    {sx::QuestionmarkPlusNotOperators, sx::Normal, R"(a\+)", "aa a+", Hit("aa"), Hit("a+")},
    {sx::QuestionmarkPlusNotOperators, kNoMode, R"(a\+)", "aa a+", Hit("aa"), Hit("a+")},
    {sx::QuestionmarkPlusNotOperators, sx::Basic, "a+", "aa a+", Hit("a+"), Hit("a+")},
    {sx::QuestionmarkPlusNotOperators, sx::Extended, "a+", "aa a+", Hit("a+"), Hit("aa")},
    {sx::QuestionmarkPlusNotOperators, sx::Normal, "ab?", "a ab?", Hit("ab?"), Hit("a")},
    {sx::QuestionmarkPlusNotOperators, kNoMode, R"(ab\?)", "a ab?", Hit("a"), Hit("ab?")},
    {sx::BracesNotOperators, sx::Basic, R"(a\{2\})", "aa a{2}", Hit("aa"), Hit("a{2}")},
    {sx::BracesNotOperators, sx::Basic, "a{2}", "aa a{2}", Hit("a{2}"), Hit("aa")},
    {sx::BracesNotOperators, sx::Extended, "a{2}", "aa a{2}", Hit("a{2}"), Hit("aa")},
    {sx::BracesNotOperators, sx::Extended, R"(a\{2\})", "aa a{2}", Hit("aa"), Hit("a{2}")},
    {sx::BracesNotOperators, sx::Normal, "a{2}", "aa a{2}", Hit("a{2}"), Hit("aa")},
    {sx::BracesNotOperators, sx::Normal, R"(a\{2\})", "aa a{2}", Hit("aa"), Hit("a{2}")},
    {sx::BracesNotOperators, kNoMode, "a{2}", "aa a{2}", Hit("a{2}"), Hit("aa")},
    {sx::BracesNotOperators, kNoMode, R"(a\{2\})", "aa a{2}", Hit("aa"), Hit("a{2}")},
    {sx::ParenthesesNotOperators, sx::Basic, "(a)", "a (a)", Hit("(a)", 0), Hit("a", 1)},
    {sx::ParenthesesNotOperators, sx::Basic, R"(\(a\))", "a (a)", Hit("a", 1), Hit("(a)", 0)},
    {sx::ParenthesesNotOperators, sx::Extended, "(a)", "a (a)", Hit("(a)", 0), Hit("a", 1)},
    {sx::ParenthesesNotOperators, sx::Extended, R"(\(a\))", "a (a)", Hit("a", 1), Hit("(a)", 0)},
    {sx::ParenthesesNotOperators, sx::Normal, "(a)", "a (a)", Hit("(a)", 0), Hit("a", 1)},
    {sx::ParenthesesNotOperators, sx::Normal, R"(\(a\))", "a (a)", Hit("a", 1), Hit("(a)", 0)},
    {sx::ParenthesesNotOperators, kNoMode, "(a)", "a (a)", Hit("(a)", 0), Hit("a", 1)},
    {sx::ParenthesesNotOperators, kNoMode, R"(\(a\))", "a (a)", Hit("a", 1), Hit("(a)", 0)},
    {sx::BackReferences, sx::Basic, R"(\(a\)\1)", "aa a1", Hit("aa", 1), Hit("a1", 1)},
    {sx::BackReferences, sx::Extended, R"((a)\1)", "aa a1", Hit("aa", 1), Hit("a1", 1)},
    {sx::BackReferences, sx::Normal, R"((a)\1)", "aa a1", Hit("aa", 1), Hit("a1", 1)},
    {sx::BackReferences, kNoModeNoIntervals, R"((a)\1)", "aa a1", Hit("aa", 1), Hit("a1", 1)},
    {sx::VerticalbarNotOperator, sx::Basic, R"(a\|b)", "b a|b", Hit("b"), Hit("a|b")},
    {sx::VerticalbarNotOperator, sx::Basic, "a|b", "b a|b", Hit("a|b"), Hit("a|b")},
    {sx::VerticalbarNotOperator, sx::Extended, "a|b", "b a|b", Hit("a|b"), Hit("b")},
    {sx::VerticalbarNotOperator, sx::Extended, R"(a\|b)", "b a|b", Hit("b"), Hit("a|b")},
    {sx::VerticalbarNotOperator, sx::Normal, "a|b", "b a|b", Hit("a|b"), Hit("b")},
    {sx::VerticalbarNotOperator, sx::Normal, R"(a\|b)", "b a|b", Hit("b"), Hit("a|b")},
    {sx::VerticalbarNotOperator, kNoMode, "a|b", "b a|b", Hit("a|b"), Hit("b")},
    {sx::VerticalbarNotOperator, kNoMode, R"(a\|b)", "b a|b", Hit("b"), Hit("a|b")},
    {sx::Literals, sx::Basic, ".*", "ab.*", Hit(".*"), Hit("ab.*")},
    {sx::Literals, sx::Extended, ".*", "ab.*", Hit(".*"), Hit("ab.*")},
    {sx::Literals, sx::Normal, ".*", "ab.*", Hit(".*"), Hit("ab.*")},
    {sx::Literals, kNoMode, "(a", "(a", Hit("(a"), Error()},
    {sx::CaseInsensitive, sx::Basic, R"(a\{2\})", "xAa", Hit("Aa"), Miss()},
    {sx::CaseInsensitive, sx::Extended, "[ab]+", "xAbB", Hit("AbB"), Hit("b")},
    {sx::CaseInsensitive, sx::Normal, R"((a)\1)", "xaA", Hit("aA"), Miss()},
    {sx::CaseInsensitive, kNoMode, "ab", "xAB", Hit("AB"), Miss()},
    {sx::CaseInsensitive | sx::Literals, kNoMode, "A.B", "a.b", Hit("a.b"), Miss()},
    {sx::NoLocaleSpecificCollation, sx::Basic, "[a-c]", "B", Miss(), Hit("B")},
    {sx::NoLocaleSpecificCollation, sx::Extended, "[a-c]", "B", Miss(), Hit("B")},
    {sx::NoLocaleSpecificCollation, sx::Normal, "[a-c]", "B", Miss(), Hit("B")},
    {sx::NoLocaleSpecificCollation, kNoMode, "[a-c]", "B", Miss(), Hit("B")},
};

TEST(SyntaxTranslator, EachMemberInEachMode) {
  for (const MemberCase& c : kMemberMatrix) {
    const std::uint32_t with = c.base | c.member;
    const std::uint32_t without = c.base & ~c.member;
    SCOPED_TRACE(std::string("pattern ") + c.pattern + " on \"" + c.text + "\", with " +
                 WordName(with) + ", without " + WordName(without));
    EXPECT_EQ(Search(with, c.pattern, c.text), c.with);
    EXPECT_EQ(Search(without, c.pattern, c.text), c.without);
  }
}

struct Example {
  std::uint32_t word;
  const char* pattern;
  const char* text;
  Outcome expected;
};

const Example kExamples[] = {
    // Normal + LimitedOperations: + and | are ordinary characters.
    {sx::Normal | sx::LimitedOperations, "a+", "a+", Hit("a+")},
    {sx::Normal | sx::LimitedOperations, "a+", "aa", Miss()},
    {sx::Normal | sx::LimitedOperations, "a|b", "a|b", Hit("a|b")},
    {sx::Normal | sx::LimitedOperations, "a|b", "a", Miss()},
    {sx::Normal | sx::LimitedOperations, "a|b", "b", Miss()},
    // Normal without Intervals.
    {sx::Normal & ~sx::Intervals, "a{2}", "a{2}", Hit("a{2}")},
    {sx::Normal & ~sx::Intervals, "a{2}", "aa", Miss()},
    // Normal + ParenthesesNotOperators.
    {sx::Normal | sx::ParenthesesNotOperators, R"(\(a\))", "a", Hit("a", 1)},
    {sx::Normal | sx::ParenthesesNotOperators, "(a)", "(a)", Hit("(a)", 0)},
    {sx::Normal | sx::ParenthesesNotOperators, "(a)", "a", Miss()},
    {sx::Normal | sx::NewlineAsAlternation, "a\nb", "b", Hit("b")},
    {sx::Normal | sx::Literals, ".*", ".*", Hit(".*")},
    {sx::Normal | sx::Literals, ".*", "ab", Miss()},
    // Literals with NewlineAsAlternation: each line a literal alternative.
    {sx::Literals | sx::NewlineAsAlternation, "a.b\nc*", "xc*", Hit("c*")},
    {sx::Literals | sx::NewlineAsAlternation, "a.b\nc*", "axb c", Miss()},
    {sx::Literals, "a\nb", "b", Miss()},
    {sx::Extended, R"([\n])", "\\", Hit("\\")},
    {sx::Extended, R"([\n])", "n", Hit("n")},
    {sx::Normal, R"([\n])", "\n", Hit("\n")},
    {sx::Normal, R"([\n])", "n", Miss()},
    {sx::Basic, R"(a\{2\})", "aa", Hit("aa")},
    {sx::Basic, "a{2}", "a{2}", Hit("a{2}")},
    {sx::Basic, "a{2}", "aa", Miss()},
    {sx::Basic, R"(\(a\)\1)", "aa", Hit("aa", 1)},
    {sx::Basic, "a+", "a+", Hit("a+")},
    {sx::Basic, "a+", "aa", Miss()},
    {sx::Basic | sx::QuestionmarkPlusNotOperators, R"(a\+)", "aaa", Hit("aaa")},
    {sx::Extended | sx::VerticalbarNotOperator, "a|b", "a|b", Hit("a|b")},
    {sx::Extended | sx::VerticalbarNotOperator, "a|b", "b", Miss()},
    {sx::Extended | sx::VerticalbarNotOperator, R"(a\|b)", "b", Hit("b")},
    {sx::Extended | sx::BracesNotOperators, "a{2}", "a{2}", Hit("a{2}")},
    {sx::Extended | sx::BracesNotOperators, R"(a\{2\})", "aa", Hit("aa")},
    // Without BackReferences \digit matches the digit, in every grammar.
    {sx::Normal & ~sx::BackReferences, R"((a)\1)", "a1", Hit("a1", 1)},
    {sx::Extended & ~sx::BackReferences, R"((a)\1)", "a1", Hit("a1", 1)},
    {sx::Basic & ~sx::BackReferences, R"(\(a\)\1)", "a1", Hit("a1", 1)},
    {sx::Normal & ~sx::BackReferences, R"(a{\1})", "a{1}", Hit("a{1}")},
    {sx::Normal & ~sx::CharacterClasses, "[[:alpha:]]", "a", Miss()},
    {sx::Basic & ~sx::CharacterClasses, "[[:alpha:]]", "a]", Hit("a]")},
};

TEST(SyntaxTranslator, DocumentedExamples) {
  for (const Example& e : kExamples) {
    SCOPED_TRACE(std::string("pattern ") + e.pattern + " on \"" + e.text + "\", word " + WordName(e.word));
    EXPECT_EQ(Search(e.word, e.pattern, e.text), e.expected);
  }
}

TEST(SyntaxTranslator, ModesAreBoostsOwnSyntaxes) {
  EXPECT_EQ(TranslateExpression(sx::Basic, "x").flags, boost::regex::basic);
  EXPECT_EQ(TranslateExpression(sx::Extended, "x").flags,
            boost::regex::extended & ~boost::regex::no_bk_refs);
  EXPECT_EQ(TranslateExpression(sx::Normal, "x").flags, boost::regex::perl);
  EXPECT_EQ(TranslateExpression(sx::Normal | sx::CaseInsensitive, "x").flags,
            boost::regex::perl | boost::regex::icase);
  // In its own mode an expression reaches Boost as written.
  const std::pair<std::uint32_t, const char*> ownSpelling[] = {
      {sx::Basic, R"(\(a\)*\{1,2\}[]\-]\1)"},
      {sx::Extended, R"((a|b)+{1}[^]\-]\1)"},
      {sx::Normal, R"((?:a)\d+?[\]\w]\1)"},
  };
  for (const auto& [mode, text] : ownSpelling) {
    EXPECT_EQ(TranslateExpression(mode, text).pattern, text) << WordName(mode);
  }
}

// Words without a complete mode are read in the grammar their mode-specific
// bits point to; so is a word holding both Basic and Normal.
TEST(SyntaxTranslator, GrammarOfWordsWithoutAMode) {
  const Example cases[] = {
      {sx::Normal & ~sx::Intervals, R"((?:a)\d)", "a1", Hit("a1", 0)},    // perl
      {sx::Extended & ~sx::BackReferences, "(?:a)", "a", Error()},        // POSIX extended
      {sx::Extended & ~sx::BackReferences, "*a", "*a", Error()},
      {sx::Basic & ~sx::Intervals, "*a", "*a", Hit("*a")},                // POSIX basic
      {0, "(a)|b{2}", "bb b{2}", Hit("b{2}", 1)},
      {sx::Basic | sx::Normal, R"(\(a\)\{2\}[\n])", "aa\n", Hit("aa\n", 1)},
      {sx::Basic | sx::Normal, "[a-c]", "B", Miss()},
  };
  for (const Example& e : cases) {
    SCOPED_TRACE(std::string("pattern ") + e.pattern + ", word " + WordName(e.word));
    EXPECT_EQ(Search(e.word, e.pattern, e.text), e.expected);
  }
}

// Constructs the lexer must keep whole: bracket expressions, \Q...\E,
// escapes with braced arguments, and perl's "(?" group heads.
TEST(SyntaxTranslator, RewritingKeepsTokensWhole) {
  constexpr std::uint32_t kLimitedNormal = sx::Normal | sx::LimitedOperations;
  constexpr std::uint32_t kLimitedExtended = sx::Extended | sx::LimitedOperations;
  const Example cases[] = {
      {kLimitedExtended, "[+]", "\\", Miss()},
      {kLimitedExtended, "[]+|]+", "|+", Hit("|+")},
      {kLimitedExtended, R"([a\]+)", "a\\+", Hit("\\+")},
      {kLimitedExtended, "[^]+]x", "]x+x\\x", Hit("\\x")},
      {kLimitedExtended, "[[:alpha:]+]+", "\\+", Miss()},
      {kLimitedExtended, "[[:alpha:]+]+", "a+", Hit("a+")},
      {kLimitedExtended, "[[.+.]]+", "++", Hit("++")},
      {kLimitedNormal, R"([a\]+])", "]", Hit("]")},
      {kLimitedNormal, R"(\Q+|\E)", "+|", Hit("+|")},
      {kLimitedNormal, R"(a\Q(+)", "a(+", Hit("a(+")},
      {kLimitedNormal, "(?:a)+", "a+", Hit("a+", 0)},
      {kLimitedNormal, "(?|(a)|(b))", "b", Miss()},
      {sx::Normal | sx::VerticalbarNotOperator, R"((?|(a)\|(b)))", "b", Hit("b", 1)},
      {kLimitedNormal, "(?+1)(a)", "aa", Hit("aa", 1)},
      {sx::Normal & ~sx::Intervals, R"(\x{41}\p{alpha})", "Ab", Hit("Ab")},
      {sx::Extended | sx::BracesNotOperators, R"(\x{41})", "A", Hit("A")},
      {sx::Normal | sx::BracesNotOperators, R"((a)\g{1})", "aa", Hit("aa", 1)},
      {sx::Normal | sx::LimitedOperations, R"(\c+)", "\x0b", Hit("\x0b")},
      {sx::Normal | sx::ParenthesesNotOperators, R"(a\(?#c)d\)b)", "ab", Hit("ab", 0)},
      {sx::Normal | sx::ParenthesesNotOperators, R"(\(?:a\))", "a", Hit("a", 0)},
      {sx::Normal | sx::ParenthesesNotOperators, R"(\(a\)\(?=b\))", "ab", Hit("a", 1)},
      {sx::Normal | sx::QuestionmarkPlusNotOperators, R"((\?:a))", "a", Error()},
      {sx::Normal | sx::QuestionmarkPlusNotOperators, "(?:a)", "a", Hit("a", 0)},
      {sx::Normal & ~sx::CharacterClasses, "[![:alpha:]]", "!", Miss()},
      {sx::Normal & ~sx::CharacterClasses, "[!-[:alpha:]]", ":]", Hit(":]")},
      {sx::Normal & ~sx::CharacterClasses, R"([\c][:alpha:]])", "b]", Miss()},
      {sx::Normal & ~sx::CharacterClasses, R"([\c][:alpha:]])", "p]", Hit("p]")},
  };
  for (const Example& e : cases) {
    SCOPED_TRACE(std::string("pattern ") + e.pattern + " on \"" + e.text + "\", word " + WordName(e.word));
    EXPECT_EQ(Search(e.word, e.pattern, e.text), e.expected);
  }
}

// Over every combination of the 13 bits: the operator spellings follow the
// members, and rewriting neither repairs nor breaks an expression.
TEST(SyntaxTranslator, EveryWordFollowsItsMembers) {
  constexpr std::uint32_t kAllBits = 0x73FF;
  for (std::uint32_t word = 0; word <= kAllBits; ++word) {
    if ((word & ~kAllBits) != 0 || (word & sx::Literals) != 0) continue;
    SCOPED_TRACE(WordName(word));
    auto has = [word](std::uint32_t bit) { return (word & bit) != 0; };
    const bool limited = has(sx::LimitedOperations);
    const bool bkRepeat = has(sx::QuestionmarkPlusNotOperators);
    const bool bkBar = has(sx::VerticalbarNotOperator);
    const bool bkBraces = has(sx::BracesNotOperators);
    const bool intervals = has(sx::Intervals);
    const bool bkParens = has(sx::ParenthesesNotOperators);
    EXPECT_EQ(Search(word, "ab+", "abb ab+"), Hit(!limited && !bkRepeat ? "abb" : "ab+"));
    EXPECT_EQ(Search(word, R"(ab\+)", "abb ab+"), Hit(bkRepeat ? "abb" : "ab+"));
    EXPECT_EQ(Search(word, "a|b", "b a|b"), Hit(!limited && !bkBar ? "b" : "a|b"));
    EXPECT_EQ(Search(word, R"(a\|b)", "b a|b"), Hit(bkBar ? "b" : "a|b"));
    EXPECT_EQ(Search(word, "a{2}", "aa a{2}"), Hit(intervals && !bkBraces ? "aa" : "a{2}"));
    EXPECT_EQ(Search(word, R"(a\{2\})", "aa a{2}"), Hit(intervals && bkBraces ? "aa" : "a{2}"));
    const std::string open = bkParens ? R"(\()" : "(";
    const std::string close = bkParens ? R"(\))" : ")";
    const std::string literalOpen = bkParens ? "(" : R"(\()";
    const std::string literalClose = bkParens ? ")" : R"(\))";
    EXPECT_EQ(Search(word, open + "a" + close + "b", "ab"), Hit("ab", 1));
    EXPECT_EQ(Search(word, literalOpen + "a" + literalClose, "(a)"), Hit("(a)", 0));
    EXPECT_EQ(Search(word, open + "a", "a"), Error());
    EXPECT_EQ(Search(word, "a" + close, "a"), Error());
    EXPECT_EQ(Search(word, "[ab", "a"), Error());
    EXPECT_EQ(Search(word, R"(a\)", "a"), Error());
  }
}

// Odd inputs must neither read outside the text nor crash (run under ASan).
TEST(SyntaxTranslator, OddInputsStayInBounds) {
  const std::string_view oddInputs[] = {
      "",      "\\",    "[",     "[]",    "[^]",    "[^",    "[]]",    "[[",   "[[:",   "[[:a",
      "[[:a:", "[[=",   "[[.",   "[[.a.", "[a-",   "[a-[",  "[\\",   "[a\\", "\\Q",   "\\Qa\\",
      "\\x{",  "\\x{4", "\\c",   "(?",    "(?#",   "\\(?#", "(?#a\\", "\\(",  "\\{1,", "a{",
      "\\1",   "\\",    "(",     ")",     "{",     "}",     "|",      "?",    "+",     "\n",
      std::string_view("a\0b", 3),
  };
  for (std::uint32_t word = 0; word <= 0x73FF; ++word) {
    if ((word & ~0x73FFu) != 0) continue;
    for (std::string_view input : oddInputs) {
      // A copy sized exactly to the input lets ASan see any read past it.
      const std::vector<char> exact(input.begin(), input.end());
      const TranslatedExpression translated =
          TranslateExpression(word, std::string_view(exact.data(), exact.size()));
      boost::regex regex;
      regex.assign(translated.pattern.data(), translated.pattern.data() + translated.pattern.size(),
                   translated.flags | boost::regex::no_except);
      if (input.empty() || input == "\\") continue;
      if (input.front() == '[' && input != "[]]" && (word & sx::Literals) == 0) {
        EXPECT_NE(regex.status(), 0) << WordName(word) << " " << input;
      }
    }
  }
}

}  // namespace
}  // namespace RegexComponent::engine
