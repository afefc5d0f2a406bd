#include "engine/search/FileSearch.h"

#include "engine/expression/RepeatShape.h"

namespace RegexComponent::engine {

namespace bc = boost::regex_constants;

bc::match_flag_type ChunkFlags(bc::match_flag_type flags, const Chunk& chunk) {
  if (!chunk.first) flags |= bc::match_prev_avail | bc::match_not_bob;
  if (!chunk.last) flags |= bc::match_not_eob | bc::match_not_eol;
  return flags;
}

// The expression followed by a set that matches no character: it never
// matches, and searched with match_partial and match_continuous it reports a
// partial match when some way of matching from the start position runs into
// the end of the text (Boost notes every failure there), that is when what
// follows the text could change the result at that position.
// Only the perl grammar with its extensions and escapes in sets reads
// those parts so; for other grammars (the component's Basic, Extended,
// Literals) there is no probe.
boost::regex FileSearch::MakeProbe(const boost::regex& expression) {
  const auto flags = expression.flags() & ~boost::regex::no_except;
  constexpr auto kOtherGrammar = boost::regex::main_option_type | boost::regex::no_perl_ex |
                                 boost::regex::no_escape_in_lists;
  if ((flags & kOtherGrammar) != 0) return boost::regex();
  const std::string text = expression.str();
  // A trailing comment (free-spacing mode) or \Q quote would swallow the
  // closing parts; a line feed or \E ends them.
  for (const char* tail : {"", "\n", "\\E"}) {
    try {
      boost::regex probe("(?:" + text + tail + ")[^\\s\\S]", flags);
      if (!probe.empty()) return probe;
    } catch (const boost::regex_error&) {
    }
  }
  return boost::regex();
}

// Whether `match`, found in `chunk` with `flags`, is the one a search over
// the whole file would find there; false also for a partial match and for a
// match of nothing at the chunk's end.
bool FileSearch::Settled(const boost::cmatch& match, const Chunk& chunk, bc::match_flag_type flags) {
  if (!match[0].matched || match[0].first == chunk.end) return false;
  // The first match found is taken: it stands unless finding it looked at
  // the chunk's end. (The probe below would try every way of matching.)
  if (flags & bc::match_any) return !guard_->ReachesEnd(match[0].first, chunk.end, flags, chunk.begin);
  if (!probeReady_) {
    probe_ = MakeProbe(*probeSource_);
    probeGuard_.emplace(probe_);
    probeReady_ = true;
  }
  // Without a probe: settled when no way of matching there looked at the
  // chunk's end, which more text could change.
  if (probe_.empty()) return !guard_->ReachesEnd(match[0].first, chunk.end, flags, chunk.begin);
  return !probeGuard_->Search(match[0].first, chunk.end, probeResults_, flags | bc::match_partial | bc::match_continuous,
                              chunk.begin);
}

void FileSearch::UseExpression(const boost::regex& expression) {
  probeSource_ = &expression;
  prefilter_.reset();
  guard_.emplace(expression);
  probeReady_ = false;
  softEnd_ = expression.str().find("\\Z") != std::string::npos;
}

// \Z matches before line separators that run to the end of the text, a
// test Boost makes without reaching that end, so no partial match tells
// that the next chunk decides it. Before the last chunk such an expression
// is therefore searched without the chunk's trailing separators, which are
// kept for the next chunk.
Chunk FileSearch::Searched(const Chunk& chunk) const {
  if (chunk.last || !softEnd_) return chunk;
  const char* end = chunk.end;
  while (end != chunk.begin && (end[-1] == '\n' || end[-1] == '\r' || end[-1] == '\f')) --end;
  if (!reader_.CanKeep(chunk, end)) return chunk;
  return Chunk{chunk.begin, end, chunk.offset, chunk.first, false};
}

// The prefilter for the current expression and `flags`, or null when the
// expression does not qualify for one.
PrefilteredSearch* FileSearch::Prefilter(bc::match_flag_type flags) {
  if (!prefilter_ || prefilterFlags_ != flags) {
    prefilter_.emplace(*probeSource_, flags);
    prefilterFlags_ = flags;
  }
  return prefilter_->Prefiltered() && FewRepeats(probeSource_->str()) ? &*prefilter_ : nullptr;
}

// Reproduces regex_grep's walk over each chunk with regex_search, so that a
// match the rest of the file could lengthen, or that is still open at the
// chunk's end, is searched again from its start together with the next chunk.
class FileSearch::GrepVisitor final : public FileVisitor {
 public:
  GrepVisitor(FileSearch& search, bc::match_flag_type flags, MatchSink* sink)
      : search_(search), flags_(flags), sink_(sink) {}

  std::uint64_t count = 0;

