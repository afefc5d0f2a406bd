// ForEachMatch against Grep on randomized subjects (fixed seeds): for every
// expression and match-option word, both report the same matches, and every
// view agrees with what OnGrepping was given and with the subject itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <RegexComponent/RegularExpressionCustom.h>

using namespace RegexComponent;
using RE = RegularExpressionCustom;

namespace {

// What one side saw of one match.
struct Seen {
  CPPStringArray texts;  // the slots, then Parts' always-empty entry, prefix and suffix
  std::string formatted;  // Format inside the callback or the handler
  std::uint64_t line = 0, lineStart = 0;
};

// What only a view tells: offsets, lengths and flags.
struct Offsets {
  std::vector<std::uint64_t> position, length;
  std::vector<bool> matched;
  std::uint64_t prefixStart = 0, suffixEnd = 0;
  bool textsInSubject = true;  // every view points into one buffer at its offset
};

const char* const kExpressions[] = {
    "x*", "a|ab", "(a)|(b)", "(a*)(b)?", "[0-9]+", "^", "$", "^.*$", ".", "(\r)?\n", "b.c|d",
    "\\b", "(x)?y*", "(a|b)*c", "((a)|b)+", "a\r?$",
};

const std::vector<std::vector<RE::Matches>> kOptionWords = {
    {},
    {RE::MatchShortest},
    {RE::MatchNotDotNewline},
    {RE::MatchNotNullString},
    {RE::MatchNotBeginningOfLine},
    {RE::MatchNotNullString, RE::MatchNotDotNewline},
    {RE::MatchShortest, RE::MatchNotBeginningOfLine, RE::MatchNotEndOfLine},
    {RE::MatchContinuous},
};

std::vector<std::string> Subjects(unsigned seed) {
  std::vector<std::string> out = {"", "\n", "\n\n", "a\r\n\r\nb", "ab\ncab", "xyxy\n\nyy"};
  std::mt19937 random(seed);
  const std::string alphabet = "abcdxy01 \n\n\r";
  std::uniform_int_distribution<std::size_t> length(0, 40), pick(0, alphabet.size() - 1);
  for (int i = 0; i < 40; ++i) {
    std::string s(length(random), ' ');
    for (char& c : s) c = alphabet[pick(random)];
    out.push_back(s);
  }
  return out;
}

// A format string that shows which sub-expressions took part, e.g.
// "$&|(?1y:n)(?2y:n)".
std::string FlagsFormat(unsigned slots) {
  std::string format = "$&|";
  for (unsigned i = 1; i < slots; ++i) format += "(?" + std::to_string(i) + "y:n)";
  return format;
}

void SetOptionWord(RE& re, const std::vector<RE::Matches>& word) {
  re.MatchOptions = RE::MatchesSet{RE::MatchDefault};
  RE::MatchesSet set{RE::MatchDefault};
  for (RE::Matches m : word) set << m;
  re.MatchOptions = set;
  for (RE::Matches m : word) ASSERT_TRUE(re.MatchOptions.Contains(m));
}

class Agreement : public ::testing::TestWithParam<unsigned> {
 protected:
  RE re{nullptr};
  std::uint64_t comparedMatches = 0;

  std::vector<Seen> ByGrep(std::uint32_t& count) {
    std::vector<Seen> seen;
    re.OnGrepping = [&](TObject*, const CPPStringArray& parts, unsigned line, unsigned lineStart, bool&) {
      std::string formatted;
      re.Format(formatted);
      seen.push_back({parts, formatted, line, lineStart});
    };
    count = re.Grep();
    re.OnGrepping = nullptr;
    return seen;
  }

  std::vector<Seen> ByForEach(std::uint64_t& count, std::vector<Offsets>& offsets) {
    std::vector<Seen> seen;
    // The first match's prefix starts at the subject's first byte.
    const char* base = nullptr;
    count = re.ForEachMatch([&](const MatchView& v) {
      Seen s;
      Offsets o;
      if (!base) base = v.Prefix().data();
      for (std::size_t i = 0; i < v.Size(); ++i) {
        s.texts.emplace_back(v.Str(i));
        o.position.push_back(v.Position(i));
        o.length.push_back(v.Length(i));
        o.matched.push_back(v.Matched(i));
        if (v.Matched(i)) o.textsInSubject = o.textsInSubject && v.Str(i).data() == base + v.Position(i);
      }
      s.texts.emplace_back(v.Str(v.Size()));  // past the last slot: no text, as Parts' entry n
      s.texts.emplace_back(v.Prefix());
      s.texts.emplace_back(v.Suffix());
      o.prefixStart = static_cast<std::uint64_t>(v.Prefix().data() - base);
      o.suffixEnd = static_cast<std::uint64_t>(v.Suffix().data() + v.Suffix().size() - base);
      re.Format(s.formatted);
      s.line = v.LineIndex();
      s.lineStart = v.StartOfLine();
      seen.push_back(s);
      offsets.push_back(o);
    });
    return seen;
  }

