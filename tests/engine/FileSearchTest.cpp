#include "engine/search/FileSearch.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "TempFileTree.h"
#include "Volume.h"
#include "Watchdog.h"
#include "engine/expression/FlagWords.h"
#include "engine/expression/MatchFlags.h"

namespace RegexComponent::engine {
namespace {

using testing::TempFileTree;
using testing::Watchdog;

// Offsets and lengths of every sub-expression of one match, -1 for a group
// that took no part.
using MatchRecord = std::vector<std::int64_t>;

MatchRecord Record(const boost::cmatch& match, const char* base, std::uint64_t baseOffset) {
  MatchRecord record;
  for (std::size_t i = 0; i < match.size(); ++i) {
    record.push_back(match[i].matched ? static_cast<std::int64_t>(baseOffset) + (match[i].first - base) : -1);
    record.push_back(match[i].matched ? match[i].length() : -1);
  }
  return record;
}

class RecordingSink final : public MatchSink {
 public:
  std::vector<MatchRecord> matches;
  std::vector<std::string> paths;
  bool OnMatch(const char* path, const boost::cmatch& match, const Chunk& chunk) override {
    matches.push_back(Record(match, chunk.begin, chunk.offset));
    paths.emplace_back(path);
    return true;
  }
};

std::vector<MatchRecord> WholeFileGrep(const std::string& content, const boost::regex& re,
                                       boost::regex_constants::match_flag_type flags) {
  std::vector<MatchRecord> matches;
  const char* begin = content.data();
  boost::regex_grep(
      [&](const boost::cmatch& m) {
        matches.push_back(Record(m, begin, 0));
        return true;
      },
      begin, begin + content.size(), re, flags);
  return matches;
}

// Lines of a few letters and spaces, some empty, sometimes no final line feed.
std::string RandomText(std::mt19937& random) {
  static const char kAlphabet[] = "aab b\n";
  std::string text(random() % 200, ' ');
  for (char& c : text) c = kAlphabet[random() % (sizeof kAlphabet - 1)];
  return text;
}

// Expressions whose matches never contain a line feed nor look across one
// (except at the byte right before a position), so cutting the file into
// chunks after line feeds must not change any result.
const char* const kLineLocalExpressions[] = {
    "a+", "^a", "b$", "\\bab", "ab\\b", "\\<b", "b\\>", "\\Bb", "a*", "^", "$", "\\Aa",
    "b\\z", "(a)(b)?", "b(?=\n)", "(?<=a)b", "^$", "[^\n]*", "a|b b",
    // Literal-bearing: a file of one chunk goes through the prefilter.
    "ab b", "b a|aa", "(?i)AB", "a{2}b", "\\bba?\\b", "a[ab]*b b",
};

const std::uint32_t kFlagWords[] = {
    0, match::Shortest, match::NotBeginningOfLine, match::NotEndOfLine,
    match::NotBeginningOfBuffer, match::NotEndOfBuffer, match::NotNullString,
    match::NotBeginningOfWord | match::NotEndOfWord,
};

// Greps one file at a range of chunk sizes, from one byte up, and expects
// exactly the whole-file results each time.
void ExpectGrepAtEveryChunkSize(const FileSpec& spec, const boost::regex& re, boost::regex_constants::match_flag_type flags,
                                const std::vector<MatchRecord>& expected, const char* expression, std::uint32_t word,
                                const std::string& content) {
  for (const std::size_t chunkSize : {1, 2, 3, 7, 16, 64, 4096}) {
    FileSearch search(chunkSize, 1 << 20);
    RecordingSink sink;
    EXPECT_EQ(search.Grep(re, spec, false, flags, &sink), expected.size());
    ASSERT_EQ(sink.matches, expected) << "expression " << expression << " flags " << word << " chunk " << chunkSize
                                      << " text\n" << content;
  }
}

TEST(FileSearchTest, ChunkedGrepAgreesWithWholeFileGrep) {
  TempFileTree tree;
  std::mt19937 random(20240611);
  for (int round = 0; round < testing::Volume(20, 80); ++round) {
    const std::string content = RandomText(random);
    tree.Write("f.txt", content);
    const FileSpec spec = ParseFileSpec(tree.Path("f.txt"));
    for (const char* expression : kLineLocalExpressions) {
      const boost::regex re(expression);
      for (const std::uint32_t word : kFlagWords) {
        const auto flags = ToBoostMatchFlags(word);
        const std::vector<MatchRecord> expected = WholeFileGrep(content, re, flags);
        ExpectGrepAtEveryChunkSize(spec, re, flags, expected, expression, word, content);
        if (::testing::Test::HasFatalFailure()) return;
      }
    }
  }
}

// Lines of letters, spaces and x/y, so that matches over line feeds are common.
std::string RandomCrossingText(std::mt19937& random) {
  static const char kAlphabet[] = "aab xy\n\n\r";
  std::string text(random() % 120, ' ');
  for (char& c : text) c = kAlphabet[random() % (sizeof kAlphabet - 1)];
  return text;
}

// Expressions whose matches run over line feeds, so over chunk boundaries;
// some can match nothing, and a shorter match may lose to a longer one that
// only the following text completes.
const char* const kCrossingExpressions[] = {
    "a\\nb", ".+", "[^x]*y", "\\s+", "(a|\\n)+", "x.{0,20}y", "x|x[^q]*y", "\\n*", "(\\n|a)*$",
    "b\\n?", "^\\n", "[ab]\\s*\\z", "[ay]\\Z", "\\n\\Z", "y\\s*$",
};

TEST(FileSearchTest, ChunkedGrepAgreesWithWholeFileGrepOverLineFeeds) {
  TempFileTree tree;
  std::mt19937 random(20261208);
  for (int round = 0; round < testing::Volume(15, 60); ++round) {
    const std::string content = RandomCrossingText(random);
    tree.Write("f.txt", content);
    const FileSpec spec = ParseFileSpec(tree.Path("f.txt"));
    for (const char* expression : kCrossingExpressions) {
      const boost::regex re(expression);
      for (const std::uint32_t word : kFlagWords) {
        const auto flags = ToBoostMatchFlags(word);
        const std::vector<MatchRecord> expected = WholeFileGrep(content, re, flags);
        ExpectGrepAtEveryChunkSize(spec, re, flags, expected, expression, word, content);
        if (::testing::Test::HasFatalFailure()) return;
        for (const std::size_t chunkSize : {1, 5, 64}) {
          FileSearch search(chunkSize, 1 << 20, 1);
          RecordingSink sink;
          EXPECT_EQ(search.Find(re, spec, false, flags, &sink), expected.empty() ? 0u : 1u);
          if (!expected.empty() && !sink.matches.empty()) {
            ASSERT_EQ(sink.matches[0], expected[0]) << "find " << expression << " flags " << word
                                                    << " chunk " << chunkSize << " text\n" << content;
          }
        }
      }
    }
  }
}

// The check for a match the following text could change wraps the
// expression; a trailing free-spacing comment or an open \Q quote must not
// swallow the wrapping.
// Long files in chunks with the literal prefilter: literals at chunk ends,
// candidates that fail inside a window, windows bounded by a line feed or
// by the longest match, and candidates so thick that the file goes on
// without the prefilter. Each expression must qualify, or the case tests
// nothing new.
TEST(FileSearchTest, ChunkedGrepThroughThePrefilterAgreesWithWholeFileGrep) {
  struct Expression {
    const char* text;
    boost::regex::flag_type syntax;
  } const expressions[] = {
      {"x.{0,20}y", boost::regex::perl}, {"ab{1,3}x", boost::regex::perl},  {"\\bxy\\b", boost::regex::perl},
      {"(a|b)x{2}", boost::regex::perl}, {"x[^\n]*y", boost::regex::perl}, {"y\\n?x", boost::regex::perl},
      {"XY", boost::regex::icase},       {"ab|yx", boost::regex::perl},     {"a.{0,5}\\n.{0,5}b", boost::regex::perl},
  };
  const std::uint32_t words[] = {0, match::Shortest, match::NotBeginningOfLine, match::NotNullString};
  TempFileTree tree;
  std::mt19937 random(20261210);
  for (int round = 0; round < 12; ++round) {
    static const char kAlphabet[] = "aaabbb    xy\n";
    std::string content(2000 + random() % 4000, ' ');
    for (char& c : content) c = kAlphabet[random() % (sizeof kAlphabet - 1)];
    tree.Write("f.txt", content);
    const FileSpec spec = ParseFileSpec(tree.Path("f.txt"));
    for (const auto& [expression, syntax] : expressions) {
      const boost::regex re(expression, syntax);
      for (const std::uint32_t word : words) {
        const auto flags = ToBoostMatchFlags(word);
        ASSERT_TRUE(PrefilteredSearch(re, flags).Prefiltered()) << expression << " flags " << word;
        const std::vector<MatchRecord> expected = WholeFileGrep(content, re, flags);
        for (const std::size_t chunkSize : {16, 100, 333, 1024}) {
          FileSearch search(chunkSize, 1 << 20);
          RecordingSink sink;
          EXPECT_EQ(search.Grep(re, spec, false, flags, &sink), expected.size());
          ASSERT_EQ(sink.matches, expected) << expression << " flags " << word << " chunk " << chunkSize;
        }
      }
    }
  }
}

TEST(FileSearchTest, CommentsAndQuotesAtTheEndStayExactOverLineFeeds) {
  TempFileTree tree;
  std::mt19937 random(5);
  for (int round = 0; round < 20; ++round) {
    const std::string content = RandomCrossingText(random);
    tree.Write("f.txt", content);
    for (const char* expression : {"(?x) x [^q]* y | x  # one x or more", "x\\s*\\Q\ny"}) {
      const boost::regex re(expression);
      const auto flags = ToBoostMatchFlags(0);
      for (const std::size_t chunkSize : {1, 4, 16}) {
        FileSearch search(chunkSize, 1 << 20);
        RecordingSink sink;
        search.Grep(re, ParseFileSpec(tree.Path("f.txt")), false, flags, &sink);
        ASSERT_EQ(sink.matches, WholeFileGrep(content, re, flags)) << expression << " chunk " << chunkSize;
      }
    }
  }
}

// \Z also matches before the separators that end a file, even when they
// fill later chunks.
TEST(FileSearchTest, SoftEndAnchorSeesSeparatorsInLaterChunks) {
  TempFileTree tree;
  for (const std::string content : {"xa\n\n\n", "ya\r\n\n", "a\nb\n\nc\n\n"}) {
    tree.Write("f.txt", content);
    for (const char* expression : {"[ay]\\Z", "[a-z]\\n?\\Z"}) {
      const boost::regex re(expression);
      const auto flags = ToBoostMatchFlags(0);
      const std::vector<MatchRecord> expected = WholeFileGrep(content, re, flags);
      for (const std::size_t chunkSize : {1, 2, 3, 4}) {
        FileSearch search(chunkSize, 1 << 20);
        RecordingSink sink;
        search.Grep(re, ParseFileSpec(tree.Path("f.txt")), false, flags, &sink);
        EXPECT_EQ(sink.matches, expected) << expression << " chunk " << chunkSize;
        EXPECT_EQ(search.Find(re, ParseFileSpec(tree.Path("f.txt")), false, flags, nullptr), expected.empty() ? 0u : 1u)
            << expression << " chunk " << chunkSize;
      }
    }
  }
}

// An open match longer than the line limit is cut there: the pieces still
// cover the text once, in order, and the buffer never outgrows the limit.
TEST(FileSearchTest, OpenMatchBeyondTheLineLimitIsCut) {
  TempFileTree tree;
  std::string content;
  for (int i = 0; i < 1000; ++i) content += "ab\n";
  tree.Write("f.txt", content);
  FileSearch search(16, 256);
  RecordingSink sink;
  search.Grep(boost::regex(".+"), ParseFileSpec(tree.Path("f.txt")), false, ToBoostMatchFlags(0), &sink);
  ASSERT_GT(sink.matches.size(), 1u);
  std::int64_t next = 0;
  for (const MatchRecord& match : sink.matches) {
    EXPECT_EQ(match[0], next);
    EXPECT_LE(match[1], 256);
    next = match[0] + match[1];
  }
  EXPECT_EQ(next, static_cast<std::int64_t>(content.size()));
  EXPECT_LE(search.Reader().Capacity(), 256u);
}

TEST(FileSearchTest, ContinuousMatchingFollowsAdjacentMatchesAcrossChunks) {
  TempFileTree tree;
  const std::string content = "ab\nba\n\nbb\nx\naa\n";
  tree.Write("f.txt", content);
  const boost::regex re("[ab]*\n");
  const auto flags = ToBoostMatchFlags(match::Continuous);
  const std::vector<MatchRecord> expected = WholeFileGrep(content, re, flags);
  ASSERT_EQ(expected.size(), 4u);  // stops at the "x" line
  for (const std::size_t chunkSize : {1, 4, 8, 64}) {
    FileSearch search(chunkSize, 1 << 20);
    RecordingSink sink;
    search.Grep(re, ParseFileSpec(tree.Path("f.txt")), false, flags, &sink);
    EXPECT_EQ(sink.matches, expected) << "chunk " << chunkSize;
  }
}

TEST(FileSearchTest, FindReportsTheFirstMatchOnly) {
  TempFileTree tree;
  std::mt19937 random(7);
  for (int round = 0; round < 60; ++round) {
    const std::string content = RandomText(random);
    tree.Write("f.txt", content);
    for (const char* expression : {"^b", "ab\\b", "b b", "a\\z"}) {
      const boost::regex re(expression);
      const auto flags = ToBoostMatchFlags(0);
      const std::vector<MatchRecord> all = WholeFileGrep(content, re, flags);
      for (const std::size_t chunkSize : {1, 5, 4096}) {
        FileSearch search(chunkSize, 1 << 20, chunkSize == 4096 ? 3 : 0);
        RecordingSink sink;
        EXPECT_EQ(search.Find(re, ParseFileSpec(tree.Path("f.txt")), false, flags, &sink), all.empty() ? 0u : 1u);
        ASSERT_EQ(sink.matches.size(), all.empty() ? 0u : 1u);
        if (!all.empty()) {
          EXPECT_EQ(sink.matches[0], all[0]) << expression << " in\n" << content;
        }
      }
    }
  }
}

// With MatchShortest the first match found is taken, and one found at a
// chunk's end may differ from the whole file's: "ab*c|a" is "abbbc" in the
// file but "a" in a chunk ending in "abb". The decision waits for the text.
// Checking that costs no more than the search: nested repeats over lines
// of x, which have a match at every second x, search quickly.
TEST(FileSearchTest, ShortestMatchesStayExactAtChunkEndsAndCheapToSettle) {
  TempFileTree tree;
  const auto flags = ToBoostMatchFlags(match::Shortest);
  std::string lines;
  for (int i = 0; i < 30; ++i) lines += std::string(79, 'x') + "\n";
  const std::pair<std::string, const char*> cases[] = {
      {"zabbbc\nabbbbbc abc", "ab*c|a"}, {lines, "(x+x+)+"}, {lines, "x(x+x+)+"}};
  for (const auto& [content, expression] : cases) {
    tree.Write("f.txt", content);
    const FileSpec spec = ParseFileSpec(tree.Path("f.txt"));
    const boost::regex re(expression);
    const std::vector<MatchRecord> expected = WholeFileGrep(content, re, flags);
    Watchdog watchdog(expression, std::chrono::seconds(30));
    ExpectGrepAtEveryChunkSize(spec, re, flags, expected, expression, match::Shortest, content);
    for (const std::size_t window : {1, 3, 100}) {
      FileSearch search(window, 1 << 20, window);
      RecordingSink sink;
      EXPECT_EQ(search.Find(re, spec, false, flags, &sink), 1u);
      ASSERT_EQ(sink.matches.size(), 1u);
      EXPECT_EQ(sink.matches[0], expected[0]) << expression << " window " << window;
    }
  }
}

// Find reads a growing prefix of the file; the prefix is searched again from
// the start each time it grows, so even a match running over the line feed
// where an earlier prefix ended is found in a file of one chunk.
TEST(FileSearchTest, FindJudgesAFileOfOneChunkAsAWhole) {
  TempFileTree tree;
  std::mt19937 random(11);
  for (int round = 0; round < 60; ++round) {
    const std::string content = RandomText(random);
    tree.Write("f.txt", content);
    for (const char* expression : {"a\\nb", "b\\s+a", "b\\n\\nb"}) {
      const boost::regex re(expression);
      const auto flags = ToBoostMatchFlags(0);
      const bool expected = boost::regex_search(content, re, flags);
      for (const std::size_t window : {1, 2, 8, 64}) {
        FileSearch search(4096, 1 << 20, window);
        EXPECT_EQ(search.Find(re, ParseFileSpec(tree.Path("f.txt")), false, flags, nullptr), expected ? 1u : 0u)
            << expression << " window " << window << " in\n" << content;
      }
    }
  }
}

TEST(FileSearchTest, LinesLongerThanTheLimitAreCutAndMemoryStaysBounded) {
  TempFileTree tree;
  tree.Write("a-long.txt", std::string(10000, 'x') + "\n" + std::string(300, 'x'));
  tree.Write("b-short.txt", "x\n");
  FileSearch search(64, 256);
  RecordingSink sink;
  // A one-byte match can never straddle a cut, so every one is found once.
  EXPECT_EQ(search.Grep(boost::regex("x"), ParseFileSpec(tree.Path("*.txt")), false, ToBoostMatchFlags(0), &sink),
            10301u);
  ASSERT_EQ(sink.matches.size(), 10301u);
  EXPECT_EQ(sink.matches[9999][0], 9999);
  EXPECT_EQ(sink.matches[10000][0], 10001);
  EXPECT_EQ(sink.matches[10299][0], 10300);
  EXPECT_EQ(sink.matches[10300][0], 0);  // the second file
  EXPECT_EQ(search.Reader().Capacity(), 64u);  // a grown buffer is given back
}

TEST(FileSearchTest, LongLineGrowsTheBufferAndStaysExact) {
  TempFileTree tree;
  const std::string content = "ab\n" + std::string(5000, 'a') + "b\nab";
  tree.Write("f.txt", content);
  const boost::regex re("a+b");
  FileSearch search(16, 1 << 20);
  RecordingSink sink;
  search.Grep(re, ParseFileSpec(tree.Path("f.txt")), false, ToBoostMatchFlags(0), &sink);
  EXPECT_EQ(sink.matches, WholeFileGrep(content, re, ToBoostMatchFlags(0)));
}

// Truncates the file it is searching at the first match, as another process
// might; the search must end quietly with what was already read.
class TruncatingSink final : public MatchSink {
 public:
  explicit TruncatingSink(std::string path) : path_(std::move(path)) {}
  std::size_t seen = 0;
  bool OnMatch(const char*, const boost::cmatch&, const Chunk&) override {
    if (seen++ == 0) {
      EXPECT_EQ(::truncate(path_.c_str(), 0), 0);
    }
    return true;
  }

