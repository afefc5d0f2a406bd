// OrderedPipeline against the order the tasks were submitted in: tasks of
// many small and a few large outputs, pieces cut small, clients that stop
// or throw at a given task, and the bound on what is in flight. The suite's
// name holds "Thread" so that the ThreadSanitizer run picks it up.
#include "engine/pipeline/OrderedPipeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace RegexComponent::engine {
namespace {

// Task n writes "n.0 n.1 ... n.(size-1) " in pieces of about `pieceBytes`;
// the delivered text is what a sequential run writes, task after task.
class Writer {
 public:
  struct Task {
    int number = 0;
    int size = 0;
    bool throws = false;  // Run throws after half its output
    int delayMs = 0;      // Run sleeps this long first
    int produced = 0;     // set by Run, read by Finish
    bool helped = false;  // run by the calling thread as a worker
  };
  using Piece = std::string;
  struct Worker {
    explicit Worker(Writer&) {}
  };

  std::size_t pieceBytes = 64;
  int stopAtFinish = -1;  // Finish of this task stops the pipeline
  int stopAtDeliver = -1; // the first Deliver of this task stops it
  std::string delivered;
  int lastDelivered = -1;  // the task of the last piece delivered
  std::vector<int> finished;
  std::vector<int> ranHere;  // tasks run on the calling thread, in order
  std::vector<int> helped;   // tasks the calling thread ran as a worker, in order of delivery
  std::thread::id caller = std::this_thread::get_id();
  std::size_t largestPiece = 0;
  std::atomic<int> inFlight{0};
  std::atomic<int> mostInFlight{0};

  static bool Empty(const Piece& piece) { return piece.empty(); }
  static void Clear(Piece& piece) { piece.clear(); }

  static std::string Item(const Task& task, int i) {
    return std::to_string(task.number) + "." + std::to_string(i) + " ";
  }
  static std::string Expected(const std::vector<Task>& tasks) {
    std::string all;
    for (const Task& task : tasks)
      for (int i = 0; i < task.size; ++i) all += Item(task, i);
    return all;
  }

  template <class Outlet>
  void Run(Worker&, Task& task, Outlet& outlet) {
    // A task's size stands for its input.
    if (!outlet.MayHold(static_cast<std::uint64_t>(task.size))) {
      outlet.Decline();
      return;
    }
    task.helped = std::this_thread::get_id() == caller;
    Started();
    std::this_thread::sleep_for(std::chrono::milliseconds(task.delayMs));
    for (int i = 0; i < task.size; ++i) {
      if (task.throws && i == task.size / 2) throw std::runtime_error("task " + std::to_string(task.number));
      outlet.piece += Item(task, i);
      task.produced = i + 1;
      if (outlet.piece.size() >= pieceBytes && !outlet.HandOver()) return;
    }
  }
  // As Run, straight into `delivered`.
  bool RunHere(Task& task) {
    ranHere.push_back(task.number);
    Started();
    for (int i = 0; i < task.size; ++i) {
      if (task.throws && i == task.size / 2) throw std::runtime_error("task " + std::to_string(task.number));
      delivered += Item(task, i);
      if (task.number == stopAtDeliver) return false;
    }
    task.produced = task.size;
    return Finish(task);
  }
  bool Deliver(Task& task, Piece& piece) {
    largestPiece = std::max(largestPiece, piece.size());
    const bool first = task.number != lastDelivered;
    lastDelivered = task.number;
    delivered += piece;
    return !(first && task.number == stopAtDeliver);
  }
  bool Finish(Task& task) {
    if (task.helped) helped.push_back(task.number);
    if (!task.throws) {
      EXPECT_EQ(task.produced, task.size) << "task " << task.number;
    }
    --inFlight;
    finished.push_back(task.number);
    return task.number != stopAtFinish;
  }

