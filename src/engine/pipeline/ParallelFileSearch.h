// ParallelFileSearch: FileSearch's Grep and Find with the files searched by
// worker threads ahead of the caller, every match still delivered on the
// calling thread in the walk's order; FileMatchSink receives them. Used by
// RegEx. See docs/file-search.md, "Searching with workers".
#pragma once

#include <cstddef>
#include <cstdint>

#include <boost/regex.hpp>

#include "engine/files/ChunkReader.h"
#include "engine/match/MatchSlots.h"
#include "engine/search/FileSearch.h"
#include "engine/files/FileSpec.h"
#include "engine/files/FileWalker.h"
#include "engine/files/WorkerDescriptors.h"
#include "engine/pipeline/OrderedPipeline.h"

namespace RegexComponent::engine {

class FileMatchSink {
 public:
  // Called on the thread that started the search, in walk order and in
  // order of position within a file; `match` is valid during the call only.
  // Returning false ends the search.
  virtual bool OnFileMatch(const char* path, const MatchView& match) = 0;

 protected:
  ~FileMatchSink() = default;
};

// The reading sizes of each worker's FileSearch, and what may be in flight.
struct ParallelSearchLimits {
  std::size_t chunkSize = ChunkReader::kDefaultChunkSize;
  std::size_t lineLimit = ChunkReader::kDefaultLineLimit;
  std::size_t findWindow = FileSearch::kDefaultFindWindow;
  // Files in flight per worker, fewer where descriptors are short
  // (ChooseWorkerWindow).
  std::size_t filesPerWorker = kDefaultFilesPerWorker;
  std::size_t pieceBytes = kDefaultPieceBytes;
  // A file the literal prefilter passes over is handed to a worker only
  // from this size on: a smaller one is searched in less time than the
  // hand-off takes, so the calling thread searches it in its turn.
  std::size_t sharedFrom = std::size_t{64} << 10;
  // Files a worker takes at once; their results wait for the last of them.
  std::size_t claimBatch = 8;
  // The largest file the calling thread searches while it waits for a
  // worker, holding its matches until the file's turn; 0 for none.
  std::uint64_t helpInputBytes = kDefaultHelpInputBytes;
};

// With one worker Grep and Find are FileSearch's on the calling thread,
// nothing else running. With more, the calling thread walks and hands each
// file, in walk order, to a window of files in flight; the workers read and
// search them (the calling thread too, when the next file to deliver is not
// yet taken, and while it waits for a worker, later files of up to
// `helpInputBytes`), and the calling thread delivers each file's results
// when its turn comes. The sink sees exactly what the one-worker search delivers and
// the count returned is the same, also when the sink stops the search (the
// rest is cancelled) or a search throws: the exception is raised on the
// calling thread when its file's turn comes, after the matches found in that
// file before it. No thread outlives a call.
//
// Without a sink the workers only count. With one, a worker copies each
// match's slots and covered text; once a file's copies exceed `pieceBytes`
// it hands them over and waits for the calling thread to take them before
// going on, so memory stays within about two pieces per file in flight plus
// one chunk buffer per worker, however large the file; the small files the
// calling thread searched while it waited are held whole.
//
// A file is read when a worker reaches it, before the matches of earlier
// files are delivered: a sink that changes a later file sees it searched
// as it was before. Where descriptors abound (DescriptorsAbound), the
// workers open the files of the directories the walk lists, each file in
// flight holding only its directory's descriptor; a failure to open is
// reported in the file's turn, as the walk reports it. Once a worker runs
// short of descriptors, the calling thread opens every later file in its
// turn, after the workers have closed theirs. Elsewhere each file in
// flight holds the descriptor the walk opened it with; when the walk
// cannot open a file for want of descriptors, everything in flight is
// delivered and closed and the open tried again. Opening a directory may
// still run short of descriptors sooner than without workers, and is
// reported as any failure to open.
class ParallelFileSearch {
 public:
  using Limits = ParallelSearchLimits;

  // `workers` as for SetWorkers.
  explicit ParallelFileSearch(unsigned workers = 1, const Limits& limits = Limits());
  ~ParallelFileSearch();
  ParallelFileSearch(const ParallelFileSearch&) = delete;
  ParallelFileSearch& operator=(const ParallelFileSearch&) = delete;

  // 1 searches on the calling thread alone; 0 one worker per available core.
  void SetWorkers(unsigned workers);
  unsigned Workers() const { return workers_; }

  // As FileSearch::Grep and Find, with a FileMatchSink; `sink` may be null
  // to only count. What the walk cannot open goes to `errors` (when not
  // null), on the calling thread, in its place among the matches.
  std::uint64_t Grep(const boost::regex& expression, const FileSpec& spec, bool recurse,
                     boost::regex_constants::match_flag_type flags, FileMatchSink* sink,
                     WalkErrorSink* errors = nullptr);
  std::uint64_t Find(const boost::regex& expression, const FileSpec& spec, bool recurse,
                     boost::regex_constants::match_flag_type flags, FileMatchSink* sink,
                     WalkErrorSink* errors = nullptr);

  enum class Mode { kGrep, kFind };

 private:
  class Pipeline;

  std::uint64_t Search(Mode mode, const boost::regex& expression, const FileSpec& spec, bool recurse,
                       boost::regex_constants::match_flag_type flags, FileMatchSink* sink, WalkErrorSink* errors);

  Limits limits_;
  unsigned workers_ = 1;
  FileSearch sequential_;
  FileWalker walker_;
};

}  // namespace RegexComponent::engine
