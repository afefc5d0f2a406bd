// GrepFiles and FindFiles on the component: what reaches the events, the
// process-wide lock and CurrentPointer, nesting, exceptions and threads.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <vector>

#include <RegexComponent/RegularExpression.h>

#include "TempFileTree.h"

using namespace RegexComponent;
using RE = RegularExpressionCustom;
using RegexComponent::testing::TempFileTree;

namespace {

struct FileMatch {
  TObject* sender;
  std::string file;
  CPPStringArray parts;
  CPPUnsignedArray positions;
};

// Records file events; optional actions run inside the handlers.
struct Recorder {
  std::vector<FileMatch> matches;
  std::vector<std::string> files;
  int stopAfter = -1;
  std::function<void()> inside;

  void Grepping(TObject* sender, AnsiString file, const CPPStringArray& parts, CPPUnsignedArray positions,
                bool& bcontinue) {
    matches.push_back({sender, file.ToStdString(), parts, positions});
    if (inside) inside();
    if (stopAfter >= 0 && static_cast<int>(matches.size()) >= stopAfter) bcontinue = false;
  }
  std::vector<std::tuple<TObject*, std::string, int>> failures;
  void Failing(TObject* sender, AnsiString file, int error) { failures.emplace_back(sender, file.ToStdString(), error); }
  void Finding(TObject*, AnsiString file, bool& bcontinue) {
    files.push_back(file.ToStdString());
    if (stopAfter >= 0 && static_cast<int>(files.size()) >= stopAfter) bcontinue = false;
  }
};

class FileOperations : public ::testing::Test {
 protected:
  void SetUp() override {
    tree.Write("a.txt", "one abc\ntwo ABC\n");
    tree.Write("b.txt", "nothing here\n");
    tree.Write("sub/c.txt", "abc abc\n");
    tree.Write("sub/d.log", "abc\n");
    re.FilesToMatch = AnsiString(tree.Path("*.txt"));
    re.Expression = "a(b)c";
  }

  static bool LockIsFree() {
    bool free = false;
    std::thread probe([&] {
      free = RE::FileOperationLock->TryEnter();
      if (free) RE::FileOperationLock->Leave();
    });
    probe.join();
    return free;
  }

