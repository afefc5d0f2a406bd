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
//              may be stored in it by Run and read back by Finish; it is
//              destroyed on the calling thread once delivered
//   C::Piece   a run's output handed over (default-constructible, swappable)
//   C::Worker  per-thread state, constructed as Worker(C&) on its thread
//   static bool Empty(const Piece&);  static void Clear(Piece&);
//   void Run(Worker&, Task&, Outlet&)   on a worker: does the task, writing
//              into outlet.piece and calling outlet.HandOver() whenever the
//              piece has grown large; stops early once it returns false.
//              Also on the calling thread while it would otherwise wait for
//              a worker, with a Worker of its own: that run's output is held
//              until the task's turn, so a run given a task whose input is
//              more than outlet.MayHold allows calls outlet.Decline() before
//              any output and returns; the task stays queued for the
//              workers, as the run left it
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
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

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
  std::size_t InFlight() const { return static_cast<std::size_t>(end_ - first_); }

 private:
  // kHeld: queued for the calling thread alone.
  enum class State { kQueued, kHeld, kRunning, kDone };
  enum class Pumped { kNothing, kSome, kStopped };
  // A slot of the ring: its task is set by Submit and reset once delivered,
  // both on the calling thread, so no task is made or destroyed under the
  // mutex. A slot delivered keeps its last state until it is reused: a
  // worker looking for queued jobs may read it meanwhile.
  struct Job {
    std::optional<Task> task;
    State state = State::kDone;
    Piece ready;  // handed over, not yet taken
    // What the run wrote after its last hand-over: left without the mutex,
    // and read by the calling thread only once the job is marked done.
    Piece last;
    // What a run on the calling thread handed over, in order; calling
    // thread only.
    std::vector<Piece> held;
    bool declined = false;  // by a run on the calling thread; calling thread only
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
  // The client's run of `job` with `worker`, on a worker (`ended`) or on
  // the calling thread (null): its exception kept in the job, the piece it
  // ends with left there; true when the calling thread's run declined it.
  bool RunJob(Worker& worker, Job& job, Piece& piece, Ended* ended);
  void HandOver(Job& job, Piece& piece, Ended& ended);
  bool Claim(std::vector<Job*>& batch, Ended& ended);
  // With mutex_ held; true when the calling thread is to be woken, which
  // the caller does once it has let the mutex go.
  bool MarkDone(Ended& ended);
  bool NextQueued();
  Pumped Pump(bool wait);
  Pumped RunFront(Job& job);
  // On the calling thread, with mutex_ held, instead of waiting for the
  // first job: runs the next queued job it has not declined as a worker
  // would, its output held in the job. False when there is none.
  bool Help(std::unique_lock<std::mutex>& lock);
  Pumped Retire(Job& job);
  // On the calling thread: empties the first job's slot for reuse.
  void Recycle(Job& job);
  bool Stopped() {
    stopped_ = true;
    return false;
  }
  Job& Slot(std::uint64_t number) { return ring_[number % ring_.size()]; }
  static bool Ready(const Job& job) { return job.state == State::kDone || !Client::Empty(job.ready); }
  // With mutex_ held: whether the calling thread waits for `job`.
  bool Awaited(const Job& job) const { return awaited_.load(std::memory_order_relaxed) == &job; }
  // With mutex_ held: whether Pump(false) would do something.
  bool FrontDue() {
    if (first_ == end_) return false;
    const Job& job = Slot(first_);
    return job.state == State::kHeld || Ready(job);
  }

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
  // at its next claim. Always the first job.
  std::atomic<const Job*> awaited_{nullptr};
  unsigned handing_ = 0;              // workers waiting for space_
  // Job number n lives in ring_[n % ring_.size()]; one slot per task the
  // window lets be in flight, so a slot is reused only once delivered.
  std::vector<Job> ring_;
  std::uint64_t first_ = 0;           // first job not delivered; calling thread only
  std::uint64_t end_ = 0;             // past the last job submitted; written under mutex_ by the calling thread
  std::uint64_t unclaimed_ = 0;       // number from which workers look for queued jobs
  std::atomic<bool> cancelled_{false};
  // Jobs ever queued for the workers; written by the calling thread under
  // mutex_, polled by a worker that found nothing to claim.
  std::atomic<std::uint64_t> shared_{0};
  bool stopped_ = false;              // calling thread only
  Piece taken_;                       // calling thread only
  std::optional<Worker> own_;         // the calling thread's, made when it first helps
  Piece helping_;                     // calling thread only
  std::vector<std::thread> threads_;
};

// What Run writes to: the task's current piece, and the way to hand it over.
template <class Client>
class OrderedPipeline<Client>::Outlet {
 public:
  // `ended` is null on the calling thread.
  Outlet(OrderedPipeline& pipeline, Job& job, Piece& p, Ended* ended)
      : piece(p), pipeline_(pipeline), job_(job), ended_(ended) {}

