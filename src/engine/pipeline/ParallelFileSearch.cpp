#include "engine/pipeline/ParallelFileSearch.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/pipeline/OrderedPipeline.h"
#include "engine/files/UniqueFd.h"
#include "engine/files/WorkerDescriptors.h"

namespace RegexComponent::engine {

namespace bc = boost::regex_constants;
using Mode = ParallelFileSearch::Mode;

namespace {

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
  std::vector<MatchView::Slot> slots_;
};

bool SearchFile(FileSearch& search, Mode mode, const char* path, int fd, std::uint64_t size,
                bc::match_flag_type flags, MatchSink* sink, std::uint64_t& count) {
  return mode == Mode::kGrep ? search.GrepFile(path, fd, size, flags, sink, count)
                             : search.FindFile(path, fd, size, flags, sink, count);
}

}  // namespace

// One parallel search: the walk's visitor, and the client of the pipeline
// that searches the files on workers and delivers their matches in order.
class ParallelFileSearch::Pipeline final : public FileVisitor, public ListedFileOpener, public WalkErrorSink {
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

  // A file to search, or a path the walk could not open.
  struct Task {
    std::string path;
    UniqueFd fd{-1};  // when not open, the search opens `name` in `dir`
    SharedFd dir;
    std::string name;
    bool mayBeLink = false;
    std::uint64_t size = 0;
    int walkError = 0;
    // Left by the worker to the calling thread, to be opened in its turn.
    bool openHere = false;
    std::uint64_t count = 0;  // what a counting search found
  };
  using Piece = MatchBatch;
  class Worker;
  class WorkerSink;

  explicit Pipeline(const Setup& setup);

  bool Visit(const char* path, int fd, std::uint64_t size) override;
  // The task takes the descriptor over, so the walk need not copy it.
  bool VisitOwned(const char* path, UniqueFd& fd, std::uint64_t size) override;
  bool ReleaseDescriptors() override;
  // Files in listed directories are opened by the workers, where
  // descriptors abound.
  ListedFileOpener* Opener() override { return opensFiles_ ? this : nullptr; }
  bool VisitUnopened(const char* path, const SharedFd& dir, const char* name, bool mayBeLink) override;
  // Queued as a task of its own, so it is reported in its turn.
  void OnWalkError(const char* path, int error) override;
  // Delivers the files still in flight once the walk is over; returns the count.
  std::uint64_t Finish();

  static bool Empty(const Piece& piece) { return piece.Count() == 0; }
  static void Clear(Piece& piece) { piece.Clear(); }
  template <class Outlet>
  void Run(Worker& worker, Task& task, Outlet& outlet);
  bool RunHere(Task& task);
  bool Deliver(Task& task, Piece& piece);
  bool Finish(Task& task);

 private:
  bool SearchHere(const char* path, int fd, std::uint64_t size);
  // Opens the task's listed file into task.fd; returns the error to report
  // (0 also for a file skipped quietly).
  static int Open(Task& task);
  // On a worker: opens the task's file; false when there is nothing for the
  // worker to search.
  bool OpenOnWorker(Task& task);
  // On the calling thread: opens a task's file left to it, and searches it.
  bool OpenAndSearchHere(Task& task);

  const Setup setup_;
  bool prefiltered_ = false;  // files are passed over by the prefilter
  bool opensFiles_ = false;
  std::uint64_t count_ = 0;  // calling thread only
  WorkerDescriptors descriptors_;
  // Last, so that its workers are joined before the rest goes.
  std::unique_ptr<OrderedPipeline<Pipeline>> pipeline_;
};

// A worker's own search over the shared expression.
class ParallelFileSearch::Pipeline::Worker {
 public:
  explicit Worker(Pipeline& pipeline)
      : search(pipeline.setup_.limits.chunkSize, pipeline.setup_.limits.lineLimit,
               pipeline.setup_.limits.findWindow) {
    search.Prepare(pipeline.setup_.expression);
  }
  FileSearch search;
};

// What a worker's search reports to: copies of the matches when there is a
// sink to deliver them to, handed over piece by piece; nothing but the
// stop request otherwise.
class ParallelFileSearch::Pipeline::WorkerSink final : public MatchSink {
 public:
  using Outlet = OrderedPipeline<Pipeline>::Outlet;
  WorkerSink(const Pipeline& pipeline, Outlet& outlet) : pipeline_(pipeline), outlet_(outlet) {}

  bool OnMatch(const char*, const boost::cmatch& match, const Chunk& chunk) override {
    if (outlet_.Cancelled()) return false;
    if (!pipeline_.setup_.sink) return true;
    outlet_.piece.Add(match, chunk);
    if (outlet_.piece.Bytes() >= pipeline_.setup_.limits.pieceBytes) outlet_.HandOver();
    return !outlet_.Cancelled();
  }

 private:
  const Pipeline& pipeline_;
  Outlet& outlet_;
};

ParallelFileSearch::Pipeline::Pipeline(const Setup& setup) : setup_(setup) {
  setup_.own.Prepare(setup_.expression);
  prefiltered_ = setup_.own.Prefiltered(setup_.flags);
  const WorkerWindow window = ChooseWorkerWindow(setup_.workers, setup_.limits.filesPerWorker);
  opensFiles_ = window.opensFiles;
  pipeline_ = std::make_unique<OrderedPipeline<Pipeline>>(
      *this, OrderedPipelineLimits{setup_.workers, window.filesPerWorker, setup_.limits.claimBatch,
                                   setup_.limits.claimBatch, setup_.limits.helpInputBytes});
}