  bool Visit(const char* path, int fd, std::uint64_t size) override {
    ChunkReader& reader = search_.reader_;
    reader.Start(fd, size);
    Chunk chunk;
    const char* keep = nullptr;
    retry_ = false;
    prefilter_ = search_.Prefilter(flags_);
    windows_ = 0;
    for (bool more = reader.Next(chunk); more; more = keep ? reader.Next(chunk, keep) : reader.Next(chunk)) {
      // The whole file in one chunk: regex_grep over it, which is what
      // the walk below reproduces.
      if (chunk.first && chunk.last && prefilter_) return GrepWhole(path, *prefilter_, chunk);
      const Chunk searched = search_.Searched(chunk);
      keep = nullptr;
      const Outcome outcome = SearchChunk(path, searched, keep);
      if (outcome == Outcome::kStopped) return false;
      if (outcome == Outcome::kFileDone) break;
      if (!keep && searched.end != chunk.end) keep = searched.end;
      if (sink_ && !sink_->OnChunkDone(chunk, keep ? keep : chunk.end)) return false;
    }
    return true;
  }

 private:
  enum class Outcome { kNextChunk, kFileDone, kStopped };

  bool GrepWhole(const char* path, PrefilteredSearch& prefilter, const Chunk& chunk) {
    bool going = true;
    const auto report = [&](const boost::cmatch& match) {
      going = !sink_ || sink_->OnMatch(path, match, chunk);
      return going;
    };
    count += prefilter.Grep(report, chunk.begin, chunk.end);
    return going;
  }

  // `retry_` on entry means the chunk starts where an empty match was
  // reported and regex_grep's retry for a non-empty one there is still due.
  Outcome SearchChunk(const char* path, const Chunk& chunk, const char*& keep) {
    boost::cmatch& match = search_.results_;
    const bc::match_flag_type chunkFlags = ChunkFlags(flags_, chunk);
    bool watch = !chunk.last;  // results near the end may still change
    const char* pos = chunk.begin;
    bool pastEmpty = false;    // the last match was empty and its retry failed
    for (;;) {
      const char* from = pastEmpty ? pos + 1 : pos;
      // Before the last chunk the end is no place to search: text follows.
      if (from > chunk.end || (from == chunk.end && !chunk.last))
        return chunk.last ? Outcome::kFileDone : Outcome::kNextChunk;
      bc::match_flag_type flags = chunkFlags | (watch ? bc::match_partial : bc::match_default);
      if (retry_) flags |= bc::match_not_null | bc::match_continuous;
      if (!Find(from, chunk, flags, match)) {
        if (retry_) {
          retry_ = false;
          pastEmpty = true;
          continue;
        }
        return (flags_ & bc::match_continuous) || chunk.last ? Outcome::kFileDone : Outcome::kNextChunk;
      }
      if (watch && !search_.Settled(match, chunk, flags)) {
        if (search_.reader_.CanKeep(chunk, match[0].first)) {
          keep = match[0].first;
          return Outcome::kNextChunk;
        }
        watch = false;  // beyond the line limit: take the chunk as it is
        continue;
      }
      ++count;
      if (sink_ && !sink_->OnMatch(path, match, chunk)) return Outcome::kStopped;
      pos = match[0].second;
      pastEmpty = false;
      if (retry_) {
        retry_ = false;
        continue;
      }
      if (pos == chunk.end) return chunk.last ? Outcome::kFileDone : Outcome::kNextChunk;
      retry_ = match[0].first == pos;
    }
  }

  // What a search of [from, chunk.end) with `flags` finds, Boost started
  // only near the literals every match contains, while that pays: no
  // match, or the same match (a partial one before a literal's reach aside,
  // which could never become a match).
  bool Find(const char* from, const Chunk& chunk, bc::match_flag_type flags, boost::cmatch& match) {
    const MatchGuard& guard = *search_.guard_;
    const auto plain = [&] { return guard.Search(from, chunk.end, match, flags, chunk.begin); };
    // With the prefilter no match is empty, so no retry after one is due.
    if (!prefilter_) return plain();
    const GrepPolicy& policy = prefilter_->Policy();
    PrefilteredSearch::Candidate candidate;
    for (const char* scan = from;;) {
      const std::uint64_t advanced = chunk.offset + static_cast<std::uint64_t>(scan - chunk.begin);
      if (windows_ >= policy.judgeAfter && advanced < policy.minAdvance * windows_) {
        // Candidates come too thick to pay: Boost alone for the rest of the file.
        prefilter_ = nullptr;
        return plain();
      }
      if (!prefilter_->NextCandidate(scan, chunk.end, !chunk.last, candidate)) return false;
      const bool toTheEnd = candidate.last == chunk.end;
      bool found;
      ++windows_;
      try {
        // A window ends where later text changes no match it accepts.
        found = guard.Search(candidate.start, candidate.last, found_, toTheEnd ? flags : flags & ~bc::match_partial,
                             chunk.begin);
      } catch (const std::runtime_error&) {
        return plain();
      }
      if (found && (toTheEnd || found_[0].first <= candidate.accept)) {
        // A partial match only tells where the next chunk starts.
        if (found_[0].matched) {
          ReportAsGrep(found_, chunk.begin, from, chunk.end, candidate.last, match);
        } else {
          match = found_;
        }
        return true;
      }
      if (toTheEnd) return false;
      scan = candidate.accept + 1;
    }
  }

