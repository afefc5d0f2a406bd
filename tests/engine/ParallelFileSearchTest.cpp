// Parallel searches against the one-worker search, which is FileSearch on
// the calling thread: generated trees, expressions and flag words, sinks
// that stop or throw at the k-th match, a file on which the matcher throws,
// small chunks and small pieces. The suite's name holds "Thread" so that
// the ThreadSanitizer run picks it up.
#include "engine/pipeline/ParallelFileSearch.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "DescriptorLimit.h"
#include "TempFileTree.h"
#include "Volume.h"
#include "engine/expression/FlagWords.h"
#include "engine/expression/MatchFlags.h"

namespace RegexComponent::engine {
namespace {

using testing::TempFileTree;

// Every match delivered, as one line each: path, then each slot's offset,
// length and text; what ended the search comes last.
struct Outcome {
  std::vector<std::string> events;
  std::uint64_t count = 0;
  std::string thrown;  // what() of the exception that ended the search
  bool operator==(const Outcome&) const = default;
};

class RecordingSink final : public FileMatchSink, public WalkErrorSink {
 public:
  std::size_t stopAt = SIZE_MAX;   // returns false at this event (0-based)
  std::size_t throwAt = SIZE_MAX;  // throws at this event
  std::vector<std::string> events;

  bool OnFileMatch(const char* path, const MatchView& match) override {
    std::string line = path;
    for (std::size_t i = 0; i < match.Size(); ++i) {
      if (!match.Matched(i)) {
        line += " -";
        continue;
      }
      line += " " + std::to_string(match.Position(i)) + ":" + std::string(match.Str(i));
    }
    events.push_back(line);
    if (events.size() - 1 == throwAt) throw std::runtime_error("sink threw at " + line);
    return events.size() - 1 != stopAt;
  }
  void OnWalkError(const char* path, int error) override {
    events.push_back(std::string(path) + " error " + std::to_string(error));
  }
};

struct Case {
  const char* expression;
  std::uint32_t word;
  bool find;
  std::size_t stopAt;
  std::size_t throwAt;
};

Outcome SearchWith(ParallelFileSearch& search, const boost::regex& re, const FileSpec& spec, const Case& c, bool sink) {
  RecordingSink recorder;
  recorder.stopAt = c.stopAt;
  recorder.throwAt = c.throwAt;
  Outcome outcome;
  const auto flags = ToBoostMatchFlags(c.word);
  try {
    FileMatchSink* s = sink ? &recorder : nullptr;
    outcome.count = c.find ? search.Find(re, spec, true, flags, s, &recorder)
                           : search.Grep(re, spec, true, flags, s, &recorder);
  } catch (const std::exception& e) {
    outcome.thrown = e.what();
  }
  outcome.events = recorder.events;
  return outcome;
}

// A few directories deep, files of many sizes: mostly short, some over
// many chunks, some with lines longer than a chunk, a few empty; and links
// to themselves, which the walk reports as errors.
void MakeTree(const TempFileTree& tree, std::mt19937& random) {
  static const char kAlphabet[] = "aab b\n\nxy";
  const char* const dirs[] = {"", "d1/", "d1/e/", "d2/", "d2/f/g/"};
  for (const char* dir : dirs) {
    const int files = 2 + static_cast<int>(random() % 6);
    for (int f = 0; f < files; ++f) {
      const std::size_t sizes[] = {0, random() % 50, random() % 400, random() % 4000, 2000 + random() % 10000};
      std::string text(sizes[random() % std::size(sizes)], ' ');
      for (char& ch : text) ch = kAlphabet[random() % (sizeof kAlphabet - 1)];
      tree.Write(std::string(dir) + "f" + std::to_string(f) + ".txt", text);
    }
    if (random() % 2) tree.Symlink("f1x.txt", std::string(dir) + "f1x.txt");
  }
}

const char* const kExpressions[] = {
    "a+", "^a", "b$", "\\bab", "(a)(b)?", "(?<=(a))b", "a*", "^$", "x|y", "a\\nb", "(a|\\n)+",
    "[^x]*y", "x.{0,20}y", "[ay]\\Z", "(b)|(x)(y)?", "\\n\\n", "zzz",
};

const std::uint32_t kWords[] = {0, match::Shortest, match::NotNullString, match::NotBeginningOfLine,
                                match::Continuous};

ParallelSearchLimits SmallLimits(std::mt19937& random) {
  ParallelSearchLimits limits;
  const std::size_t chunks[] = {32, 100, 512, 4096};
  limits.chunkSize = chunks[random() % std::size(chunks)];
  limits.lineLimit = 1 << 14;
  limits.findWindow = 1 + random() % 600;
  limits.filesPerWorker = 1 + random() % 3;
  const std::size_t pieces[] = {1, 100, 2000, std::size_t{1} << 20};
  limits.pieceBytes = pieces[random() % std::size(pieces)];
  const std::size_t shared[] = {0, 64, std::size_t{1} << 16};
  limits.sharedFrom = shared[random() % std::size(shared)];
  limits.claimBatch = 1 + random() % 4;
  const std::uint64_t helped[] = {0, 1000, std::uint64_t{1} << 16};
  limits.helpInputBytes = helped[random() % std::size(helped)];
  return limits;
}

// A case of `expression` that stops or throws, or neither, at one of the
// `sequentialEvents` events of an uninterrupted run, or just after them.
Case RandomCase(std::mt19937& random, const char* expression, bool find, std::size_t sequentialEvents) {
  Case c{expression, kWords[random() % std::size(kWords)], find, SIZE_MAX, SIZE_MAX};
  const std::size_t k = random() % (sequentialEvents + 1);
  switch (random() % 4) {
    case 0: c.stopAt = k; break;
    case 1: c.throwAt = k; break;
    default: break;
  }
  return c;
}

// Runs each case sequentially and with 2 to 4 workers; events, count and
// what was thrown must agree, with a sink and without one.
TEST(ParallelSearchThreads, AgreesWithTheSequentialSearchOnGeneratedTrees) {
  std::mt19937 random(20240613);
  const int trees = testing::Volume(3, 8), rounds = testing::Volume(20, 40);
  for (int tree_round = 0; tree_round < trees; ++tree_round) {
    TempFileTree tree;
    MakeTree(tree, random);
    const FileSpec spec = ParseFileSpec(tree.Path("*.txt"));
    for (int round = 0; round < rounds; ++round) {
      const ParallelSearchLimits limits = SmallLimits(random);
      ParallelFileSearch sequential(1, limits);
      ParallelFileSearch parallel(2 + static_cast<unsigned>(random() % 3), limits);
      const char* expression = kExpressions[random() % std::size(kExpressions)];
      const bool find = random() % 4 == 0;
      const boost::regex re(expression);
      const Case whole{expression, 0, find, SIZE_MAX, SIZE_MAX};
      const Case c = RandomCase(random, expression, find, SearchWith(sequential, re, spec, whole, true).events.size());
      const Outcome expected = SearchWith(sequential, re, spec, c, true);
      const Outcome got = SearchWith(parallel, re, spec, c, true);
      ASSERT_EQ(got, expected) << c.expression << " word " << c.word << " find " << c.find << " stop " << c.stopAt
                               << " throw " << c.throwAt << " chunk " << limits.chunkSize << " piece "
                               << limits.pieceBytes << " workers " << parallel.Workers();
      const Case counting{c.expression, c.word, c.find, SIZE_MAX, SIZE_MAX};
      EXPECT_EQ(SearchWith(parallel, re, spec, counting, false), SearchWith(sequential, re, spec, counting, false));
    }
  }
}

// The matcher gives up on one file: the matches of the files before it and
// its own earlier ones are delivered, then its exception, and nothing after.
TEST(ParallelSearchThreads, TheMatchersExceptionComesAtItsFilesTurn) {
  TempFileTree tree;
  for (int i = 0; i < 30; ++i) tree.Write("f" + std::to_string(100 + i) + ".txt", std::string(300, 'a') + "\n");
  tree.Write("f115.txt", "a a a\n" + std::string(40, 'x') + "\n");
  const FileSpec spec = ParseFileSpec(tree.Path("*.txt"));
  const boost::regex re("a|(x+x+)+y");
  const Case c{"", 0, false, SIZE_MAX, SIZE_MAX};
  ParallelSearchLimits limits;
  limits.pieceBytes = 64;
  ParallelFileSearch sequential(1, limits);
  const Outcome expected = SearchWith(sequential, re, spec, c, true);
  ASSERT_FALSE(expected.thrown.empty());
  ASSERT_EQ(expected.events.size(), 15u * 300 + 3);
  for (unsigned workers : {2u, 3u, 8u}) {
    ParallelFileSearch parallel(workers, limits);
    EXPECT_EQ(SearchWith(parallel, re, spec, c, true), expected) << workers;
    EXPECT_EQ(SearchWith(parallel, re, spec, c, false).thrown, expected.thrown) << workers;
  }
}

// A sink that stops, and one that runs a search of its own, on a large
// file whose matches are handed over in many pieces.
TEST(ParallelSearchThreads, LargeFilesAreDeliveredInPiecesAndStopAnywhere) {
  TempFileTree tree;
  std::string big;
  for (int i = 0; i < 20000; ++i) big += "ab" + std::to_string(i) + "\n";
  tree.Write("a.txt", "ab\n");
  tree.Write("b.txt", big);
  tree.Write("c.txt", big);
  const FileSpec spec = ParseFileSpec(tree.Path("*.txt"));
  const boost::regex re("ab([0-9]*)");
  ParallelSearchLimits limits;
  limits.chunkSize = 4096;
  limits.pieceBytes = 1000;
  ParallelFileSearch sequential(1, limits);
  ParallelFileSearch parallel(3, limits);
  for (std::size_t stop : {std::size_t{0}, std::size_t{1}, std::size_t{777}, std::size_t{20001}, SIZE_MAX}) {
    const Case c{"", 0, false, stop, SIZE_MAX};
    const Outcome expected = SearchWith(sequential, re, spec, c, true);
    EXPECT_EQ(expected.count, stop == SIZE_MAX ? 40001u : stop + 1);
    EXPECT_EQ(SearchWith(parallel, re, spec, c, true), expected) << stop;
  }
}

int OpenDescriptors() {
  int n = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) n += entry.is_symlink() ? 1 : 0;
  return n;
}

// Each file in flight holds a descriptor; their number never passes the
// window, however slow the sink.
TEST(ParallelSearchThreads, FilesInFlightStayWithinTheWindow) {
  TempFileTree tree;
  for (int i = 0; i < 60; ++i) tree.Write("f" + std::to_string(100 + i) + ".txt", "m\nm\n");
  const FileSpec spec = ParseFileSpec(tree.Path("*.txt"));
  ParallelSearchLimits limits;
  limits.filesPerWorker = 2;
  ParallelFileSearch parallel(3, limits);
  struct Watch final : FileMatchSink {
    int base = OpenDescriptors();
    int most = 0;
    bool OnFileMatch(const char*, const MatchView&) override {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
      most = std::max(most, OpenDescriptors() - base);
      return true;
    }
  } watch;
  EXPECT_EQ(parallel.Grep(boost::regex("m"), spec, false, {}, &watch), 120u);
  // the window, the walk's directory and file, and the listing of /proc/self/fd
  EXPECT_LE(watch.most, 6 + 3);
}

// With descriptors nearly used up, the walk cannot open the next file while
// the files in flight hold theirs; those are then delivered and closed, and
// the open tried again.
TEST(ParallelSearchThreads, RunningOutOfDescriptorsChangesNothing) {
  TempFileTree tree;
  for (int i = 0; i < 12; ++i) tree.Write("d/f" + std::to_string(i) + ".txt", "one two\nthree " + std::to_string(i));
  const FileSpec spec = ParseFileSpec(tree.Path("*.txt"));
  const boost::regex re("[a-z]+ ([0-9]+)?");
  const Case c{"", 0, false, SIZE_MAX, SIZE_MAX};
  ParallelFileSearch sequential(1);
  ParallelFileSearch parallel(3);
  const Outcome expected = SearchWith(sequential, re, spec, c, true);
  ASSERT_EQ(expected.count, 24u);

  // Leave free exactly the descriptors the walk itself holds: two levels
  // of directories and the file it has open.
  testing::DescriptorsHeld held(3);
  ASSERT_TRUE(held.Lowered());
  const Outcome got = SearchWith(parallel, re, spec, c, true);
  const int extra = ::open("/dev/null", O_RDONLY);
  held.Release();
  EXPECT_EQ(got, expected);
  EXPECT_GE(extra, 0) << "a descriptor was left open";
  if (extra >= 0) ::close(extra);
}

// Where descriptors abound when the search starts, workers open the files;
// a sink that takes all but one of them at its first match, and then waits
// a moment, makes the workers run short. The files they could not open are opened on the
// calling thread in their turn, and nothing changes.
TEST(ParallelSearchThreads, RunningShortWhileWorkersOpenChangesNothing) {
  TempFileTree tree;
  // Long enough for the workers to hold their files open at the same time.
  const std::string filler(1 << 16, 'X');
  for (int i = 0; i < 60; ++i)
    tree.Write("f" + std::to_string(100 + i) + ".txt", "one two\n" + filler + "\nthree " + std::to_string(i));
  const FileSpec spec = ParseFileSpec(tree.Path("*.txt"));
  const boost::regex re("[a-z]+ ([0-9]+)?");
  class HoldingSink final : public FileMatchSink {
   public:
    std::vector<std::string> events;
    std::optional<testing::DescriptorsHeld> held;
    bool OnFileMatch(const char* path, const MatchView& match) override {
      if (!held) {
        held.emplace(1);
        // The workers go on meanwhile, two of them at once on the one
        // descriptor left.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      events.push_back(std::string(path) + " " + std::string(match.Str(0)));
      return true;
    }
  };
  const auto run = [&](ParallelFileSearch& search) {
    HoldingSink sink;
    search.Grep(re, spec, false, ToBoostMatchFlags(0), &sink, nullptr);
    EXPECT_TRUE(sink.held && sink.held->Lowered());
    return sink.events;
  };
  ParallelFileSearch sequential(1);
  const std::vector<std::string> expected = run(sequential);
  ASSERT_EQ(expected.size(), 120u);
  ParallelSearchLimits limits;
  limits.claimBatch = 2;
  ParallelFileSearch parallel(3, limits);
  EXPECT_EQ(run(parallel), expected);
}

}  // namespace
}  // namespace RegexComponent::engine
