#include "engine/files/ChunkReader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace RegexComponent::engine {

ChunkReader::ChunkReader(std::size_t chunkSize, std::size_t lineLimit, char terminator)
    : chunkSize_(std::max<std::size_t>(chunkSize, 1)), lineLimit_(lineLimit), terminator_(terminator) {}

// Replaces the buffer, keeping the valid bytes and the byte before them.
void ChunkReader::Allocate(std::size_t capacity) {
  auto fresh = std::make_unique_for_overwrite<char[]>(capacity + 1);
  if (buffer_) std::memcpy(fresh.get(), buffer_.get(), filled_ + 1);
  buffer_ = std::move(fresh);
  data_ = buffer_.get() + 1;
  capacity_ = window_ = capacity;
}

void ChunkReader::Start(int fd, std::uint64_t size, std::size_t window) {
  fd_ = fd;
  sizeKnown_ = size > 0;
  remaining_ = size;
  eof_ = false;
  error_ = 0;
  done_ = false;
  first_ = true;
  filled_ = consumed_ = 0;
  offset_ = 0;
  // A long line may have grown the buffer; give that memory back.
  if (capacity_ != chunkSize_) Allocate(chunkSize_);
  window_ = window > 0 && window < capacity_ ? window : capacity_;
}

bool ChunkReader::Next(Chunk& chunk) {
  if (done_) return false;
  DropConsumed();
  HandOut(chunk);
  return true;
}

bool ChunkReader::Next(Chunk& chunk, const char* keepFrom) {
  if (done_) return false;
  const std::size_t kept = static_cast<std::size_t>(chunk.end - keepFrom);
  consumed_ = static_cast<std::size_t>(keepFrom - data_);
  DropConsumed();
  // Growing keeps the searching of a long open match linear: each new chunk
  // adds at least as much new text as was searched again.
  if (kept > capacity_ / 2 && capacity_ < lineLimit_) Allocate(std::min(capacity_ * 2, lineLimit_));
  HandOut(chunk, kept);
  return true;
}

bool ChunkReader::Widen(Chunk& chunk) {
  if (done_ || window_ >= capacity_) return false;
  // Every widening searches the chunk again from its start; growing by 8
  // keeps that repeated work under a seventh of the file.
  window_ = window_ > capacity_ / 8 ? capacity_ : window_ * 8;
  consumed_ = 0;
  HandOut(chunk);
  return true;
}

void ChunkReader::HandOut(Chunk& chunk, std::size_t minimum) {
  const std::size_t cut = CutPoint(minimum);
  const bool last = eof_ && cut == filled_;
  chunk = Chunk{data_, data_ + cut, offset_, first_, last};
  consumed_ = cut;
  done_ = last;
}

// Moves the unconsumed tail to the front, keeping the byte before it.
void ChunkReader::DropConsumed() {
  if (consumed_ == 0) return;
  data_[-1] = data_[consumed_ - 1];
  std::memmove(data_, data_ + consumed_, filled_ - consumed_);
  filled_ -= consumed_;
  offset_ += consumed_;
  consumed_ = 0;
  first_ = false;
}

void ChunkReader::Fill() {
  while (!eof_ && filled_ < window_) {
    std::size_t want = window_ - filled_;
    if (sizeKnown_ && remaining_ < want) want = static_cast<std::size_t>(remaining_);
    const ssize_t n = ::read(fd_, data_ + filled_, want);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n < 0) error_ = errno;
      eof_ = true;
      break;
    }
    filled_ += static_cast<std::size_t>(n);
    if (sizeKnown_ && (remaining_ -= static_cast<std::uint64_t>(n)) == 0) eof_ = true;
  }
}

// Reads as much as the window allows and picks where the next chunk ends: at
// end of file, else just after the last terminator past `minimum`, else (one
// line fills the window) widens the window, then grows the buffer, and at the
// line limit cuts wherever the buffer ends.
std::size_t ChunkReader::CutPoint(std::size_t minimum) {
  for (;;) {
    Fill();
    if (eof_) return filled_;
    if (filled_ > minimum)
      if (const void* stop = ::memrchr(data_ + minimum, terminator_, filled_ - minimum))
        return static_cast<std::size_t>(static_cast<const char*>(stop) - data_) + 1;
    if (window_ < capacity_) {
      window_ = std::min(window_ * 2, capacity_);
      continue;
    }
    if (capacity_ >= lineLimit_) return filled_;
    Allocate(std::min(capacity_ * 2, lineLimit_));
  }
}

}  // namespace RegexComponent::engine
