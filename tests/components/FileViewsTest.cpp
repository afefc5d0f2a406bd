// ForEachFileMatch and the stream search ForEachMatch(int fd, ...): what a
// view carries (true offsets, lines counted per file, empty prefix and
// suffix), stopping by the callback and by a stop token, walk and read
// errors, NUL bytes, and walks from several threads while the file-operation
// lock is held elsewhere (so the suite's name holds "Thread").
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <stop_token>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <RegexComponent/RegularExpressionCustom.h>

#include "TempFileTree.h"

using namespace RegexComponent;
using RE = RegularExpressionCustom;
using RegexComponent::testing::TempFileTree;

namespace {

// One match as a line: "file:offset:line:lineStart:text" and the groups'
// offsets, with the prefix and suffix checked to be empty.
std::string Describe(std::string_view file, const MatchView& v) {
  std::string line = std::string(file) + ":" + std::to_string(v.Position(0)) + ":" + std::to_string(v.LineIndex()) +
                     ":" + std::to_string(v.StartOfLine()) + ":" + std::string(v.Str(0));
  for (std::size_t i = 1; i < v.Size(); ++i)
    line += v.Matched(i) ? "|" + std::to_string(v.Position(i)) + "=" + std::string(v.Str(i)) : "|-";
  if (!v.Prefix().empty() || !v.Suffix().empty()) line += " PREFIX OR SUFFIX";
  return line;
}

// A component whose stream search may read in chunks of any size.
class StreamComponent : public RE {
 public:
  StreamComponent() : RE(nullptr) {}
  using RE::ForEachMatch;
};

// A pipe whose write end is fed `text` by a thread and closed.
class FedPipe {
 public:
  explicit FedPipe(std::string text) {
    int fds[2];
    if (::pipe(fds) != 0) throw std::system_error(errno, std::generic_category());
    read_ = fds[0];
    writer_ = std::thread([fd = fds[1], text = std::move(text)] {
      for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
      }
      ::close(fd);
    });
  }
  ~FedPipe() {
    ::close(read_);
    writer_.join();
  }
  FedPipe(const FedPipe&) = delete;
  FedPipe& operator=(const FedPipe&) = delete;
  int Fd() const { return read_; }

 private:
  int read_ = -1;
  std::thread writer_;
};

class FileViewsThread : public ::testing::Test {
 protected:
  void SetUp() override {
    tree.Write("a.txt", "foo\nbar foo\n");
    tree.Directory("sub");
    tree.Write("sub/b.txt", "x\ny\nfoo");
    re.FilesToMatch = AnsiString(tree.Path("*.txt"));
    re.DirectoryRecursion = true;
    re.Expression = "f(o)(x)?o";
  }
  std::vector<std::string> Walk(bool countLines) {
    std::vector<std::string> seen;
    const std::uint64_t count =
        re.ForEachFileMatch([&](std::string_view file, const MatchView& v) { seen.push_back(Describe(file, v)); },
                            countLines);
    EXPECT_EQ(count, seen.size());
    return seen;
  }

  TempFileTree tree;
  RE re{nullptr};
};

TEST_F(FileViewsThread, ViewsCarryFileOffsetsAndLinesCountedPerFile) {
  const std::string a = tree.Path("a.txt"), b = tree.Path("sub/b.txt");
  EXPECT_EQ(Walk(true), (std::vector<std::string>{a + ":0:1:0:foo|1=o|-", a + ":8:2:4:foo|9=o|-",
                                                  b + ":4:3:4:foo|5=o|-"}));
  // Without counting, lines read 0; the matches are the same.
  EXPECT_EQ(Walk(false), (std::vector<std::string>{a + ":0:0:0:foo|1=o|-", a + ":8:0:0:foo|9=o|-",
                                                   b + ":4:0:0:foo|5=o|-"}));
  // The expression is read as GrepFiles reads it: Perl syntax, CaseInsensitive.
  re.ExpressionOptions = RE::OptionsSet{RE::Literals, RE::CaseInsensitive};
  re.Expression = "F.O";
  EXPECT_EQ(Walk(false).size(), 3u);
  re.Expression = "(";
  EXPECT_EQ(Walk(false).size(), 0u);
}

// Lines are counted across chunk boundaries and across chunks without a
// match; a line longer than a chunk counts once.
TEST_F(FileViewsThread, LinesStayExactPastChunksOfLargeFiles) {
  std::string big;
  for (int i = 0; i < 300000; ++i) big += "line " + std::to_string(i) + (i % 99999 == 0 ? " hit" : "") + "\n";
  big += std::string(9 << 20, 'z') + "\nhit\n";
  tree.Write("big.txt", big);
  re.FilesToMatch = AnsiString(tree.Path("big.txt"));
  re.Expression = "hit";
  std::vector<std::pair<std::uint64_t, std::uint64_t>> expected;
  std::uint64_t line = 1, lineStart = 0;
  for (std::size_t p = 0, hit = big.find("hit"); hit != std::string::npos; hit = big.find("hit", hit + 1)) {
    for (; p < hit; ++p)
      if (big[p] == '\n') ++line, lineStart = p + 1;
    expected.emplace_back(line, lineStart);
  }
  std::vector<std::pair<std::uint64_t, std::uint64_t>> seen;
  re.ForEachFileMatch([&](std::string_view, const MatchView& v) { seen.emplace_back(v.LineIndex(), v.StartOfLine()); },
                      true);
  EXPECT_EQ(expected.size(), 5u);
  EXPECT_EQ(seen, expected);
}

