#include "engine/match/FileMatch.h"

#include <algorithm>

namespace RegexComponent::engine {

std::size_t FileMatch::Extent() const {
  std::uint64_t end = textOffset_;
  for (std::size_t i = 0; i < size_; ++i)
    if (Matched(i)) end = std::max(end, slots_[i].position + slots_[i].length);
  return static_cast<std::size_t>(end - textOffset_);
}

FileMatch ViewOf(const boost::cmatch& match, const Chunk& chunk, std::vector<MatchSlot>& slots) {
  slots.resize(match.size());
  // A look-behind can put a group before the whole match, so the text
  // starts at the earliest slot.
  const char* start = nullptr;
  for (std::size_t i = 0; i < match.size(); ++i) {
    if (!match[i].matched) {
      slots[i] = {FileMatch::kNoPosition, 0};
      continue;
    }
    const char* first = match[i].first;
    slots[i] = {chunk.offset + static_cast<std::uint64_t>(first - chunk.begin),
                static_cast<std::uint64_t>(match[i].second - first)};
    if (!start || first < start) start = first;
  }
  if (!start) return FileMatch(chunk.begin, chunk.offset, slots.data(), slots.size());
  return FileMatch(start, chunk.offset + static_cast<std::uint64_t>(start - chunk.begin), slots.data(), slots.size());
}

void MatchBatch::Add(const FileMatch& match) {
  entries_.push_back({text_.size(), match.TextOffset(), slots_.size(), match.Size()});
  text_.append(match.TextStart(), match.Extent());
  slots_.insert(slots_.end(), match.Slots(), match.Slots() + match.Size());
}

std::size_t MatchBatch::Bytes() const {
  return text_.size() + slots_.size() * sizeof(MatchSlot) + entries_.size() * sizeof(Entry);
}

FileMatch MatchBatch::At(std::size_t i) const {
  const Entry& e = entries_[i];
  return FileMatch(text_.data() + e.text, e.textOffset, slots_.data() + e.slots, e.size);
}

void MatchBatch::Clear() {
  text_.clear();
  slots_.clear();
  entries_.clear();
}

}  // namespace RegexComponent::engine
