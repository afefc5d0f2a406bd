#include "GrepParallel.h"

#include <unistd.h>

#include <cstring>
#include <utility>

#include "GrepJson.h"
#include "engine/files/FileWalker.h"
#include "engine/pipeline/OrderedPipeline.h"
#include "engine/files/UniqueFd.h"
#include "engine/files/WorkerDescriptors.h"

namespace RegexComponent::tool {

// The pipeline's client: what a file's search is on a worker and on the
// calling thread, and how its output is written in its turn.
class GrepParallel::Files {
 public:
  // A file to search, or a problem the walk met.
  struct Task {
    bool problem = false;
    // Opened by the search when `fd` is not open yet.
    GrepFileRef file;
    engine::UniqueFd fd{-1};  // closed by the search
    // Opened by a worker, and counted among the workers' open files.
    bool counted = false;
    struct stat info {};
    std::string line;  // a problem's
    bool trouble = false;   // a problem's
    // Left by the worker to the calling thread, for its turn: not a
    // regular file, or not opened for want of descriptors.
    bool searchHere = false;
    GrepFileResult result;  // set by the worker
  };
  // Part of a file's output.
  struct Piece {
    GrepCapture capture;
    bool linesStart = false;  // the file's first printed line is in it
  };
  class Worker;

  Files(const GrepSettings& s, const engine::LineMatcher& matcher, const GrepColors* colors, GrepSink& sink,
        GrepWriter& out, std::size_t pieceBytes)
      : s_(s), matcher_(matcher), colors_(colors), sink_(sink), out_(out), pieceBytes_(pieceBytes),
        here_(s, matcher, sink, out) {}

  static bool Empty(const Piece& piece) { return piece.capture.Empty() && !piece.linesStart; }
  static void Clear(Piece& piece) {
    piece.capture.Clear();
    piece.linesStart = false;
  }
  template <class Outlet>
  void Run(Worker& worker, Task& task, Outlet& outlet);
  bool RunHere(Task& task);
  bool Deliver(Task& task, Piece& piece);
  bool Finish(Task& task);
  GrepSequential& Here() { return here_; }

 private:
  // On the calling thread: opens the task's file unless it is open; false
  // when it became a problem.
  bool Open(Task& task);
  // On a worker: opens the task's file; false when it is left to the
  // calling thread or became a problem.
  bool OpenOnWorker(Task& task);
  // Makes the task the report of a failure to open its file.
  void Failed(Task& task, int error) const;
  // The task's file no longer counts among the workers' open files.
  void Uncount(Task& task) {
    if (task.counted) descriptors_.Closed();
    task.counted = false;
  }

  const GrepSettings& s_;
  const engine::LineMatcher& matcher_;
  const GrepColors* colors_;
  GrepSink& sink_;
  GrepWriter& out_;
  const std::size_t pieceBytes_;
  GrepSequential here_;  // the calling thread's search, and the results
  engine::WorkerDescriptors descriptors_;
};

// A worker's own sink, writing into memory, and its search.
class GrepParallel::Files::Worker {
 public:
  explicit Worker(Files& files);

  template <class Outlet>
  void Search(Task& task, Outlet& outlet);

 private:
  template <class Outlet>
  class PieceSink;
  template <class Outlet>
  void Move(Outlet& outlet);

  const std::size_t pieceBytes_;
  GrepCapture capture_;
  GrepWriter out_;
  GrepPrinter printer_;
  GrepJsonPrinter json_;
  GrepSink& sink_;
  GrepFileSearch search_;
  bool linesFlagged_ = false;  // a piece of this file had linesStart
};

// Passes the lines on to the worker's sink, handing its output over each
// time it reaches the piece size, and ends the file once cancelled.
template <class Outlet>
class GrepParallel::Files::Worker::PieceSink final : public engine::LineSink {
 public:
  PieceSink(Worker& worker, Outlet& outlet) : worker_(worker), outlet_(outlet) {}
  bool Line(const engine::LineView& line, bool selected) override {
    const bool going = worker_.sink_.Line(line, selected);
    if (worker_.out_.Captured() >= worker_.pieceBytes_) {
      worker_.Move(outlet_);
      if (!outlet_.HandOver()) return false;
    }
    return going && !outlet_.Cancelled();
  }
  bool Binary() override { return worker_.sink_.Binary(); }

