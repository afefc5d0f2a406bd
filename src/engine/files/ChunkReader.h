// Chunked reading of one open file for the file search: ChunkReader hands
// out the file as Chunk stretches that end at line terminators (line feeds,
// or the reader's own terminator byte), which FileSearch and LineSearch
// match one by one.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace RegexComponent::engine {

// A stretch of a file handed to the matcher. Bytes [begin, end) are searched
// as one subject; begin[-1] is readable whenever `first` is false, so that
// anchors and word boundaries at `begin` can look at the preceding byte.
struct Chunk {
  const char* begin;
  const char* end;
  std::uint64_t offset;  // file offset of begin
  bool first;            // begins the file
  bool last;             // ends the file
};

// Reads a file with read() into one buffer reused across files. A file that
// fits the buffer is one chunk, normally from a single read(). A larger file
// is cut after the last terminator in the buffer (a line feed unless the
// reader is given another byte, such as NUL for NUL-ended records); the
// incomplete last line moves to the front and the next chunk continues it. A
// line longer than the buffer makes it grow, up to `lineLimit` bytes, beyond
// which the chunk is cut at the end of the buffer instead. Reading stops at
// end of file, at the size the file had when opened (so a file that keeps
// growing ends), or at a read error; a file truncated meanwhile simply ends
// early.
class ChunkReader {
 public:
  static constexpr std::size_t kDefaultChunkSize = std::size_t{4} << 20;
  static constexpr std::size_t kDefaultLineLimit = std::size_t{64} << 20;

  explicit ChunkReader(std::size_t chunkSize = kDefaultChunkSize,
                       std::size_t lineLimit = kDefaultLineLimit, char terminator = '\n');

  // Starts on `fd` (not owned); `size` 0 means unknown (as for /proc files):
  // read to end of file. A `window` below the buffer size makes the first
  // chunk come from at most that many bytes, for a search that hopes to stop
  // early and so should not read a whole buffer first; see Widen.
  void Start(int fd, std::uint64_t size, std::size_t window = 0);
  // The next chunk; false once the file is done. A file always yields at
  // least one chunk, and its last chunk may be empty, so that matches of
  // nothing at its very end are still found.
  bool Next(Chunk& chunk);
  // The next chunk, starting at `keepFrom` inside the current `chunk` instead
  // of at its end: a match still open there is searched again with more of
  // the file. The new chunk ends past the old one (after a later terminator,
  // at the buffer's end or at end of file); a carry over half the buffer
  // grows it, as a long line does. Call only when CanKeep says so.
  bool Next(Chunk& chunk, const char* keepFrom);
  // Whether text from `from` to the end of `chunk` is short enough to keep:
  // the buffer must be able to grow past it within the line limit.
  bool CanKeep(const Chunk& chunk, const char* from) const {
    return static_cast<std::size_t>(chunk.end - from) < std::max(capacity_, lineLimit_);
  }
  // Hands out the current chunk again, made longer by reading up to 8 times as
  // much from the same start. False when it is the last chunk or the window
  // already spans the buffer; then Next moves on.
  bool Widen(Chunk& chunk);

  std::size_t Capacity() const { return capacity_; }
  // errno of a read that failed since Start (the data then ended there), or 0.
  int Error() const { return error_; }

 private:
  void Allocate(std::size_t capacity);
  void DropConsumed();
  void Fill();
  std::size_t CutPoint(std::size_t minimum);
  void HandOut(Chunk& chunk, std::size_t minimum = 0);

  std::unique_ptr<char[]> buffer_;  // buffer_[0] keeps the byte before data_
  char* data_ = nullptr;
  std::size_t capacity_ = 0;
  std::size_t window_ = 0;  // how far Fill may fill, at most capacity_
  std::size_t chunkSize_;
  std::size_t lineLimit_;
  char terminator_;  // the byte chunks end after

  int fd_ = -1;
  std::uint64_t remaining_ = 0;  // bytes still expected when the size is known
  bool sizeKnown_ = false;
  bool eof_ = false;
  int error_ = 0;
  bool done_ = true;
  bool first_ = true;
  std::size_t filled_ = 0;    // valid bytes at data_
  std::size_t consumed_ = 0;  // bytes at data_ handed out by the last chunk
  std::uint64_t offset_ = 0;  // file offset of data_[0]
};

}  // namespace RegexComponent::engine
