// The line-oriented search of a stream: grep's loop over lines.
//
// External interface: LineView, LineSink, LineSearchOptions, LineSearch.
//
// A file or pipe is read in chunks that end after a line terminator, so
// memory stays bounded by the chunk size and the longest line (lines longer
// than the reader's line limit are cut there). The terminator is a line feed,
// or a NUL byte for NUL-ended records (grep -z): the search owns it, and the
// reader, the matcher and the line numbers all follow it. Each line is
// matched on its own with a LineMatcher and handed to a sink. When only
// selected lines are wanted, the lines that cannot be selected are counted
// and passed over without a search of their own: when the matcher has
// candidate literals, only the lines holding one are matched; otherwise, when
// its matches stay within lines, one search runs over many lines from match
// to match.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/files/ChunkReader.h"
#include "engine/match/LineMatcher.h"

namespace RegexComponent::engine {

// One match in a line: the bytes [begin, end).
struct LineMatch {
  const char* begin;
  const char* end;
};

struct LineView {
  const char* begin;
  const char* end;          // the terminator (or the end of the data) is at end
  std::uint64_t number;     // 1 for the first line; counts terminators only
  std::uint64_t offset;     // byte offset of begin in the stream
  bool terminated;          // the terminator (or, for binary data, a NUL) follows
  // Every match of a selected line, in order, as LineMatchCursor gives
  // them, when the search was asked for them (LineSearchOptions::
  // lineMatches) and only selected lines are wanted; otherwise empty, and
  // the sink finds them itself if it needs them.
  std::span<const LineMatch> matches = {};
};

class LineSink {
 public:
  // One line; `selected` says whether it is selected (a match, or with
  // invert no match). Only selected lines come unless the search was asked
  // for every line. Returning false ends the search.
  virtual bool Line(const LineView& line, bool selected) = 0;
  // The data held a NUL byte, in the chunk whose lines come next, where
  // lines end at line feeds. Returning false ends the search; returning
  // true goes on with NUL bytes ending lines too (for matching; line
  // numbers still count line feeds). NUL-ended records are never binary.
  virtual bool Binary() = 0;

 protected:
  ~LineSink() = default;
};

struct LineSearchOptions {
  bool invert = false;     // select the lines that do not match
  bool everyLine = false;  // hand the unselected lines to the sink as well
  bool detectBinary = true;
  // Match only the lines that hold one of the matcher's Candidates, when
  // that is exact; off, every line is matched (for comparisons).
  bool candidates = true;
  // Hand the sink each selected line's matches (LineView::matches) when
  // only selected lines are wanted.
  bool lineMatches = false;
  std::size_t chunkSize = ChunkReader::kDefaultChunkSize;
  // The byte that ends a line: '\n', or '\0' for NUL-ended records, where
  // line feeds are ordinary bytes. The matcher must be built for the same.
  char terminator = '\n';
};

class LineSearch {
 public:
  // Throws std::invalid_argument when the matcher is for lines ended by
  // another byte than options.terminator.
  LineSearch(const LineMatcher& matcher, const LineSearchOptions& options);

  // Searches the stream on `fd` (not owned) from its current position; `size`
  // as for ChunkReader::Start (0: unknown). Returns false when the sink ended
  // the search. Read errors end the data early; `ReadError` then says so.
  bool Run(int fd, std::uint64_t size, LineSink& sink);
  // errno of the read that failed during the last Run, or 0.
  int ReadError() const { return reader_.Error(); }

 private:
  bool SearchChunk(const Chunk& chunk, LineSink& sink);
  bool SearchLines(const char* from, const char* end, LineSink& sink);
  bool SearchCandidates(const Chunk& chunk, const LiteralScanner& candidates, LineSink& sink);
  bool SearchAcross(const Chunk& chunk, LineSink& sink);
  bool SearchAcrossWithMatches(const Chunk& chunk, LineSink& sink);
  bool FindAcross(const Chunk& chunk, const char* from);
  const char* LineStart(const char* line, const char* at);
  void Skip(const char* from, const char* to);
  bool Deliver(const char* begin, const char* end, bool terminated, LineSink& sink);
  bool DeliverSelected(const char* begin, const char* end, bool terminated, LineSink& sink);
  const char* NextTerminator(const char* from, const char* end) const;
  // A NUL in binary data ends a line for matching but does not start a
  // numbered line, nor does the rest of a line cut at the reader's limit.
  bool StartsNumberedLine(const char* begin) const {
    return (begin == chunkBegin_ && chunkFirst_) || begin[-1] == options_.terminator;
  }

  const LineMatcher& matcher_;
  LineSearchOptions options_;
  ChunkReader reader_;
  bool binary_ = false;
  std::uint64_t lineNumber_ = 0;
  std::uint64_t base_ = 0;  // stream offset of the current chunk's first byte
  const char* chunkBegin_ = nullptr;
  bool chunkFirst_ = true;
  // The last match found, and the matches of the line delivered next.
  boost::cmatch found_;
  std::vector<LineMatch> lineMatches_;
  bool gaveUp_ = false;
};

}  // namespace RegexComponent::engine
