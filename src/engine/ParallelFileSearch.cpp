#include "engine/ParallelFileSearch.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/UniqueFd.h"

namespace RegexComponent::engine {

namespace bc = boost::regex_constants;
using Mode = ParallelFileSearch::Mode;

namespace {

// Files queued before a waiting worker is woken.
constexpr std::uint64_t kWakeBatch = 4;

// Hands FileSearch's matches on as views over the chunk.
class ForwardingSink final : public MatchSink {
 public:
  explicit ForwardingSink(FileMatchSink* target) : target_(target) {}
  // Null when there is nothing to forward to.
  MatchSink* IfAny() { return target_ ? this : nullptr; }
  bool OnMatch(const char* path, const boost::cmatch& match, const Chunk& chunk) override {
    return target_->OnFileMatch(path, ViewOf(match, chunk, slots_));
  }

 private:
  FileMatchSink* target_;
  std::vector<MatchSlot> slots_;
};

bool SearchFile(FileSearch& search, Mode mode, const char* path, int fd, std::uint64_t size,
                bc::match_flag_type flags, MatchSink* sink, std::uint64_t& count) {
  return mode == Mode::kGrep ? search.GrepFile(path, fd, size, flags, sink, count)
                             : search.FindFile(path, fd, size, flags, sink, count);
}

}  // namespace

// One parallel search: the jobs in flight, the workers, and the delivery on
// the calling thread. Every field shared with the workers is guarded by
// mutex_, except the `cancelled_` flag that a searching worker polls.
class ParallelFileSearch::Pipeline final : public FileVisitor, public WalkErrorSink {
 public:
  struct Setup {
    Mode mode;
    const boost::regex& expression;
    bc::match_flag_type flags;
    FileMatchSink* sink;
    WalkErrorSink* errors;
    const Limits& limits;
    unsigned workers;
    FileSearch& own;  // the calling thread's search
  };

  explicit Pipeline(const Setup& setup);
  ~Pipeline();
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;

  bool Visit(const char* path, int fd, std::uint64_t size) override;
  bool VisitOwned(const char* path, UniqueFd& fd, std::uint64_t size) override;
  bool ReleaseDescriptors() override;
  bool Settle();
  // Queued as a job of its own, so it is reported in its turn.
  void OnWalkError(const char* path, int error) override;
  // Delivers the files still in flight once the walk is over; returns the count.
  std::uint64_t Finish();

 private:
  enum class State { kQueued, kRunning, kDone };
  struct Job {
    Job(const char* p, int f, std::uint64_t s) : path(p), fd(f), size(s) {}
    std::string path;
    int fd;
    std::uint64_t size;
    State state = State::kQueued;
    std::uint64_t count = 0;  // what a counting search found
    MatchBatch ready;         // copies handed over, not yet taken
    std::exception_ptr error;
    int walkError = 0;        // for a path the walk could not open
  };
  class WorkerSink;
  enum class Pumped { kNothing, kSome, kStopped };

  void Stop();
  void Work();
  void Run(FileSearch& search, Job& job, MatchBatch& batch);
  void HandOver(Job& job, MatchBatch& batch);
  Job* Claim();
  Pumped Pump(bool wait);
  Pumped SearchFront(Job& job);
  Pumped Retire(Job& job);
  bool Deliver(const Job& job, const MatchBatch& batch);
  void PopFront();
  // With mutex_ held: `job` has something new for the calling thread.
  void SignalProgress(const Job& job) {
    if (delivering_ && &job == &jobs_.front()) progress_.notify_one();
  }
  bool SearchHere(const char* path, int fd, std::uint64_t size);
  bool DrainAll();
  bool Stopped() {
    stopped_ = true;
    return false;
  }