 private:
  std::string path_;
};

TEST(FileSearchTest, FileTruncatedWhileSearchedEndsEarly) {
  TempFileTree tree;
  std::string content;
  for (int i = 0; i < 1000; ++i) content += "match\n";
  tree.Write("f.txt", content);
  FileSearch search(64, 1 << 20);
  TruncatingSink sink(tree.Path("f.txt"));
  const std::uint64_t count =
      search.Grep(boost::regex("match"), ParseFileSpec(tree.Path("f.txt")), false, ToBoostMatchFlags(0), &sink);
  EXPECT_GE(count, 1u);
  EXPECT_LT(count, 1000u);
  EXPECT_EQ(count, sink.seen);
}

TEST(FileSearchTest, EmptyFilesAndFilesOfUnknownSize) {
  TempFileTree tree;
  tree.Write("empty", "");
  FileSearch search;
  const auto flags = ToBoostMatchFlags(0);
  EXPECT_EQ(search.Grep(boost::regex("^"), ParseFileSpec(tree.Path("empty")), false, flags, nullptr), 1u);
  EXPECT_EQ(search.Grep(boost::regex("a"), ParseFileSpec(tree.Path("empty")), false, flags, nullptr), 0u);
  // /proc files call themselves empty but have content.
  EXPECT_EQ(search.Grep(boost::regex("^Name:"), ParseFileSpec("/proc/self/status"), false, flags, nullptr), 1u);
}

}  // namespace
}  // namespace RegexComponent::engine
