// GrepFiles and FindFiles with RegularExpressionCustom::FileSearchWorkers
// above 1 against the default: the same events in the same order on the
// calling thread (walk errors among them), the same counts, stops,
// exceptions, nesting and one walk at a time across threads. The suite's
// name holds "Thread" so that the ThreadSanitizer run picks it up.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <RegexComponent/RegularExpression.h>

#include "TempFileTree.h"

using namespace RegexComponent;
using RE = RegularExpressionCustom;
using RegexComponent::testing::TempFileTree;

namespace {

// Every event as one line, with what the handler could see of its setting.
struct Recorder {
  RE* component = nullptr;
  std::thread::id caller;
  std::vector<std::string> events;
  std::size_t stopAt = SIZE_MAX;
  std::size_t throwAt = SIZE_MAX;

  void Note(TObject* sender, const std::string& line, bool& bcontinue) {
    const bool setting = sender == component && RE::CurrentPointer == component &&
                         std::this_thread::get_id() == caller;
    events.push_back((setting ? "" : "WRONG SETTING ") + line);
    if (events.size() - 1 == throwAt) throw std::runtime_error("handler threw at " + line);
    if (events.size() - 1 == stopAt) bcontinue = false;
  }
  void Grepping(TObject* sender, AnsiString file, const CPPStringArray& parts, CPPUnsignedArray positions,
                bool& bcontinue) {
    std::string line = file.ToStdString();
    for (std::size_t i = 0; i < parts.size(); ++i) line += " " + std::to_string(positions[i]) + ":" + parts[i];
    Note(sender, line, bcontinue);
  }
  void Finding(TObject* sender, AnsiString file, bool& bcontinue) { Note(sender, file.ToStdString(), bcontinue); }
  void FileError(TObject* sender, AnsiString file, int error) {
    bool ignored = true;
    Note(sender, file.ToStdString() + " error " + std::to_string(error), ignored);
  }
};

struct Outcome {
  std::vector<std::string> events;
  std::uint32_t count = 0;
  std::string thrown;
  bool operator==(const Outcome&) const = default;
};

class FileSearchWorkerThreads : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 40; ++i) {
      std::string text;
      for (int line = 0; line < i * 7; ++line) text += "k" + std::to_string(line) + "=v" + std::to_string(i) + "\n";
      tree.Write("d" + std::to_string(i % 3) + "/f" + std::to_string(i) + ".txt", text);
    }
    // links to themselves, which the walk reports through OnFileError
    tree.Symlink("f1x.txt", "d1/f1x.txt");
    tree.Symlink("f5x.txt", "d2/f5x.txt");
    re.FilesToMatch = AnsiString(tree.Path("*.txt"));
    re.DirectoryRecursion = true;
  }
  void TearDown() override { RE::FileSearchWorkers = 1; }

  Outcome Walk(unsigned workers, bool find, std::size_t stopAt, std::size_t throwAt) {
    RE::FileSearchWorkers = workers;
    Recorder recorder{&re, std::this_thread::get_id(), {}, stopAt, throwAt};
    re.OnGreppingFiles = Bind(&recorder, &Recorder::Grepping);
    re.OnFindFiles = Bind(&recorder, &Recorder::Finding);
    re.OnFileError = Bind(&recorder, &Recorder::FileError);
    Outcome outcome;
    try {
      outcome.count = find ? re.FindFiles() : re.GrepFiles();
    } catch (const std::runtime_error& e) {
      outcome.thrown = e.what();
    }
    outcome.events = recorder.events;
    re.OnGreppingFiles = nullptr;
    re.OnFindFiles = nullptr;
    re.OnFileError = nullptr;
    EXPECT_EQ(RE::CurrentPointer, nullptr);
    return outcome;
  }

  TempFileTree tree;
  RegularExpression re{nullptr};
};

TEST_F(FileSearchWorkerThreads, OneWorkerIsTheDefault) { EXPECT_EQ(RE::FileSearchWorkers, 1u); }

