#include "engine/prefilter/PrefilteredSearch.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "GrepComparison.h"
#include "engine/expression/FlagWords.h"
#include "engine/expression/MatchFlags.h"
#include "engine/expression/SyntaxTranslator.h"

namespace RegexComponent::engine {
namespace {

namespace sx = syntax;
namespace mx = match;
using testing::GrepRecord;

// A small fixed-seed generator, so every run and every machine sees the
// same cases.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    state_ += 0x9E3779B97F4A7C15u;
    std::uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
  }
  std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Next() % n); }
  bool OneIn(std::size_t n) { return Below(n) == 0; }
  template <std::size_t N>
  const char* Pick(const char* const (&items)[N]) { return items[Below(N)]; }

 private:
  std::uint64_t state_;
};

// Pieces of expressions in the component's Normal syntax: what the
// analysis accepts, and constructs it must refuse.
constexpr const char* kLiterals[] = {"ab", "abc", "ba", "aB", "b", "a", "c", "_", " ", "-", "x", "B1"};
constexpr const char* kAtoms[] = {"\\.", "\\-", "\\$", "\\(", "\\\\", "[ab]", "[^a]", "[a-c]", "[[:upper:]]",
                                  "[Bb]", "[^\\n]", "[.$]", "[]a]", "\\w", "\\d", "\\s", "\\W", "\\n", "\\t",
                                  ".", "\\r", "[^ab]"};
constexpr const char* kAssertions[] = {"^", "$", "\\b", "\\B", "\\<", "\\>"};
constexpr const char* kRefused[] = {"(?=a)",  "(?!b)", "(?<=a)", "\\1",     "\\G",     "\\A",     "\\z",
                                    "\\Z",    "\\'",   "\\`",    "(?i)",    "\\Qa.\\E", "\\K",     "(?>ab)",
                                    "\\x41",  "[[.a.]]", "[[=a=]]", "a{,2}", "\\h",     "(?#c)",   "(?|(a)|(b))",
                                    "(?s)",   "\\R",   "\\X"};
constexpr const char* kRepeats[] = {"*", "+", "?", "{2}", "{1,3}", "{0,2}", "{2,}", "*?", "+?", "++", "{1,2}?", "{0}"};

std::string Expression(Random& r, int depth);

std::string Item(Random& r, int depth) {
  std::string item;
  const std::size_t kind = r.Below(20);
  if (kind < 7) {
    item = r.Pick(kLiterals);
  } else if (kind < 12) {
    item = r.Pick(kAtoms);
  } else if (kind < 15) {
    return r.Pick(kAssertions);
  } else if (kind < 18 && depth > 0) {
    item = (r.OneIn(2) ? "(" : "(?:") + Expression(r, depth - 1) + ")";
  } else if (kind < 19) {
    return r.Pick(kRefused);
  } else {
    item = r.Pick(kLiterals);
  }
  if (r.OneIn(3)) item += r.Pick(kRepeats);
  return item;
}

std::string Expression(Random& r, int depth) {
  std::string out;
  const std::size_t branches = r.OneIn(3) ? 1 + r.Below(3) : 1;
  for (std::size_t b = 0; b < branches; ++b) {
    if (b > 0) out += '|';
    const std::size_t items = 1 + r.Below(4);
    for (std::size_t i = 0; i < items; ++i) out += Item(r, depth);
  }
  return out;
}

// Subjects made of the expressions' own material, with line feeds, CR LF
// pairs and word characters next to the literals, and now and then a long
// run that puts a literal far from where a match could start.
std::string Subject(Random& r) {
  static constexpr const char* kPieces[] = {"a",  "b",  "c",  "ab", "abc", "aB", "AB", "B",  " ",
                                            "\n", "\r\n", "-", ".",  "$",   "_",  "x",  "1",  "\t",
                                            "(",  "\\", "ba", "B1", "\n\n", "A"};
  std::string s;
  const std::size_t pieces = r.Below(30);
  for (std::size_t i = 0; i < pieces; ++i) {
    if (r.OneIn(25)) s.append(20 + r.Below(60), r.OneIn(2) ? 'a' : ' ');
    s += r.Pick(kPieces);
  }
  return s;
}

constexpr std::uint32_t kSyntaxWords[] = {
    sx::Normal,
    sx::Normal | sx::CaseInsensitive,
    sx::Normal & ~sx::BackReferences,
    sx::Normal | sx::NewlineAsAlternation,
    sx::Extended,
    sx::Basic | sx::CaseInsensitive,
    sx::Normal | sx::Literals,
    sx::Normal | sx::Literals | sx::NewlineAsAlternation | sx::CaseInsensitive,
};
constexpr std::uint32_t kMatchWords[] = {
    0,
    mx::NotDotNewline,
    mx::Shortest,
    mx::NotBeginningOfLine,
    mx::NotEndOfLine,
    mx::NotBeginningOfWord | mx::NotEndOfWord,
    mx::NotNullString,
    mx::NotDotNewline | mx::Shortest | mx::NotBeginningOfLine,
    mx::NotBeginningOfBuffer | mx::NotEndOfBuffer,
    mx::Continuous,
};

std::string Escaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\t') out += "\\t";
    else out += c;
  }
  return out;
}

struct Tally {
  int compared = 0;
  int prefiltered = 0;
  int matched = 0;
  int failures = 0;
};

