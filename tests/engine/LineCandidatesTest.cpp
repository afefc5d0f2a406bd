// The line search that matches only the lines holding a candidate literal
// against the one that matches every line, on random patterns and texts.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "RandomLines.h"
#include "TempFileTree.h"
#include "engine/expression/ExtendedAsPerl.h"
#include "engine/expression/FlagWords.h"
#include "engine/search/LineSearch.h"
#include "engine/expression/RepeatShape.h"

namespace RegexComponent::engine {
namespace {

using testing::TempFileTree;
using LineRecord = std::tuple<std::uint64_t, std::uint64_t, std::string, bool>;

class RecordingSink final : public LineSink {
 public:
  std::vector<LineRecord> lines;
  bool Line(const LineView& line, bool) override {
    lines.emplace_back(line.number, line.offset, std::string(line.begin, line.end), line.terminated);
    return true;
  }
  bool Binary() override { return true; }
};

class LineCandidatesTest : public ::testing::Test {
 protected:
  std::vector<LineRecord> Search(const std::string& text, const LineMatcher& matcher, bool candidates,
                                 std::size_t chunk) {
    const int fd = ::open(tree.Path("f").c_str(), O_RDONLY);
    LineSearchOptions options;
    options.candidates = candidates;
    options.chunkSize = chunk;
    RecordingSink sink;
    LineSearch(matcher, options).Run(fd, text.size(), sink);
    ::close(fd);
    return sink.lines;
  }

  TempFileTree tree;
};

TEST_F(LineCandidatesTest, CandidateLinesSelectWhatEveryLineSelects) {
  const std::uint32_t kSyntaxes[] = {syntax::Extended, syntax::Normal, syntax::Literals,
                                     syntax::Extended | syntax::CaseInsensitive};
  const LineFit kFits[] = {LineFit::Anywhere, LineFit::Word, LineFit::WholeLine};
  std::mt19937 random(20261209);
  int filtered = 0;
  for (int round = 0; round < 1500; ++round) {
    std::vector<std::string> patterns{RandomPattern(random)};
    if (random() % 4 == 0) patterns.push_back(RandomPattern(random));
    const std::uint32_t word = kSyntaxes[random() % std::size(kSyntaxes)];
    const LineFit fit = kFits[random() % std::size(kFits)];
    const std::unique_ptr<LineMatcher> matcher = MatcherOrNull(patterns, word, fit);
    if (!matcher) continue;
    if (!matcher->Candidates()) continue;
    ++filtered;
    const std::string text = RandomText(random);
    tree.Write("f", text);
    for (const std::size_t chunk : {5u, 4096u}) {
      ASSERT_EQ(Search(text, *matcher, true, chunk), Search(text, *matcher, false, chunk))
          << "pattern " << patterns[0] << (patterns.size() > 1 ? " and " + patterns[1] : "") << " syntax " << word
          << " fit " << static_cast<int>(fit) << " chunk " << chunk << " text\n" << text;
    }
  }
  // The comparison means something only if many patterns qualified.
  EXPECT_GT(filtered, 300);
}

TEST(ExtendedAsPerlTest, ConstructsTheGrammarsReadDifferentlyAreRefused) {
  for (const char* same : {"namespace", "[A-Z_]+_H", "#include <[a-z_]+\\.h>", "\\bstatic\\b",
                           "[0-9]{4}-[0-9]{2}", "[[:upper:]][[:digit:]]{3}", "a(b|c)*d", "[]a]x"})
    EXPECT_TRUE(ExtendedReadsAsPerl(same, false)) << same;
  for (const char* differs : {"a+?", "a**", "a{2}?", "[\\w]x", "x{,2}", "x{", "}x", "*a", "(*a)", "a|*b",
                              "\\1", "\\Qa", "(?:a)", "\\b*"})
    EXPECT_FALSE(ExtendedReadsAsPerl(differs, false)) << differs;
  EXPECT_FALSE(ExtendedReadsAsPerl("a\n*b", true));
  EXPECT_TRUE(ExtendedReadsAsPerl("a\n*b", false));
}

// The skipping fast paths stay off where Boost may give up on text that
// holds no candidate, so that its error still shows.
TEST(RepeatShapeTest, NestedAndManyUnboundedRepeatsAreRefused) {
  for (const char* few : {"namespace", "[A-Z_]+_H", "#include <[a-z_]+\\.h>", "[0-9]{4}-[0-9]{2}",
                          "(ab)+c", "(a|b)?c*", "a+?b{2,3}", "[*+]+x", "\\*\\*+x", "(?:ab)+"})
    EXPECT_TRUE(FewRepeats(few)) << few;
  for (const char* many : {"(a*)*b", "(a+)+b", "(a|b*){2}c", "a*a*b", "a+b{1,}", "((ab)*c)+d", "(?:a+)*b"})
    EXPECT_FALSE(FewRepeats(many)) << many;
}

}  // namespace
}  // namespace RegexComponent::engine
