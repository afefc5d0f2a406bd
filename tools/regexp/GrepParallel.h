// The walk's handler that searches regular files on worker threads ahead of
// the walk, their output written on the calling thread in the walk's order,
// byte for byte what GrepSequential writes.
//
// External interface: GrepParallelLimits, GrepParallel.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <memory>

#include "GrepOperands.h"
#include "GrepOptions.h"
#include "GrepOutput.h"
#include "GrepSearch.h"
#include "GrepWriter.h"
#include "engine/files/FileWalker.h"
#include "engine/files/WorkerDescriptors.h"
#include "engine/match/LineMatcher.h"
#include "engine/pipeline/OrderedPipeline.h"

namespace RegexComponent::tool {

struct GrepParallelLimits {
  unsigned workers = 2;            // threads besides the calling one
  // Files in flight per worker, fewer where descriptors are short
  // (engine::ChooseWorkerWindow).
  std::size_t filesPerWorker = engine::kDefaultFilesPerWorker;
  // A file's output held in memory before the worker waits for it to be
  // written.
  std::size_t pieceBytes = engine::kDefaultPieceBytes;
  // A file whose lines the candidate scan passes over is handed to a worker
  // only from this size on: a smaller one is searched in less time than the
  // hand-off takes, so the calling thread searches it in its turn.
  std::size_t sharedFrom = std::size_t{64} << 10;
  // Files a worker takes at once; their output waits for the last of them.
  std::size_t claimBatch = 8;
  // The largest file the calling thread searches while it waits for a
  // worker, holding its output until the file's turn; 0 for none.
  std::uint64_t helpInputBytes = engine::kDefaultHelpInputBytes;
};

// Standard input and files other than regular ones (FIFOs, devices) are
// searched on the calling thread once every file before them is written.
// `sink` and `out` are the calling thread's; each worker makes its own sink
// of the same settings with `colors`.
class GrepParallel final : public GrepFileHandler {
 public:
  GrepParallel(const GrepSettings& settings, const engine::LineMatcher& matcher, const GrepColors* colors,
               GrepSink& sink, GrepWriter& out, const GrepParallelLimits& limits);
  ~GrepParallel();

  // Takes a regular file's descriptor over; a worker closes it.
  bool Search(engine::UniqueFd& fd, const struct stat& info, const std::string& name, bool showName) override;
  // Hands the file to a worker, which opens it, where descriptors abound
  // (engine::DescriptorsAbound); else opens it here.
  bool Search(GrepFileRef&& file) override;
  void Report(const std::string& line, bool trouble) override;
  // Writes what is still in flight; returns the exit status.
  int Finish();

 private:
  bool IsStandardInput(const struct stat& info) const;

  class Files;
  class Pipeline;
  const engine::WorkerWindow window_;
  std::unique_ptr<Files> files_;
  std::unique_ptr<Pipeline> pipeline_;  // goes first: its workers use files_
  struct stat stdin_ {};
  bool stdinIsFile_ = false;
  const GrepSettings& s_;
  std::size_t sharedFrom_;  // 0 when every file goes to the workers
};

// The walk over the settings' files with their output written to `out`
// (the JSON summary included): on `limits.workers` threads besides the
// calling one, or on the calling thread alone when that is 0 or 1. `colors`
// may be null. Returns the exit status.
int SearchFiles(const GrepSettings& s, const engine::LineMatcher& matcher, const GrepColors* colors,
                GrepWriter& out, const GrepParallelLimits& limits);

}  // namespace RegexComponent::tool