  const Setup setup_;
  const std::size_t window_;
  std::mutex mutex_;
  // Each kind of waiter is counted, so that nobody signals a condition no
  // one waits for: a wake-up per file would cost more than small files do.
  std::condition_variable work_;      // a job was queued, or the end came
  std::condition_variable progress_;  // the head job has something to deliver
  std::condition_variable space_;     // a job's handed-over copies were taken
  unsigned idle_ = 0;                 // workers waiting for work_
  bool delivering_ = false;           // the calling thread waits for progress_
  unsigned handing_ = 0;              // workers waiting for space_
  std::deque<Job> jobs_;              // undelivered, in walk order
  std::uint64_t first_ = 0;           // walk number of jobs_.front()
  std::uint64_t unclaimed_ = 0;       // walk number from which workers look for queued jobs
  bool walked_ = false;
  bool stopped_ = false;              // the sink ended the search; calling thread only
  std::atomic<bool> cancelled_{false};
  std::uint64_t count_ = 0;           // calling thread only
  MatchBatch taken_;                  // calling thread only
  std::vector<std::thread> threads_;
};

// What a worker's search reports to: copies of the matches when there is a
// sink to deliver them to, nothing but the stop request otherwise.
class ParallelFileSearch::Pipeline::WorkerSink final : public MatchSink {
 public:
  WorkerSink(Pipeline& pipeline, Job& job, MatchBatch& batch)
      : pipeline_(pipeline), job_(job), batch_(batch) {}

  bool OnMatch(const char*, const boost::cmatch& match, const Chunk& chunk) override {
    if (pipeline_.cancelled_.load(std::memory_order_relaxed)) return false;
    if (!pipeline_.setup_.sink) return true;
    batch_.Add(ViewOf(match, chunk, slots_));
    if (batch_.Bytes() >= pipeline_.setup_.limits.pieceBytes) pipeline_.HandOver(job_, batch_);
    return !pipeline_.cancelled_.load(std::memory_order_relaxed);
  }

