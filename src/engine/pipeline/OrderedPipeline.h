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
//
// Layout: this header holds the template that ties the parts together
// (submission, delivery in order, back-pressure, the workers' loop, the
// calling thread's helping, stopping) and the Outlet a run writes to. The
// parts: PipelineLimits.h (OrderedPipelineLimits and the defaults),
// PipelineSlots.h (the ring of slots, each slot's state and pieces),
// ClaimQueue.h (which slots wait for a worker, and the workers asleep),
// PieceHandOver.h (the mutex, cancellation, and the pieces and ended runs
// passed from the workers to the calling thread), PipelineWaits.h (spinning
// before sleeping on the mutex or for work) and TaskError.h (a run's
// exception carried to the calling thread).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "engine/pipeline/ClaimQueue.h"
#include "engine/pipeline/PieceHandOver.h"
#include "engine/pipeline/PipelineLimits.h"
#include "engine/pipeline/PipelineSlots.h"
#include "engine/pipeline/PipelineWaits.h"

namespace RegexComponent::engine {

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
  std::size_t InFlight() const { return ring_.InFlight(); }

 private:
  using Job = PipelineSlot<Client>;
  using State = SlotState;
  enum class Pumped { kNothing, kSome, kStopped };
  using Ended = typename PieceHandOver<Client>::Ended;

  std::unique_lock<std::mutex> Lock() { return handOver_.Lock(); }
  void Stop();
  void Work();
  void Run(Worker& worker, Job& job, Piece& piece, Ended& ended);
  // The client's run of `job` with `worker`, on a worker (`ended`) or on
  // the calling thread (null): its exception kept in the job, the piece it
  // ends with left there; true when the calling thread's run declined it.
  bool RunJob(Worker& worker, Job& job, Piece& piece, Ended* ended);
  bool Claim(std::vector<Job*>& batch, Ended& ended);
  Pumped Pump(bool wait);
  Pumped Deliver(Job& job, std::unique_lock<std::mutex>& lock);
  Pumped RunFront(Job& job);
  // On the calling thread, with the mutex held, instead of waiting for the
  // first job: runs the next queued job it has not declined as a worker
  // would, its output held in the job. False when there is none.
  bool Help(std::unique_lock<std::mutex>& lock);
  Pumped Retire(Job& job);
  bool Stopped() {
    stopped_ = true;
    return false;
  }
  // With the mutex held: whether Pump(false) would do something.
  bool FrontDue() {
    if (ring_.InFlight() == 0) return false;
    const Job& job = ring_.Front();
    return job.state == State::kHeld || job.Ready();
  }

  Client& client_;
  const OrderedPipelineLimits limits_;
  PieceHandOver<Client> handOver_;
  SlotRing<Client> ring_;
  ClaimQueue<Client> queue_;
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
      pipeline_.handOver_.HandOver(job_, piece, *ended_);
    } else {
      job_.Hold(piece);
    }
    return !Cancelled();
  }
  bool Cancelled() const { return pipeline_.handOver_.Cancelled(); }
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
    : client_(client), limits_(limits), ring_(std::max<std::size_t>(1, limits.tasksPerWorker) * limits.workers),
      queue_(ring_, limits.workers, std::max<std::size_t>(1, limits.claimBatch), limits.wakeBatch) {
  threads_.reserve(limits_.workers);
  try {
    for (unsigned i = 0; i < limits_.workers; ++i) threads_.emplace_back([this] { Work(); });
  } catch (...) {
    Stop();
    throw;
  }
}

// Cancels what is in flight, joins the workers and drops the tasks left.
template <class Client>
void OrderedPipeline<Client>::Stop() {
  handOver_.Cancel();
  queue_.WakeAll();
  for (std::thread& thread : threads_)
    if (thread.joinable()) thread.join();
  threads_.clear();
  ring_.Drop();
}

template <class Client>
void OrderedPipeline<Client>::Work() {
  Worker worker(client_);
  Piece piece;
  std::vector<Job*> batch;
  Ended ended;
  while (Claim(batch, ended)) {
    for (Job* job : batch) {
      if (handOver_.Cancelled()) break;
      Run(worker, *job, piece, ended);
    }
  }
}

// The next queued jobs in order, marked running, at most claimBatch and a
// worker's share of those waiting; false when the pipeline ends.
template <class Client>
bool OrderedPipeline<Client>::Claim(std::vector<Job*>& batch, Ended& ended) {
  batch.clear();
  std::unique_lock lock = Lock();
  handOver_.ReportEnded(lock, ended);
  if (!handOver_.Cancelled() && !queue_.NextQueued()) {
    // The calling thread is usually about to queue more: a worker that
    // yields a while sees it sooner than one woken from sleep, and a
    // sleeping worker leaves the calling thread to run the tasks itself.
    const std::uint64_t seen = queue_.Published();
    lock.unlock();
    YieldWhile(kClaimPolls, [&] { return queue_.Published() == seen && !handOver_.Cancelled(); });
    lock = Lock();
  }
  queue_.Wait(lock, [&] { return handOver_.Cancelled() || queue_.NextQueued(); });
  if (handOver_.Cancelled()) return false;
  queue_.Take(batch);
  return true;
}

