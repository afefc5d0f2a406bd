// Boost's results of one match turned into MatchView slots, in one place for
// every producer of views (the subject, the stream and the file searches),
// and MatchBatch, which keeps copies of views for a later delivery.
//
// External interface: SlotsOf, ViewOf, MatchBatch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <boost/regex.hpp>

#include "RegexComponent/MatchView.h"
#include "engine/files/ChunkReader.h"

namespace RegexComponent::engine {

// Writes the slots of `match` to `slots`: each sub-expression's offset from
// `base` plus `baseOffset`, and its length, or MatchView::NoPosition for one
// that took no part. Returns the earliest byte of a slot that took part (a
// look-behind can put a group before the whole match), null when none did.
const char* SlotsOf(const boost::cmatch& match, const char* base, std::uint64_t baseOffset,
                    std::vector<MatchView::Slot>& slots);

// The view of `match` found in `chunk`, its slots written to `slots`, with
// file offsets, no prefix, suffix or lines; it points into the chunk and is
// valid while both are.
MatchView ViewOf(const boost::cmatch& match, const Chunk& chunk, std::vector<MatchView::Slot>& slots);

// Copies of matches of one file, each with the bytes its slots cover.
class MatchBatch {
 public:
  void Add(const boost::cmatch& match, const Chunk& chunk);
  std::size_t Count() const { return entries_.size(); }
  // Memory the copies take, roughly.
  std::size_t Bytes() const;
  // As ViewOf gave it; valid until the batch changes.
  MatchView At(std::size_t i) const;
  void Clear();

 private:
  struct Entry {
    std::size_t text;   // index of its first byte in text_
    std::uint64_t textOffset;
    std::size_t slots;  // index of its first slot in slots_
    std::size_t size;
  };
  std::string text_;
  std::vector<MatchView::Slot> slots_;
  std::vector<Entry> entries_;
  std::vector<MatchView::Slot> scratch_;
};

}  // namespace RegexComponent::engine
