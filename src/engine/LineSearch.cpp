#include "engine/LineSearch.h"

#include <cstring>

namespace RegexComponent::engine {

LineSearch::LineSearch(const LineMatcher& matcher, const LineSearchOptions& options)
    : matcher_(matcher), options_(options), reader_(options.chunkSize) {}

bool LineSearch::Run(int fd, std::uint64_t size, LineSink& sink) {
  reader_.Start(fd, size);
  binary_ = false;
  lineNumber_ = 0;
  Chunk chunk;
  while (reader_.Next(chunk))
    if (!SearchChunk(chunk, sink)) return false;
  return true;
}

namespace {

// The next line terminator at or after `from`: a line feed, or in binary
// data a NUL byte as well; `end` when there is none.
const char* NextTerminator(const char* from, const char* end, bool binary) {
  if (!binary) {
    const void* lf = std::memchr(from, '\n', static_cast<std::size_t>(end - from));
    return lf ? static_cast<const char*>(lf) : end;
  }
  while (from < end && *from != '\n' && *from != '\0') ++from;
  return from;
}

// Line feeds in [from, to).
std::uint64_t CountLineFeeds(const char* from, const char* to) {
  std::uint64_t count = 0;
  while (const void* lf = std::memchr(from, '\n', static_cast<std::size_t>(to - from))) {
    ++count;
    from = static_cast<const char*>(lf) + 1;
  }
  return count;
}

}  // namespace

bool LineSearch::SearchChunk(const Chunk& chunk, LineSink& sink) {
  base_ = chunk.offset;
  chunkBegin_ = chunk.begin;
  chunkFirst_ = chunk.first;
  if (options_.detectBinary && !binary_ &&
      std::memchr(chunk.begin, '\0', static_cast<std::size_t>(chunk.end - chunk.begin))) {
    binary_ = true;
    if (!sink.Binary()) return false;
  }
  // Only selected lines are wanted and only lines with a candidate can be
  // selected; NUL bytes ending lines would need a scan of their own.
  const LiteralScanner* candidates = matcher_.Candidates();
  if (candidates && options_.candidates && !options_.invert && !options_.everyLine && !binary_)
    return SearchCandidates(chunk, *candidates, sink);
  const char* line = chunk.begin;
  while (line < chunk.end) {
    const char* stop = NextTerminator(line, chunk.end, binary_);
    const bool terminated = stop < chunk.end;
    if (!Deliver(line, stop, terminated, sink)) return false;
    line = terminated ? stop + 1 : stop;
  }
  return true;
}

// The lines of the chunk that hold a candidate, each matched once; the
// lines between them are only counted.
bool LineSearch::SearchCandidates(const Chunk& chunk, const LiteralScanner& candidates, LineSink& sink) {
  const char* line = chunk.begin;  // the start of the first line not yet passed
  while (line < chunk.end) {
    const char* hit = candidates.Find(line, chunk.end);
    if (!hit) break;
    const void* lf = memrchr(line, '\n', static_cast<std::size_t>(hit - line));
    const char* start = lf ? static_cast<const char*>(lf) + 1 : line;
    Skip(line, start);
    const char* stop = NextTerminator(start, chunk.end, false);
    const bool terminated = stop < chunk.end;
    if (!Deliver(start, stop, terminated, sink)) return false;
    line = terminated ? stop + 1 : stop;
  }
  Skip(line, chunk.end);
  return true;
}

// Counts the lines starting in [from, to) as passed without matching them;
// `to` starts a line or is the chunk's end.
void LineSearch::Skip(const char* from, const char* to) {
  if (from == to) return;
  if (StartsNumberedLine(from)) ++lineNumber_;
  lineNumber_ += CountLineFeeds(from, to - 1);
}

bool LineSearch::Deliver(const char* begin, const char* end, bool terminated, LineSink& sink) {
  if (StartsNumberedLine(begin)) ++lineNumber_;
  const bool selected = matcher_.Matches(begin, end) != options_.invert;
  if (!selected && !options_.everyLine) return true;
  const LineView view{begin, end, lineNumber_, base_ + static_cast<std::uint64_t>(begin - chunkBegin_), terminated};
  return sink.Line(view, selected);
}

}  // namespace RegexComponent::engine
