#include "engine/FileSearch.h"

namespace RegexComponent::engine {

namespace bc = boost::regex_constants;

bc::match_flag_type ChunkFlags(bc::match_flag_type flags, const Chunk& chunk) {
  if (!chunk.first) flags |= bc::match_prev_avail | bc::match_not_bob;
  if (!chunk.last) flags |= bc::match_not_eob | bc::match_not_eol;
  return flags;
}

class FileSearch::GrepVisitor final : public FileVisitor {
 public:
  GrepVisitor(FileSearch& search, const boost::regex& expression, bc::match_flag_type flags, MatchSink* sink)
      : search_(search), expression_(expression), flags_(flags), sink_(sink) {}

  std::uint64_t count = 0;

  bool Visit(const char* path, int fd, std::uint64_t size) override {
    search_.reader_.Start(fd, size);
    Chunk chunk;
    while (search_.reader_.Next(chunk)) {
      const char* reached = chunk.begin;
      bool stopped = false;
      boost::regex_grep(
          [&](const boost::cmatch& match) {
            // A match of nothing at the end of a chunk that is not the last
            // belongs to the next chunk, which can also see what follows.
            if (!chunk.last && match[0].first == chunk.end) return false;
            ++count;
            reached = match[0].second;
            stopped = sink_ && !sink_->OnMatch(path, match, chunk);
            return !stopped;
          },
          chunk.begin, chunk.end, expression_, ChunkFlags(flags_, chunk));
      if (stopped) return false;
      // Continuous matching goes on only while the matches stay adjacent.
      if ((flags_ & bc::match_continuous) && reached != chunk.end) break;
    }
    return true;
  }

 private:
  FileSearch& search_;
  const boost::regex& expression_;
  bc::match_flag_type flags_;
  MatchSink* sink_;
};

class FileSearch::FindVisitor final : public FileVisitor {
 public:
  FindVisitor(FileSearch& search, const boost::regex& expression, bc::match_flag_type flags, MatchSink* sink)
      : search_(search), expression_(expression), flags_(flags), sink_(sink) {}

  std::uint64_t count = 0;

  bool Visit(const char* path, int fd, std::uint64_t size) override {
    ChunkReader& reader = search_.reader_;
    reader.Start(fd, size, search_.findWindow_);
    boost::cmatch& match = search_.results_;
    Chunk chunk;
    for (bool more = reader.Next(chunk); more; more = reader.Widen(chunk) || reader.Next(chunk)) {
      // Only the start of the file qualifies for a continuous match.
      if ((flags_ & bc::match_continuous) && !chunk.first) break;
      if (boost::regex_search(chunk.begin, chunk.end, match, expression_, ChunkFlags(flags_, chunk)) &&
          (chunk.last || match[0].first != chunk.end)) {
        ++count;
        return !sink_ || sink_->OnMatch(path, match, chunk);
      }
    }
    return true;
  }

 private:
  FileSearch& search_;
  const boost::regex& expression_;
  bc::match_flag_type flags_;
  MatchSink* sink_;
};

FileSearch::FileSearch(std::size_t chunkSize, std::size_t lineLimit, std::size_t findWindow)
    : reader_(chunkSize, lineLimit), findWindow_(findWindow) {}

std::uint64_t FileSearch::Grep(const boost::regex& expression, const FileSpec& spec, bool recurse,
                               bc::match_flag_type flags, MatchSink* sink) {
  GrepVisitor visitor(*this, expression, flags, sink);
  walker_.Walk(spec, recurse, visitor);
  return visitor.count;
}

std::uint64_t FileSearch::Find(const boost::regex& expression, const FileSpec& spec, bool recurse,
                               bc::match_flag_type flags, MatchSink* sink) {
  FindVisitor visitor(*this, expression, flags, sink);
  walker_.Walk(spec, recurse, visitor);
  return visitor.count;
}

}  // namespace RegexComponent::engine
