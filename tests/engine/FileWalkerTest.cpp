#include "engine/files/FileWalker.h"
#include "engine/files/WorkerDescriptors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "DescriptorLimit.h"
#include "TempFileTree.h"

namespace RegexComponent::engine {
namespace {

using testing::DescriptorLimit;
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
  bool VisitSpecial(const char* path, UniqueFd&, const struct stat&) override {
    paths.push_back(std::string(path) + " (special)");
    return true;
  }
};

Paths Walk(const std::string& spec, bool recurse) {
  FileWalker walker;
  Recorder recorder;
  walker.Walk(ParseFileSpec(spec), recurse, recorder);
  return recorder.paths;
}

using Errors = std::vector<std::pair<std::string, int>>;

// Records what the walk reports it could not open, and can act on a report.
class ErrorRecorder final : public WalkErrorSink {
 public:
  Errors errors;
  std::function<void()> onError;

  Paths loops;

  void OnWalkError(const char* path, int error) override {
    errors.emplace_back(path, error);
    if (onError) onError();
  }
  void OnLoop(const char* path) override { loops.emplace_back(path); }
};

// Takes every free descriptor until Release, so that the walk's next open
// fails with EMFILE.
class Hoard {
 public:
  ~Hoard() { Release(); }
  void Take() {
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) fds_.push_back(fd);
  }
  void Release() {
    for (const int fd : fds_) ::close(fd);
    fds_.clear();
  }

 private:
  std::vector<int> fds_;
};

// `depth` nested directories named "d" below `root`, with "m.txt" every
// `every` levels. Made and removed through descriptors, one open at a time,
// since the deepest paths may be longer than PATH_MAX.
class DirectoryChain {
 public:
  DirectoryChain(const std::string& root, int depth, int every) : root_(::open(root.c_str(), O_RDONLY | O_DIRECTORY)) {
    int fd = ::dup(root_);
    for (int level = 1; level <= depth && fd >= 0; ++level) {
      ::mkdirat(fd, "d", 0755);
      const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
      ::close(fd);
      fd = next;
      if (fd >= 0 && level % every == 0) ::close(::openat(fd, "m.txt", O_WRONLY | O_CREAT, 0644));
    }
    if (fd >= 0) ::close(fd);
  }
  // Pulls each grandchild up to the root and removes the emptied child.
  ~DirectoryChain() {
    for (int child; (child = ::openat(root_, "d", O_RDONLY | O_DIRECTORY)) >= 0;) {
      ::unlinkat(child, "m.txt", 0);
      ::renameat(child, "d", root_, "next");
      ::close(child);
      if (::unlinkat(root_, "d", AT_REMOVEDIR) != 0 || ::renameat(root_, "next", root_, "d") != 0) break;
    }
    ::close(root_);
  }
  DirectoryChain(const DirectoryChain&) = delete;
  DirectoryChain& operator=(const DirectoryChain&) = delete;

  static std::string Path(int depth) {
    std::string path;
    for (int level = 0; level < depth; ++level) path += "d/";
    return path;
  }

 private:
  int root_;
};

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

TEST_F(FileWalkerTest, TreesDeeperThanTheDescriptorLimitAreWalkedWhole) {
  // Several times deeper than the limit below; removing directories is slow
  // on some disks, so not deeper still.
  const DirectoryChain chain(tree.Path(""), 400, 50);
  const std::string r = tree.Path("");
  const std::size_t before = OpenDescriptors();
  FileWalker walker;
  Recorder recorder;
  ErrorRecorder errors;
  {
    const DescriptorLimit limit(64);
    EXPECT_TRUE(walker.Walk(ParseFileSpec(r + "*.txt"), true, recorder, &errors));
  }
  Paths markers;
  for (int depth = 50; depth <= 400; depth += 50) markers.push_back(r + DirectoryChain::Path(depth) + "m.txt");
  EXPECT_EQ(recorder.paths, markers);
  EXPECT_EQ(errors.errors, Errors{});
  EXPECT_EQ(OpenDescriptors(), before);
}

// Level 6 moves away while the walk is below it: level 5, let go by then,
// is no longer its parent and must be found again by its path.
TEST_F(FileWalkerTest, ALevelLetGoIsFoundAgainAfterItsChildMoved) {
  const DirectoryChain chain(tree.Path(""), 40, 40);
  const std::string r = tree.Path("");
  tree.Write(DirectoryChain::Path(5) + "e/m.txt", "");
  Recorder recorder;
  recorder.onVisit = [&](const std::string& path) {
    if (path == r + DirectoryChain::Path(40) + "m.txt")
      std::filesystem::rename(r + DirectoryChain::Path(6), r + "moved");
    return true;
  };
  ErrorRecorder errors;
  FileWalker walker;
  EXPECT_TRUE(walker.Walk(ParseFileSpec(r + "*.txt"), true, recorder, &errors));
  EXPECT_EQ(recorder.paths, (Paths{r + DirectoryChain::Path(40) + "m.txt", r + DirectoryChain::Path(5) + "e/m.txt"}));
  EXPECT_EQ(errors.errors, Errors{});
  // Back to one chain, for its removal.
  std::filesystem::rename(r + "moved", r + DirectoryChain::Path(6));
  std::filesystem::remove_all(r + DirectoryChain::Path(5) + "e");
}