void Compare(const boost::regex& re, std::uint32_t syntaxWord, std::uint32_t matchWord,
             const std::string& expression, Random& r, Tally& tally) {
  const auto flags = ToBoostMatchFlags(matchWord);
  PrefilteredSearch search(re, flags);
  // One that gives the rest of the text to regex_grep after a few searches.
  PrefilteredSearch handing(re, flags, GrepPolicy{1 + static_cast<unsigned>(r.Below(3)), std::size_t{1} << 40});
  for (int k = 0; k < 6 && tally.failures < 5; ++k) {
    const std::string subject = Subject(r);
    const unsigned stopAfter = r.OneIn(4) ? 1 + static_cast<unsigned>(r.Below(2)) : ~0u;
    const char* begin = subject.data();
    const char* end = begin + subject.size();
    const GrepRecord expected = testing::ReferenceGrep(re, flags, begin, end, stopAfter);
    if (expected.threw) continue;
    const GrepRecord actual = testing::PrefilteredGrep(k % 2 ? handing : search, begin, end, stopAfter);
    ++tally.compared;
    tally.prefiltered += search.Prefiltered() ? 1 : 0;
    tally.matched += expected.count > 0 ? 1 : 0;
    if (actual.matches == expected.matches && actual.count == expected.count && !actual.threw) continue;
    ++tally.failures;
    ADD_FAILURE() << "expression \"" << Escaped(expression) << "\" as \"" << Escaped(re.str()) << "\" syntax 0x"
                  << std::hex << syntaxWord << " match 0x" << matchWord << std::dec << " stop " << stopAfter
                  << "\nsubject \"" << Escaped(subject) << "\"\nexpected " << expected.count << ": "
                  << ::testing::PrintToString(expected.matches) << "\nactual " << actual.count << ": "
                  << ::testing::PrintToString(actual.matches);
  }
}

// Prefiltered grep against regex_grep on random expressions, subjects and
// option words: the same matches, prefixes, suffixes and groups.
TEST(PrefilteredSearchTest, GrepAgreesWithRegexGrepOnRandomCases) {
  Tally tally;
  for (const std::uint64_t seed : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u}) {
    Random r(seed);
    for (int e = 0; e < 150 && tally.failures < 5; ++e) {
      const std::string expression = Expression(r, 2);
      for (int w = 0; w < 4; ++w) {
        const std::uint32_t syntaxWord = kSyntaxWords[w == 0 ? 0 : r.Below(std::size(kSyntaxWords))];
        const TranslatedExpression translated = TranslateExpression(syntaxWord, expression);
        boost::regex re;
        re.assign(translated.pattern.data(), translated.pattern.data() + translated.pattern.size(),
                  translated.flags | boost::regex::no_except);
        if (re.status() != 0) continue;
        Compare(re, syntaxWord, kMatchWords[r.Below(std::size(kMatchWords))], expression, r, tally);
      }
    }
  }
  // The cases must reach the prefiltered path often, and find matches.
  EXPECT_GT(tally.compared, 5000);
  EXPECT_GT(tally.prefiltered, tally.compared / 4);
  EXPECT_GT(tally.matched, tally.compared / 6);
  std::printf("compared %d, prefiltered %d, with matches %d\n", tally.compared, tally.prefiltered, tally.matched);
}

// Expressions where each rule of the analysis decides the result: what
// precedes a literal (bounded, unbounded, able to match a line feed or
// not, inside groups and alternations), repeats around it, assertions
// next to it. Each runs against every match word on random subjects.
TEST(PrefilteredSearchTest, GrepAgreesWithRegexGrepAroundEachRule) {
  constexpr const char* kEdges[] = {
      "\\s*(?:ab)",   "[^a]*(b)c",     ".+(?:ab)",       "(?:a|\\n)b",      "x(?:\\s|a)*(ab)", "\\w+\\b(ab)",
      "(a|b\\n)c",     "(?:ab|c\\s*)d", "[a-c]{2,}x",     "(ab){2}c",        "a\\n?b",          "(?:.\\n)?ab",
      "^ab",            "ab$",           "\\bab\\b",       "\\<a",            "b\\>",             "\\Bb",
      "(?:\\s+|x)ab",   "(?:a\\sb|B)c",  "[[:upper:]]+_?B", "(ab|c)+?x",       "(?:ab|ba)(?:c|1)", "a.{0,3}b",
      "[ab]c|x\\s",     "(?:\\W\\w)+B1",  "\\$.",           "(a)(b)?(c)?",     "-+\\.",            "B1|AB|ab|c$",
      "(?:\\s*ab|c)",   "(?:c|.*B)1",
  };
  Tally tally;
  Random r(99);
  for (const char* expression : kEdges) {
    for (const std::uint32_t syntaxWord : {sx::Normal, sx::Normal | sx::CaseInsensitive}) {
      const TranslatedExpression translated = TranslateExpression(syntaxWord, expression);
      const boost::regex re(translated.pattern, translated.flags);
      for (const std::uint32_t matchWord : kMatchWords) {
        for (int k = 0; k < 5; ++k) Compare(re, syntaxWord, matchWord, expression, r, tally);
      }
    }
  }
  EXPECT_GT(tally.prefiltered, tally.compared / 2);
}

}  // namespace
}  // namespace RegexComponent::engine