TEST_F(FileViewsThread, CallbackAndStopTokenEndTheWalk) {
  std::vector<std::string> seen;
  EXPECT_EQ(re.ForEachFileMatch([&](std::string_view file, const MatchView& v) {
    seen.push_back(Describe(file, v));
    return seen.size() < 2;
  }),
            2u);
  std::stop_source source;
  EXPECT_EQ(re.ForEachFileMatch([&](std::string_view, const MatchView&) { source.request_stop(); }, true,
                                source.get_token()),
            1u);
  EXPECT_EQ(re.ForEachFileMatch([](std::string_view, const MatchView&) {}, false, source.get_token()), 0u);
}

TEST_F(FileViewsThread, WalkErrorsGoToOnFileErrorWithoutTheLock) {
  tree.Symlink("loop.txt", "loop.txt");
  std::vector<std::pair<std::string, int>> errors;
  re.OnFileError = [&](TObject* sender, AnsiString file, int error) {
    EXPECT_EQ(sender, &re);
    EXPECT_EQ(RE::CurrentPointer, nullptr);
    errors.emplace_back(file.ToStdString(), error);
  };
  EXPECT_EQ(Walk(false).size(), 3u);
  EXPECT_EQ(errors, (std::vector<std::pair<std::string, int>>{{tree.Path("loop.txt"), ELOOP}}));
}

// While this thread holds the lock every GrepFiles waits for, several
// threads walk at once, with and without workers, and all see GrepFiles'
// matches.
TEST_F(FileViewsThread, SeveralThreadsWalkAtOnceWithoutTheLock) {
  for (int i = 0; i < 20; ++i) tree.Write("many/f" + std::to_string(i) + ".txt", std::string(i, '\n') + "foo fxo");
  const std::vector<std::string> reference = Walk(true);
  ASSERT_EQ(reference.size(), 23u);
  TCriticalSection& lock = RE::CreateFileOperationLock();
  lock.Enter();
  std::vector<std::vector<std::string>> results(4);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < results.size(); ++t) {
    threads.emplace_back([&, t] {
      RE own(nullptr);
      own.FilesToMatch = re.FilesToMatch;
      own.DirectoryRecursion = true;
      own.Expression = re.Expression;
      own.ForEachFileMatch([&](std::string_view file, const MatchView& v) { results[t].push_back(Describe(file, v)); },
                           t % 2 == 0);
    });
  }
  for (std::thread& t : threads) t.join();
  lock.Leave();
  for (std::size_t t = 0; t < results.size(); ++t) {
    ASSERT_EQ(results[t].size(), reference.size());
    if (t % 2 == 0) {
      EXPECT_EQ(results[t], reference);
    }
  }
}

TEST(StreamSearch, SearchesEveryByteOfAPipeInAnyChunkSize) {
  const std::string text("ab\0ab\nxx\0\nab", 12);
  StreamComponent re;
  re.Expression = "a(b)|\\x00";
  for (std::size_t chunk : {std::size_t{1}, std::size_t{2}, std::size_t{5}, std::size_t{4096}}) {
    SCOPED_TRACE(chunk);
    FedPipe pipe(text);
    std::vector<std::string> seen;
    const std::uint64_t count = re.ForEachMatch(
        pipe.Fd(), [&](const MatchView& v) { seen.push_back(Describe("", v)); }, std::stop_token(), chunk);
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(seen, (std::vector<std::string>{":0:1:0:ab|1=b", std::string(":2:1:0:\0|-", 10), ":3:1:0:ab|4=b",
                                              std::string(":8:2:6:\0|-", 10), ":10:3:10:ab|11=b"}));
  }
}

TEST(StreamSearch, StopsAndReportsReadErrors) {
  StreamComponent re;
  re.Expression = "a";
  {
    FedPipe pipe("aaaa");
    EXPECT_EQ(re.ForEachMatch(pipe.Fd(), [](const MatchView& v) { return v.Position(0) < 1; }), 2u);
  }
  {
    std::stop_source source;
    FedPipe pipe(std::string(100, 'a'));
    EXPECT_EQ(re.ForEachMatch(pipe.Fd(), [&](const MatchView&) { source.request_stop(); }, source.get_token(), 7),
              1u);
  }
  TempFileTree tree;
  const int directory = ::open(tree.Root().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(directory, 0);
  EXPECT_THROW(re.ForEachMatch(directory, [](const MatchView&) {}), std::system_error);
  ::close(directory);
  re.Expression = "(";
  EXPECT_EQ(re.ForEachMatch(directory, [](const MatchView&) {}), 0u);
}

}  // namespace
