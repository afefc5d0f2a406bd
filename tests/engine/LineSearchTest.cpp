#include "engine/search/LineSearch.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <random>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "TempFileTree.h"
#include "engine/expression/FlagWords.h"

namespace RegexComponent::engine {
namespace {

using testing::TempFileTree;

// number, offset, text, terminated, selected
using LineRecord = std::tuple<std::uint64_t, std::uint64_t, std::string, bool, bool>;

class RecordingSink final : public LineSink {
 public:
  std::vector<LineRecord> lines;
  int binaryCalls = 0;
  bool goOnAfterBinary = true;
  std::size_t stopAfter = static_cast<std::size_t>(-1);

  bool Line(const LineView& line, bool selected) override {
    lines.emplace_back(line.number, line.offset, std::string(line.begin, line.end), line.terminated, selected);
    return lines.size() < stopAfter;
  }
  bool Binary() override {
    ++binaryCalls;
    return goOnAfterBinary;
  }
};

class LineSearchTest : public ::testing::Test {
 protected:
  RecordingSink Search(const std::string& content, const LineMatcher& matcher, LineSearchOptions options,
                       RecordingSink sink = {}) {
    tree.Write("f", content);
    const int fd = ::open(tree.Path("f").c_str(), O_RDONLY);
    LineSearch search(matcher, options);
    search.Run(fd, content.size(), sink);
    ::close(fd);
    return sink;
  }

