#include "engine/search/LineSearch.h"

#include <cstring>
#include <stdexcept>

#include "engine/search/LineCounter.h"

namespace RegexComponent::engine {

LineSearch::LineSearch(const LineMatcher& matcher, const LineSearchOptions& options)
    : matcher_(matcher),
      options_(options),
      reader_(options.chunkSize, ChunkReader::kDefaultLineLimit, options.terminator) {
  if (matcher.Terminator() != options.terminator)
    throw std::invalid_argument("the matcher is for lines with another terminator");
}

bool LineSearch::Run(int fd, std::uint64_t size, LineSink& sink) {
  reader_.Start(fd, size);
  binary_ = false;
  lineNumber_ = 0;
  Chunk chunk;
  while (reader_.Next(chunk))
    if (!SearchChunk(chunk, sink)) return false;
  return true;
}

// The next line terminator at or after `from`: the search's terminator, or
// in binary data a NUL byte as well; `end` when there is none.
const char* LineSearch::NextTerminator(const char* from, const char* end) const {
  if (!binary_) {
    const void* stop = std::memchr(from, options_.terminator, static_cast<std::size_t>(end - from));
    return stop ? static_cast<const char*>(stop) : end;
  }
  while (from < end && *from != options_.terminator && *from != '\0') ++from;
  return from;
}

bool LineSearch::SearchChunk(const Chunk& chunk, LineSink& sink) {
  base_ = chunk.offset;
  chunkBegin_ = chunk.begin;
  chunkFirst_ = chunk.first;
  // Where NUL ends records it is no sign of binary data.
  if (options_.detectBinary && options_.terminator != '\0' && !binary_ &&
      std::memchr(chunk.begin, '\0', static_cast<std::size_t>(chunk.end - chunk.begin))) {
    binary_ = true;
    if (!sink.Binary()) return false;
  }
  // Only selected lines are wanted and only lines with a candidate can be
  // selected; NUL bytes ending lines would need a scan of their own.
  const bool onlySelected = !options_.invert && !options_.everyLine && !binary_;
  const LiteralScanner* candidates = matcher_.Candidates();
  if (onlySelected && options_.candidates && candidates) return SearchCandidates(chunk, *candidates, sink);
  if (onlySelected && options_.candidates && matcher_.SearchesAcrossLines())
    return options_.lineMatches ? SearchAcrossWithMatches(chunk, sink) : SearchAcross(chunk, sink);
  return SearchLines(chunk.begin, chunk.end, sink);
}

// Every line in [from, end), `from` at a line's start, each matched alone.
bool LineSearch::SearchLines(const char* from, const char* end, LineSink& sink) {
  const char* line = from;
  while (line < end) {
    const char* stop = NextTerminator(line, end);
    const bool terminated = stop < end;
    if (!Deliver(line, stop, terminated, sink)) return false;
    line = terminated ? stop + 1 : stop;
  }
  return true;
}

// One search runs from match to match over the chunk's lines; the line of
// each match found is selected, and the lines between are only counted.
// Should the search give up (MatchGuard's complexity error) where the
// lines searched one by one might not, those lines are searched one by one
// from the first not yet delivered.
bool LineSearch::SearchAcross(const Chunk& chunk, LineSink& sink) {
  gaveUp_ = false;
  const char* line = chunk.begin;  // the start of the first line not yet passed
  while (FindAcross(chunk, line)) {
    const char* start = LineStart(line, found_[0].first);
    const char* stop = NextTerminator(found_[0].second, chunk.end);
    const bool terminated = stop < chunk.end;
    if (!DeliverSelected(start, stop, terminated, sink)) return false;
    line = terminated ? stop + 1 : stop;
  }
  if (gaveUp_) return SearchLines(line, chunk.end, sink);
  Skip(line, chunk.end);
  return true;
}

// As SearchAcross, with each selected line's matches: one grep of the chunk
// finds them all in order, and the first match past a line's end starts
// the next selected line.
bool LineSearch::SearchAcrossWithMatches(const Chunk& chunk, LineSink& sink) {
  // The grep calls back with each match, so the running state lives out here.
  const char* line = chunk.begin;  // the start of the first line not yet passed
  const char* stop = nullptr;      // the end of the open line; null: none open
  bool stopped = false;
  bool delivering = false;  // what the sink throws is not the search giving up
  const auto close = [&] {
    const bool terminated = stop < chunk.end;
    delivering = true;
    if (!DeliverSelected(line, stop, terminated, sink)) return false;
    delivering = false;
    line = terminated ? stop + 1 : stop;
    stop = nullptr;
    return true;
  };
  const auto onMatch = [&](const boost::cmatch& match) {
    const char* first = match[0].first;
    if (stop && first < stop) {
      lineMatches_.push_back(LineMatch{first, match[0].second});
      return true;
    }
    if (stop && !close()) return !(stopped = true);
    line = LineStart(line, first);
    stop = NextTerminator(match[0].second, chunk.end);
    lineMatches_.assign(1, LineMatch{first, match[0].second});
    return true;
  };
  try {
    matcher_.GrepAcross(chunk.begin, chunk.end, onMatch);
  } catch (const std::runtime_error&) {
    if (delivering) throw;
    return SearchLines(line, chunk.end, sink);
  }
  if (stopped || (stop && !close())) return false;
  Skip(line, chunk.end);
  return true;
}

// The start of the line holding `at`, counting the lines from `line` (the
// start of the first line not yet passed) up to it as passed.
const char* LineSearch::LineStart(const char* line, const char* at) {
  const void* last = memrchr(line, options_.terminator, static_cast<std::size_t>(at - line));
  const char* start = last ? static_cast<const char*>(last) + 1 : line;
  Skip(line, start);
  return start;
}

// The next match from `from` on into found_; false at the chunk's end, and
// when the search gave up (gaveUp_).
bool LineSearch::FindAcross(const Chunk& chunk, const char* from) {
  if (from >= chunk.end) return false;
  try {
    return matcher_.FindAcross(chunk.begin, chunk.end, from, found_);
  } catch (const std::runtime_error&) {
    gaveUp_ = true;
    return false;
  }
}

// The lines of the chunk that hold a candidate, each matched once; the
// lines between them are only counted.
bool LineSearch::SearchCandidates(const Chunk& chunk, const LiteralScanner& candidates, LineSink& sink) {
  const char* line = chunk.begin;  // the start of the first line not yet passed
  while (line < chunk.end) {
    // A candidate may run past its line's end (its literal may take the
    // terminator); its line is matched all the same, and the scan goes on
    // from the next line.
    const char* hit = candidates.Find(line, chunk.end);
    if (!hit) break;
    const char* start = LineStart(line, hit);
    const char* stop = NextTerminator(start, chunk.end);
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
  lineNumber_ += CountByte(from, to - 1, options_.terminator);
}

bool LineSearch::Deliver(const char* begin, const char* end, bool terminated, LineSink& sink) {
  if (StartsNumberedLine(begin)) ++lineNumber_;
  // When only selected lines go to the sink and it takes their matches, the
  // search for the line's first match is the one that selects it.
  const bool collect = options_.lineMatches && !options_.invert && !options_.everyLine;
  bool matched;
  if (collect) {
    lineMatches_.clear();
    LineMatchCursor cursor(matcher_, begin, end);
    while (cursor.Next(found_)) lineMatches_.push_back(LineMatch{found_[0].first, found_[0].second});
    matched = !lineMatches_.empty();
  } else {
    matched = matcher_.Matches(begin, end);
  }
  const bool selected = matched != options_.invert;
  if (!selected && !options_.everyLine) return true;
  LineView view{begin, end, lineNumber_, base_ + static_cast<std::uint64_t>(begin - chunkBegin_), terminated};
  if (collect) view.matches = lineMatches_;
  return sink.Line(view, selected);
}

// A line SearchAcross found a match in; with lineMatches, its matches are
// in lineMatches_.
bool LineSearch::DeliverSelected(const char* begin, const char* end, bool terminated, LineSink& sink) {
  if (StartsNumberedLine(begin)) ++lineNumber_;
  LineView view{begin, end, lineNumber_, base_ + static_cast<std::uint64_t>(begin - chunkBegin_), terminated};
  if (options_.lineMatches) view.matches = lineMatches_;
  return sink.Line(view, true);
}

}  // namespace RegexComponent::engine
