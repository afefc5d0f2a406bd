// WorkerDescriptors: the files worker threads hold open, and the switch to
// opening files on the calling thread once descriptors run short; the
// window of files in flight chosen for the descriptor limit. Used by
// ParallelFileSearch and the `regexp grep` tool, whose workers open the
// files they search.
//
// External interface: DescriptorsAbound, WorkerWindow, ChooseWorkerWindow,
// WorkerDescriptors.
#pragma once

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace RegexComponent::engine {

// Whether the descriptor limit leaves room many times over for `inFlight`
// descriptors besides those a walk holds. Files opened away from the walk
// let it go on into other directories, holding theirs: those are opened so
// only where descriptors abound, so that a low limit fails no file that the
// walk opening each file in its turn would have opened.
bool DescriptorsAbound(std::size_t inFlight);

// Files in flight per worker, and whether the workers open them.
struct WorkerWindow {
  std::size_t filesPerWorker;
  bool opensFiles;
};
// A window of `filesPerWorker`, halved while it is above
// kLeastFilesPerWorker and descriptors do not abound for it: a larger
// window rides out a worker that the system leaves waiting, but it may hold
// a directory's descriptor per file. Workers open files where descriptors
// abound for the window chosen.
inline constexpr std::size_t kLeastFilesPerWorker = 16;
// The window asked for by default.
inline constexpr std::size_t kDefaultFilesPerWorker = 64;
WorkerWindow ChooseWorkerWindow(unsigned workers, std::size_t filesPerWorker);

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
