// OrderedPipeline: tasks run by worker threads ahead of the calling thread,
// their results delivered on the calling thread strictly in the order the
// tasks were submitted, in pieces of bounded size. Used by
// ParallelFileSearch and the `regexp grep` tool to search several files at
// once.
//
// External interface: OrderedPipeline (a template over its client).
//
// A client C provides:
//   C::Task    what the calling thread submits (movable); a task's results
//              may be stored in it by Run and read back by Finish
//   C::Piece   a run's output handed over (default-constructible, swappable)
//   C::Worker  per-thread state, constructed as Worker(C&) on its thread
//   static bool Empty(const Piece&);  static void Clear(Piece&);
//   void Run(Worker&, Task&, Outlet&)   on a worker: does the task, writing
//              into outlet.piece and calling outlet.HandOver() whenever the
//              piece has grown large; stops early once it returns false
//   bool RunHere(Task&)     on the calling thread, when the task's turn has
//              come and no worker took it: does it and delivers directly
//   bool Deliver(Task&, Piece&)  on the calling thread, in order
//   bool Finish(Task&)      on the calling thread after the task's last piece
// Deliver, Finish and RunHere return false to stop the pipeline: what is in
// flight is cancelled and nothing more is delivered. An exception thrown by
// Run is raised on the calling thread in its task's turn, after the pieces
// the task handed over and its Finish; one thrown on the calling thread
// leaves the pipeline to be destroyed, which cancels the rest. No thread
// outlives the pipeline.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace RegexComponent::engine {

// What a client's run holds of its output before it hands it over, by
// default: what a window of tasks may hold stays a few tens of MiB.
inline constexpr std::size_t kDefaultPieceBytes = std::size_t{256} << 10;

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
};

template <class Client>
class OrderedPipeline {
 public:
  using Task = typename Client::Task;
  using Piece = typename Client::Piece;
  using Worker = typename Client::Worker;
  class Outlet;

  OrderedPipeline(Client& client, const OrderedPipelineLimits& limits);
  ~OrderedPipeline() { Stop(); }
  OrderedPipeline(const OrderedPipeline&) = delete;
  OrderedPipeline& operator=(const OrderedPipeline&) = delete;

  // Queues `task` after those before it, first delivering what is ready and
  // waiting while the window of tasks in flight is full. Returns false (the
  // task dropped) once the client has stopped the pipeline. A task that is
  // not `shared` is left to the calling thread, which runs it (RunHere) as
  // soon as its turn comes: one too small to be worth handing to a worker.
  bool Submit(Task&& task, bool shared = true);
  // Delivers every task submitted; false when the client stopped.
  bool Drain();
  // Tasks submitted and not yet delivered.
  std::size_t InFlight() const { return jobs_.size() - retired_; }

 private:
  // kHeld: queued for the calling thread alone.
  enum class State { kQueued, kHeld, kRunning, kDone };
  enum class Pumped { kNothing, kSome, kStopped };
  struct Job {
    explicit Job(Task&& t) : task(std::move(t)) {}
    Task task;
    State state = State::kQueued;
    Piece ready;  // handed over, not yet taken
    // What the run wrote after its last hand-over: left without the mutex,
    // and read by the calling thread only once the job is marked done.
    Piece last;
    std::exception_ptr error;
  };

  // A worker's jobs that ended, not yet marked done: a worker marks them
  // all the next time it takes the mutex anyway, rather than taking it
  // once more for each.
  using Ended = std::vector<Job*>;

