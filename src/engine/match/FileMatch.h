// FileMatch: one match of a file search as the search's consumers see it,
// with 64-bit file offsets, whether it points into the file's chunk or into
// a copy; ViewOf makes one over a chunk, MatchBatch keeps copies of them.
// Used by ParallelFileSearch and RegEx.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <boost/regex.hpp>

#include "engine/files/ChunkReader.h"

namespace RegexComponent::engine {

// Where one sub-expression of a match lies in its file.
struct MatchSlot {
  std::uint64_t position;  // kNoPosition when it took no part
  std::uint64_t length;
};

class FileMatch {
 public:
  static constexpr std::uint64_t kNoPosition = UINT64_MAX;

  // `text` holds the file's bytes from offset `textOffset` on, at least to
  // the end of every slot that took part; no slot starts before it.
  FileMatch(const char* text, std::uint64_t textOffset, const MatchSlot* slots, std::size_t size)
      : text_(text), textOffset_(textOffset), slots_(slots), size_(size) {}

  // Slot 0 is the whole match, slot i the i-th group.
  std::size_t Size() const { return size_; }
  bool Matched(std::size_t i) const { return i < size_ && slots_[i].position != kNoPosition; }
  // File offset of the slot's first byte; kNoPosition when it took no part.
  std::uint64_t Position(std::size_t i) const { return Matched(i) ? slots_[i].position : kNoPosition; }
  // The slot's text; empty when it took no part.
  std::string_view Text(std::size_t i) const {
    if (!Matched(i)) return {};
    return {text_ + (slots_[i].position - textOffset_), static_cast<std::size_t>(slots_[i].length)};
  }
  // Bytes from the text's start to the end of the last slot.
  std::size_t Extent() const;

  const char* TextStart() const { return text_; }
  std::uint64_t TextOffset() const { return textOffset_; }
  const MatchSlot* Slots() const { return slots_; }

 private:
  const char* text_;
  std::uint64_t textOffset_;
  const MatchSlot* slots_;
  std::size_t size_;
};

// The match `match` found in `chunk`, its slots written to `slots`; the
// view points into the chunk and is valid while both are.
FileMatch ViewOf(const boost::cmatch& match, const Chunk& chunk, std::vector<MatchSlot>& slots);

// Copies of matches of one file, each with the bytes its slots cover.
class MatchBatch {
 public:
  void Add(const FileMatch& match);
  std::size_t Count() const { return entries_.size(); }
  // Memory the copies take, roughly.
  std::size_t Bytes() const;
  // Valid until the batch changes.
  FileMatch At(std::size_t i) const;
  void Clear();

 private:
  struct Entry {
    std::size_t text;   // index of its first byte in text_
    std::uint64_t textOffset;
    std::size_t slots;  // index of its first slot in slots_
    std::size_t size;
  };
  std::string text_;
  std::vector<MatchSlot> slots_;
  std::vector<Entry> entries_;
};

}  // namespace RegexComponent::engine
