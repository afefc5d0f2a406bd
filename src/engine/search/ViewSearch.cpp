#include "engine/search/ViewSearch.h"

#include <cerrno>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <utility>
#include <vector>

#include "engine/match/MatchSlots.h"
#include "engine/search/LineCounter.h"
#include "engine/pipeline/ParallelFileSearch.h"

namespace RegexComponent::engine {

namespace bc = boost::regex_constants;

namespace {

// Line feeds counted over the chunks of one file in one pass, although a
// chunk may begin again inside the previous one: only bytes past the last
// counted offset are read.
class ChunkLines {
 public:
  void Restart() { scanned_ = 0, line_ = 1, lineStart_ = 0; }
  // Counts up to `p` inside `chunk`; a position already passed counts nothing.
  void AdvanceTo(const Chunk& chunk, const char* p) {
    const std::uint64_t target = chunk.offset + static_cast<std::uint64_t>(p - chunk.begin);
    if (target <= scanned_) return;
    // The chunk never starts past scanned_: every chunk's end was counted
    // before the next chunk was read.
    LineCounter counter(chunk.begin + (scanned_ - chunk.offset), scanned_, line_, lineStart_);
    counter.AdvanceTo(p);
    scanned_ = target, line_ = counter.Line(), lineStart_ = counter.LineStart();
  }
  std::uint64_t Line() const { return line_; }
  std::uint64_t LineStart() const { return lineStart_; }

 private:
  std::uint64_t scanned_ = 0;
  std::uint64_t line_ = 1;
  std::uint64_t lineStart_ = 0;
};

// Views of FileSearch's matches over a chunk, with lines when counted.
class ChunkViews {
 public:
  explicit ChunkViews(bool countLines) : countLines_(countLines) {}
  void StartFile() { lines_.Restart(); }
  // The view of `match` in `chunk`, valid until the next call.
  MatchView Describe(const boost::cmatch& match, const Chunk& chunk) {
    SlotsOf(match, chunk.begin, chunk.offset, slots_);
    if (countLines_) lines_.AdvanceTo(chunk, match[0].first);
    return MatchView(chunk.begin, chunk.offset, slots_.data(), slots_.size(), {}, {},
                     countLines_ ? lines_.Line() : 0, countLines_ ? lines_.LineStart() : 0);
  }
  // Counts the lines a chunk being left holds before `next`.
  void Leave(const Chunk& chunk, const char* next) {
    if (countLines_) lines_.AdvanceTo(chunk, next);
  }

 private:
  bool countLines_;
  ChunkLines lines_;
  std::vector<MatchView::Slot> slots_;
};

// Hands each match of the file being searched to a callback as a view.
template <class Callback>
class ViewSink final : public MatchSink {
 public:
  ViewSink(Callback f, bool countLines, std::stop_token stop) : f_(f), views_(countLines), stop_(std::move(stop)) {}

  std::uint64_t delivered = 0;
  // Whether an input of no bytes at all has its empty match (a file has,
  // as in GrepFiles; a stream has not, as an empty subject in Grep).
  bool emptyInputMatches = true;

  void StartFile() { views_.StartFile(); }
  bool OnMatch(const char* path, const boost::cmatch& match, const Chunk& chunk) override {
    if (stop_.stop_requested()) return false;
    if (!emptyInputMatches && chunk.first && chunk.last && chunk.begin == chunk.end) return true;
    ++delivered;
    return Call(path, views_.Describe(match, chunk));
  }
  bool OnChunkDone(const Chunk& chunk, const char* next) override {
    views_.Leave(chunk, next);
    return !stop_.stop_requested();
  }

 private:
  bool Call(const char* path, const MatchView& view) {
    if constexpr (std::is_same_v<Callback, FileMatchCallback>) return f_(std::string_view(path), view);
    else return f_(view);
  }

  Callback f_;
  ChunkViews views_;
  std::stop_token stop_;
};

// The walk on the calling thread: each file searched with its lines
// counted from its start.
class SequentialViews final : public FileVisitor {
 public:
  SequentialViews(FileSearch& search, bc::match_flag_type flags, FileMatchCallback f, const ViewWalk& how)
      : search_(search), flags_(flags), sink_(f, how.countLines, how.stop), stop_(how.stop) {}

  bool Visit(const char* path, int fd, std::uint64_t size) override {
    if (stop_.stop_requested()) return false;
    sink_.StartFile();
    std::uint64_t found = 0;
    return search_.GrepFile(path, fd, size, flags_, &sink_, found);
  }
  std::uint64_t Delivered() const { return sink_.delivered; }

 private:
  FileSearch& search_;
  bc::match_flag_type flags_;
  ViewSink<FileMatchCallback> sink_;
  std::stop_token stop_;
};

// The workers' matches, copied out of their chunks, handed on as views.
class WorkerViews final : public FileMatchSink {
 public:
  WorkerViews(FileMatchCallback f, std::stop_token stop) : f_(f), stop_(std::move(stop)) {}

  std::uint64_t delivered = 0;

  bool OnFileMatch(const char* path, const MatchView& match) override {
    if (stop_.stop_requested()) return false;
    ++delivered;
    return f_(std::string_view(path), match);
  }

 private:
  FileMatchCallback f_;
  std::stop_token stop_;
};

}  // namespace

std::uint64_t GrepFileViews(const boost::regex& expression, const FileSpec& spec, bool recurse,
                            bc::match_flag_type flags, const ViewWalk& how, FileMatchCallback f,
                            WalkErrorSink* errors) {
  if (how.countLines || how.workers == 1) {
    FileSearch search;
    search.Prepare(expression);
    SequentialViews visitor(search, flags, f, how);
    FileWalker().Walk(spec, recurse, visitor, errors);
    return visitor.Delivered();
  }
  WorkerViews sink(f, how.stop);
  ParallelFileSearch(how.workers).Grep(expression, spec, recurse, flags, &sink, errors);
  return sink.delivered;
}

std::uint64_t GrepStreamViews(FileSearch& search, const boost::regex& expression, bc::match_flag_type flags, int fd,
                              MatchCallback f, std::stop_token stop) {
  search.Prepare(expression);
  ViewSink<MatchCallback> sink(f, true, stop);
  sink.emptyInputMatches = false;
  std::uint64_t found = 0;
  // Size 0: read to end of file, whatever the descriptor is.
  search.GrepFile("", fd, 0, flags, &sink, found);
  if (const int error = search.Reader().Error())
    throw std::system_error(error, std::generic_category(), "reading the stream");
  return sink.delivered;
}

}  // namespace RegexComponent::engine