 private:
  Pipeline& pipeline_;
  Job& job_;
  MatchBatch& batch_;
  std::vector<MatchSlot> slots_;
};

ParallelFileSearch::Pipeline::Pipeline(const Setup& setup)
    : setup_(setup), window_(std::max<std::size_t>(1, setup.limits.filesPerWorker) * setup.workers) {
  setup_.own.Prepare(setup_.expression);
  threads_.reserve(setup_.workers);
  try {
    for (unsigned i = 0; i < setup_.workers; ++i) threads_.emplace_back([this] { Work(); });
  } catch (...) {
    Stop();
    throw;
  }
}

ParallelFileSearch::Pipeline::~Pipeline() { Stop(); }

// Cancels what is in flight, joins the workers and closes the descriptors
// of the files no one searched.
void ParallelFileSearch::Pipeline::Stop() {
  {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
  }
  work_.notify_all();
  space_.notify_all();
  for (std::thread& thread : threads_)
    if (thread.joinable()) thread.join();
  threads_.clear();
  for (Job& job : jobs_)
    if (job.state == State::kQueued) ::close(job.fd);
  jobs_.clear();
}

// The next queued job in walk order, marked running; null when the search
// is over.
ParallelFileSearch::Pipeline::Job* ParallelFileSearch::Pipeline::Claim() {
  std::unique_lock lock(mutex_);
  const auto next = [this] {
    while (unclaimed_ < first_ + jobs_.size() && jobs_[unclaimed_ - first_].state != State::kQueued) ++unclaimed_;
    return unclaimed_ < first_ + jobs_.size();
  };
  ++idle_;
  work_.wait(lock, [&] { return cancelled_ || walked_ || next(); });
  --idle_;
  if (cancelled_ || !next()) return nullptr;
  Job& job = jobs_[unclaimed_++ - first_];
  job.state = State::kRunning;
  return &job;
}

void ParallelFileSearch::Pipeline::Work() {
  FileSearch search(setup_.limits.chunkSize, setup_.limits.lineLimit, setup_.limits.findWindow);
  search.Prepare(setup_.expression);
  MatchBatch batch;
  while (Job* job = Claim()) Run(search, *job, batch);
}

void ParallelFileSearch::Pipeline::Run(FileSearch& search, Job& job, MatchBatch& batch) {
  std::uint64_t count = 0;
  std::exception_ptr error;
  try {
    const UniqueFd closer(job.fd);
    WorkerSink sink(*this, job, batch);
    SearchFile(search, setup_.mode, job.path.c_str(), job.fd, job.size, setup_.flags, &sink, count);
  } catch (...) {
    error = std::current_exception();
  }
  HandOver(job, batch);
  std::lock_guard lock(mutex_);
  job.count = count;
  job.error = error;
  job.state = State::kDone;
  SignalProgress(job);
}

// Moves the worker's copies to the job once the calling thread has taken
// the previous ones; dropped when the search is cancelled.
void ParallelFileSearch::Pipeline::HandOver(Job& job, MatchBatch& batch) {
  if (batch.Count() == 0) return;
  std::unique_lock lock(mutex_);
  ++handing_;
  space_.wait(lock, [&] { return cancelled_ || job.ready.Count() == 0; });
  --handing_;
  if (!cancelled_) std::swap(job.ready, batch);
  batch.Clear();
  SignalProgress(job);
}

bool ParallelFileSearch::Pipeline::Deliver(const Job& job, const MatchBatch& batch) {
  for (std::size_t i = 0; i < batch.Count(); ++i) {
    ++count_;
    if (!setup_.sink->OnFileMatch(job.path.c_str(), batch.At(i))) return false;
  }
  return true;
}

// Searches one file on the calling thread, delivering straight to the sink.
bool ParallelFileSearch::Pipeline::SearchHere(const char* path, int fd, std::uint64_t size) {
  ForwardingSink forward(setup_.sink);
  return SearchFile(setup_.own, setup_.mode, path, fd, size, setup_.flags, forward.IfAny(), count_);
}

// Delivers what the first job in flight has ready, waiting for it with
// `wait`; a first job no worker has taken yet is searched here.
ParallelFileSearch::Pipeline::Pumped ParallelFileSearch::Pipeline::Pump(bool wait) {
  std::unique_lock lock(mutex_);
  if (jobs_.empty()) return Pumped::kNothing;
  Job& job = jobs_.front();
  if (job.state == State::kQueued) {
    if (!wait) return Pumped::kNothing;
    job.state = State::kRunning;
    lock.unlock();
    return SearchFront(job);
  }
  const auto ready = [&] { return job.state == State::kDone || job.ready.Count() != 0; };
  if (!wait && !ready()) return Pumped::kNothing;
  delivering_ = true;
  progress_.wait(lock, ready);
  delivering_ = false;
  const bool done = job.state == State::kDone;
  std::swap(taken_, job.ready);
  job.ready.Clear();
  if (handing_ != 0) space_.notify_all();
  lock.unlock();
  if (setup_.sink && !Deliver(job, taken_)) return Pumped::kStopped;
  return done ? Retire(job) : Pumped::kSome;
}

ParallelFileSearch::Pipeline::Pumped ParallelFileSearch::Pipeline::SearchFront(Job& job) {
  bool going;
  {
    const UniqueFd closer(job.fd);
    going = SearchHere(job.path.c_str(), job.fd, job.size);
  }
  PopFront();
  return going ? Pumped::kSome : Pumped::kStopped;
}

// Ends the first job, whose matches are delivered: its count, its walk
// error, and the exception its search met.
ParallelFileSearch::Pipeline::Pumped ParallelFileSearch::Pipeline::Retire(Job& job) {
  if (!setup_.sink) count_ += job.count;
  if (job.walkError != 0) setup_.errors->OnWalkError(job.path.c_str(), job.walkError);
  const std::exception_ptr error = job.error;
  PopFront();
  if (error) std::rethrow_exception(error);
  return Pumped::kSome;
}

void ParallelFileSearch::Pipeline::PopFront() {
  std::lock_guard lock(mutex_);
  jobs_.pop_front();
  ++first_;
  unclaimed_ = std::max(unclaimed_, first_);
}

bool ParallelFileSearch::Pipeline::Visit(const char* path, int fd, std::uint64_t size) {
  UniqueFd copy(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
  if (!copy) {
    // Out of descriptors: the walk's own serves, once every file before
    // this one is delivered and their descriptors are closed.
    if (!Settle() || !DrainAll() || !SearchHere(path, fd, size)) return Stopped();
    return true;
  }
  return VisitOwned(path, copy, size);
}

// The job takes the descriptor over, so the walk need not copy it.
bool ParallelFileSearch::Pipeline::VisitOwned(const char* path, UniqueFd& fd, std::uint64_t size) {
  if (!Settle()) return Stopped();
  std::lock_guard lock(mutex_);
  jobs_.emplace_back(path, fd.release(), size);
  // Waking a worker costs two context switches, more than searching a
  // small file through the prefilter: a waiting worker is woken once a few
  // files wait for it. Files left unclaimed meanwhile are searched here
  // when their turn comes, or by the workers that Finish wakes.
  if (idle_ != 0 && first_ + jobs_.size() - unclaimed_ >= kWakeBatch) work_.notify_one();
  return true;
}

// The files in flight hold the descriptors the walk ran short of: they are
// delivered and closed, as every file before the next must be anyway. A
// stop meanwhile is seen by the next VisitOwned.
bool ParallelFileSearch::Pipeline::ReleaseDescriptors() {
  if (jobs_.empty()) return false;
  DrainAll();
  return true;
}

// Delivers what is ready and makes room in the window; false when the
// search was stopped.
bool ParallelFileSearch::Pipeline::Settle() {
  if (stopped_) return false;
  for (Pumped p = Pump(false); p != Pumped::kNothing; p = Pump(false))
    if (p == Pumped::kStopped) return false;
  while (jobs_.size() >= window_)
    if (Pump(true) == Pumped::kStopped) return false;
  return true;
}

void ParallelFileSearch::Pipeline::OnWalkError(const char* path, int error) {
  if (stopped_ || !setup_.errors) return;
  std::lock_guard lock(mutex_);
  Job& job = jobs_.emplace_back(path, -1, 0);
  job.state = State::kDone;
  job.walkError = error;
}

bool ParallelFileSearch::Pipeline::DrainAll() {
  while (!jobs_.empty())
    if (Pump(true) == Pumped::kStopped) return Stopped();
  return true;
}

std::uint64_t ParallelFileSearch::Pipeline::Finish() {
  {
    std::lock_guard lock(mutex_);
    walked_ = true;
  }
  work_.notify_all();
  if (!stopped_) DrainAll();
  return count_;
}

ParallelFileSearch::ParallelFileSearch(unsigned workers, const Limits& limits)
    : limits_(limits), sequential_(limits.chunkSize, limits.lineLimit, limits.findWindow) {
  SetWorkers(workers);
}

ParallelFileSearch::~ParallelFileSearch() = default;

void ParallelFileSearch::SetWorkers(unsigned workers) {
  workers_ = workers != 0 ? workers : std::max(1u, std::thread::hardware_concurrency());
}

std::uint64_t ParallelFileSearch::Search(Mode mode, const boost::regex& expression, const FileSpec& spec,
                                         bool recurse, bc::match_flag_type flags, FileMatchSink* sink,
                                         WalkErrorSink* errors) {
  Pipeline pipeline(Pipeline::Setup{mode, expression, flags, sink, errors, limits_, workers_, sequential_});
  walker_.Walk(spec, recurse, pipeline, &pipeline);
  return pipeline.Finish();
}

std::uint64_t ParallelFileSearch::Grep(const boost::regex& expression, const FileSpec& spec, bool recurse,
                                       bc::match_flag_type flags, FileMatchSink* sink, WalkErrorSink* errors) {
  if (workers_ > 1) return Search(Mode::kGrep, expression, spec, recurse, flags, sink, errors);
  ForwardingSink forward(sink);
  return sequential_.Grep(expression, spec, recurse, flags, forward.IfAny(), errors);
}

std::uint64_t ParallelFileSearch::Find(const boost::regex& expression, const FileSpec& spec, bool recurse,
                                       bc::match_flag_type flags, FileMatchSink* sink, WalkErrorSink* errors) {
  if (workers_ > 1) return Search(Mode::kFind, expression, spec, recurse, flags, sink, errors);
  ForwardingSink forward(sink);
  return sequential_.Find(expression, spec, recurse, flags, forward.IfAny(), errors);
}

}  // namespace RegexComponent::engine
