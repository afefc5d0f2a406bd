#include "engine/prefilter/PairScanner.h"

#include <algorithm>
#include <bit>
#include <optional>

#include "engine/prefilter/LiteralScanner.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace RegexComponent::engine {

namespace {

// Starts tested by one vector compare.
constexpr std::size_t kBlock = 16;

// Bits a probe may leave free, so that it stands for at most 8 bytes.
constexpr int kMaxFreeBits = 3;

std::size_t Left(const char* from, const char* end) { return static_cast<std::size_t>(end - from); }

// Pairs of class positions expected to hold together more often than once
// in this many bytes of text make the filter stop for verification so often
// that Boost's own scan for a match's first byte does as well.
constexpr double kMinClassPairGap = 128;

// Case bit: folding it maps capitals onto lower case, so that [A-Za-z] is
// one range.
constexpr unsigned char kCaseBit = 0x20;

// The probe for `set` at `offset`, when the set is close enough to closed.
std::optional<PairScanner::Probe> ClosedProbe(const ByteSet& set, std::size_t offset) {
  std::size_t first = set.size();
  unsigned flips = 0;
  for (std::size_t b = 0; b < set.size(); ++b) {
    if (!set.test(b)) continue;
    if (first == set.size()) first = b;
    flips |= static_cast<unsigned>(b ^ first);
  }
  if (first == set.size() || std::popcount(flips) > kMaxFreeBits) return std::nullopt;
  const auto mask = static_cast<unsigned char>(flips);
  const auto value = static_cast<unsigned char>(first | mask);
  PairScanner::Probe probe{offset, mask, {}, 1};
  probe.ranges[0] = {value, value};
  return probe;
}

// The probe testing the bytes y with (y | mask) among (set | mask), when
// that image is a few ranges and not every byte.
std::optional<PairScanner::Probe> RangesProbe(const ByteSet& set, std::size_t offset, unsigned char mask) {
  ByteSet image;
  for (std::size_t b = 0; b < set.size(); ++b) {
    if (set.test(b)) image.set(b | mask);
  }
  if (image.none() || image.all()) return std::nullopt;
  PairScanner::Probe probe{offset, mask, {}, 0};
  for (std::size_t b = 0; b < image.size();) {
    if (!image.test(b)) {
      ++b;
      continue;
    }
    std::size_t last = b;
    while (last + 1 < image.size() && image.test(last + 1)) ++last;
    if (probe.count == probe.ranges.size()) return std::nullopt;
    probe.ranges[probe.count++] = {static_cast<unsigned char>(b), static_cast<unsigned char>(last)};
    b = last + 1;
  }
  return probe;
}

// The probe for `set` at `offset`: a closed set, else a few ranges, as
// they are or with the case bit folded.
std::optional<PairScanner::Probe> MakeProbe(const ByteSet& set, std::size_t offset) {
  if (auto probe = ClosedProbe(set, offset)) return probe;
  if (auto probe = RangesProbe(set, offset, 0)) return probe;
  return RangesProbe(set, offset, kCaseBit);
}

std::size_t Distance(std::size_t a, std::size_t b) { return a > b ? a - b : b - a; }

}  // namespace

std::optional<std::pair<std::size_t, std::size_t>> ClassPair([[maybe_unused]] const Literal& literal) {
#ifdef __SSE2__
  // The rarest position a probe takes, then the rarest other one, the
  // farther of equals, as neighbours (digits of one number) go together.
  const auto pick = [&](std::size_t except) {
    std::size_t best = literal.size();
    for (std::size_t i = 0; i < literal.size(); ++i) {
      if (i == except || !MakeProbe(literal[i], i)) continue;
      if (best == literal.size()) {
        best = i;
        continue;
      }
      const double f = ByteSetFrequency(literal[i]);
      const double g = ByteSetFrequency(literal[best]);
      if (f < g || (f == g && except != literal.size() && Distance(i, except) > Distance(best, except))) best = i;
    }
    return best;
  };
  const std::size_t a = pick(literal.size());
  if (a == literal.size()) return std::nullopt;
  const std::size_t b = pick(a);
  if (b == literal.size()) return std::nullopt;
  const double text = ByteSetFrequency(ByteSet().set());
  if (ByteSetFrequency(literal[a]) * ByteSetFrequency(literal[b]) * kMinClassPairGap > text * text) {
    return std::nullopt;
  }
  return std::pair{a, b};
#else
  return std::nullopt;
#endif
}

PairScanner::PairScanner([[maybe_unused]] const std::vector<Literal>& literals) {
#ifdef __SSE2__
  if (literals.size() > kMaxPairs) return;
  std::vector<Pair> pairs;
  std::size_t farthest = 0;
  std::size_t ranges = 0;
  for (const Literal& literal : literals) {
    std::size_t a = AnchorPosition(literal);
    std::size_t b = a == literal.size() ? literal.size() : RarestPosition(literal, a);
    if (a == literal.size()) {
      const auto classes = ClassPair(literal);
      if (!classes) return;
      std::tie(a, b) = *classes;
    }
    if (b == literal.size()) return;
    const std::optional<Probe> pa = MakeProbe(literal[a], a);
    const std::optional<Probe> pb = MakeProbe(literal[b], b);
    if (!pa || !pb) return;
    for (const Probe* probe : {&*pa, &*pb}) {
      const bool value = probe->count == 1 && probe->ranges[0].first == probe->ranges[0].last;
      ranges = std::max(ranges, value ? std::size_t{0} : probe->count);
    }
    pairs.push_back(Pair{*pa, *pb});
    farthest = std::max({farthest, a, b});
  }
  literals_ = literals;
  pairs_ = std::move(pairs);
  span_ = farthest + kBlock;
  ranges_ = ranges;
#endif
}