template <class Outlet>
void ParallelFileSearch::Pipeline::Run(Worker& worker, Task& task, Outlet& outlet) {
  if (task.walkError != 0 || !OpenOnWorker(task)) return;
  if (!outlet.MayHold(task.size)) {
    // Left to a worker, still open; a file opened here stays counted until
    // that worker closes it.
    outlet.Decline();
    return;
  }
  // Closed on the worker, also when the search throws.
  struct Closer {
    Pipeline& pipeline;
    Task& task;
    ~Closer() {
      const bool opened = static_cast<bool>(task.dir);
      task.fd = UniqueFd(-1);
      if (opened) pipeline.descriptors_.Closed();
    }
  } closer{*this, task};
  WorkerSink sink(*this, outlet);
  SearchFile(worker.search, setup_.mode, task.path.c_str(), task.fd.get(), task.size, setup_.flags, &sink,
             task.count);
}

int ParallelFileSearch::Pipeline::Open(Task& task) {
  int error = 0;
  task.fd = FileWalker::OpenListedFile(task.dir.get(), task.name.c_str(), task.mayBeLink, task.size, error);
  return error;
}

bool ParallelFileSearch::Pipeline::OpenOnWorker(Task& task) {
  if (task.fd) return true;
  task.openHere = true;
  if (!descriptors_.MayOpen()) return false;
  const int error = Open(task);
  if (descriptors_.LeftHere(error, static_cast<bool>(task.fd))) return false;
  task.openHere = false;
  // A failure is reported by Finish in the file's turn; a file skipped
  // quietly leaves nothing to do.
  task.walkError = error;
  return static_cast<bool>(task.fd);
}

bool ParallelFileSearch::Pipeline::OpenAndSearchHere(Task& task) {
  int error = Open(task);
  if (descriptors_.WaitToRetry(error)) error = Open(task);
  task.walkError = error;
  if (!task.fd) return Finish(task);
  const bool going = SearchHere(task.path.c_str(), task.fd.get(), task.size);
  task.fd = UniqueFd(-1);
  return going;
}

// Searches one file on the calling thread, delivering straight to the sink.
bool ParallelFileSearch::Pipeline::SearchHere(const char* path, int fd, std::uint64_t size) {
  ForwardingSink forward(setup_.sink);
  return SearchFile(setup_.own, setup_.mode, path, fd, size, setup_.flags, forward.IfAny(), count_);
}

bool ParallelFileSearch::Pipeline::RunHere(Task& task) {
  if (task.walkError != 0) return Finish(task);
  if (!task.fd) return OpenAndSearchHere(task);
  return SearchHere(task.path.c_str(), task.fd.get(), task.size);
}

bool ParallelFileSearch::Pipeline::Deliver(Task& task, Piece& batch) {
  for (std::size_t i = 0; i < batch.Count(); ++i) {
    ++count_;
    if (!setup_.sink->OnFileMatch(task.path.c_str(), batch.At(i))) return false;
  }
  return true;
}

// Ends a task whose matches are delivered: its count, or its walk error.
bool ParallelFileSearch::Pipeline::Finish(Task& task) {
  if (task.openHere) {
    task.openHere = false;
    return OpenAndSearchHere(task);
  }
  if (!setup_.sink) count_ += task.count;
  if (task.walkError != 0 && setup_.errors) setup_.errors->OnWalkError(task.path.c_str(), task.walkError);
  return true;
}

bool ParallelFileSearch::Pipeline::Visit(const char* path, int fd, std::uint64_t size) {
  UniqueFd copy(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
  // Out of descriptors: the walk's own serves, once every file before this
  // one is delivered and their descriptors are closed.
  if (!copy) return pipeline_->Drain() && SearchHere(path, fd, size);
  return VisitOwned(path, copy, size);
}

bool ParallelFileSearch::Pipeline::VisitOwned(const char* path, UniqueFd& fd, std::uint64_t size) {
  Task task;
  task.path = path;
  task.fd = std::move(fd);
  task.size = size;
  const bool shared = !prefiltered_ || size >= setup_.limits.sharedFrom;
  return pipeline_->Submit(std::move(task), shared);
}

bool ParallelFileSearch::Pipeline::VisitUnopened(const char* path, const SharedFd& dir,
                                                 const char* name, bool mayBeLink) {
  Task task;
  task.path = path;
  task.dir = dir;
  task.name = name;
  task.mayBeLink = mayBeLink;
  return pipeline_->Submit(std::move(task));
}

// The files in flight hold the descriptors the walk ran short of: they are
// delivered and closed, as every file before the next must be anyway. A
// stop meanwhile is seen by the next Submit.
bool ParallelFileSearch::Pipeline::ReleaseDescriptors() {
  if (pipeline_->InFlight() == 0) return false;
  pipeline_->Drain();
  return true;
}

void ParallelFileSearch::Pipeline::OnWalkError(const char* path, int error) {
  if (!setup_.errors) return;
  Task task;
  task.path = path;
  task.walkError = error;
  pipeline_->Submit(std::move(task), false);
}

std::uint64_t ParallelFileSearch::Pipeline::Finish() {
  pipeline_->Drain();
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