  // Takes mutex_, trying a while before sleeping on it: what it guards
  // takes well under a microsecond, and sleeping costs two system calls and
  // a context switch, which at one file per task cost more than the search.
  std::unique_lock<std::mutex> Lock();
  void Stop();
  void Work();
  void Run(Worker& worker, Job& job, Piece& piece, Ended& ended);
  void HandOver(Job& job, Piece& piece, Ended& ended);
  bool Claim(std::vector<Job*>& batch, Ended& ended);
  void MarkDone(Ended& ended);
  bool NextQueued();
  Pumped Pump(bool wait);
  Pumped RunFront(Job& job);
  Pumped Retire(Job& job);
  // With mutex_ held: removes the jobs the calling thread has ended.
  void PopRetired();
  bool Stopped() {
    stopped_ = true;
    return false;
  }
  // With mutex_ held: `job` has something new for the calling thread.
  void SignalProgress(const Job& job) {
    if (Delivering() && &job == &jobs_.front()) progress_.notify_one();
  }
  // With mutex_ held: whether the calling thread waits for progress_.
  bool Delivering() const { return awaited_.load(std::memory_order_relaxed) != nullptr; }
  // With mutex_ held: whether the first job has something to deliver.
  bool FrontReady() const {
    const Job& job = jobs_.front();
    return job.state == State::kDone || !Client::Empty(job.ready);
  }
  // With mutex_ held: whether Pump(false) would do something.
  bool FrontDue() const { return !jobs_.empty() && (jobs_.front().state == State::kHeld || FrontReady()); }

  // About a microsecond of pauses.
  static constexpr unsigned kLockTries = 64;
  // Yields of a worker that found nothing queued before it sleeps: some
  // tens of microseconds.
  static constexpr unsigned kClaimPolls = 64;

  Client& client_;
  const OrderedPipelineLimits limits_;
  const std::size_t window_;
  const std::size_t claimBatch_;
  std::mutex mutex_;
  // Each kind of waiter is counted, so that nobody signals a condition no
  // one waits for.
  std::condition_variable work_;      // a job was queued, or the end came
  std::condition_variable progress_;  // the head job has something to deliver
  std::condition_variable space_;     // a job's handed-over piece was taken
  unsigned idle_ = 0;                 // workers waiting for work_
  // The job the calling thread waits for on progress_, if it waits: a
  // worker ending it marks its batch's ended jobs done at once instead of
  // at its next claim.
  std::atomic<const Job*> awaited_{nullptr};
  unsigned handing_ = 0;              // workers waiting for space_
  std::deque<Job> jobs_;              // undelivered, in order; calling thread adds and removes
  std::uint64_t first_ = 0;           // number of jobs_.front()
  std::uint64_t unclaimed_ = 0;       // number from which workers look for queued jobs
  std::atomic<bool> cancelled_{false};
  // Jobs ever queued for the workers; written by the calling thread under
  // mutex_, polled by a worker that found nothing to claim.
  std::atomic<std::uint64_t> shared_{0};
  bool stopped_ = false;              // calling thread only
  // First jobs the calling thread has ended, removed the next time it takes
  // the mutex anyway; calling thread only.
  std::size_t retired_ = 0;
  Piece taken_;                       // calling thread only
  std::vector<std::thread> threads_;
};

// What Run writes to: the task's current piece, and the way to hand it over.
template <class Client>
class OrderedPipeline<Client>::Outlet {
 public:
  Outlet(OrderedPipeline& pipeline, Job& job, Piece& p, Ended& ended)
      : piece(p), pipeline_(pipeline), job_(job), ended_(ended) {}

  Piece& piece;
  // Hands the piece over once the previous one was taken, leaving it empty;
  // false when the pipeline was cancelled and the run should end.
  bool HandOver() {
    pipeline_.HandOver(job_, piece, ended_);
    return !Cancelled();
  }
  bool Cancelled() const { return pipeline_.cancelled_.load(std::memory_order_relaxed); }

 private:
  OrderedPipeline& pipeline_;
  Job& job_;
  Ended& ended_;
};

template <class Client>
OrderedPipeline<Client>::OrderedPipeline(Client& client, const OrderedPipelineLimits& limits)
    : client_(client), limits_(limits), window_(std::max<std::size_t>(1, limits.tasksPerWorker) * limits.workers),
      claimBatch_(std::max<std::size_t>(1, limits.claimBatch)) {
  threads_.reserve(limits_.workers);
  try {
    for (unsigned i = 0; i < limits_.workers; ++i) threads_.emplace_back([this] { Work(); });
  } catch (...) {
    Stop();
    throw;
  }
}

template <class Client>
std::unique_lock<std::mutex> OrderedPipeline<Client>::Lock() {
  for (unsigned tries = 0; tries < kLockTries; ++tries) {
    if (mutex_.try_lock()) return std::unique_lock(mutex_, std::adopt_lock);
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  }
  return std::unique_lock(mutex_);
}

