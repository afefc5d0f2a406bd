#include "engine/LiteralScanner.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace RegexComponent::engine {

namespace {

// Distinct anchor bytes searched with one memchr stream each; more than
// this and a single pass over the bytes with a table is cheaper.
constexpr std::size_t kMaxStreams = 3;

// Bytes of ordinary text and source code, most frequent first; bytes not
// listed count as rare.
constexpr std::string_view kByRank =
    " etaoinsrlcdhu\nmp\tf_.,g(y)b;=\"-w0v*k/1:x2>'<#{}ETSAIRNOLCDMPUF[]B3G45H6789&|!WVXKYJQZ\\+%?~`@$^qjz";

struct FrequencyTable {
  std::array<double, 256> of{};
  FrequencyTable() {
    of.fill(1.0);
    const double top = static_cast<double>(kByRank.size()) + 1;
    for (std::size_t rank = 0; rank < kByRank.size(); ++rank) {
      const double weight = top - static_cast<double>(rank);
      of[static_cast<unsigned char>(kByRank[rank])] = weight * weight;
    }
  }
};

const FrequencyTable& Frequencies() {
  static const FrequencyTable table;
  return table;
}

bool Holds(const Literal& literal, const char* at) {
  for (std::size_t i = 0; i < literal.size(); ++i) {
    if (!literal[i].test(static_cast<unsigned char>(at[i]))) return false;
  }
  return true;
}

}  // namespace

double ByteSetFrequency(const ByteSet& set) {
  double sum = 0;
  for (std::size_t b = 0; b < set.size(); ++b) {
    if (set.test(b)) sum += Frequencies().of[b];
  }
  return sum;
}

std::size_t AnchorPosition(const Literal& literal) {
  std::size_t best = literal.size();
  for (std::size_t i = 0; i < literal.size(); ++i) {
    if (literal[i].count() > kMaxAnchorBytes) continue;
    if (best == literal.size() || ByteSetFrequency(literal[i]) < ByteSetFrequency(literal[best])) best = i;
  }
  return best;
}

double LiteralFrequency(const Literal& literal) {
  const std::size_t anchor = AnchorPosition(literal);
  return anchor == literal.size() ? ByteSetFrequency(ByteSet().set()) : ByteSetFrequency(literal[anchor]);
}

LiteralScanner::LiteralScanner(const std::vector<Literal>& literals) {
  minAnchor_ = literals.empty() ? 0 : kUnbounded;
  for (const Literal& literal : literals) {
    const std::size_t anchor = AnchorPosition(literal);
    if (anchor == literal.size()) continue;
    entries_.push_back(Entry{literal, anchor});
    minAnchor_ = std::min(minAnchor_, anchor);
    maxAnchor_ = std::max(maxAnchor_, anchor);
    for (std::size_t b = 0; b < isAnchor_.size(); ++b) {
      if (!literal[anchor].test(b) || isAnchor_[b]) continue;
      isAnchor_[b] = true;
      anchorBytes_.push_back(static_cast<unsigned char>(b));
    }
  }
  if (entries_.empty()) minAnchor_ = 0;
}

// Positions in increasing order whose byte is an anchor byte.
class LiteralScanner::Hits {
 public:
  Hits(const LiteralScanner& scanner, const char* from, const char* end)
      : scanner_(scanner), pos_(from), end_(end), streams_(scanner.anchorBytes_.size() <= kMaxStreams) {
    if (!streams_) return;
    for (std::size_t i = 0; i < scanner_.anchorBytes_.size(); ++i) next_[i] = Seek(i, from);
  }

  const char* Next() {
    if (!streams_) {
      while (pos_ < end_ && !scanner_.isAnchor_[static_cast<unsigned char>(*pos_)]) ++pos_;
      return pos_ < end_ ? pos_++ : nullptr;
    }
    const char* hit = nullptr;
    for (std::size_t i = 0; i < scanner_.anchorBytes_.size(); ++i) {
      if (next_[i] && (!hit || next_[i] < hit)) hit = next_[i];
    }
    if (!hit) return nullptr;
    for (std::size_t i = 0; i < scanner_.anchorBytes_.size(); ++i) {
      if (next_[i] == hit) next_[i] = Seek(i, hit + 1);
    }
    return hit;
  }

 private:
  const char* Seek(std::size_t stream, const char* from) const {
    if (from >= end_) return nullptr;
    const void* found = std::memchr(from, scanner_.anchorBytes_[stream], static_cast<std::size_t>(end_ - from));
    return static_cast<const char*>(found);
  }

  const LiteralScanner& scanner_;
  const char* pos_;
  const char* end_;
  bool streams_;
  std::array<const char*, kMaxStreams> next_{};
};

const char* LiteralScanner::Find(const char* from, const char* end) const {
  if (entries_.empty() || static_cast<std::size_t>(end - from) <= minAnchor_) return nullptr;
  const char* best = nullptr;
  Hits hits(*this, from + minAnchor_, end);
  while (const char* x = hits.Next()) {
    // Every later hit places its literal after the best one found.
    if (best && static_cast<std::size_t>(x - best) > maxAnchor_) break;
    const unsigned char byte = static_cast<unsigned char>(*x);
    for (const Entry& e : entries_) {
      if (!e.literal[e.anchor].test(byte) || static_cast<std::size_t>(x - from) < e.anchor) continue;
      const char* start = x - e.anchor;
      if ((best && start >= best) || static_cast<std::size_t>(end - start) < e.literal.size()) continue;
      if (Holds(e.literal, start)) best = start;
    }
  }
  return best;
}

}  // namespace RegexComponent::engine
