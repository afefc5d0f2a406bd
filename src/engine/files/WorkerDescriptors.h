// WorkerDescriptors: the files worker threads hold open, and the switch to
// opening files on the calling thread once descriptors run short. Used by
// ParallelFileSearch and the `regexp grep` tool, whose workers open the
// files they search.
//
// External interface: WorkerDescriptors.
#pragma once

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace RegexComponent::engine {

// Once an open has failed for want of descriptors, workers open nothing
// more: the calling thread opens each file in its turn, as a walk without
// workers does, after the workers have closed theirs.
class WorkerDescriptors {
 public:
  static bool Short(int error) { return error == EMFILE || error == ENFILE; }

  // On a worker, before opening: false once descriptors ran short.
  bool MayOpen() const { return !short_.load(std::memory_order_relaxed); }
  // On a worker, after an open that gave `error`: true when the file is
  // left to the calling thread; counts the file open when there is one.
  bool LeftHere(int error, bool opened) {
    if (Short(error)) {
      short_ = true;
      return true;
    }
    if (opened) ++open_;
    return false;
  }
  // On a worker: a file counted open is closed. The count is an atomic,
  // not kept under the mutex, which every file would otherwise contend for;
  // the mutex is taken only to wake a calling thread waiting to retry.
  void Closed() {
    if (--open_ == 0 && short_) {
      std::lock_guard lock(mutex_);
      closed_.notify_all();
    }
  }
  // On the calling thread, after an open that gave `error`: true when it is
  // worth trying again, having waited for the workers' files to close. The
  // wait is bounded: a worker may be waiting for the calling thread to
  // take its output.
  bool WaitToRetry(int error) {
    if (!Short(error)) return false;
    short_ = true;
    std::unique_lock lock(mutex_);
    closed_.wait_for(lock, kLongestWait, [&] { return open_ == 0; });
    return true;
  }

 private:
  static constexpr std::chrono::seconds kLongestWait{1};

  std::atomic<bool> short_{false};
  std::mutex mutex_;
  std::condition_variable closed_;
  std::atomic<int> open_{0};  // files the workers hold open
};

}  // namespace RegexComponent::engine
