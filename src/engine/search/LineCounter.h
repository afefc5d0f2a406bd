// Line numbers and line starts of positions in a text, counted in one
// forward pass, and the 32-bit form in which the component's events report
// them.
//
// Interface: CountByte, CountLineFeeds, LineCounter (construct over a text, AdvanceTo
// increasing positions, read Line and LineStart) and Saturate32.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace RegexComponent::engine {

// The bytes equal to `byte` in [from, to). Sixteen bytes at a time where
// SSE2 is there (every x86-64): text of short lines holds a line terminator
// every few dozen bytes, too often for a memchr call per line to pay. Each
// byte of `sums` counts the matches at its place in up to 255 blocks, and
// the sums are added up before a byte could overflow.
inline std::uint64_t CountByte(const char* from, const char* to, char byte) noexcept {
  std::uint64_t count = 0;
#if defined(__SSE2__)
  constexpr std::size_t kBlock = 16;
  constexpr std::size_t kMaxBlocks = 255;
  const __m128i wanted = _mm_set1_epi8(byte);
  while (static_cast<std::size_t>(to - from) >= kBlock) {
    __m128i sums = _mm_setzero_si128();
    const std::size_t blocks = std::min(static_cast<std::size_t>(to - from) / kBlock, kMaxBlocks);
    for (std::size_t i = 0; i < blocks; ++i, from += kBlock) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
      sums = _mm_sub_epi8(sums, _mm_cmpeq_epi8(bytes, wanted));
    }
    const __m128i halves = _mm_sad_epu8(sums, _mm_setzero_si128());
    count += static_cast<std::uint64_t>(_mm_cvtsi128_si64(halves)) +
             static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(halves, halves)));
  }
#endif
  for (; from < to; ++from) count += *from == byte ? 1 : 0;
  return count;
}

// The line feeds in [from, to).
inline std::uint64_t CountLineFeeds(const char* from, const char* to) noexcept { return CountByte(from, to, '\n'); }

// Counts line feeds (only the line feed ends a line) from the start of a
// text up to successive positions that never go back, so that a run over
// many matches scans the text once in all. Values are 64-bit: a text may
// lie past 4 GiB of its input.
class LineCounter {
 public:
  // `begin` is the text's first byte, found at `offset` of the whole input,
  // on line `line` whose first byte is at offset `lineStart` of the input.
  // The defaults describe the start of an input.
  explicit LineCounter(const char* begin, std::uint64_t offset = 0, std::uint64_t line = 1,
                       std::uint64_t lineStart = 0) noexcept
      : begin_(begin), scanned_(begin), offset_(offset), line_(line), lineStart_(lineStart) {}

  // Counts the line feeds between the previous position and `position`
  // (excluded); a position before the previous one counts nothing. Inline:
  // a grep calls it once per match.
  void AdvanceTo(const char* position) noexcept {
    if (position <= scanned_) return;
    const std::uint64_t lines = CountLineFeeds(scanned_, position);
    if (lines != 0) {
      // The line start is worked out once, from the last line feed.
      const void* lf = memrchr(scanned_, '\n', static_cast<std::size_t>(position - scanned_));
      lineStart_ = offset_ + static_cast<std::uint64_t>(static_cast<const char*>(lf) + 1 - begin_);
      line_ += lines;
    }
    scanned_ = position;
  }

  // The 1-based line of the latest position, and the input offset of the
  // first byte of that line.
  std::uint64_t Line() const noexcept { return line_; }
  std::uint64_t LineStart() const noexcept { return lineStart_; }

 private:
  const char* begin_;
  const char* scanned_;
  std::uint64_t offset_;
  std::uint64_t line_;
  std::uint64_t lineStart_;
};

// The value a 32-bit event argument reports for a 64-bit line number or
// offset: itself when it fits, otherwise 0xFFFFFFFF, never a wrapped value.
constexpr std::uint32_t Saturate32(std::uint64_t value) noexcept {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint32_t>::max();
  return static_cast<std::uint32_t>(value < kMax ? value : kMax);
}

}  // namespace RegexComponent::engine
