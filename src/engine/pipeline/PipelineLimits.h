// OrderedPipelineLimits: how many workers an OrderedPipeline runs, how many
// tasks it lets be in flight, how it batches the waking and claiming of
// queued tasks, and how large a task the calling thread runs while it
// waits; with the defaults the pipeline's clients start from.
//
// External interface: OrderedPipelineLimits, kDefaultPieceBytes,
// kDefaultHelpInputBytes.
//
// Contract: workers is at least 1; a tasksPerWorker or claimBatch of 0
// counts as 1. The window of tasks in flight is tasksPerWorker * workers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace RegexComponent::engine {

// What a client's run holds of its output before it hands it over, by
// default: what a window of tasks may hold stays a few tens of MiB.
inline constexpr std::size_t kDefaultPieceBytes = std::size_t{256} << 10;
// The largest input the calling thread takes on while it waits for a
// worker, by default: what it holds for the task's turn stays small.
inline constexpr std::uint64_t kDefaultHelpInputBytes = std::uint64_t{64} << 10;

struct OrderedPipelineLimits {
  unsigned workers = 1;              // threads besides the calling one
  std::size_t tasksPerWorker = 4;    // tasks in flight per worker
  // Tasks queued before a waiting worker is woken: waking one costs two
  // context switches, more than a small task done on the calling thread.
  std::size_t wakeBatch = 4;
  // Queued tasks a worker takes at once and runs one after another before
  // it wakes a calling thread waiting for them: a wake per task would cost
  // more system calls than small tasks do.
  std::size_t claimBatch = 1;
  // Input of a task the calling thread runs while it waits, whose output it
  // holds until the task's turn; 0 when it only waits.
  std::uint64_t helpInputBytes = kDefaultHelpInputBytes;
};

}  // namespace RegexComponent::engine
