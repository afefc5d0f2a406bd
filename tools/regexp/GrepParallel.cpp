#include "GrepParallel.h"

#include <unistd.h>

#include <utility>

#include "GrepJson.h"
#include "engine/OrderedPipeline.h"
#include "engine/UniqueFd.h"

namespace RegexComponent::tool {

// The pipeline's client: what a file's search is on a worker and on the
// calling thread, and how its output is written in its turn.
class GrepParallel::Files {
 public:
  // A file to search, or a problem the walk met.
  struct Task {
    bool problem = false;
    engine::UniqueFd fd{-1};  // closed by the search
    struct stat info {};
    std::string name;  // a problem's line
    bool showName = false;
    bool trouble = false;   // a problem's
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
  const GrepSettings& s_;
  const engine::LineMatcher& matcher_;
  const GrepColors* colors_;
  GrepSink& sink_;
  GrepWriter& out_;
  const std::size_t pieceBytes_;
  GrepSequential here_;  // the calling thread's search, and the results
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
  task.result = search_.Search(task.fd.get(), task.info, task.name, task.showName, lines);
  Move(outlet);
}

// Moves the output written so far into the outlet's piece.
template <class Outlet>
void GrepParallel::Files::Worker::Move(Outlet& outlet) {
  out_.Flush();
  std::swap(outlet.piece.capture, capture_);
  if (!linesFlagged_ && sink_.Tally().printedLines) outlet.piece.linesStart = linesFlagged_ = true;
}

template <class Outlet>
void GrepParallel::Files::Run(Worker& worker, Task& task, Outlet& outlet) {
  // A problem has nothing to search; Finish reports it.
  if (task.problem) return;
  worker.Search(task, outlet);
  // Closed here rather than on the calling thread, which walks and writes.
  task.fd = engine::UniqueFd(-1);
}

bool GrepParallel::Files::RunHere(Task& task) {
  if (task.problem) {
    here_.Report(task.name, task.trouble);
    return true;
  }
  return here_.Search(task.fd, task.info, task.name, task.showName);
}

bool GrepParallel::Files::Deliver(Task&, Piece& piece) {
  if (piece.linesStart) sink_.LinesFollow();
  out_.Replay(piece.capture);
  return true;
}

bool GrepParallel::Files::Finish(Task& task) {
  if (task.problem) {
    here_.Report(task.name, task.trouble);
    return true;
  }
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
    : files_(std::make_unique<Files>(s, matcher, colors, sink, out, limits.pieceBytes)),
      pipeline_(std::make_unique<Pipeline>(
          *files_, engine::OrderedPipelineLimits{limits.workers, limits.filesPerWorker})),
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
  task.name = name;
  task.showName = showName;
  return pipeline_->Submit(std::move(task), static_cast<std::uint64_t>(info.st_size) >= sharedFrom_);
}

void GrepParallel::Report(const std::string& line, bool trouble) {
  if (line.empty() && !trouble) return;
  Files::Task task;
  task.problem = true;
  task.name = line;
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
    GrepWalk(s, files).Run();
    status = files.Finish();
  } else {
    GrepSequential files(s, matcher, sink, out);
    GrepWalk(s, files).Run();
    status = files.Status();
  }
  if (s.json) json.Summary();
  out.Flush();
  return status;
}

}  // namespace RegexComponent::tool
