// Searching the files of a specification: the walk, the chunked reading and
// the matching put together, with everything reusable kept between calls.
#pragma once

#include <cstdint>
#include <optional>

#include <boost/regex.hpp>

#include "engine/files/ChunkReader.h"
#include "engine/files/FileSpec.h"
#include "engine/files/FileWalker.h"
#include "engine/match/MatchGuard.h"
#include "engine/prefilter/PrefilteredSearch.h"

namespace RegexComponent::engine {

// The flags that make searching `chunk` on its own behave like searching the
// whole file at that place: past the first chunk the byte before it is
// available to '^' and word boundaries and it is not the start of the
// buffer; before the last chunk its end is neither a line end nor the end of
// the buffer.
boost::regex_constants::match_flag_type ChunkFlags(boost::regex_constants::match_flag_type flags,
                                                   const Chunk& chunk);

class MatchSink {
 public:
  // `match` and `chunk` are valid during the call only; sub-expression i
  // starts at file offset chunk.offset + (match[i].first - chunk.begin).
  // Returning false ends the search.
  virtual bool OnMatch(const char* path, const boost::cmatch& match, const Chunk& chunk) = 0;
  // Called by Grep when it leaves `chunk` for the next chunk of the same
  // file, which starts at `next` (inside `chunk` or at its end): the bytes
  // before `next` are never handed out again. A sink that must see every
  // byte in order (to count lines) reads [its last position, next) here.
  // Returning false ends the search.
  virtual bool OnChunkDone(const Chunk& /*chunk*/, const char* /*next*/) { return true; }

 protected:
  ~MatchSink() = default;
};

// Chunks are searched one by one, each match reported once at its true file
// offset. A match that runs over a chunk boundary, or that what follows the
// boundary could still lengthen, is searched again from its start with the
// next chunk, so results are those of one search over the whole file as long
// as such a match's text fits the line limit; beyond it, it is cut there.
// A file that fits one chunk is searched through the literal prefilter
// when the expression qualifies (see PrefilteredSearch.h): the same
// matches as regex_grep over the file, which is what the chunk walk gives.
class FileSearch {
 public:
  // Find reads a file's first `findWindow` bytes, then 8 times as many each
  // time no match turns up, re-searching from the start, so that a file of
  // up to one chunk is judged as a whole yet one with an early match is not
  // read through.
  static constexpr std::size_t kDefaultFindWindow = 4 * 1024;

  explicit FileSearch(std::size_t chunkSize = ChunkReader::kDefaultChunkSize,
                      std::size_t lineLimit = ChunkReader::kDefaultLineLimit,
                      std::size_t findWindow = kDefaultFindWindow);

  // Reports every match of every file, as regex_grep over each file would;
  // `sink` may be null to only count. Returns the number of matches. What
  // the walk cannot open goes to `errors`, when not null.
  std::uint64_t Grep(const boost::regex& expression, const FileSpec& spec, bool recurse,
                     boost::regex_constants::match_flag_type flags, MatchSink* sink,
                     WalkErrorSink* errors = nullptr);
  // Reports a match of each file that has one, normally its first, and
  // reads no further in it. Returns the number of such files.
  std::uint64_t Find(const boost::regex& expression, const FileSpec& spec, bool recurse,
                     boost::regex_constants::match_flag_type flags, MatchSink* sink,
                     WalkErrorSink* errors = nullptr);

  // Searching open files one by one, as Grep and Find search each file of
  // their walk, for a caller that walks on its own: Prepare names the
  // expression that GrepFile and FindFile use until the next Prepare, Grep
  // or Find. Each adds what it finds to `count` and returns false if the
  // sink ended the search. `fd` stays open.
  void Prepare(const boost::regex& expression) { UseExpression(expression); }
  bool GrepFile(const char* path, int fd, std::uint64_t size, boost::regex_constants::match_flag_type flags,
                MatchSink* sink, std::uint64_t& count);
  bool FindFile(const char* path, int fd, std::uint64_t size, boost::regex_constants::match_flag_type flags,
                MatchSink* sink, std::uint64_t& count);

  const ChunkReader& Reader() const { return reader_; }
  // Whether GrepFile passes over a one-chunk file with the literal
  // prefilter, for the expression of the last Prepare and `flags`.
  bool Prefiltered(boost::regex_constants::match_flag_type flags) { return Prefilter(flags) != nullptr; }

 private:
  class GrepVisitor;
  class FindVisitor;

  // GrepFile and FindFile: one open file through a visitor of that kind.
  template <class Visitor>
  bool SearchFile(const char* path, int fd, std::uint64_t size, boost::regex_constants::match_flag_type flags,
                  MatchSink* sink, std::uint64_t& count);

  static boost::regex MakeProbe(const boost::regex& expression);
  void UseExpression(const boost::regex& expression);
  bool Settled(const boost::cmatch& match, const Chunk& chunk, boost::regex_constants::match_flag_type flags);
  Chunk Searched(const Chunk& chunk) const;
  PrefilteredSearch* Prefilter(boost::regex_constants::match_flag_type flags);

  FileWalker walker_;
  ChunkReader reader_;
  std::size_t findWindow_;
  boost::cmatch results_;
  std::optional<MatchGuard> guard_;  // for the expression of the current call
  // Built, for the expression of the current call, at the first chunk that
  // is not a file's last; see MakeProbe.
  const boost::regex* probeSource_ = nullptr;
  bool probeReady_ = false;
  bool softEnd_ = false;  // the expression may contain \Z
  boost::regex probe_;
  std::optional<MatchGuard> probeGuard_;
  boost::cmatch probeResults_;
  // Built for the expression of the current call at the first file that
  // fits one chunk, and again when the flags change.
  std::optional<PrefilteredSearch> prefilter_;
  boost::regex_constants::match_flag_type prefilterFlags_ = boost::regex_constants::match_default;
};

}  // namespace RegexComponent::engine
