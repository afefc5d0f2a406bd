// The line search that runs one search over many lines, from match to
// match, against the one that matches every line alone; and Boost's perl
// rule against its leftmost-longest rule where the analysis says they agree.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "RandomLines.h"
#include "TempFileTree.h"
#include "engine/expression/FlagWords.h"
#include "engine/search/LineSearch.h"
#include "engine/prefilter/LiteralAnalysis.h"
#include "engine/expression/MatchFlags.h"
#include "engine/match/MatchGuard.h"
#include "engine/expression/SyntaxTranslator.h"

namespace RegexComponent::engine {
namespace {

using testing::TempFileTree;
using Spans = std::vector<std::pair<std::uint64_t, std::uint64_t>>;  // offsets in the line
using LineRecord = std::tuple<std::uint64_t, std::uint64_t, std::string, bool, Spans>;

// Records each line with its matches: those the search handed over, or
// else those Find gives one after another, as the tool's printer takes them.
class MatchRecordingSink final : public LineSink {
 public:
  explicit MatchRecordingSink(const LineMatcher& matcher) : matcher_(matcher) {}
  std::vector<LineRecord> lines;
  std::size_t handedOver = 0;  // lines that came with their matches

  bool Line(const LineView& line, bool) override {
    Spans spans;
    if (!line.matches.empty()) {
      ++handedOver;
      for (const LineMatch& m : line.matches) spans.emplace_back(m.begin - line.begin, m.end - line.begin);
    } else {
      boost::cmatch found;
      for (const char* from = line.begin; from <= line.end && matcher_.Find(line.begin, line.end, from, found);) {
        spans.emplace_back(found[0].first - line.begin, found[0].second - line.begin);
        from = found.length(0) > 0 ? found[0].second : found[0].first + 1;
      }
    }
    lines.emplace_back(line.number, line.offset, std::string(line.begin, line.end), line.terminated, spans);
    return true;
  }
  bool Binary() override { return true; }

 private:
  const LineMatcher& matcher_;
};

class LineAcrossTest : public ::testing::Test {
 protected:
  MatchRecordingSink Search(const LineMatcher& matcher, bool fast, bool lineMatches, std::size_t chunk) {
    const int fd = ::open(tree.Path("f").c_str(), O_RDONLY);
    LineSearchOptions options;
    options.candidates = fast;
    options.lineMatches = lineMatches;
    options.chunkSize = chunk;
    MatchRecordingSink sink(matcher);
    LineSearch(matcher, options).Run(fd, 0, sink);
    ::close(fd);
    return sink;
  }