// Stops and throws at events spread over the walk, grep and find.
TEST_F(FileSearchWorkerThreads, EventsCountsStopsAndThrowsMatchTheSequentialWalk) {
  re.Expression = "k([0-9]*)3=(v)";
  for (const bool find : {false, true}) {
    const Outcome all = Walk(1, find, SIZE_MAX, SIZE_MAX);
    ASSERT_GT(all.events.size(), 20u);
    EXPECT_EQ(std::count_if(all.events.begin(), all.events.end(),
                            [](const std::string& e) { return e.find(" error ") != std::string::npos; }),
              2);
    for (std::size_t k = 0; k < all.events.size(); k += 1 + all.events.size() / 7) {
      for (const unsigned workers : {0u, 2u, 5u}) {
        EXPECT_EQ(Walk(workers, find, k, SIZE_MAX), Walk(1, find, k, SIZE_MAX)) << k << " " << workers;
        EXPECT_EQ(Walk(workers, find, SIZE_MAX, k), Walk(1, find, SIZE_MAX, k)) << k << " " << workers;
      }
    }
    EXPECT_EQ(Walk(3, find, SIZE_MAX, SIZE_MAX), all);
  }
  const std::uint32_t count = Walk(1, false, SIZE_MAX, SIZE_MAX).count;
  re.OnGreppingFiles = nullptr;
  re.OnFindFiles = nullptr;
  RE::FileSearchWorkers = 3;
  EXPECT_EQ(re.GrepFiles(), count);
}

TEST_F(FileSearchWorkerThreads, TheMatchersExceptionComesAfterTheEventsBeforeIt) {
  tree.Write("d1/f25.txt", "k1=a\n" + std::string(40, 'x') + "\n");
  re.Expression = "=|(x+x+)+y";
  const Outcome sequential = Walk(1, false, SIZE_MAX, SIZE_MAX);
  ASSERT_FALSE(sequential.thrown.empty());
  EXPECT_EQ(Walk(0, false, SIZE_MAX, SIZE_MAX), sequential);
  EXPECT_EQ(Walk(4, false, SIZE_MAX, SIZE_MAX), sequential);
}

// A handler runs a walk with workers on another component; the outer walk
// goes on with its own component afterwards.
TEST_F(FileSearchWorkerThreads, AHandlerMayRunAnotherWalkWithWorkers) {
  re.Expression = "k0=";
  RegularExpression inner(nullptr);
  inner.Expression = "k1=";
  inner.FilesToMatch = re.FilesToMatch;
  inner.DirectoryRecursion = true;
  std::vector<std::uint32_t> innerCounts;
  Recorder recorder{&re, std::this_thread::get_id(), {}, SIZE_MAX, SIZE_MAX};
  struct Nested {
    RegularExpression* inner;
    Recorder* outer;
    std::vector<std::uint32_t>* counts;
    void Grepping(TObject* sender, AnsiString file, const CPPStringArray& parts, CPPUnsignedArray positions,
                  bool& bcontinue) {
      outer->Grepping(sender, file, parts, positions, bcontinue);
      counts->push_back(inner->GrepFiles());
    }
  } nested{&inner, &recorder, &innerCounts};
  RE::FileSearchWorkers = 3;
  re.OnGreppingFiles = Bind(&nested, &Nested::Grepping);
  EXPECT_EQ(re.GrepFiles(), 39u);
  EXPECT_EQ(recorder.events.size(), 39u);
  for (const std::string& event : recorder.events) EXPECT_EQ(event.rfind("WRONG", 0), std::string::npos) << event;
  EXPECT_EQ(innerCounts, std::vector<std::uint32_t>(39, 39u));
  EXPECT_EQ(RE::CurrentPointer, nullptr);
}

TEST_F(FileSearchWorkerThreads, WalksOnDifferentThreadsStillRunOneAtATime) {
  constexpr int kThreads = 4;
  std::atomic<int> running{0}, overlaps{0}, wrong{0};
  struct Worker {
    RegularExpression re{nullptr};
    std::atomic<int>* running;
    std::atomic<int>* overlaps;
    std::atomic<int>* wrong;
    std::uint32_t count = 0;
    void Grepping(TObject* sender, AnsiString, const CPPStringArray&, CPPUnsignedArray, bool&) {
      if (sender != &re || RE::CurrentPointer != &re) ++*wrong;
      if (running->fetch_add(1) != 0) ++*overlaps;
      std::this_thread::yield();
      running->fetch_sub(1);
    }
  };
  RE::FileSearchWorkers = 3;
  std::vector<std::unique_ptr<Worker>> workers;
  for (int i = 0; i < kThreads; ++i) {
    auto w = std::make_unique<Worker>();
    w->running = &running;
    w->overlaps = &overlaps;
    w->wrong = &wrong;
    w->re.Expression = "k2=";
    w->re.FilesToMatch = re.FilesToMatch;
    w->re.DirectoryRecursion = true;
    w->re.OnGreppingFiles = Bind(w.get(), &Worker::Grepping);
    workers.push_back(std::move(w));
  }
  std::vector<std::thread> threads;
  for (auto& w : workers) threads.emplace_back([&w] { w->count = w->re.GrepFiles(); });
  for (auto& t : threads) t.join();
  for (auto& w : workers) EXPECT_EQ(w->count, 39u);
  EXPECT_EQ(overlaps, 0);
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(RE::CurrentPointer, nullptr);
}

}  // namespace