  TempFileTree tree;
  RegularExpression re{nullptr};
  Recorder recorder;
};

TEST_F(FileOperations, NothingStartsWithoutAnExpressionOrAFileSpecification) {
  re.OnGreppingFiles = Bind(&recorder, &Recorder::Grepping);
  re.Expression = "";
  EXPECT_EQ(re.GrepFiles(), 0u);
  EXPECT_EQ(re.FindFiles(), 0u);
  re.Expression = "abc";
  re.FilesToMatch = "";
  // An empty specification returns at once, even while another thread holds the lock.
  std::atomic<bool> held{false}, release{false};
  std::thread holder([&] {
    TCriticalSectionGuard lock(*RE::FileOperationLock);
    held = true;
    while (!release) std::this_thread::yield();
  });
  while (!held) std::this_thread::yield();
  EXPECT_EQ(re.GrepFiles(), 0u);
  EXPECT_EQ(re.FindFiles(), 0u);
  release = true;
  holder.join();
  EXPECT_TRUE(recorder.matches.empty());
}

TEST_F(FileOperations, ARejectedExpressionFiresNothingAndLeavesTheCompileErrorAlone) {
  re.Expression = "(";
  re.StringToMatch = "x";
  EXPECT_FALSE(re.Search());
  const std::string error = re.GetExpressionError();
  ASSERT_FALSE(error.empty());
  re.OnGreppingFiles = Bind(&recorder, &Recorder::Grepping);
  EXPECT_EQ(re.GrepFiles(), 0u);
  EXPECT_EQ(re.FindFiles(), 0u);
  EXPECT_TRUE(recorder.matches.empty());
  EXPECT_EQ(re.GetExpressionError(), error);
}

TEST_F(FileOperations, EventsCarryTheSenderFileAndEveryGroupWithPositions) {
  re.OnGreppingFiles = Bind(&recorder, &Recorder::Grepping);
  EXPECT_EQ(re.GrepFiles(), 1u);  // "ABC" differs in case; b.txt has none; sub/ is not searched
  ASSERT_EQ(recorder.matches.size(), 1u);
  const FileMatch& m = recorder.matches[0];
  EXPECT_EQ(m.sender, &re);
  EXPECT_EQ(m.file, tree.Path("a.txt"));
  EXPECT_EQ(m.parts, (CPPStringArray{"abc", "b"}));  // the whole match and group 1
  EXPECT_EQ(m.positions, (CPPUnsignedArray{4, 5}));
  EXPECT_EQ(RE::CurrentPointer, nullptr);
  EXPECT_TRUE(LockIsFree());
}

TEST_F(FileOperations, OnlyCaseInsensitiveOfTheSyntaxOptionsApplies) {
  re.ExpressionOptions = re.ExpressionOptions << RE::CaseInsensitive << RE::Literals;
  re.Expression = "a.c";
  EXPECT_EQ(re.GrepFiles(), 2u);  // abc and ABC: the dot is still an operator here
  re.StringToMatch = "abc";
  EXPECT_FALSE(re.Search());  // while the component's own search takes it literally
}

TEST_F(FileOperations, RecursionSwitchAndCountsWithoutHandlers) {
  EXPECT_EQ(re.GrepFiles(), 1u);
  EXPECT_EQ(re.FindFiles(), 1u);
  re.DirectoryRecursion = true;
  EXPECT_EQ(re.GrepFiles(), 3u);
  EXPECT_EQ(re.FindFiles(), 2u);
  re.OnFindFiles = Bind(&recorder, &Recorder::Finding);
  EXPECT_EQ(re.FindFiles(), 2u);
  EXPECT_EQ(recorder.files, (std::vector<std::string>{tree.Path("a.txt"), tree.Path("sub/c.txt")}));
}

// A link to itself cannot be opened whatever the permissions, also as root.
TEST_F(FileOperations, WhatTheWalkCannotOpenGoesToOnFileErrorAndTheCountsStand) {
  tree.Symlink("loop.txt", "loop.txt");
  EXPECT_EQ(re.GrepFiles(), 1u);  // without a handler it is skipped
  re.OnFileError = Bind(&recorder, &Recorder::Failing);
  re.OnGreppingFiles = Bind(&recorder, &Recorder::Grepping);
  EXPECT_EQ(re.GrepFiles(), 1u);
  EXPECT_EQ(re.FindFiles(), 1u);
  EXPECT_EQ(recorder.matches.size(), 1u);
  const std::tuple<TObject*, std::string, int> failure{&re, tree.Path("loop.txt"), ELOOP};
  EXPECT_EQ(recorder.failures, (std::vector{failure, failure}));
  EXPECT_EQ(RE::CurrentPointer, nullptr);
}

TEST_F(FileOperations, StoppingEndsTheWalkAfterTheCurrentEvent) {
  re.DirectoryRecursion = true;
  re.OnGreppingFiles = Bind(&recorder, &Recorder::Grepping);
  re.OnFindFiles = Bind(&recorder, &Recorder::Finding);
  recorder.stopAfter = 1;
  EXPECT_EQ(re.GrepFiles(), 1u);
  EXPECT_EQ(recorder.matches.size(), 1u);
  EXPECT_EQ(re.FindFiles(), 1u);
  EXPECT_EQ(recorder.files.size(), 1u);
}

TEST_F(FileOperations, AHandlerExceptionReachesTheCallerAndReleasesEverything) {
  re.OnGreppingFiles = Bind(&recorder, &Recorder::Grepping);
  recorder.inside = [] { throw std::runtime_error("handler failed"); };
  EXPECT_THROW(re.GrepFiles(), std::runtime_error);
  EXPECT_EQ(RE::CurrentPointer, nullptr);
  EXPECT_TRUE(LockIsFree());
  recorder.inside = nullptr;
  recorder.matches.clear();
  EXPECT_EQ(re.GrepFiles(), 1u);  // still usable
}

TEST_F(FileOperations, ANestedWalkHandsTheOuterWalkBackItsComponent) {
  RegularExpression inner(nullptr);
  Recorder innerRecorder;
  inner.Expression = "abc";
  inner.FilesToMatch = AnsiString(tree.Path("sub/*.log"));
  inner.OnGreppingFiles = Bind(&innerRecorder, &Recorder::Grepping);
  re.DirectoryRecursion = true;
  re.OnGreppingFiles = Bind(&recorder, &Recorder::Grepping);
  recorder.inside = [&] {
    EXPECT_EQ(RE::CurrentPointer, &re);
    inner.GrepFiles();
    EXPECT_EQ(RE::CurrentPointer, &re);
  };
  EXPECT_EQ(re.GrepFiles(), 3u);
  ASSERT_EQ(recorder.matches.size(), 3u);
  for (const FileMatch& m : recorder.matches) EXPECT_EQ(m.sender, &re);
  ASSERT_EQ(innerRecorder.matches.size(), 3u);
  for (const FileMatch& m : innerRecorder.matches) EXPECT_EQ(m.sender, &inner);
  EXPECT_EQ(RE::CurrentPointer, nullptr);
}

// The inner call rewrites FileSubexpressionLimit; the outer walk's events
// must still have the outer expression's number of groups.
TEST_F(FileOperations, ANestedWalkOnTheSameComponentKeepsEachWalksGroupCount) {
  tree.Write("abc.txt", "abc abc\nabc\n");
  re.FilesToMatch = AnsiString(tree.Path("abc.txt"));
  re.Expression = "(a)(b)(c)";
  re.OnGreppingFiles = Bind(&recorder, &Recorder::Grepping);
  std::vector<std::size_t> innerSizes;
  bool nested = false;
  recorder.inside = [&] {
    if (nested) {
      innerSizes.push_back(recorder.matches.back().parts.size());
      return;
    }
    nested = true;
    re.Expression = "a(b)c";
    re.GrepFiles();
    re.Expression = "(a)(b)(c)";
    nested = false;
  };
  EXPECT_EQ(re.GrepFiles(), 3u);
  EXPECT_EQ(innerSizes, (std::vector<std::size_t>(9, 2)));  // three nested runs of three
  // Outer events come before each nested run's: entries 0, 4 and 8.
  ASSERT_EQ(recorder.matches.size(), 12u);
  for (std::size_t i = 0; i < recorder.matches.size(); i += 4) {
    EXPECT_EQ(recorder.matches[i].parts, (CPPStringArray{"abc", "a", "b", "c"})) << i;
    EXPECT_EQ(recorder.matches[i].positions.size(), 4u) << i;
  }
}

TEST_F(FileOperations, FormatInsideAFileEventFormatsTheHeldMatch) {
  re.FormatString = "[$&]";
  std::string formatted = "stale";
  re.OnGreppingFiles = Bind(&recorder, &Recorder::Grepping);
  recorder.inside = [&] { re.Format(formatted); };
  re.GrepFiles();
  EXPECT_EQ(formatted, "");  // nothing held yet
  re.StringToMatch = "xabcx";
  ASSERT_TRUE(re.Search());
  re.GrepFiles();
  EXPECT_EQ(formatted, "[abc]");
}

TEST_F(FileOperations, ThreadsRunFileOperationsOneAtATimeWithTheRightSender) {
  for (int i = 0; i < 20; ++i) tree.Write("many/f" + std::to_string(i) + ".txt", "abc abc abc\n");
  constexpr int kThreads = 4;
  std::atomic<int> running{0};
  std::atomic<int> overlaps{0};
  std::atomic<int> wrongSender{0};
  struct Worker {
    RegularExpression re{nullptr};
    std::atomic<int>* running;
    std::atomic<int>* overlaps;
    std::atomic<int>* wrongSender;
    unsigned count = 0;
    void Grepping(TObject* sender, AnsiString, const CPPStringArray&, CPPUnsignedArray, bool&) {
      if (sender != &re) ++*wrongSender;
      if (running->fetch_add(1) != 0) ++*overlaps;
      std::this_thread::yield();
      running->fetch_sub(1);
    }
  };
  std::vector<std::unique_ptr<Worker>> workers;
  for (int i = 0; i < kThreads; ++i) {
    auto w = std::make_unique<Worker>();
    w->running = &running;
    w->overlaps = &overlaps;
    w->wrongSender = &wrongSender;
    w->re.Expression = "abc";
    w->re.FilesToMatch = AnsiString(tree.Path("many/*.txt"));
    w->re.OnGreppingFiles = Bind(w.get(), &Worker::Grepping);
    workers.push_back(std::move(w));
  }
  std::vector<std::thread> threads;
  for (auto& w : workers) threads.emplace_back([&w] { w->count = w->re.GrepFiles(); });
  for (auto& t : threads) t.join();
  for (auto& w : workers) EXPECT_EQ(w->count, 60u);
  EXPECT_EQ(overlaps, 0);
  EXPECT_EQ(wrongSender, 0);
  EXPECT_EQ(RE::CurrentPointer, nullptr);
}

}  // namespace