  FileSearch& search_;
  bc::match_flag_type flags_;
  MatchSink* sink_;
  bool retry_ = false;
  PrefilteredSearch* prefilter_ = nullptr;  // null once it does not pay
  unsigned windows_ = 0;                    // Boost searches the prefilter made in this file
  boost::cmatch found_;
};

class FileSearch::FindVisitor final : public FileVisitor {
 public:
  FindVisitor(FileSearch& search, bc::match_flag_type flags, MatchSink* sink)
      : search_(search), flags_(flags), sink_(sink) {}

  std::uint64_t count = 0;

  bool Visit(const char* path, int fd, std::uint64_t size) override {
    ChunkReader& reader = search_.reader_;
    reader.Start(fd, size, search_.findWindow_);
    Chunk chunk;
    for (bool more = reader.Next(chunk); more;) {
      // Only the start of the file qualifies for a continuous match.
      if ((flags_ & bc::match_continuous) && !chunk.first) break;
      const Chunk searched = search_.Searched(chunk);
      const char* open = nullptr;
      if (Search(searched, !chunk.last, open) ||
          (open && !reader.CanKeep(chunk, open) && Search(searched, false, open))) {
        ++count;
        return !sink_ || sink_->OnMatch(path, search_.results_, searched);
      }
      if (reader.Widen(chunk)) continue;
      const char* resume = open ? open : searched.end;
      more = reader.CanKeep(chunk, resume) ? reader.Next(chunk, resume) : reader.Next(chunk);
    }
    return true;
  }

 private:
  // True for a match the rest of the file cannot change; `open` is set to
  // where a match that more text might change or complete starts.
  bool Search(const Chunk& chunk, bool watch, const char*& open) {
    boost::cmatch& match = search_.results_;
    const bc::match_flag_type flags =
        ChunkFlags(flags_, chunk) | (watch ? bc::match_partial : bc::match_default);
    open = nullptr;
    if (!search_.guard_->Search(chunk.begin, chunk.end, match, flags, chunk.begin)) return false;
    if (!watch) return chunk.last || match[0].first != chunk.end;
    if (search_.Settled(match, chunk, flags)) return true;
    open = match[0].first;
    return false;
  }

  FileSearch& search_;
  bc::match_flag_type flags_;
  MatchSink* sink_;
};

FileSearch::FileSearch(std::size_t chunkSize, std::size_t lineLimit, std::size_t findWindow)
    : reader_(chunkSize, lineLimit), findWindow_(findWindow) {}

std::uint64_t FileSearch::Grep(const boost::regex& expression, const FileSpec& spec, bool recurse,
                               bc::match_flag_type flags, MatchSink* sink, WalkErrorSink* errors) {
  UseExpression(expression);
  GrepVisitor visitor(*this, flags, sink);
  walker_.Walk(spec, recurse, visitor, errors);
  return visitor.count;
}

std::uint64_t FileSearch::Find(const boost::regex& expression, const FileSpec& spec, bool recurse,
                               bc::match_flag_type flags, MatchSink* sink, WalkErrorSink* errors) {
  UseExpression(expression);
  FindVisitor visitor(*this, flags, sink);
  walker_.Walk(spec, recurse, visitor, errors);
  return visitor.count;
}

template <class Visitor>
bool FileSearch::SearchFile(const char* path, int fd, std::uint64_t size, bc::match_flag_type flags, MatchSink* sink,
                            std::uint64_t& count) {
  Visitor visitor(*this, flags, sink);
  const bool going = visitor.Visit(path, fd, size);
  count += visitor.count;
  return going;
}

bool FileSearch::GrepFile(const char* path, int fd, std::uint64_t size, bc::match_flag_type flags, MatchSink* sink,
                          std::uint64_t& count) {
  return SearchFile<GrepVisitor>(path, fd, size, flags, sink, count);
}

bool FileSearch::FindFile(const char* path, int fd, std::uint64_t size, bc::match_flag_type flags, MatchSink* sink,
                          std::uint64_t& count) {
  return SearchFile<FindVisitor>(path, fd, size, flags, sink, count);
}

}  // namespace RegexComponent::engine
