#include "engine/match/MatchSlots.h"

#include <algorithm>

namespace RegexComponent::engine {

const char* SlotsOf(const boost::cmatch& match, const char* base, std::uint64_t baseOffset,
                    std::vector<MatchView::Slot>& slots) {
  slots.resize(match.size());
  const char* start = nullptr;
  for (std::size_t i = 0; i < match.size(); ++i) {
    const auto& sub = match[i];
    if (!sub.matched) {
      slots[i] = {MatchView::NoPosition, 0};
      continue;
    }
    slots[i] = {baseOffset + static_cast<std::uint64_t>(sub.first - base),
                static_cast<std::uint64_t>(sub.second - sub.first)};
    if (!start || sub.first < start) start = sub.first;
  }
  return start;
}

MatchView ViewOf(const boost::cmatch& match, const Chunk& chunk, std::vector<MatchView::Slot>& slots) {
  const char* start = SlotsOf(match, chunk.begin, chunk.offset, slots);
  if (!start) start = chunk.begin;
  return MatchView(start, chunk.offset + static_cast<std::uint64_t>(start - chunk.begin), slots.data(), slots.size(),
                   {}, {}, 0, 0);
}

void MatchBatch::Add(const boost::cmatch& match, const Chunk& chunk) {
  const char* start = SlotsOf(match, chunk.begin, chunk.offset, scratch_);
  if (!start) start = chunk.begin;
  const std::uint64_t textOffset = chunk.offset + static_cast<std::uint64_t>(start - chunk.begin);
  std::uint64_t end = textOffset;
  for (const MatchView::Slot& slot : scratch_)
    if (slot.Position != MatchView::NoPosition) end = std::max(end, slot.Position + slot.Length);
  entries_.push_back({text_.size(), textOffset, slots_.size(), scratch_.size()});
  text_.append(start, static_cast<std::size_t>(end - textOffset));
  slots_.insert(slots_.end(), scratch_.begin(), scratch_.end());
}

std::size_t MatchBatch::Bytes() const {
  return text_.size() + slots_.size() * sizeof(MatchView::Slot) + entries_.size() * sizeof(Entry);
}

MatchView MatchBatch::At(std::size_t i) const {
  const Entry& e = entries_[i];
  return MatchView(text_.data() + e.text, e.textOffset, slots_.data() + e.slots, e.size, {}, {}, 0, 0);
}

void MatchBatch::Clear() {
  text_.clear();
  slots_.clear();
  entries_.clear();
}

}  // namespace RegexComponent::engine
