// ForEachFileMatch against GrepFiles and the stream search against Grep on
// randomized subjects (fixed seeds), over expressions, syntax options and
// match-option words: the same matches in the same order, with texts,
// offsets and lines that agree; the stream read in chunks down to 1 byte.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <RegexComponent/RegularExpressionCustom.h>

#include "TempFileTree.h"
#include "Volume.h"

using namespace RegexComponent;
using RE = RegularExpressionCustom;
using RegexComponent::testing::TempFileTree;

namespace {

const char* const kExpressions[] = {
    "x*", "a|ab", "(a)|(b)", "(a*)(b)?", "[0-9]+", "^", "$", "^.*$", ".", "(\r)?\n", "b.c|d",
    "\\b", "(x)?y*", "(a|b)*c", "((a)|b)+", "a\r?$", "\\Z", "y\\n*\\Z|\\Ax", "(?<=a)b", "\\<a.*?b\\>",
};

const std::vector<std::vector<RE::Matches>> kOptionWords = {
    {},
    {RE::MatchShortest},
    {RE::MatchNotDotNewline},
    {RE::MatchNotNullString},
    {RE::MatchNotBeginningOfLine, RE::MatchNotEndOfLine},
    {RE::MatchShortest, RE::MatchNotNullString},
    {RE::MatchContinuous},
    {RE::MatchNotBeginningOfBuffer, RE::MatchNotEndOfBuffer},
};

// Syntax options the stream search honours (file walks read Perl syntax,
// of the options only CaseInsensitive).
const std::vector<RE::OptionsSet> kSyntaxes = {
    RE::OptionsSet{RE::Normal}, RE::OptionsSet{RE::Extended}, RE::OptionsSet{RE::Normal, RE::CaseInsensitive}};

const std::size_t kChunkSizes[] = {1, 2, 3, 7, 4096};

// A few fixed subjects, then `count` random ones.
std::vector<std::string> Subjects(unsigned seed, int count) {
  std::vector<std::string> out = {"", "\n", "\n\n", "a\r\n\r\nb", "ab\ncab", "xyxy\n\nyy", "Ab aXb\nB"};
  std::mt19937 random(seed);
  const std::string alphabet = "abcdxyAB01 \n\n\r";
  std::uniform_int_distribution<std::size_t> length(0, 40), pick(0, alphabet.size() - 1);
  for (int i = 0; i < count; ++i) {
    std::string s(length(random), ' ');
    for (char& c : s) c = alphabet[pick(random)];
    out.push_back(s);
  }
  return out;
}

void SetOptionWord(RE& re, const std::vector<RE::Matches>& word) {
  RE::MatchesSet set{RE::MatchDefault};
  for (RE::Matches m : word) set << m;
  re.MatchOptions = set;
}

// A match as both sides can tell it: file, slots' offsets and texts, line
// and line start ("-" for what a side does not know).
std::string Line(std::string_view file, const std::vector<std::uint64_t>& positions,
                 const std::vector<std::string>& texts, const std::string& lines) {
  std::string out(file);
  for (std::size_t i = 0; i < positions.size(); ++i) out += "|" + std::to_string(positions[i]) + "=" + texts[i];
  return out + "@" + lines;
}

std::string LinesOf(const MatchView& v) {
  return std::to_string(v.LineIndex()) + ":" + std::to_string(v.StartOfLine());
}

std::string ViewLine(std::string_view file, const MatchView& v, bool withLines) {
  std::vector<std::uint64_t> positions;
  std::vector<std::string> texts;
  for (std::size_t i = 0; i < v.Size(); ++i) {
    // GrepFiles' 32-bit value of a slot that took no part.
    positions.push_back(v.Matched(i) ? v.Position(i) : 0xFFFFFFFFu);
    texts.emplace_back(v.Str(i));
  }
  return Line(file, positions, texts, withLines ? LinesOf(v) : "-");
}

// Line and line start of `offset` in `text`, counted afresh.
std::string LinesAt(const std::string& text, std::uint64_t offset) {
  const std::string before = text.substr(0, offset);
  const std::size_t feed = before.rfind('\n');
  return std::to_string(1 + std::count(before.begin(), before.end(), '\n')) + ":" +
         std::to_string(feed == std::string::npos ? 0 : feed + 1);
}

class ViewAgreement : public ::testing::TestWithParam<unsigned> {
 protected:
  RE re{nullptr};
  TempFileTree tree;
  std::uint64_t compared = 0;
};

TEST_P(ViewAgreement, ForEachFileMatchSeesWhatGrepFilesReports) {
  const std::vector<std::string> subjects = Subjects(GetParam(), RegexComponent::testing::Volume(30, 60));
  std::vector<std::string> names;
  for (std::size_t i = 0; i < subjects.size(); ++i) {
    names.push_back(tree.Path("s" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".txt"));
    tree.Write(names.back().substr(tree.Root().string().size() + 1), subjects[i]);
  }
  re.FilesToMatch = AnsiString(tree.Path("*.txt"));
  for (const char* expression : kExpressions) {
    re.Expression = expression;
    for (bool icase : {false, true}) {
      re.ExpressionOptions = icase ? RE::OptionsSet{RE::Normal, RE::CaseInsensitive} : RE::OptionsSet{RE::Normal};
      for (std::size_t w = 0; w < kOptionWords.size(); ++w) {
        SCOPED_TRACE(std::string("/") + expression + "/ icase " + std::to_string(icase) + " word " +
                     std::to_string(w));
        SetOptionWord(re, kOptionWords[w]);
        std::vector<std::string> events, plain, counted, parallel;
        re.OnGreppingFiles = [&](TObject*, AnsiString file, const CPPStringArray& parts, CPPUnsignedArray p, bool&) {
          const std::size_t index = std::find(names.begin(), names.end(), file.ToStdString()) - names.begin();
          events.push_back(Line(file.View(), std::vector<std::uint64_t>(p.begin(), p.end()), parts,
                                LinesAt(subjects.at(index), p.at(0))));
        };
        const std::uint32_t count = re.GrepFiles();
        const auto into = [](std::vector<std::string>& out, bool lines) {
          return [&out, lines](std::string_view file, const MatchView& v) { out.push_back(ViewLine(file, v, lines)); };
        };
        EXPECT_EQ(re.ForEachFileMatch(into(counted, true), true), count);
        RE::FileSearchWorkers = 3;
        EXPECT_EQ(re.ForEachFileMatch(into(parallel, false)), count);
        RE::FileSearchWorkers = 1;
        EXPECT_EQ(re.ForEachFileMatch(into(plain, false)), count);
        ASSERT_EQ(counted, events);
        EXPECT_EQ(parallel, plain);
        for (std::string& e : events) e = e.substr(0, e.rfind('@')) + "@-";
        ASSERT_EQ(plain, events);
        compared += count;
      }
    }
  }
  EXPECT_GT(compared, 5000u);
}

// The stream's views against Grep's events and ForEachMatch's views of the
// same bytes held as the subject.
TEST_P(ViewAgreement, StreamSearchSeesWhatGrepReportsInAnyChunkSize) {
  struct Stream : RE {
    Stream() : RE(nullptr) {}
    using RE::ForEachMatch;
  } stream;
  const std::vector<std::string> subjects = Subjects(GetParam() + 100, RegexComponent::testing::Volume(15, 40));
  // Each subject is searched in five chunk sizes, so fewer random ones than
  // above make as many comparisons. Each once in memory-backed files, read
  // again from the start for every search.
  std::vector<int> inputs;
  for (const std::string& subject : subjects) {
    inputs.push_back(::memfd_create("subject", MFD_CLOEXEC));
    ASSERT_GE(inputs.back(), 0);
    ASSERT_EQ(::write(inputs.back(), subject.data(), subject.size()), static_cast<ssize_t>(subject.size()));
  }
  for (const char* expression : kExpressions) {
    for (const RE::OptionsSet& syntax : kSyntaxes) {
      re.ExpressionOptions = stream.ExpressionOptions = syntax;
      re.Expression = stream.Expression = expression;
      if (re.ParseExpression() != 0) continue;
      for (std::size_t w = 0; w < kOptionWords.size(); ++w) {
        SetOptionWord(re, kOptionWords[w]);
        SetOptionWord(stream, kOptionWords[w]);
        for (std::size_t k = 0; k < subjects.size(); ++k) {
          const std::string& subject = subjects[k];
          SCOPED_TRACE(std::string("/") + expression + "/ word " + std::to_string(w) + " subject \"" + subject + "\"");
          re.StringToMatch = AnsiString(subject);
          std::vector<std::string> grepTexts, viewTexts, expected;
          re.OnGrepping = [&](TObject*, const CPPStringArray& parts, unsigned line, unsigned start, bool&) {
            grepTexts.push_back(parts.at(0) + "@" + std::to_string(line) + ":" + std::to_string(start));
          };
          const std::uint32_t count = re.Grep();
          re.ForEachMatch([&](const MatchView& v) {
            expected.push_back(ViewLine("", v, true));
            viewTexts.push_back(std::string(v.Str(0)) + "@" + LinesOf(v));
          });
          ASSERT_EQ(expected.size(), count);
          ASSERT_EQ(viewTexts, grepTexts);
          for (std::size_t chunk : kChunkSizes) {
            SCOPED_TRACE("chunk " + std::to_string(chunk));
            ASSERT_EQ(::lseek(inputs[k], 0, SEEK_SET), 0);
            std::vector<std::string> seen;
            const std::uint64_t n = stream.ForEachMatch(
                inputs[k], [&](const MatchView& v) { seen.push_back(ViewLine("", v, true)); }, std::stop_token(),
                chunk);
            EXPECT_EQ(n, count);
            ASSERT_EQ(seen, expected);
          }
          compared += count;
        }
      }
    }
  }
  for (int fd : inputs) ::close(fd);
  EXPECT_GT(compared, 5000u);
}

INSTANTIATE_TEST_SUITE_P(Seeds, ViewAgreement, ::testing::Values(1u, 2u));

}  // namespace