  void Compare(const std::string& subject, const std::string& context) {
    SCOPED_TRACE(context);
    std::uint32_t grepCount = 0;
    std::uint64_t forEachCount = 0;
    std::vector<Offsets> offsets;
    const std::vector<Seen> expected = ByGrep(grepCount);
    const std::vector<Seen> actual = ByForEach(forEachCount, offsets);
    ASSERT_EQ(forEachCount, grepCount);
    ASSERT_EQ(actual.size(), expected.size());
    std::vector<std::size_t> feeds;
    for (std::size_t at = subject.find('\n'); at != std::string::npos; at = subject.find('\n', at + 1)) {
      feeds.push_back(at);
    }
    std::uint64_t previousEnd = 0;
    for (std::size_t k = 0; k < actual.size(); ++k) {
      SCOPED_TRACE("match " + std::to_string(k));
      const Seen& a = actual[k];
      const Seen& e = expected[k];
      const Offsets& o = offsets[k];
      EXPECT_EQ(a.texts, e.texts);
      EXPECT_EQ(a.formatted, e.formatted);
      EXPECT_EQ(a.line, e.line);
      EXPECT_EQ(a.lineStart, e.lineStart);
      CheckOffsets(subject, feeds, a, o, previousEnd);
      previousEnd = o.position[0] + o.length[0];
      ++comparedMatches;
    }
  }

  // The offsets against the subject itself: texts, flags, the prefix from
  // the previous match's end, and lines from the subject's own line feeds
  // (`feeds`, their offsets in order).
  static void CheckOffsets(const std::string& subject, const std::vector<std::size_t>& feeds, const Seen& a,
                           const Offsets& o, std::uint64_t previousEnd) {
    EXPECT_TRUE(o.textsInSubject);
    ASSERT_TRUE(o.matched[0]);
    for (std::size_t i = 0; i < o.position.size(); ++i) {
      if (!o.matched[i]) {
        EXPECT_EQ(o.position[i], MatchView::NoPosition);
        EXPECT_EQ(o.length[i], 0u);
        EXPECT_EQ(a.texts[i], "");
        continue;
      }
      ASSERT_LE(o.position[i] + o.length[i], subject.size());
      EXPECT_EQ(subject.substr(o.position[i], o.length[i]), a.texts[i]);
    }
    EXPECT_EQ(o.prefixStart, previousEnd);
    EXPECT_EQ(o.suffixEnd, subject.size());
    // The line feeds before the match: those at offsets below its start.
    const auto end = std::lower_bound(feeds.begin(), feeds.end(), o.position[0]);
    EXPECT_EQ(a.line, 1 + static_cast<std::uint64_t>(end - feeds.begin()));
    EXPECT_EQ(a.lineStart, end == feeds.begin() ? 0 : *(end - 1) + 1);
  }
};

TEST_P(Agreement, ForEachMatchSeesWhatGrepReports) {
  const std::vector<std::string> subjects = Subjects(GetParam());
  for (const char* expression : kExpressions) {
    re.Expression = expression;
    ASSERT_EQ(re.ParseExpression(), 0) << expression;
    re.FormatString = AnsiString(FlagsFormat(re.NumberOfSubexpressions()));
    for (std::size_t w = 0; w < kOptionWords.size(); ++w) {
      SetOptionWord(re, kOptionWords[w]);
      for (const std::string& subject : subjects) {
        re.StringToMatch = AnsiString(subject);
        Compare(subject, std::string("expression /") + expression + "/, option word " + std::to_string(w) +
                             ", subject \"" + subject + "\"");
      }
    }
  }
  // The comparison is not vacuous: thousands of matches were compared.
  EXPECT_GT(comparedMatches, 5000u);
}

// From 1 MiB on, Grep and ForEachMatch take the prefiltered way: a filler
// of line noise without the expressions' literals, then matches near the
// end (OnGrepping copies the rest of the subject for every match).
TEST_P(Agreement, LargeSubjectsAgreeThroughThePrefilter) {
  std::mt19937 random(GetParam());
  const std::string filler = "xy 01\n\r yx";
  std::string subject(std::size_t{1} << 20, ' ');
  for (char& c : subject) c = filler[random() % filler.size()];
  for (int i = 0; i < 200; ++i) subject += random() % 3 ? "bxc d\n" : "ab\r\nxa\n";
  const char* const kLiteralExpressions[] = {"b.c|d", "a\r?$", "(a|b)*c", "x?a"};
  const std::vector<RE::Matches> kWords[] = {{}, {RE::MatchNotDotNewline}, {RE::MatchNotBeginningOfLine}};
  for (const char* expression : kLiteralExpressions) {
    re.Expression = expression;
    ASSERT_EQ(re.ParseExpression(), 0) << expression;
    re.FormatString = AnsiString(FlagsFormat(re.NumberOfSubexpressions()));
    for (const std::vector<RE::Matches>& word : kWords) {
      SetOptionWord(re, word);
      re.StringToMatch = AnsiString(subject);
      Compare(subject, std::string("expression /") + expression + "/ on the large subject");
    }
  }
  EXPECT_GT(comparedMatches, 1000u);
}

INSTANTIATE_TEST_SUITE_P(Seeds, Agreement, ::testing::Values(1u, 2u, 3u));

}  // namespace