// Visiting an h*.txt file takes every free descriptor; closing it frees one,
// which the next directory takes. The open after that fails, is reported,
// and the report gives the descriptors back.
TEST_F(FileWalkerTest, OutOfDescriptorsIsReportedWithThePathAndTheWalkGoesOn) {
  for (const char* file : {"h1.txt", "d1/f.txt", "d2/h2.txt", "d2/e/sub/x.txt", "d3/y.txt"}) tree.Write(file, file);
  const std::string r = tree.Path("");
  Hoard hoard;
  Recorder recorder;
  recorder.onVisit = [&](const std::string& path) {
    if (path.find("/h") != std::string::npos) hoard.Take();
    return true;
  };
  ErrorRecorder errors;
  errors.onError = [&] { hoard.Release(); };
  FileWalker walker;
  const DescriptorLimit limit(64);
  EXPECT_TRUE(walker.Walk(ParseFileSpec(r + "*.txt"), true, recorder, &errors));
  EXPECT_EQ(recorder.paths, (Paths{r + "h1.txt", r + "d2/h2.txt", r + "d3/y.txt"}));
  EXPECT_EQ(errors.errors, (Errors{{r + "d1/f.txt", EMFILE}, {r + "d2/e/sub", EMFILE}}));
}

TEST_F(FileWalkerTest, VanishedAndSkippedEntriesAreNotReportedButLinkLoopsAre) {
  for (const char* file : {"a.txt", "b.txt", "d1/x.txt", "d2/x.txt"}) tree.Write(file, file);
  tree.Fifo("fifo.txt");
  tree.Symlink("nowhere", "dangling.txt");
  tree.Symlink("loop.txt", "loop.txt");
  const std::string r = tree.Path("");
  Recorder recorder;
  recorder.onVisit = [&](const std::string& path) {
    if (path == r + "a.txt") {
      std::filesystem::remove(r + "b.txt");
      std::filesystem::remove_all(r + "d1");
    }
    return true;
  };
  ErrorRecorder errors;
  FileWalker walker;
  EXPECT_TRUE(walker.Walk(ParseFileSpec(r + "*.txt"), true, recorder, &errors));
  EXPECT_EQ(recorder.paths, (Paths{r + "a.txt", r + "d2/x.txt"}));
  EXPECT_EQ(errors.errors, (Errors{{r + "loop.txt", ELOOP}}));
  errors.errors.clear();
  walker.Walk(ParseFileSpec(r + "missing/*.txt"), true, recorder, &errors);
  walker.Walk(ParseFileSpec(r + "missing.txt"), false, recorder, &errors);
  EXPECT_EQ(errors.errors, Errors{});
}

TEST_F(FileWalkerTest, UnreadableFilesAndDirectoriesAreReported) {
  if (::geteuid() == 0) GTEST_SKIP() << "root opens files whatever their mode";
  tree.Write("a.txt", "a");
  tree.Write("closed/b.txt", "b");
  tree.Write("open/c.txt", "c");
  std::filesystem::permissions(tree.Path("a.txt"), std::filesystem::perms::none);
  std::filesystem::permissions(tree.Path("closed"), std::filesystem::perms::none);
  const std::string r = tree.Path("");
  Recorder recorder;
  ErrorRecorder errors;
  FileWalker walker;
  walker.Walk(ParseFileSpec(r + "*.txt"), true, recorder, &errors);
  std::filesystem::permissions(tree.Path("closed"), std::filesystem::perms::owner_all);
  EXPECT_EQ(recorder.paths, Paths{r + "open/c.txt"});
  EXPECT_EQ(errors.errors, (Errors{{r + "a.txt", EACCES}, {r + "closed", EACCES}}));
}

// The window shrinks by halves to the least one while descriptors do not
// abound for it, and workers open files only where they abound for the
// window chosen; a window asked below the least one is kept.
// Takes every file but those whose names start with 'x', and every
// directory but "skip".
class NameRule final : public WalkFilter {
 public:
  explicit NameRule(const WalkRules& rules) : WalkFilter(rules) {}
  bool TakesFile(std::string_view name) const override { return !name.starts_with('x'); }
  bool TakesDirectory(std::string_view name) const override { return name != "skip"; }
};

