#include "engine/prefilter/LiteralScanner.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace RegexComponent::engine {

namespace {

// Distinct anchor bytes searched with one memchr stream each; more than
// this and a single pass over the bytes with a table is cheaper.
constexpr std::size_t kMaxStreams = 3;

// Ranks from here on ('#', braces, capitals, most digits, rare punctuation)
// are rare enough in text that memchr on them usually beats the pair
// filter, which looks at every byte.
constexpr std::size_t kRareRank = 44;

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

// Whether the literal's anchor is rare by the table (see kRareRank).
bool RarelyAnchored(const Literal& literal) {
  static_assert(kRareRank < kByRank.size());
  return LiteralFrequency(literal) <= Frequencies().of[static_cast<unsigned char>(kByRank[kRareRank])];
}

}  // namespace

double ByteSetFrequency(const ByteSet& set) {
  double sum = 0;
  for (std::size_t b = 0; b < set.size(); ++b) {
    if (set.test(b)) sum += Frequencies().of[b];
  }
  return sum;
}

std::size_t RarestPosition(const Literal& literal, std::size_t except) {
  std::size_t best = literal.size();
  for (std::size_t i = 0; i < literal.size(); ++i) {
    if (i == except || literal[i].count() > kMaxAnchorBytes) continue;
    if (best == literal.size() || ByteSetFrequency(literal[i]) < ByteSetFrequency(literal[best])) best = i;
  }
  return best;
}

std::size_t AnchorPosition(const Literal& literal) { return RarestPosition(literal, literal.size()); }

double LiteralFrequency(const Literal& literal) {
  const double text = ByteSetFrequency(ByteSet().set());
  if (const std::size_t anchor = AnchorPosition(literal); anchor != literal.size()) {
    return ByteSetFrequency(literal[anchor]);
  }
  // Two class positions, taken to hold independently of each other.
  if (const auto classes = ClassPair(literal)) {
    return ByteSetFrequency(literal[classes->first]) * ByteSetFrequency(literal[classes->second]) / text;
  }
  return text;
}

bool Locatable(const Literal& literal) { return AnchorPosition(literal) != literal.size() || ClassPair(literal); }

bool LiteralScanner::Covers(const std::vector<Literal>& literals) {
  const auto anchored = [](const Literal& l) { return AnchorPosition(l) != l.size(); };
  return std::all_of(literals.begin(), literals.end(), anchored) || PairScanner(literals).Usable();
}

LiteralScanner::LiteralScanner(const std::vector<Literal>& literals) {
  minAnchor_ = literals.empty() ? 0 : kUnbounded;
  for (const Literal& literal : literals) {
    const std::size_t anchor = AnchorPosition(literal);
    if (anchor == literal.size()) {
      unanchored_.push_back(literal);
      continue;
    }
    entries_.push_back(Entry{literal, anchor});
    anchorsFirst_ = anchorsFirst_ && RarelyAnchored(literal);
    minAnchor_ = std::min(minAnchor_, anchor);
    maxAnchor_ = std::max(maxAnchor_, anchor);
    for (std::size_t b = 0; b < isAnchor_.size(); ++b) {
      if (!literal[anchor].test(b) || isAnchor_[b]) continue;
      isAnchor_[b] = true;
      anchorBytes_.push_back(static_cast<unsigned char>(b));
    }
  }
  if (entries_.empty()) minAnchor_ = 0;
  anchorsFirst_ = anchorsFirst_ && unanchored_.empty();
  pairs_ = PairScanner(literals);
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

// memchr on a rare anchor outruns the pair filter; once its stops come
// closer than this on average, the pair filter takes over.
class LiteralScanner::Density {
 public:
  explicit Density(const char* from) : window_(from) {}

  // Counts the hit at x; true when the last kDenseHits came too close.
  bool Dense(const char* x) {
    if (++hits_ < kDenseHits) return false;
    const bool dense = static_cast<std::size_t>(x - window_) < kDenseHits * kSparseGap;
    window_ = x;
    hits_ = 0;
    return dense;
  }

 private:
  static constexpr std::size_t kDenseHits = 16;
  static constexpr std::size_t kSparseGap = 256;
  const char* window_;
  std::size_t hits_ = 0;
};

const char* LiteralScanner::Find(const char* from, const char* end) const {
  if (!pairs_.Usable()) return FindElsewhere(from, end);
  if (anchorsFirst_) {
    const char* dense = nullptr;
    if (const char* hit = FindByAnchors(from, end, &dense); hit || !dense) return hit;
    from = dense;
  }
  const char* rest = from;
  if (const char* hit = pairs_.Find(from, end, rest)) return hit;
  return FindElsewhere(rest, end);
}

// Without the pair filter: memchr on the anchors, and every start tried
// for the literals without one (only the last few starts of a range, where
// Covers() holds).
const char* LiteralScanner::FindElsewhere(const char* from, const char* end) const {
  const char* anchored = FindByAnchors(from, end, nullptr);
  if (unanchored_.empty()) return anchored;
  for (const char* at = from; at < end && (!anchored || at < anchored); ++at) {
    for (const Literal& literal : unanchored_) {
      if (static_cast<std::size_t>(end - at) >= literal.size() && LiteralHolds(literal, at)) return at;
    }
  }
  return anchored;
}

// With `dense`, gives up (nullptr) once the anchor hits come densely,
// setting *dense to the first start not yet examined.
const char* LiteralScanner::FindByAnchors(const char* from, const char* end, const char** dense) const {
  if (entries_.empty() || static_cast<std::size_t>(end - from) <= minAnchor_) return nullptr;
  const char* best = nullptr;
  Hits hits(*this, from + minAnchor_, end);
  Density density(from);
  while (const char* x = hits.Next()) {
    // Every later hit places its literal after the best one found.
    if (best && static_cast<std::size_t>(x - best) > maxAnchor_) break;
    if (dense && !best && density.Dense(x)) {
      // Every start whose anchors all lie before x has been examined.
      *dense = static_cast<std::size_t>(x - from) > maxAnchor_ ? x - maxAnchor_ : from;
      return nullptr;
    }
    const unsigned char byte = static_cast<unsigned char>(*x);
    for (const Entry& e : entries_) {
      if (!e.literal[e.anchor].test(byte) || static_cast<std::size_t>(x - from) < e.anchor) continue;
      const char* start = x - e.anchor;
      if ((best && start >= best) || static_cast<std::size_t>(end - start) < e.literal.size()) continue;
      if (LiteralHolds(e.literal, start)) best = start;
    }
  }
  return best;
}

}  // namespace RegexComponent::engine
