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
  const char* line = chunk.begin;
  while (line < chunk.end) {
    const char* stop = NextTerminator(line, chunk.end, binary_);
    const bool terminated = stop < chunk.end;
    if (!Deliver(line, stop, terminated, sink)) return false;
    line = terminated ? stop + 1 : stop;
  }
  return true;
}

bool LineSearch::Deliver(const char* begin, const char* end, bool terminated, LineSink& sink) {
  // A NUL ends a line for matching but does not start a numbered line.
  if ((begin == chunkBegin_ && chunkFirst_) || begin[-1] == '\n') ++lineNumber_;
  const bool selected = matcher_.Matches(begin, end) != options_.invert;
  if (!selected && !options_.everyLine) return true;
  const LineView view{begin, end, lineNumber_, base_ + static_cast<std::uint64_t>(begin - chunkBegin_), terminated};
  return sink.Line(view, selected);
}

}  // namespace RegexComponent::engine