// The first of the starts start + i, i a bit of `bits` in increasing
// order, at which a literal lies wholly before `end`.
const char* PairScanner::Verify(const char* start, std::uint32_t bits, const char* end) const {
  for (; bits; bits &= bits - 1) {
    const char* at = start + std::countr_zero(bits);
    for (const Literal& literal : literals_) {
      if (Left(at, end) >= literal.size() && LiteralHolds(literal, at)) return at;
    }
  }
  return nullptr;
}

#ifdef __SSE2__
namespace {

// One probe in vector registers. With R ranges, range r holds y when
// y + bias[r], read as signed, is below limit[r]: the unsigned test
// y - first <= last - first moved onto the signed compare SSE2 has. With
// none, the probe is one value, bias[0], tested for equality.
template <std::size_t R>
struct Lanes {
  static constexpr std::size_t kSlots = R == 0 ? 1 : R;
  __m128i mask;
  __m128i bias[kSlots];
  __m128i limit[kSlots];
};

template <std::size_t R>
Lanes<R> Load(const PairScanner::Probe& probe) {
  Lanes<R> lanes{_mm_set1_epi8(static_cast<char>(probe.mask)), {}, {}};
  if constexpr (R == 0) {
    lanes.bias[0] = _mm_set1_epi8(static_cast<char>(probe.ranges[0].first));
  } else {
    for (std::size_t r = 0; r < R; ++r) {
      // Ranges past the probe's own repeat its first, which changes nothing.
      const PairScanner::Range range = probe.ranges[r < probe.count ? r : 0];
      lanes.bias[r] = _mm_set1_epi8(static_cast<char>(0x80 - range.first));
      lanes.limit[r] = _mm_set1_epi8(static_cast<char>(-0x80 + (range.last - range.first) + 1));
    }
  }
  return lanes;
}

// Lanes of 0xff where the probe holds for the bytes x.
template <std::size_t R>
__m128i Holds(__m128i x, const Lanes<R>& lanes) {
  const __m128i y = _mm_or_si128(x, lanes.mask);
  if constexpr (R == 0) {
    return _mm_cmpeq_epi8(y, lanes.bias[0]);
  } else {
    __m128i any = _mm_cmplt_epi8(_mm_add_epi8(y, lanes.bias[0]), lanes.limit[0]);
    for (std::size_t r = 1; r < R; ++r) {
      any = _mm_or_si128(any, _mm_cmplt_epi8(_mm_add_epi8(y, lanes.bias[r]), lanes.limit[r]));
    }
    return any;
  }
}

}  // namespace

// Find() over N pairs of probes of R ranges, known when compiled so that
// the probes stay in registers; two blocks a step while both fit, then one.
template <std::size_t N, std::size_t R>
const char* PairScanner::FindPairs(const char* from, const char* end, const char*& rest) const {
  std::size_t offsets[2 * N];
  Lanes<R> lanes[2 * N];
  for (std::size_t i = 0; i < 2 * N; ++i) {
    const Probe& probe = i % 2 == 0 ? pairs_[i / 2].a : pairs_[i / 2].b;
    offsets[i] = probe.offset;
    lanes[i] = Load<R>(probe);
  }
  const auto bits = [&](const char* p) {
    __m128i any = _mm_setzero_si128();
    for (std::size_t i = 0; i < 2 * N; i += 2) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + offsets[i]));
      const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + offsets[i + 1]));
      const __m128i hx = Holds<R>(x, lanes[i]);
      const __m128i hy = Holds<R>(y, lanes[i + 1]);
      any = _mm_or_si128(any, _mm_and_si128(hx, hy));
    }
    return static_cast<std::uint32_t>(_mm_movemask_epi8(any));
  };
  const char* p = from;
  for (; Left(p, end) >= span_ + kBlock; p += 2 * kBlock) {
    const std::uint32_t found = bits(p) | bits(p + kBlock) << kBlock;
    if (found == 0) continue;
    if (const char* hit = Verify(p, found, end)) return hit;
  }
  if (Left(p, end) >= span_) {
    if (const char* hit = Verify(p, bits(p), end)) return hit;
    p += kBlock;
  }
  rest = p;
  return nullptr;
}

template <std::size_t N>
const char* PairScanner::FindWith(const char* from, const char* end, const char*& rest) const {
  static_assert(kMaxRanges == 3, "one instance per count of ranges");
  switch (ranges_) {
    case 0: return FindPairs<N, 0>(from, end, rest);
    case 1: return FindPairs<N, 1>(from, end, rest);
    case 2: return FindPairs<N, 2>(from, end, rest);
    default: return FindPairs<N, 3>(from, end, rest);
  }
}
#endif

const char* PairScanner::Find(const char* from, [[maybe_unused]] const char* end, const char*& rest) const {
  rest = from;
#ifdef __SSE2__
  if (Left(from, end) < span_) return nullptr;
  static_assert(kMaxPairs == 4, "one instance per count of pairs");
  switch (pairs_.size()) {
    case 1: return FindWith<1>(from, end, rest);
    case 2: return FindWith<2>(from, end, rest);
    case 3: return FindWith<3>(from, end, rest);
    case 4: return FindWith<4>(from, end, rest);
    default: break;
  }
#endif
  return nullptr;
}

}  // namespace RegexComponent::engine