// Cancels what is in flight, joins the workers and drops the tasks left.
template <class Client>
void OrderedPipeline<Client>::Stop() {
  {
    const std::unique_lock lock = Lock();
    cancelled_ = true;
  }
  work_.notify_all();
  space_.notify_all();
  for (std::thread& thread : threads_)
    if (thread.joinable()) thread.join();
  threads_.clear();
  jobs_.clear();
  retired_ = 0;
}

template <class Client>
void OrderedPipeline<Client>::Work() {
  Worker worker(client_);
  Piece piece;
  std::vector<Job*> batch;
  Ended ended;
  while (Claim(batch, ended)) {
    for (Job* job : batch) {
      if (cancelled_.load(std::memory_order_relaxed)) break;
      Run(worker, *job, piece, ended);
    }
  }
}

// With mutex_ held: marks the jobs that ended done, and wakes the calling
// thread if it waits for one of them. The ends of a batch's jobs are kept
// from a waiting calling thread until then.
template <class Client>
void OrderedPipeline<Client>::MarkDone(Ended& ended) {
  if (ended.empty()) return;
  for (Job* job : ended) job->state = State::kDone;
  ended.clear();
  if (Delivering() && FrontReady()) progress_.notify_one();
}

// With mutex_ held: whether a queued job waits, unclaimed_ moved up to it.
template <class Client>
bool OrderedPipeline<Client>::NextQueued() {
  while (unclaimed_ < first_ + jobs_.size() && jobs_[unclaimed_ - first_].state != State::kQueued) ++unclaimed_;
  return unclaimed_ < first_ + jobs_.size();
}

// The next queued jobs in order, marked running, at most claimBatch and a
// worker's share of those waiting; false when the pipeline ends.
template <class Client>
bool OrderedPipeline<Client>::Claim(std::vector<Job*>& batch, Ended& ended) {
  batch.clear();
  std::unique_lock lock = Lock();
  MarkDone(ended);
  if (!cancelled_ && !NextQueued()) {
    // The calling thread is usually about to queue more: a worker that
    // yields a while sees it sooner than one woken from sleep, and a
    // sleeping worker leaves the calling thread to run the tasks itself.
    const std::uint64_t seen = shared_.load(std::memory_order_relaxed);
    lock.unlock();
    for (unsigned poll = 0; poll < kClaimPolls && shared_.load(std::memory_order_relaxed) == seen &&
                            !cancelled_.load(std::memory_order_relaxed);
         ++poll)
      std::this_thread::yield();
    lock = Lock();
  }
  ++idle_;
  work_.wait(lock, [&] { return cancelled_ || NextQueued(); });
  --idle_;
  if (cancelled_) return false;
  // Taking all that waits would leave the other workers nothing.
  const std::size_t waiting = first_ + jobs_.size() - unclaimed_;
  const std::size_t share = std::clamp<std::size_t>(waiting / limits_.workers, 1, claimBatch_);
  while (batch.size() < share && NextQueued()) {
    Job& job = jobs_[unclaimed_++ - first_];
    job.state = State::kRunning;
    batch.push_back(&job);
  }
  return true;
}

// The job's error and last piece are set here without the mutex: the
// calling thread reads them only once the job is marked done, which is
// under the mutex. A small file's whole output is its last piece, so
// ending it takes no lock.
template <class Client>
void OrderedPipeline<Client>::Run(Worker& worker, Job& job, Piece& piece, Ended& ended) {
  try {
    Outlet outlet(*this, job, piece, ended);
    client_.Run(worker, job.task, outlet);
  } catch (...) {
    job.error = std::current_exception();
  }
  if (!Client::Empty(piece)) std::swap(job.last, piece);
  ended.push_back(&job);
  if (awaited_.load(std::memory_order_relaxed) == &job) {
    const std::unique_lock lock = Lock();
    MarkDone(ended);
  }
}

// Moves the worker's piece to the job once the calling thread has taken the
// previous one; dropped when the pipeline is cancelled.
template <class Client>
void OrderedPipeline<Client>::HandOver(Job& job, Piece& piece, Ended& ended) {
  if (Client::Empty(piece)) return;
  std::unique_lock lock = Lock();
  // The calling thread may be waiting for a job this worker ended earlier
  // in its batch, and must deliver that before it can take this piece.
  MarkDone(ended);
  if (!cancelled_ && !Client::Empty(job.ready)) {
    ++handing_;
    space_.wait(lock, [&] { return cancelled_ || Client::Empty(job.ready); });
    --handing_;
  }
  if (!cancelled_) std::swap(job.ready, piece);
  Client::Clear(piece);
  SignalProgress(job);
}