template <class Client>
void OrderedPipeline<Client>::Run(Worker& worker, Job& job, Piece& piece, Ended& ended) {
  RunJob(worker, job, piece, &ended);
  handOver_.RunEnded(job, ended);
}

template <class Client>
bool OrderedPipeline<Client>::RunJob(Worker& worker, Job& job, Piece& piece, Ended* ended) {
  Outlet outlet(*this, job, piece, ended);
  job.error.Catch([&] { client_.Run(worker, *job.task, outlet); });
  job.KeepLast(piece);
  return outlet.Declined() && !job.error;
}

// Delivers what the first job has ready, waiting for it with `wait`; a first
// job no worker has taken is run here.
template <class Client>
typename OrderedPipeline<Client>::Pumped OrderedPipeline<Client>::Pump(bool wait) {
  if (ring_.InFlight() == 0) return Pumped::kNothing;
  Job& job = ring_.Front();
  std::unique_lock lock = Lock();
  // A held job is run as soon as it comes first; a queued one only when the
  // calling thread would otherwise wait for a worker to take it.
  if (job.state == State::kHeld || (job.state == State::kQueued && wait)) {
    job.state = State::kRunning;
    lock.unlock();
    return RunFront(job);
  }
  if (job.state == State::kQueued) return Pumped::kNothing;
  if (!wait && !job.Ready()) return Pumped::kNothing;
  if (!job.Ready() && Help(lock)) return Pumped::kSome;
  return Deliver(job, lock);
}

// With the mutex held by `lock`, which it lets go: the pieces of `job`, the
// first, in order once they come; then its end when the run is done.
template <class Client>
typename OrderedPipeline<Client>::Pumped OrderedPipeline<Client>::Deliver(Job& job,
                                                                          std::unique_lock<std::mutex>& lock) {
  const bool done = handOver_.Take(job, lock, taken_);
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
  const std::uint64_t number = queue_.NextUndeclined();
  if (number == ring_.End()) return false;
  Job& job = ring_[number];
  job.state = State::kRunning;
  lock.unlock();
  // Nothing else touches a job claimed here until it is marked done or
  // queued again.
  job.error.Catch([&] {
    if (!own_) own_.emplace(client_);
  });
  const bool declined = own_ && RunJob(*own_, job, helping_, nullptr);
  Client::Clear(helping_);
  lock = Lock();
  if (!declined) {
    job.state = State::kDone;
    return true;
  }
  if (queue_.Requeue(number)) {
    lock.unlock();
    queue_.WakeOne();
  }
  return true;
}

template <class Client>
typename OrderedPipeline<Client>::Pumped OrderedPipeline<Client>::RunFront(Job& job) {
  const bool going = client_.RunHere(*job.task);
  ring_.Pop();
  return going ? Pumped::kSome : Pumped::kStopped;
}

// Ends the first job, whose pieces are delivered: its Finish, then the
// exception its run met. No worker touches a delivered job, and its slot is
// not yet reused: it is emptied without the mutex.
template <class Client>
typename OrderedPipeline<Client>::Pumped OrderedPipeline<Client>::Retire(Job& job) {
  const bool going = client_.Finish(*job.task);
  const std::exception_ptr error = job.error.Take();
  ring_.Pop();
  if (error) std::rethrow_exception(error);
  return going ? Pumped::kSome : Pumped::kStopped;
}

template <class Client>
bool OrderedPipeline<Client>::Submit(Task&& task, bool shared) {
  if (stopped_) return false;
  while (ring_.Full())
    if (Pump(true) == Pumped::kStopped) return Stopped();
  // The slot's last job was delivered, and a worker reads no more than the
  // state of a slot it has not claimed: the task is placed without the
  // mutex, and published with the state under it.
  Job& job = ring_.Next();
  job.task.emplace(std::move(task));
  bool due;
  bool wake = false;
  {
    const std::unique_lock lock = Lock();
    // Jobs before the first are delivered; their slots may be reused.
    queue_.Forget(ring_.First());
    job.state = shared ? State::kQueued : State::kHeld;
    ring_.Push();
    if (shared) wake = queue_.Queued();
    due = FrontDue();
  }
  if (wake) queue_.WakeOne();
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
    queue_.Forget(ring_.First());
    if (queue_.Idle() && queue_.NextQueued()) queue_.WakeAll();
  }
  while (InFlight() != 0)
    if (Pump(true) == Pumped::kStopped) return Stopped();
  return true;
}

}  // namespace RegexComponent::engine