  TempFileTree tree;
};

// Mostly classes and assertions: a literal atom gives the pattern candidate
// literals, which come first.
const char* const kClassAtoms[] = {"\\w",   "\\d",  "[[:alpha:]]", ".",  "[^a]",  "\\b", "\\<",  "\\>",
                                   "(\\w|1)", "[a-z]", "[^ ]",        "\\S", "(\\wb)", "a",   "[ab.]", "\\W"};
// Mostly repeats that cannot match nothing.
const char* const kSomeQuantifiers[] = {"", "", "+", "{2}", "{1,2}", "?", "*", "+?"};

// Both fast paths, the one over candidate lines and the one across lines,
// with and without the lines' matches, against every line matched alone.
TEST_F(LineAcrossTest, FastPathsSelectAndFindWhatEachLineAloneDoes) {
  const std::uint32_t kSyntaxes[] = {syntax::Extended, syntax::Normal, syntax::Literals,
                                     syntax::Extended | syntax::CaseInsensitive};
  const LineFit kFits[] = {LineFit::Anywhere, LineFit::Anywhere, LineFit::Word, LineFit::WholeLine};
  std::mt19937 random(20261210);
  int across = 0;
  int candidates = 0;
  for (int round = 0; round < 8000; ++round) {
    std::vector<std::string> patterns{RandomPattern(random, kClassAtoms, kSomeQuantifiers)};
    if (random() % 4 == 0) patterns.push_back(RandomPattern(random, kClassAtoms, kSomeQuantifiers));
    const std::uint32_t word = kSyntaxes[random() % std::size(kSyntaxes)];
    const LineFit fit = kFits[random() % std::size(kFits)];
    const std::unique_ptr<LineMatcher> matcher = MatcherOrNull(patterns, word, fit);
    if (!matcher) continue;
    // Literal candidates come first; only the other patterns search across.
    if (matcher->Candidates())
      ++candidates;
    else if (matcher->SearchesAcrossLines())
      ++across;
    else
      continue;
    const std::string text = RandomText(random);
    tree.Write("f", text);
    for (const std::size_t chunk : {5u, 4096u}) {
      const auto plain = Search(*matcher, false, false, chunk);
      for (const bool lineMatches : {false, true}) {
        const auto fast = Search(*matcher, true, lineMatches, chunk);
        ASSERT_EQ(fast.lines, plain.lines)
            << "pattern " << patterns[0] << (patterns.size() > 1 ? " and " + patterns[1] : "") << " syntax "
            << word << " fit " << static_cast<int>(fit) << " chunk " << chunk << " lineMatches " << lineMatches
            << " text\n" << text;
        EXPECT_EQ(fast.handedOver, lineMatches ? fast.lines.size() : 0u) << patterns[0];
      }
    }
  }
  // The comparison means something only if many patterns took each path.
  EXPECT_GT(across, 150);
  EXPECT_GT(candidates, 300);
}

// A line the search across would deliver is not delivered again when the
// sink throws: what the sink throws is not the search giving up.
TEST_F(LineAcrossTest, WhatTheSinkThrowsPassesThrough) {
  class ThrowingSink final : public LineSink {
   public:
    int lines = 0;
    bool Line(const LineView&, bool) override {
      if (++lines == 2) throw std::runtime_error("sink");
      return true;
    }
    bool Binary() override { return true; }
  };
  const LineMatcher matcher({"[0-9]+"}, syntax::Extended, LineFit::Anywhere);
  ASSERT_TRUE(matcher.SearchesAcrossLines());
  tree.Write("f", "a1 2\nb\nc3\nd4\n");
  for (const bool lineMatches : {false, true}) {
    LineSearchOptions options;
    options.lineMatches = lineMatches;
    ThrowingSink sink;
    const int fd = ::open(tree.Path("f").c_str(), O_RDONLY);
    EXPECT_THROW(LineSearch(matcher, options).Run(fd, 0, sink), std::runtime_error);
    ::close(fd);
    EXPECT_EQ(sink.lines, 2) << "lineMatches " << lineMatches;
  }
}

TEST(LineAcrossShapeTest, WhichPatternsStayWithinALine) {
  const auto stays = [](const char* pattern) {
    const TranslatedExpression t = TranslateExpression(syntax::Normal, pattern);
    return StaysWithinLine(t.pattern, t.flags, ToBoostMatchFlags(0) | boost::match_single_line);
  };
  for (const char* within : {"[0-9]+", "\\bstatic\\b", "[[:upper:]][[:digit:]]{3}", "a|b+", "x\\>"})
    EXPECT_TRUE(stays(within)) << within;
  // Anchors, a class or escape holding a line feed, an empty match, what
  // the reading refuses.
  for (const char* beyond : {"^a", "a$", "[^a]", "a\\sb", "\\D", "a*", "(?=a)b", "\\Aa", "(a)\\1"})
    EXPECT_FALSE(stays(beyond)) << beyond;
}

// Where the analysis lets the perl rule stand in for leftmost-longest, the
// two find the same match, groups included, from every start of many texts.
TEST(FirstMatchIsLongestTest, PerlRuleAgreesWithLeftmostLongestWhereAllowed) {
  const auto allowed = [](const char* pattern) {
    const TranslatedExpression t = TranslateExpression(syntax::Normal, pattern);
    return FirstMatchIsLongest(t.pattern, t.flags);
  };
  for (const char* yes : {"[0-9]+", "ab*c", "(ab)+c", "a{2}(b)?c{3}", "\\bx[a-z]{2,5}\\b", "(a(b))c*"})
    EXPECT_TRUE(allowed(yes)) << yes;
  // Each of these finds a shorter match first under the perl rule on some
  // text, or could.
  for (const char* no : {"a|ab", "a*(ab)?", "a+?b", "(a+)+", "(a+){2}", "a*b?", "(a*)?b"})
    EXPECT_FALSE(allowed(no)) << no;

  // Through the guard, which runs the perl rule where its study allows,
  // against Boost's leftmost-longest search, from every start.
  std::mt19937 random(20261211);
  int compared = 0;
  for (int round = 0; round < 6000; ++round) {
    const std::string pattern = RandomPattern(random);
    const std::uint32_t word = random() % 2 ? syntax::Normal : syntax::Extended;
    const TranslatedExpression t = TranslateExpression(word, pattern);
    boost::regex expression;
    try {
      expression.assign(t.pattern, t.flags);
    } catch (const boost::regex_error&) {
      continue;
    }
    const MatchGuard guard(expression);
    if (!MatchGuard::Study(expression).perlRuleAgrees) continue;
    ++compared;
    const std::string text = RandomText(random);
    const char* begin = text.data();
    const char* end = begin + text.size();
    for (const char* from = begin; from <= end; ++from) {
      boost::cmatch longest, guarded;
      const auto flags = (from == begin ? boost::match_default : boost::match_prev_avail) | boost::match_posix;
      const bool a = boost::regex_search(from, end, longest, expression, flags, begin);
      const bool b = guard.Search(from, end, guarded, flags, begin);
      ASSERT_EQ(a, b) << pattern << " at " << (from - begin) << " in\n" << text;
      if (!a) break;
      for (std::size_t i = 0; i < longest.size(); ++i)
        ASSERT_TRUE(longest[i].matched == guarded[i].matched && longest.position(i) == guarded.position(i) &&
                    longest.length(i) == guarded.length(i))
            << pattern << " group " << i << " at " << (from - begin) << " in\n" << text;
    }
  }
  EXPECT_GT(compared, 400);
}

}  // namespace
}  // namespace RegexComponent::engine