 private:
  void Started() {
    const int now = ++inFlight;
    for (int most = mostInFlight; now > most && !mostInFlight.compare_exchange_weak(most, now);) {
    }
  }
};

std::vector<Writer::Task> MixedTasks(int count) {
  std::vector<Writer::Task> tasks;
  for (int n = 0; n < count; ++n) tasks.push_back({n, n % 17 == 5 ? 3000 : n % 3});
  return tasks;
}

// Submits every task (those for which `held` is true not shared) and
// drains; returns what Submit or Drain threw.
std::string RunAll(Writer& client, const std::vector<Writer::Task>& tasks, const OrderedPipelineLimits& limits,
                   bool (*held)(int number) = [](int) { return false; }) {
  try {
    OrderedPipeline<Writer> pipeline(client, limits);
    for (Writer::Task task : tasks) {
      const bool shared = !held(task.number);
      if (!pipeline.Submit(std::move(task), shared)) return "stopped";
    }
    return pipeline.Drain() ? "" : "stopped";
  } catch (const std::runtime_error& e) {
    return e.what();
  }
}

TEST(OrderedPipelineThreads, DeliversInSubmissionOrderWithAnyWorkersAndWindow) {
  const std::vector<Writer::Task> tasks = MixedTasks(300);
  for (const unsigned workers : {1u, 2u, 4u})
    for (const std::size_t perWorker : {1u, 4u, 16u})
      for (const std::size_t wake : {1u, 4u})
        for (const std::size_t claim : {1u, 3u, 8u}) {
          Writer client;
          // A batch whose later task hands over many pieces while its earlier
          // ones wait to be delivered is among these.
          EXPECT_EQ(RunAll(client, tasks, {workers, perWorker, wake, claim}), "");
          EXPECT_EQ(client.delivered, Writer::Expected(tasks))
              << workers << " workers, " << perWorker << " per worker, claims of " << claim;
          EXPECT_EQ(client.finished.size(), tasks.size());
          // A piece is cut once it reaches the size: one item over at most.
          EXPECT_LT(client.largestPiece, client.pieceBytes + 16);
          EXPECT_LE(static_cast<std::size_t>(client.mostInFlight.load()), workers * perWorker);
        }
}

// One worker takes a slow task without output and a large one together;
// the calling thread waits for the slow one, which ends while the large one
// fills more pieces than the worker may hold. The worker must wake the calling thread
// before it waits for room, or neither goes on.
TEST(OrderedPipelineThreads, ABatchHandingOverPiecesWakesTheCallingThreadForItsEarlierTasks) {
  const std::vector<Writer::Task> tasks = {{0, 0, false, 50}, {1, 3000}};
  Writer client;
  {
    OrderedPipeline<Writer> pipeline(client, {1, 2, 2, 2});
    for (Writer::Task task : tasks) ASSERT_TRUE(pipeline.Submit(std::move(task)));
    // Time for the worker to take both, so that the calling thread waits
    // rather than running the first itself.
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(pipeline.Drain());
  }
  EXPECT_EQ(client.delivered, Writer::Expected(tasks));
  EXPECT_TRUE(client.ranHere.empty());
}

// Tasks left to the calling thread among those for the workers: the order
// holds, and the calling thread runs every one of them itself.
TEST(OrderedPipelineThreads, HeldTasksRunOnTheCallingThreadInTheirTurn) {
  const std::vector<Writer::Task> tasks = MixedTasks(300);
  const auto everyThird = [](int number) { return number % 3 == 1; };
  for (const unsigned workers : {1u, 3u}) {
    Writer client;
    EXPECT_EQ(RunAll(client, tasks, {workers, 2, 1}, everyThird), "");
    EXPECT_EQ(client.delivered, Writer::Expected(tasks)) << workers << " workers";
    std::vector<int> held;
    for (const Writer::Task& task : tasks)
      if (everyThird(task.number)) held.push_back(task.number);
    std::vector<int> ranHere;
    for (const int number : client.ranHere)
      if (everyThird(number)) ranHere.push_back(number);
    EXPECT_EQ(ranHere, held);
  }
}

// The one worker is kept on a slow first task, so the calling thread,
// waiting for it, runs the later ones itself and holds their pieces until
// their turn; a task larger than it may hold is declined and run by the
// worker or in its turn, an exception waits for its task's turn, and a stop
// in a held task's pieces ends the delivery there.
TEST(OrderedPipelineThreads, TheCallingThreadRunsLaterTasksWhileItWaits) {
  std::vector<Writer::Task> tasks = {{0, 1, false, 50}};
  const int large = 3, throwing = 8;
  for (int n = 1; n < 12; ++n) tasks.push_back({n, n == large ? 900 : 40 + n});
  tasks[throwing].throws = true;
  OrderedPipelineLimits limits{1, 32, 1, 1};
  limits.helpInputBytes = 100;
  struct Case {
    const char* name;
    int stopAtDeliver;
    std::string thrown;
    std::size_t delivered;  // tasks whose output is whole
    std::size_t finished;   // tasks Finish was called for
  } const cases[] = {
      // The throwing task's Finish comes before its exception.
      {"to the exception", -1, "task 8", throwing, throwing + 1},
      {"stopped in a held task", 5, "stopped", 5, 5},
  };
  for (const Case& c : cases) {
    Writer client;
    client.stopAtDeliver = c.stopAtDeliver;
    std::string thrown;
    {
      OrderedPipeline<Writer> pipeline(client, limits);
      ASSERT_TRUE(pipeline.Submit(Writer::Task(tasks[0])));
      // Time for the worker to take the slow task before the rest is queued.
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      try {
        for (std::size_t n = 1; n < tasks.size(); ++n) ASSERT_TRUE(pipeline.Submit(Writer::Task(tasks[n])));
        thrown = pipeline.Drain() ? "" : "stopped";
      } catch (const std::runtime_error& e) {
        thrown = e.what();
      }
    }
    EXPECT_EQ(thrown, c.thrown) << c.name;
    const std::vector<Writer::Task> whole(tasks.begin(), tasks.begin() + c.delivered);
    std::string expected = Writer::Expected(whole);
    const Writer::Task& next = tasks[c.delivered];
    for (int i = 0; i < (c.stopAtDeliver < 0 ? next.size / 2 : 0); ++i) expected += Writer::Item(next, i);
    if (c.stopAtDeliver < 0) {
      EXPECT_EQ(client.delivered, expected) << c.name;
    } else {
      // Delivery stops after the first piece of the stopping task.
      ASSERT_GT(client.delivered.size(), expected.size()) << c.name;
      EXPECT_EQ(client.delivered.substr(0, expected.size()), expected) << c.name;
      EXPECT_LT(client.delivered.size(), expected.size() + client.pieceBytes + 16) << c.name;
    }
    EXPECT_LT(client.largestPiece, client.pieceBytes + 16) << c.name;
    // Every task finished but the slow one and the large one was the
    // calling thread's.
    std::vector<int> helped;
    for (std::size_t n = 1; n < c.finished; ++n)
      if (static_cast<int>(n) != large) helped.push_back(static_cast<int>(n));
    EXPECT_EQ(client.helped, helped) << c.name;
  }
}

TEST(OrderedPipelineThreads, StopsAtTheTaskThatSaysSoAndDeliversNothingAfter) {
  const std::vector<Writer::Task> tasks = MixedTasks(200);
  for (const int stop : {0, 5, 22, 199}) {
    Writer client;
    client.stopAtFinish = stop;
    EXPECT_EQ(RunAll(client, tasks, {3, 4, 1, 3}), "stopped");
    const std::vector<Writer::Task> before(tasks.begin(), tasks.begin() + stop + 1);
    EXPECT_EQ(client.delivered, Writer::Expected(before));
    ASSERT_FALSE(client.finished.empty());
    EXPECT_EQ(client.finished.back(), stop);
  }
}

TEST(OrderedPipelineThreads, StopInTheMiddleOfALargeTaskCancelsItsWorker) {
  const std::vector<Writer::Task> tasks = MixedTasks(60);
  Writer client;
  client.stopAtDeliver = 22;  // a task of 3000 items, many pieces
  EXPECT_EQ(RunAll(client, tasks, {2, 8, 1, 4}), "stopped");
  const std::vector<Writer::Task> before(tasks.begin(), tasks.begin() + 22);
  const std::string expected = Writer::Expected(before);
  ASSERT_GT(client.delivered.size(), expected.size());
  EXPECT_EQ(client.delivered.substr(0, expected.size()), expected);
  EXPECT_LT(client.delivered.size(), expected.size() + client.pieceBytes + 16);
}

TEST(OrderedPipelineThreads, AnExceptionComesInItsTaskTurnAfterItsOutput) {
  std::vector<Writer::Task> tasks = MixedTasks(120);
  tasks[40].size = 500;
  tasks[40].throws = true;
  tasks[90].throws = true;
  tasks[90].size = 2;
  for (const unsigned workers : {1u, 4u}) {
    Writer client;
    EXPECT_EQ(RunAll(client, tasks, {workers, 4, 1, 4}), "task 40");
    const std::vector<Writer::Task> before(tasks.begin(), tasks.begin() + 40);
    std::string expected = Writer::Expected(before);
    for (int i = 0; i < 250; ++i) expected += Writer::Item(tasks[40], i);
    EXPECT_EQ(client.delivered, expected);
  }
}

}  // namespace
}  // namespace RegexComponent::engine