  Piece& piece;
  // Hands the piece over once the previous one was taken, leaving it empty;
  // false when the pipeline was cancelled and the run should end.
  bool HandOver() {
    if (ended_) {
      pipeline_.HandOver(job_, piece, *ended_);
    } else if (!Client::Empty(piece)) {
      std::swap(job_.held.emplace_back(), piece);
    }
    return !Cancelled();
  }
  bool Cancelled() const { return pipeline_.cancelled_.load(std::memory_order_relaxed); }
  // Whether this run may take on a task of `inputBytes`: on the calling
  // thread, whose output waits in memory for the task's turn, only a small
  // one.
  bool MayHold(std::uint64_t inputBytes) const {
    return ended_ || inputBytes <= pipeline_.limits_.helpInputBytes;
  }
  // On the calling thread, before any output: leaves the task to a worker.
  void Decline() { declined_ = true; }
  bool Declined() const { return declined_; }

 private:
  OrderedPipeline& pipeline_;
  Job& job_;
  Ended* ended_;
  bool declined_ = false;
};

template <class Client>
OrderedPipeline<Client>::OrderedPipeline(Client& client, const OrderedPipelineLimits& limits)
    : client_(client), limits_(limits), window_(std::max<std::size_t>(1, limits.tasksPerWorker) * limits.workers),
      claimBatch_(std::max<std::size_t>(1, limits.claimBatch)), ring_(window_) {
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
  for (; first_ != end_; ++first_) Slot(first_).task.reset();
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

// With mutex_ held: marks the jobs that ended done; true when the calling
// thread waits for one of them. The ends of a batch's jobs are kept from a
// waiting calling thread until then.
template <class Client>
bool OrderedPipeline<Client>::MarkDone(Ended& ended) {
  bool awaited = false;
  for (Job* job : ended) {
    job->state = State::kDone;
    awaited = awaited || Awaited(*job);
  }
  ended.clear();
  return awaited;
}

// With mutex_ held: whether a queued job waits, unclaimed_ moved up to it.
template <class Client>
bool OrderedPipeline<Client>::NextQueued() {
  while (unclaimed_ < end_ && Slot(unclaimed_).state != State::kQueued) ++unclaimed_;
  return unclaimed_ < end_;
}

// The next queued jobs in order, marked running, at most claimBatch and a
// worker's share of those waiting; false when the pipeline ends.
template <class Client>
bool OrderedPipeline<Client>::Claim(std::vector<Job*>& batch, Ended& ended) {
  batch.clear();
  std::unique_lock lock = Lock();
  if (MarkDone(ended)) {
    // Woken with the mutex let go, so that the calling thread does not wake
    // only to wait for it.
    lock.unlock();
    progress_.notify_one();
    lock = Lock();
  }
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
  const std::size_t waiting = static_cast<std::size_t>(end_ - unclaimed_);
  const std::size_t share = std::clamp<std::size_t>(waiting / limits_.workers, 1, claimBatch_);
  while (batch.size() < share && NextQueued()) {
    Job& job = Slot(unclaimed_++);
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
  RunJob(worker, job, piece, &ended);
  ended.push_back(&job);
  if (awaited_.load(std::memory_order_relaxed) == &job) {
    bool wake;
    {
      const std::unique_lock lock = Lock();
      wake = MarkDone(ended);
    }
    if (wake) progress_.notify_one();
  }
}

template <class Client>
bool OrderedPipeline<Client>::RunJob(Worker& worker, Job& job, Piece& piece, Ended* ended) {
  Outlet outlet(*this, job, piece, ended);
  try {
    client_.Run(worker, *job.task, outlet);
  } catch (...) {
    job.error = std::current_exception();
  }
  if (!Client::Empty(piece)) std::swap(job.last, piece);
  return outlet.Declined() && !job.error;
}

// Moves the worker's piece to the job once the calling thread has taken the
// previous one; dropped when the pipeline is cancelled.
template <class Client>
void OrderedPipeline<Client>::HandOver(Job& job, Piece& piece, Ended& ended) {
  if (Client::Empty(piece)) return;
  std::unique_lock lock = Lock();
  // The calling thread may be waiting for a job this worker ended earlier
  // in its batch, and must deliver that before it can take this piece.
  bool wake = MarkDone(ended);
  if (!cancelled_ && !Client::Empty(job.ready)) {
    if (wake) progress_.notify_one();
    wake = false;
    ++handing_;
    space_.wait(lock, [&] { return cancelled_ || Client::Empty(job.ready); });
    --handing_;
  }
  if (!cancelled_) std::swap(job.ready, piece);
  Client::Clear(piece);
  wake = wake || Awaited(job);
  lock.unlock();
  if (wake) progress_.notify_one();
}

// Delivers what the first job has ready, waiting for it with `wait`; a first
// job no worker has taken is run here.
template <class Client>
typename OrderedPipeline<Client>::Pumped OrderedPipeline<Client>::Pump(bool wait) {
  if (first_ == end_) return Pumped::kNothing;
  Job& job = Slot(first_);
  std::unique_lock lock = Lock();
  // A held job is run as soon as it comes first; a queued one only when the
  // calling thread would otherwise wait for a worker to take it.
  if (job.state == State::kHeld || (job.state == State::kQueued && wait)) {
    job.state = State::kRunning;
    lock.unlock();
    return RunFront(job);
  }
  if (job.state == State::kQueued) return Pumped::kNothing;
  const auto ready = [&] { return Ready(job); };
  if (!wait && !ready()) return Pumped::kNothing;
  if (!ready() && Help(lock)) return Pumped::kSome;
  awaited_.store(&job, std::memory_order_relaxed);
  progress_.wait(lock, ready);
  awaited_.store(nullptr, std::memory_order_relaxed);
  const bool done = job.state == State::kDone;
  std::swap(taken_, job.ready);
  Client::Clear(job.ready);
  if (handing_ != 0) space_.notify_all();
  lock.unlock();
  bool going = Client::Empty(taken_) || client_.Deliver(*job.task, taken_);
  Client::Clear(taken_);
  if (done) {
    for (auto held = job.held.begin(); going && held != job.held.end(); ++held)
      going = client_.Deliver(*job.task, *held);
    if (going && !Client::Empty(job.last)) going = client_.Deliver(*job.task, job.last);
  }
  if (!going) return Pumped::kStopped;
  return done ? Retire(job) : Pumped::kSome;
}

template <class Client>
bool OrderedPipeline<Client>::Help(std::unique_lock<std::mutex>& lock) {
  if (limits_.helpInputBytes == 0) return false;
  std::uint64_t number = unclaimed_;
  while (number < end_ && (Slot(number).state != State::kQueued || Slot(number).declined)) ++number;
  if (number == end_) return false;
  Job& job = Slot(number);
  job.state = State::kRunning;
  lock.unlock();
  // Nothing else touches a job claimed here until it is marked done or
  // queued again.
  try {
    if (!own_) own_.emplace(client_);
  } catch (...) {
    job.error = std::current_exception();
  }
  const bool declined = own_ && RunJob(*own_, job, helping_, nullptr);
  Client::Clear(helping_);
  lock = Lock();
  if (!declined) {
    job.state = State::kDone;
    return true;
  }
  // Queued again, where the workers look for it.
  job.declined = true;
  job.state = State::kQueued;
  unclaimed_ = std::min(unclaimed_, number);
  shared_.store(shared_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
  if (idle_ != 0) {
    lock.unlock();
    work_.notify_one();
  }
  return true;
}

template <class Client>
typename OrderedPipeline<Client>::Pumped OrderedPipeline<Client>::RunFront(Job& job) {
  const bool going = client_.RunHere(*job.task);
  Recycle(job);
  return going ? Pumped::kSome : Pumped::kStopped;
}

// Ends the first job, whose pieces are delivered: its Finish, then the
// exception its run met.
template <class Client>
typename OrderedPipeline<Client>::Pumped OrderedPipeline<Client>::Retire(Job& job) {
  const bool going = client_.Finish(*job.task);
  const std::exception_ptr error = std::move(job.error);
  Recycle(job);
  if (error) std::rethrow_exception(error);
  return going ? Pumped::kSome : Pumped::kStopped;
}

// No worker touches a delivered job, and its slot is not yet reused: it is
// emptied without the mutex. Its pieces keep their storage for the next.
template <class Client>
void OrderedPipeline<Client>::Recycle(Job& job) {
  job.task.reset();
  Client::Clear(job.ready);
  Client::Clear(job.last);
  job.held.clear();
  job.declined = false;
  job.error = nullptr;
  ++first_;
}

template <class Client>
bool OrderedPipeline<Client>::Submit(Task&& task, bool shared) {
  if (stopped_) return false;
  while (InFlight() >= window_)
    if (Pump(true) == Pumped::kStopped) return Stopped();
  // The slot's last job was delivered, and a worker reads no more than the
  // state of a slot it has not claimed: the task is placed without the
  // mutex, and published with the state under it.
  Job& job = Slot(end_);
  job.task.emplace(std::move(task));
  bool due;
  bool wake = false;
  {
    const std::unique_lock lock = Lock();
    // Jobs before first_ are delivered; their slots may be reused.
    unclaimed_ = std::max(unclaimed_, first_);
    job.state = shared ? State::kQueued : State::kHeld;
    ++end_;
    if (shared) {
      shared_.store(shared_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
      wake = idle_ != 0 && end_ - unclaimed_ >= limits_.wakeBatch;
    }
    due = FrontDue();
  }
  if (wake) work_.notify_one();
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
    unclaimed_ = std::max(unclaimed_, first_);
    if (idle_ != 0 && NextQueued()) work_.notify_all();
  }
  while (InFlight() != 0)
    if (Pump(true) == Pumped::kStopped) return Stopped();
  return true;
}

}  // namespace RegexComponent::engine