  TempFileTree tree;
};

// Each line matched on its own, from a plain split of the text at
// `terminator`; `^` and `$` only at the line's ends.
std::vector<LineRecord> Expected(const std::string& text, const boost::regex& expression, bool everyLine,
                                 char terminator = '\n') {
  std::vector<LineRecord> out;
  std::uint64_t number = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t lf = text.find(terminator, at);
    const std::size_t end = lf == std::string::npos ? text.size() : lf;
    const std::string line = text.substr(at, end - at);
    const bool selected = boost::regex_search(line, expression, boost::match_single_line);
    ++number;
    if (selected || everyLine) out.emplace_back(number, at, line, lf != std::string::npos, selected);
    at = end + 1;
  }
  return out;
}

TEST_F(LineSearchTest, LinesNumbersAndOffsetsDoNotDependOnChunks) {
  std::mt19937 random(7);
  std::string text;
  for (int i = 0; i < 400; ++i) {
    const std::size_t length = random() % 5 == 0 ? random() % 300 : random() % 12;
    for (std::size_t k = 0; k < length; ++k) text += "ab \n"[random() % 3];
    text += random() % 7 == 0 ? "" : "ab";
    text += '\n';
  }
  text += "ab without a final line feed";
  const LineMatcher matcher({"^ab|b a$"}, syntax::Extended, LineFit::Anywhere);
  const boost::regex reference("^ab|b a$", boost::regex::extended);
  for (const bool everyLine : {false, true})
    for (const std::size_t chunk : {1u, 7u, 64u, 4096u}) {
      LineSearchOptions options;
      options.everyLine = everyLine;
      options.chunkSize = chunk;
      EXPECT_EQ(Search(text, matcher, options).lines, Expected(text, reference, everyLine))
          << "chunk " << chunk << " every line " << everyLine;
    }
}

// NUL-ended records holding line feeds, through each way of passing over
// lines (candidates, one search per line, every line for context): the
// records, their numbers and offsets are those of a split at NUL whatever
// the chunks, a line feed is data to `^`, `$`, `.` and `[^x]`, and no NUL
// is taken for binary data.
TEST_F(LineSearchTest, RecordsEndAtNulWhateverTheChunks) {
  std::mt19937 random(11);
  std::string text;
  for (int i = 0; i < 300; ++i) {
    const std::size_t length = random() % 5 == 0 ? random() % 200 : random() % 10;
    for (std::size_t k = 0; k < length; ++k) text += "ab \n"[random() % 4];
    text += '\0';
  }
  text += "a\nb without a final NUL";
  for (const char* pattern : {"ab", "^ab|b a$", "a.b", "b[^ ]a", "^$", "^b|a$", "\n$"}) {
    const LineMatcher matcher({pattern}, syntax::Extended, LineFit::Anywhere, '\0');
    const boost::regex reference(pattern, boost::regex::extended);
    for (const bool everyLine : {false, true})
      for (const std::size_t chunk : {1u, 7u, 64u, 4096u}) {
        LineSearchOptions options;
        options.everyLine = everyLine;
        options.chunkSize = chunk;
        options.terminator = '\0';
        const RecordingSink sink = Search(text, matcher, options);
        EXPECT_EQ(sink.lines, Expected(text, reference, everyLine, '\0'))
            << pattern << " chunk " << chunk << " every line " << everyLine;
        EXPECT_EQ(sink.binaryCalls, 0);
      }
  }
}

TEST_F(LineSearchTest, TheMatcherMustBeForTheSearchsTerminator) {
  const LineMatcher lines({"a"}, syntax::Extended, LineFit::Anywhere);
  LineSearchOptions records;
  records.terminator = '\0';
  EXPECT_THROW(LineSearch(lines, records), std::invalid_argument);
  const LineMatcher forRecords({"a"}, syntax::Extended, LineFit::Anywhere, '\0');
  EXPECT_THROW(LineSearch(forRecords, {}), std::invalid_argument);
  EXPECT_NO_THROW(LineSearch(forRecords, records));
}

TEST_F(LineSearchTest, InvertSelectsTheOtherLinesAndEmptyFilesHaveNone) {
  const LineMatcher matcher({"x"}, syntax::Extended, LineFit::Anywhere);
  LineSearchOptions options;
  options.invert = true;
  const auto lines = Search("ax\nb\n\nx", matcher, options).lines;
  EXPECT_EQ(lines, (std::vector<LineRecord>{{2, 3, "b", true, true}, {3, 5, "", true, true}}));
  EXPECT_TRUE(Search("", matcher, options).lines.empty());
  EXPECT_EQ(Search("\n", matcher, options).lines.size(), 1u);
}

TEST_F(LineSearchTest, BinaryDataSplitsLinesAtNulAfterTheSinkAgrees) {
  const LineMatcher matcher({"a.b"}, syntax::Extended, LineFit::Anywhere);
  const std::string data("a\0b\nab\0a-b\n", 11);
  RecordingSink sink = Search(data, matcher, {});
  EXPECT_EQ(sink.binaryCalls, 1);
  // "a\0b" is two lines for matching; line numbers count line feeds only.
  EXPECT_EQ(sink.lines, (std::vector<LineRecord>{{2, 7, "a-b", true, true}}));
  RecordingSink stopping;
  stopping.goOnAfterBinary = false;
  EXPECT_TRUE(Search(data, matcher, {}, stopping).lines.empty());
  LineSearchOptions text;
  text.detectBinary = false;
  RecordingSink asText = Search(data, matcher, text);
  EXPECT_EQ(asText.binaryCalls, 0);
  EXPECT_EQ(asText.lines.size(), 2u);
}

TEST_F(LineSearchTest, TheSinkEndsTheSearchAndReadErrorsAreKept) {
  const LineMatcher matcher({"a"}, syntax::Extended, LineFit::Anywhere);
  RecordingSink sink;
  sink.stopAfter = 2;
  tree.Write("f", "a\na\na\n");
  const int fd = ::open(tree.Path("f").c_str(), O_RDONLY);
  LineSearch search(matcher, {});
  EXPECT_FALSE(search.Run(fd, 0, sink));
  ::close(fd);
  EXPECT_EQ(sink.lines.size(), 2u);
  const int dir = ::open(tree.Root().c_str(), O_RDONLY | O_DIRECTORY);
  EXPECT_TRUE(search.Run(dir, 0, sink));
  EXPECT_EQ(search.ReadError(), EISDIR);
  ::close(dir);
}

}  // namespace
}  // namespace RegexComponent::engine