 private:
  Worker& worker_;
  Outlet& outlet_;
};

GrepParallel::Files::Worker::Worker(Files& files)
    : pieceBytes_(files.pieceBytes_),
      out_(capture_),
      printer_(files.s_, files.matcher_, out_, files.colors_),
      json_(files.s_, files.matcher_, out_),
      sink_(files.s_.json ? static_cast<GrepSink&>(json_) : printer_),
      search_(files.s_, files.matcher_, sink_, out_) {
  printer_.PrintEachFileAlone();
}

template <class Outlet>
void GrepParallel::Files::Worker::Search(Task& task, Outlet& outlet) {
  // Whatever a search that threw left behind belongs to no file.
  out_.Flush();
  capture_.Clear();
  linesFlagged_ = false;
  PieceSink<Outlet> lines(*this, outlet);
  task.result = search_.Search(task.fd.get(), task.info, task.file.shown, task.file.showName, lines);
  Move(outlet);
}

// Moves the output written so far into the outlet's piece.
template <class Outlet>
void GrepParallel::Files::Worker::Move(Outlet& outlet) {
  out_.Flush();
  std::swap(outlet.piece.capture, capture_);
  if (!linesFlagged_ && sink_.Tally().printedLines) outlet.piece.linesStart = linesFlagged_ = true;
}

void GrepParallel::Files::Failed(Task& task, int error) const {
  task.problem = true;
  task.line = GrepProblem(s_, task.file.shown, std::strerror(error));
  task.trouble = true;
}

bool GrepParallel::Files::Open(Task& task) {
  if (task.fd.get() >= 0) return true;
  int error = task.file.Open(task.fd, task.info);
  if (descriptors_.WaitToRetry(error)) error = task.file.Open(task.fd, task.info);
  if (error != 0) Failed(task, error);
  return error == 0;
}

bool GrepParallel::Files::OpenOnWorker(Task& task) {
  if (task.fd.get() >= 0) return true;
  task.searchHere = true;
  if (!descriptors_.MayOpen()) return false;
  const int error = task.file.Open(task.fd, task.info);
  if (descriptors_.LeftHere(error, error == 0)) return false;
  task.counted = error == 0;
  task.searchHere = false;
  if (error != 0) Failed(task, error);
  return error == 0;
}

template <class Outlet>
void GrepParallel::Files::Run(Worker& worker, Task& task, Outlet& outlet) {
  // A problem has nothing to search; Finish reports it.
  if (task.problem || !OpenOnWorker(task)) return;
  if (!S_ISREG(task.info.st_mode)) {
    // A file that turned out not to be regular may be a FIFO, which might
    // never end: the calling thread searches it in its turn, still open.
    task.searchHere = true;
    Uncount(task);
    return;
  }
  if (!outlet.MayHold(static_cast<std::uint64_t>(task.info.st_size))) {
    // Left to a worker, still open and counted.
    outlet.Decline();
    return;
  }
  // Closed here rather than on the calling thread, which walks and writes;
  // also when the search throws.
  struct Closer {
    Files& files;
    Task& task;
    ~Closer() {
      task.fd = engine::UniqueFd(-1);
      files.Uncount(task);
    }
  } closer{*this, task};
  worker.Search(task, outlet);
}

bool GrepParallel::Files::RunHere(Task& task) {
  if (task.problem || !Open(task)) {
    here_.Report(task.line, task.trouble);
    return true;
  }
  return here_.Search(task.fd, task.info, task.file.shown, task.file.showName);
}

bool GrepParallel::Files::Deliver(Task&, Piece& piece) {
  if (piece.linesStart) sink_.LinesFollow();
  out_.Replay(piece.capture);
  return true;
}

bool GrepParallel::Files::Finish(Task& task) {
  if (task.problem) {
    here_.Report(task.line, task.trouble);
    return true;
  }
  if (task.searchHere) return RunHere(task);
  if (task.result.searched) sink_.Add(task.result.tally);
  return here_.Settle(task.result);
}

bool GrepParallel::IsStandardInput(const struct stat& info) const {
  return stdinIsFile_ && info.st_dev == stdin_.st_dev && info.st_ino == stdin_.st_ino;
}

class GrepParallel::Pipeline final : public engine::OrderedPipeline<Files> {
 public:
  using OrderedPipeline::OrderedPipeline;
};

GrepParallel::GrepParallel(const GrepSettings& s, const engine::LineMatcher& matcher, const GrepColors* colors,
                           GrepSink& sink, GrepWriter& out, const GrepParallelLimits& limits)
    : window_(engine::ChooseWorkerWindow(limits.workers, limits.filesPerWorker)),
      files_(std::make_unique<Files>(s, matcher, colors, sink, out, limits.pieceBytes)),
      pipeline_(std::make_unique<Pipeline>(
          *files_, engine::OrderedPipelineLimits{limits.workers, window_.filesPerWorker, limits.claimBatch,
                                                 limits.claimBatch, limits.helpInputBytes})),
      s_(s),
      sharedFrom_(matcher.Candidates() ? limits.sharedFrom : 0) {
  stdinIsFile_ = ::fstat(STDIN_FILENO, &stdin_) == 0;
}

GrepParallel::~GrepParallel() = default;

bool GrepParallel::Search(engine::UniqueFd& fd, const struct stat& info, const std::string& name, bool showName) {
  // A stream may never end, and every copy of standard input shares one
  // reading position: those are searched here in their turn.
  if (!S_ISREG(info.st_mode) || IsStandardInput(info))
    return pipeline_->Drain() && files_->Here().Search(fd, info, name, showName);
  Files::Task task;
  task.fd = std::move(fd);
  task.info = info;
  task.file.shown = name;
  task.file.showName = showName;
  return pipeline_->Submit(std::move(task), static_cast<std::uint64_t>(info.st_size) >= sharedFrom_);
}

bool GrepParallel::Search(GrepFileRef&& file) {
  if (!window_.opensFiles) return OpenAndSearch(s_, *this, file);
  Files::Task task;
  task.file = std::move(file);
  return pipeline_->Submit(std::move(task));
}

void GrepParallel::Report(const std::string& line, bool trouble) {
  if (line.empty() && !trouble) return;
  Files::Task task;
  task.problem = true;
  task.line = line;
  task.trouble = trouble;
  pipeline_->Submit(std::move(task), false);
}

int GrepParallel::Finish() {
  pipeline_->Drain();
  return files_->Here().Status();
}

int SearchFiles(const GrepSettings& s, const engine::LineMatcher& matcher, const GrepColors* colors,
                GrepWriter& out, const GrepParallelLimits& limits) {
  GrepPrinter printer(s, matcher, out, colors);
  GrepJsonPrinter json(s, matcher, out);
  GrepSink& sink = s.json ? static_cast<GrepSink&>(json) : printer;
  int status;
  if (limits.workers > 1) {
    GrepParallel files(s, matcher, colors, sink, out, limits);
    GrepOperands(s, files).Run();
    status = files.Finish();
  } else {
    GrepSequential files(s, matcher, sink, out);
    GrepOperands(s, files).Run();
    status = files.Status();
  }
  if (s.json) json.Summary();
  out.Flush();
  return status;
}

}  // namespace RegexComponent::tool
