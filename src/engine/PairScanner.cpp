#include "engine/PairScanner.h"

#include <algorithm>
#include <bit>
#include <optional>

#include "engine/LiteralScanner.h"

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

// The probe for `set` at `offset`, when the set is close enough to closed.
std::optional<PairScanner::Probe> MakeProbe(const ByteSet& set, std::size_t offset) {
  std::size_t first = set.size();
  unsigned flips = 0;
  for (std::size_t b = 0; b < set.size(); ++b) {
    if (!set.test(b)) continue;
    if (first == set.size()) first = b;
    flips |= static_cast<unsigned>(b ^ first);
  }
  if (first == set.size() || std::popcount(flips) > kMaxFreeBits) return std::nullopt;
  const auto mask = static_cast<unsigned char>(flips);
  return PairScanner::Probe{offset, mask, static_cast<unsigned char>(first | mask)};
}

}  // namespace

PairScanner::PairScanner([[maybe_unused]] const std::vector<Literal>& literals) {
#ifdef __SSE2__
  if (literals.size() > kMaxPairs) return;
  std::vector<Pair> pairs;
  std::size_t farthest = 0;
  for (const Literal& literal : literals) {
    const std::size_t a = AnchorPosition(literal);
    const std::size_t b = RarestPosition(literal, a);
    if (a == literal.size() || b == literal.size()) return;
    const std::optional<Probe> pa = MakeProbe(literal[a], a);
    const std::optional<Probe> pb = MakeProbe(literal[b], b);
    if (!pa || !pb) return;
    pairs.push_back(Pair{*pa, *pb});
    farthest = std::max({farthest, a, b});
  }
  literals_ = literals;
  pairs_ = std::move(pairs);
  span_ = farthest + kBlock;
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
// Find() over N pairs, known when compiled so that the probes stay in
// registers; two blocks a step while both fit, then one.
template <std::size_t N>
const char* PairScanner::FindPairs(const char* from, const char* end, const char*& rest) const {
  std::size_t offsets[2 * N];
  __m128i masks[2 * N];
  __m128i values[2 * N];
  for (std::size_t i = 0; i < 2 * N; ++i) {
    const Probe& probe = i % 2 == 0 ? pairs_[i / 2].a : pairs_[i / 2].b;
    offsets[i] = probe.offset;
    masks[i] = _mm_set1_epi8(static_cast<char>(probe.mask));
    values[i] = _mm_set1_epi8(static_cast<char>(probe.value));
  }
  const auto bits = [&](const char* p) {
    __m128i any = _mm_setzero_si128();
    for (std::size_t i = 0; i < 2 * N; i += 2) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + offsets[i]));
      const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + offsets[i + 1]));
      const __m128i hx = _mm_cmpeq_epi8(_mm_or_si128(x, masks[i]), values[i]);
      const __m128i hy = _mm_cmpeq_epi8(_mm_or_si128(y, masks[i + 1]), values[i + 1]);
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
#endif

const char* PairScanner::Find(const char* from, [[maybe_unused]] const char* end, const char*& rest) const {
  rest = from;
#ifdef __SSE2__
  if (Left(from, end) < span_) return nullptr;
  static_assert(kMaxPairs == 4, "one instance per count of pairs");
  switch (pairs_.size()) {
    case 1: return FindPairs<1>(from, end, rest);
    case 2: return FindPairs<2>(from, end, rest);
    case 3: return FindPairs<3>(from, end, rest);
    case 4: return FindPairs<4>(from, end, rest);
    default: break;
  }
#endif
  return nullptr;
}

}  // namespace RegexComponent::engine
