// The grep tool's walk with worker threads against the same walk on the
// calling thread alone: standard output and standard error, captured into
// one file so that their interleaving counts, and the exit status, over a
// tree of small files, a large one cut into many small pieces, binary data
// and a walk error, for the options whose state spans files. Built from the
// tool's sources so that the sanitizer runs, which do not build the tool,
// cover the threads; the suite's name holds "Thread" for the
// ThreadSanitizer run.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "DescriptorLimit.h"
#include "GrepJson.h"
#include "GrepOperands.h"
#include "GrepOptions.h"
#include "GrepOutput.h"
#include "GrepParallel.h"
#include "GrepSearch.h"
#include "GrepWriter.h"
#include "TempFileTree.h"
#include "engine/expression/FlagWords.h"
#include "engine/match/LineMatcher.h"

namespace RegexComponent::tool {
namespace {

using testing::TempFileTree;

struct Outcome {
  int status;
  std::string output;  // standard output and standard error as written
  bool operator==(const Outcome&) const = default;
  friend void PrintTo(const Outcome& o, std::ostream* os) { *os << "status " << o.status << ":\n" << o.output; }
};

// Runs `search` with descriptors 1 and 2 on one temporary file.
Outcome Captured(const std::function<int()>& search) {
  std::fflush(stdout);
  std::FILE* file = std::tmpfile();
  const int saved1 = ::dup(1), saved2 = ::dup(2);
  ::dup2(::fileno(file), 1);
  ::dup2(::fileno(file), 2);
  const int status = search();
  ::dup2(saved1, 1);
  ::dup2(saved2, 2);
  ::close(saved1);
  ::close(saved2);
  std::string output;
  std::rewind(file);
  for (int c; (c = std::fgetc(file)) != EOF;) output += static_cast<char>(c);
  std::fclose(file);
  return {status, output};
}

// What the tool's grep does after reading its options: 0 or 1 workers
// search on the calling thread.
int Search(const GrepSettings& s, const engine::LineMatcher& matcher, const GrepParallelLimits& limits) {
  GrepWriter out;
  return SearchFiles(s, matcher, nullptr, out, limits);
}

class GrepParallelThreads : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 80; ++i) {
      std::string body;
      for (int n = 0; n < i % 9; ++n) body += "line " + std::to_string(n) + ((n + i) % 4 == 0 ? " hit\n" : "\n");
      if (i % 3 == 0) body = "hit first\n" + body + "hit last";
      tree_.Write("d" + std::to_string(i % 5) + "/f" + std::to_string(100 + i) + ".txt", body);
    }
    std::string big;
    for (int n = 0; n < 5000; ++n) big += (n % 3 ? "hit " : "no ") + std::to_string(n) + "\n";
    tree_.Write("d2/big.txt", big);
    tree_.Write("d3/data.bin", "hit\n\0 hit\n" + std::string("more\n"));
    tree_.Symlink("nowhere", "a-dangling");
    tree_.Symlink("nowhere", "d4/dangling");
    settings_.files = {tree_.Root().string()};
    settings_.directories = Directories::Recurse;
    settings_.dereferenceRecursive = true;
  }

  // The run on the calling thread alone, and with workers holding small
  // pieces and taking every file, the calling thread helping with files of
  // up to 100 bytes or with none, as well as the usual ones (where "hit",
  // a literal, leaves the small files to the calling thread).
  void ExpectSameWithWorkers(const std::string& what) {
    const engine::LineMatcher matcher({"hit"}, engine::syntax::Extended, engine::LineFit::Anywhere);
    const Outcome alone = Captured([&] { return Search(settings_, matcher, {0, 1, 1}); });
    EXPECT_FALSE(alone.output.empty()) << what;
    for (const GrepParallelLimits limits :
         {GrepParallelLimits{3, 1, 64, 0, 1, 100}, GrepParallelLimits{2, 4, 1 << 20, 256, 3, 0}, GrepParallelLimits{}}) {
      const Outcome threads = Captured([&] { return Search(settings_, matcher, limits); });
      EXPECT_EQ(threads, alone) << what << " with " << limits.workers << " workers";
    }
  }

  // The files of directory d1 of the tree named in `names`, handed to the
  // walk's handler one after another as the walk hands them over: searched
  // on the calling thread alone (`limits` null) or with workers, with only
  // `spare` descriptors left free (0: as many as there are).
  Outcome SearchInD1(const std::vector<std::string>& names, const GrepParallelLimits* limits,
                     std::size_t spare = 0) {
    const engine::LineMatcher matcher({"hit"}, engine::syntax::Extended, engine::LineFit::Anywhere);
    const engine::SharedFd dir(::open((tree_.Root() / "d1").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    EXPECT_TRUE(dir);
    return Captured([&] {
      GrepWriter out;
      GrepPrinter sink(settings_, matcher, out, nullptr);
      std::optional<GrepSequential> alone;
      std::optional<GrepParallel> threads;
      GrepFileHandler* files;
      if (limits) {
        files = &threads.emplace(settings_, matcher, nullptr, sink, out, *limits);
      } else {
        files = &alone.emplace(settings_, matcher, sink, out);
      }
      std::optional<testing::DescriptorsHeld> held;
      if (spare != 0) {
        EXPECT_TRUE(held.emplace(spare).Lowered());
      }
      for (const std::string& name : names)
        if (!files->Search(GrepFileRef{dir, name, false, "d1/" + name, true})) break;
      const int status = limits ? threads->Finish() : alone->Status();
      held.reset();
      out.Flush();
      return status;
    });
  }

  TempFileTree tree_;
  GrepSettings settings_;
};

TEST_F(GrepParallelThreads, LinesAndContextAcrossFiles) {
  ExpectSameWithWorkers("lines");
  settings_.lineNumber = true;
  settings_.before = settings_.after = 1;
  ExpectSameWithWorkers("-n -C1");
  settings_.maxCount = 1;
  settings_.after = 2;
  ExpectSameWithWorkers("-n -m1 -B1 -A2");
  settings_.maxCount = -1;
  settings_.onlyMatching = settings_.byteOffset = true;
  ExpectSameWithWorkers("-o -b -C1");
}

TEST_F(GrepParallelThreads, CountsNamesAndQuiet) {
  settings_.count = true;
  ExpectSameWithWorkers("-c");
  settings_.count = false;
  settings_.listFiles = ListFiles::Matching;
  ExpectSameWithWorkers("-l");
  settings_.listFiles = ListFiles::NonMatching;
  ExpectSameWithWorkers("-L");
  settings_.listFiles = ListFiles::None;
  settings_.quiet = true;
  // The first error is reported, the one after the first match is not.
  ExpectSameWithWorkers("-q");
}

TEST_F(GrepParallelThreads, JsonSummaryCountsEveryFile) {
  settings_.json = true;
  ExpectSameWithWorkers("--json");
  settings_.invert = true;
  ExpectSameWithWorkers("--json -v");
}

// Files that are gone when a worker comes to open them are reported in
// their turn among the others, as the walk on the calling thread reports
// them.
TEST_F(GrepParallelThreads, AFileGoneBeforeItIsOpenedIsReportedInItsTurn) {
  std::vector<std::string> names;
  for (int i = 1; i < 80; i += 5) {
    names.push_back("f" + std::to_string(100 + i) + ".txt");
    if (i % 2 == 0) names.push_back("gone" + std::to_string(i));
  }
  const Outcome alone = SearchInD1(names, nullptr);
  ASSERT_NE(alone.output.find("regexp: d1/gone6: No such file or directory"), std::string::npos) << alone.output;
  for (const std::size_t claim : {1u, 4u}) {
    const GrepParallelLimits limits{2, 4, 1 << 20, 0, claim};
    EXPECT_EQ(SearchInD1(names, &limits), alone) << "claims of " << claim;
  }
}

// With one descriptor to spare, workers opening files at once run short;
// the files they could not open are opened again on the calling thread in
// their turn, and nothing changes.
TEST_F(GrepParallelThreads, RunningOutOfDescriptorsChangesNothing) {
  std::vector<std::string> names;
  for (int round = 0; round < 10; ++round)
    for (int i = 1; i < 80; i += 5) names.push_back("f" + std::to_string(100 + i) + ".txt");
  const GrepParallelLimits limits{3, 8, 1 << 20, 0, 4};
  const Outcome unlimited = SearchInD1(names, nullptr);
  ASSERT_EQ(unlimited.output.find("regexp:"), std::string::npos) << unlimited.output;
  ASSERT_EQ(SearchInD1(names, &limits), unlimited);
  EXPECT_EQ(SearchInD1(names, nullptr, 1), unlimited);
  EXPECT_EQ(SearchInD1(names, &limits, 1), unlimited);
}

TEST_F(GrepParallelThreads, ClosedOutputEndsTheSearch) {
  ::signal(SIGPIPE, SIG_IGN);
  settings_.noMessages = true;
  const engine::LineMatcher matcher({"hit"}, engine::syntax::Extended, engine::LineFit::Anywhere);
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ::close(ends[0]);
  std::fflush(stdout);
  const int saved = ::dup(1);
  ::dup2(ends[1], 1);
  ::close(ends[1]);
  bool closed = false;
  try {
    Search(settings_, matcher, {3, 1, 64});
  } catch (const OutputClosed&) {
    closed = true;
  }
  ::dup2(saved, 1);
  ::close(saved);
  EXPECT_TRUE(closed);
}

}  // namespace
}  // namespace RegexComponent::tool