TEST_F(FileWalkerTest, RulesDecideLinksOrderAndSpecialFiles) {
  for (const char* file : {"b.txt", "a/f.txt", "c.txt", "xa.txt", "skip/s.txt"}) tree.Write(file, file);
  tree.Symlink("a", "la");
  tree.Symlink("c.txt", "lc");
  tree.Symlink("/dev/null", "ln");
  using Links = WalkRules::Links;
  using Order = WalkRules::Order;
  const struct {
    const char* label;
    WalkRules rules;
    Paths paths;
  } cases[] = {
      {"links to files, files first", {Links::kToFiles, Order::kFilesFirst, false},
       {"p/b.txt", "p/c.txt", "p/lc", "p/a/f.txt"}},
      {"links skipped, by name", {Links::kSkip, Order::kByName, true}, {"p/a/f.txt", "p/b.txt", "p/c.txt"}},
      {"links followed, by name", {Links::kFollow, Order::kByName, false},
       {"p/a/f.txt", "p/b.txt", "p/c.txt", "p/la/f.txt", "p/lc"}},
      {"links followed, special files", {Links::kFollow, Order::kFilesFirst, true},
       {"p/b.txt", "p/c.txt", "p/lc", "p/ln (special)", "p/a/f.txt", "p/la/f.txt"}},
  };
  for (const auto& c : cases) {
    const NameRule filter(c.rules);
    FileWalker walker;
    Recorder recorder;
    ErrorRecorder errors;
    EXPECT_TRUE(walker.WalkTree(tree.Path(""), "p/", filter, recorder, &errors)) << c.label;
    EXPECT_EQ(recorder.paths, c.paths) << c.label;
    EXPECT_EQ(errors.errors, Errors{}) << c.label;
  }
}

// 400 directories side by side, each entered from the one before through a
// link: a level let go is found again by following the links from the top,
// since a child's ".." leads elsewhere. The last links back to the first.
// Each z.txt comes after the link by name, so its level is found again
// after the walk below it.
TEST_F(FileWalkerTest, FollowedLinksAreReopenedThroughTheLinksAndLoopsAreReported) {
  constexpr int kLevels = 400;
  const auto name = [](int level) { return "d" + std::to_string(level); };
  for (int level = 0; level <= kLevels; ++level) tree.Directory(name(level));
  for (int level = 0; level <= kLevels; ++level) {
    if (level % 50 == 0) tree.Write(name(level) + "/z.txt", "");
    tree.Symlink(level < kLevels ? "../" + name(level + 1) : "../d0", name(level) + "/n");
  }
  tree.Symlink("nowhere", name(200) + "/dangling");
  const NameRule filter(WalkRules{WalkRules::Links::kFollow, WalkRules::Order::kByName, false});
  const std::size_t before = OpenDescriptors();
  FileWalker walker;
  Recorder recorder;
  ErrorRecorder errors;
  {
    const DescriptorLimit limit(64);
    EXPECT_TRUE(walker.WalkTree(tree.Path(name(0)), "t/", filter, recorder, &errors));
  }
  const auto at = [](int level) {
    std::string path = "t/";
    while (level-- > 0) path += "n/";
    return path;
  };
  Paths markers;
  for (int level = kLevels; level >= 0; level -= 50) markers.push_back(at(level) + "z.txt");
  EXPECT_EQ(recorder.paths, markers);
  EXPECT_EQ(errors.errors, (Errors{{at(200) + "dangling", ENOENT}}));
  EXPECT_EQ(errors.loops, Paths{at(kLevels) + "n"});
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST(WorkerWindowTest, ShrinksWhereDescriptorsAreShort) {
  struct Case {
    rlim_t limit;
    unsigned workers;
    std::size_t wanted;
    WorkerWindow chosen;
  };
  const Case cases[] = {
      {1024, 2, 64, {64, true}},    // 4 × (2 × 65 + held) fits
      {1024, 8, 64, {16, true}},    // 32 and 64 do not
      {1024, 32, 64, {16, false}},  // not even the least one
      {1024, 2, 4, {4, true}},
      {40, 2, 4, {4, false}},
  };
  rlimit hard{};
  ::getrlimit(RLIMIT_NOFILE, &hard);
  if (hard.rlim_max < 1024) GTEST_SKIP() << "the hard limit on descriptors is below 1024";
  for (const Case& c : cases) {
    const DescriptorLimit limit(c.limit);
    const WorkerWindow chosen = ChooseWorkerWindow(c.workers, c.wanted);
    EXPECT_EQ(chosen.filesPerWorker, c.chosen.filesPerWorker)
        << c.workers << " workers wanting " << c.wanted << " under " << c.limit;
    EXPECT_EQ(chosen.opensFiles, c.chosen.opensFiles)
        << c.workers << " workers wanting " << c.wanted << " under " << c.limit;
  }
}

}  // namespace
}  // namespace RegexComponent::engine
