#include "engine/FileWalker.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "TempFileTree.h"

namespace RegexComponent::engine {
namespace {

using testing::ScopedWorkingDirectory;
using testing::TempFileTree;
using Paths = std::vector<std::string>;

// Records each visited path with the file's content, and can act on a visit.
class Recorder final : public FileVisitor {
 public:
  Paths paths;
  std::vector<std::string> contents;
  std::function<bool(const std::string&)> onVisit;

  bool Visit(const char* path, int fd, std::uint64_t) override {
    paths.emplace_back(path);
    char buffer[64];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    contents.emplace_back(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
    return onVisit ? onVisit(path) : true;
  }
};

Paths Walk(const std::string& spec, bool recurse) {
  FileWalker walker;
  Recorder recorder;
  walker.Walk(ParseFileSpec(spec), recurse, recorder);
  return recorder.paths;
}

std::size_t OpenDescriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

// A FIFO or device opened the ordinary way would block or never end; the
// alarm turns such a hang into a failure instead of a stuck test run.
class FileWalkerTest : public ::testing::Test {
 protected:
  void SetUp() override { ::alarm(20); }
  void TearDown() override { ::alarm(0); }

  void MakeTree() const {
    for (const char* file : {"b.txt", "a.txt", "B.txt", "c.log", ".hidden.txt", "sub/z.txt", "sub/deeper/y.txt",
                             "Sub2/x.txt", ".git/h.txt", "sub/x.txt"}) {
      tree.Write(file, file);
    }
  }
  TempFileTree tree;
};

TEST_F(FileWalkerTest, VisitsFilesByNameThenSubdirectoriesDepthFirst) {
  MakeTree();
  const std::string r = tree.Path("");
  EXPECT_EQ(Walk(r + "*.txt", true),
            (Paths{r + ".hidden.txt", r + "B.txt", r + "a.txt", r + "b.txt", r + ".git/h.txt", r + "Sub2/x.txt",
                   r + "sub/x.txt", r + "sub/z.txt", r + "sub/deeper/y.txt"}));
  EXPECT_EQ(Walk(r + "[ab].*", false), (Paths{r + "a.txt", r + "b.txt"}));
  EXPECT_EQ(Walk(r, false).size(), 5u);  // "dir/" means every file in it
}

TEST_F(FileWalkerTest, CurrentDirectoryGivesBarePaths) {
  MakeTree();
  const ScopedWorkingDirectory cwd(tree.Root());
  EXPECT_EQ(Walk("?.txt", true), (Paths{"B.txt", "a.txt", "b.txt", ".git/h.txt", "Sub2/x.txt", "sub/x.txt", "sub/z.txt",
                                        "sub/deeper/y.txt"}));
  EXPECT_EQ(Walk("sub/*", false), (Paths{"sub/x.txt", "sub/z.txt"}));
}

TEST_F(FileWalkerTest, PlainNameIsOneFileOrThatNameInEverySubdirectory) {
  MakeTree();
  const std::string r = tree.Path("");
  Recorder recorder;
  FileWalker walker;
  walker.Walk(ParseFileSpec(r + "a.txt"), false, recorder);
  EXPECT_EQ(recorder.paths, Paths{r + "a.txt"});
  EXPECT_EQ(recorder.contents, std::vector<std::string>{"a.txt"});
  EXPECT_EQ(Walk(r + "x.txt", true), (Paths{r + "Sub2/x.txt", r + "sub/x.txt"}));
  EXPECT_TRUE(Walk(r + "sub", false).empty());  // a directory is not a file
  EXPECT_TRUE(Walk(r + "missing.txt", false).empty());
  EXPECT_TRUE(Walk(r + "missing/*.txt", true).empty());
}

TEST_F(FileWalkerTest, SkipsEverythingButRegularFilesWithoutBlocking) {
  tree.Write("ok.txt", "ok");
  tree.Fifo("fifo.txt");
  tree.Socket("socket.txt");
  tree.Symlink("/dev/zero", "zero.txt");  // a device that would never end
  tree.Symlink("/dev/null", "null.txt");
  tree.Symlink("nowhere", "dangling.txt");
  tree.Symlink("ok.txt", "link.txt");  // a link to a file is followed
  tree.Directory("dir.txt");
  const std::string r = tree.Path("");
  EXPECT_EQ(Walk(r + "*.txt", true), (Paths{r + "link.txt", r + "ok.txt"}));
  for (const char* named : {"fifo.txt", "socket.txt", "zero.txt", "dangling.txt", "dir.txt"}) {
    EXPECT_TRUE(Walk(r + named, false).empty()) << named;
  }
  EXPECT_EQ(Walk(r + "link.txt", false), Paths{r + "link.txt"});
}

TEST_F(FileWalkerTest, DirectoryLinksAreNotDescendedSoCyclesEnd) {
  tree.Write("sub/f.txt", "f");
  tree.Symlink("..", "sub/up");
  tree.Symlink(tree.Path("sub"), "alias");
  tree.Symlink("loop", "loop");  // a link to itself
  const std::string r = tree.Path("");
  EXPECT_EQ(Walk(r + "*", true), Paths{r + "sub/f.txt"});
  // The directory the file specification names is followed, though.
  EXPECT_EQ(Walk(r + "alias/*", true), Paths{r + "alias/f.txt"});
}

TEST_F(FileWalkerTest, EntriesVanishingDuringTheWalkAreSkipped) {
  for (const char* file : {"a.txt", "b.txt", "c.txt", "d1/x.txt", "d2/x.txt", "d3/x.txt"}) tree.Write(file, file);
  const std::string r = tree.Path("");
  Recorder recorder;
  recorder.onVisit = [&](const std::string& path) {
    if (path == r + "a.txt") {
      std::filesystem::remove(r + "b.txt");
      std::filesystem::remove_all(r + "d2");
    }
    return true;
  };
  FileWalker walker;
  EXPECT_TRUE(walker.Walk(ParseFileSpec(r + "*.txt"), true, recorder));
  EXPECT_EQ(recorder.paths, (Paths{r + "a.txt", r + "c.txt", r + "d1/x.txt", r + "d3/x.txt"}));
}

TEST_F(FileWalkerTest, UnreadableFilesAreSkipped) {
  if (::geteuid() == 0) GTEST_SKIP() << "root opens files whatever their mode";
  tree.Write("a.txt", "a");
  tree.Write("b.txt", "b");
  std::filesystem::permissions(tree.Path("a.txt"), std::filesystem::perms::none);
  EXPECT_EQ(Walk(tree.Path("*.txt"), false), Paths{tree.Path("b.txt")});
}

TEST_F(FileWalkerTest, VisitorEndsTheWalkByReturnOrThrowWithoutLeakingDescriptors) {
  MakeTree();
  const std::string r = tree.Path("");
  const std::size_t before = OpenDescriptors();
  FileWalker walker;
  Recorder recorder;
  recorder.onVisit = [&](const std::string& path) { return path != r + "sub/x.txt"; };
  EXPECT_FALSE(walker.Walk(ParseFileSpec(r + "*.txt"), true, recorder));
  EXPECT_EQ(recorder.paths.back(), r + "sub/x.txt");
  EXPECT_EQ(recorder.paths.size(), 7u);

  recorder.onVisit = [&](const std::string& path) -> bool {
    if (path == r + "sub/deeper/y.txt") throw std::runtime_error("stop");
    return true;
  };
  EXPECT_THROW(walker.Walk(ParseFileSpec(r + "*.txt"), true, recorder), std::runtime_error);
  EXPECT_EQ(OpenDescriptors(), before);
  // The walker is still usable afterwards.
  recorder.paths.clear();
  recorder.onVisit = nullptr;
  EXPECT_TRUE(walker.Walk(ParseFileSpec(r + "*.log"), true, recorder));
  EXPECT_EQ(recorder.paths, Paths{r + "c.log"});
}

}  // namespace
}  // namespace RegexComponent::engine
