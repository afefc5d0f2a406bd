// How OrderedPipeline's threads wait for one another: its mutex tried a
// while before a thread sleeps on it, a worker that found nothing to do
// yielding a while before it sleeps, and condition variables that count
// their waiters so that nobody signals one no thread waits on.
//
// External interface: LockSpinning, YieldWhile, CountedCondition, and the
// spin bounds kLockTries and kClaimPolls.
//
// What the pipeline's mutex guards takes well under a microsecond, and
// sleeping costs two system calls and a context switch, which at one file
// per task cost more than the search: spinning a little first is cheaper
// whenever the holder is running on another core.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

namespace RegexComponent::engine {

// Tries to take a mutex before sleeping on it: about a microsecond of pauses.
inline constexpr unsigned kLockTries = 64;
// Yields of a worker that found nothing queued before it sleeps: some tens
// of microseconds.
inline constexpr unsigned kClaimPolls = 64;

// Takes `mutex`, trying kLockTries times before blocking on it.
inline std::unique_lock<std::mutex> LockSpinning(std::mutex& mutex) {
  for (unsigned tries = 0; tries < kLockTries; ++tries) {
    if (mutex.try_lock()) return std::unique_lock(mutex, std::adopt_lock);
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  }
  return std::unique_lock(mutex);
}

// Yields the thread while `unchanged()` holds, at most `polls` times: for
// what another thread is about to do, seen sooner than after a sleep.
template <class Unchanged>
void YieldWhile(unsigned polls, Unchanged unchanged) {
  for (unsigned poll = 0; poll < polls && unchanged(); ++poll) std::this_thread::yield();
}

// A condition variable with the number of threads waiting on it. The count
// is read and written with the waiters' mutex held; a thread that would
// signal reads it first and signals only when someone waits.
class CountedCondition {
 public:
  // With `lock` held: waits until `done()`, counted among the waiters.
  template <class Done>
  void Wait(std::unique_lock<std::mutex>& lock, Done done) {
    ++waiting_;
    condition_.wait(lock, done);
    --waiting_;
  }
  // With the mutex held: whether a thread waits.
  bool Waited() const { return waiting_ != 0; }
  void NotifyOne() { condition_.notify_one(); }
  void NotifyAll() { condition_.notify_all(); }

 private:
  std::condition_variable condition_;
  unsigned waiting_ = 0;
};

}  // namespace RegexComponent::engine