// Delivers what the first job has ready, waiting for it with `wait`; a first
// job no worker has taken is run here.
template <class Client>
typename OrderedPipeline<Client>::Pumped OrderedPipeline<Client>::Pump(bool wait) {
  std::unique_lock lock = Lock();
  PopRetired();
  if (jobs_.empty()) return Pumped::kNothing;
  Job& job = jobs_.front();
  // A held job is run as soon as it comes first; a queued one only when the
  // calling thread would otherwise wait for a worker to take it.
  if (job.state == State::kHeld || (job.state == State::kQueued && wait)) {
    job.state = State::kRunning;
    lock.unlock();
    return RunFront(job);
  }
  if (job.state == State::kQueued) return Pumped::kNothing;
  const auto ready = [&] { return job.state == State::kDone || !Client::Empty(job.ready); };
  if (!wait && !ready()) return Pumped::kNothing;
  awaited_.store(&job, std::memory_order_relaxed);
  progress_.wait(lock, ready);
  awaited_.store(nullptr, std::memory_order_relaxed);
  const bool done = job.state == State::kDone;
  std::swap(taken_, job.ready);
  Client::Clear(job.ready);
  if (handing_ != 0) space_.notify_all();
  lock.unlock();
  bool going = Client::Empty(taken_) || client_.Deliver(job.task, taken_);
  Client::Clear(taken_);
  if (going && done && !Client::Empty(job.last)) going = client_.Deliver(job.task, job.last);
  if (!going) return Pumped::kStopped;
  return done ? Retire(job) : Pumped::kSome;
}

template <class Client>
typename OrderedPipeline<Client>::Pumped OrderedPipeline<Client>::RunFront(Job& job) {
  const bool going = client_.RunHere(job.task);
  ++retired_;
  return going ? Pumped::kSome : Pumped::kStopped;
}

// Ends the first job, whose pieces are delivered: its Finish, then the
// exception its run met.
template <class Client>
typename OrderedPipeline<Client>::Pumped OrderedPipeline<Client>::Retire(Job& job) {
  const bool going = client_.Finish(job.task);
  const std::exception_ptr error = job.error;
  ++retired_;
  if (error) std::rethrow_exception(error);
  return going ? Pumped::kSome : Pumped::kStopped;
}

template <class Client>
void OrderedPipeline<Client>::PopRetired() {
  for (; retired_ != 0; --retired_) {
    jobs_.pop_front();
    ++first_;
  }
  unclaimed_ = std::max(unclaimed_, first_);
}

template <class Client>
bool OrderedPipeline<Client>::Submit(Task&& task, bool shared) {
  if (stopped_) return false;
  while (InFlight() >= window_)
    if (Pump(true) == Pumped::kStopped) return Stopped();
  bool due;
  {
    const std::unique_lock lock = Lock();
    PopRetired();
    jobs_.emplace_back(std::move(task)).state = shared ? State::kQueued : State::kHeld;
    if (shared) shared_.store(shared_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    if (shared && idle_ != 0 && first_ + jobs_.size() - unclaimed_ >= limits_.wakeBatch) work_.notify_one();
    due = FrontDue();
  }
  // What is ready is delivered now, the job just queued included when it is
  // the first and held.
  if (due) {
    for (Pumped p = Pump(false); p != Pumped::kNothing; p = Pump(false))
      if (p == Pumped::kStopped) return Stopped();
  }
  return true;
}

template <class Client>
bool OrderedPipeline<Client>::Drain() {
  if (stopped_) return false;
  {
    // The tasks left waiting for a batch go to the idle workers now.
    const std::unique_lock lock = Lock();
    PopRetired();
    if (idle_ != 0 && NextQueued()) work_.notify_all();
  }
  while (InFlight() != 0)
    if (Pump(true) == Pumped::kStopped) return Stopped();
  return true;
}

}  // namespace RegexComponent::engine
