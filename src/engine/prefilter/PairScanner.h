// A vector filter for the literal scanner: candidates where two rare
// positions of a literal both hold, tested 16 starts at a time.
//
// Interface: LiteralHolds() verifies one literal at a position;
// ClassPair() picks, for a literal without an anchor (AnchorPosition), two
// positions that are classes of a few byte ranges and rare enough together
// to look for; PairScanner is Usable() when there are at most kMaxPairs
// literals, each with an anchor and a second small position or with a
// class pair, and the vector unit is there; Find() then returns the
// leftmost occurrence among the starts it covered, and where the starts it
// did not cover (the range's last few) begin.
#pragma once

#include <cstddef>
#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "engine/prefilter/LiteralAnalysis.h"

namespace RegexComponent::engine {

// Whether the literal occurs at `at` (its bytes are readable).
inline bool LiteralHolds(const Literal& literal, const char* at) {
  for (std::size_t i = 0; i < literal.size(); ++i) {
    if (!literal[i].test(static_cast<unsigned char>(at[i]))) return false;
  }
  return true;
}

// Two positions of a literal without an anchor whose classes are each a
// few byte ranges (digits, capitals, letters and '_' ...), rare enough
// together by the frequency table that looking for them pays; nullopt
// when there are none or the vector unit is not there.
std::optional<std::pair<std::size_t, std::size_t>> ClassPair(const Literal& literal);

class PairScanner {
 public:
  static constexpr std::size_t kMaxPairs = 4;

  PairScanner() = default;
  explicit PairScanner(const std::vector<Literal>& literals);

  bool Usable() const { return !pairs_.empty(); }

  // Start of the leftmost occurrence, wholly in [from, end), of a literal
  // starting before `rest`, or nullptr; `rest` is where the starts left to
  // the caller begin (every start when the range is short).
  const char* Find(const char* from, const char* end, const char*& rest) const;

  // Byte ranges one probe tests at most.
  static constexpr std::size_t kMaxRanges = 3;
  struct Range {
    unsigned char first = 0;
    unsigned char last = 0;
  };
  // The bytes y at `offset` from a start with (y | mask) in one of the
  // ranges: a set closed under flipping a few bits (one byte, a letter and
  // its case variant, the smallest such set holding a small class) is one
  // range of one value; a class of a few ranges ([0-9], [A-Za-z_]) is
  // those ranges, perhaps folded onto lower case by mask 0x20.
  struct Probe {
    std::size_t offset = 0;
    unsigned char mask = 0;
    std::array<Range, kMaxRanges> ranges{};
    std::size_t count = 1;
  };
  struct Pair {
    Probe a, b;
  };

 private:
  const char* Verify(const char* start, std::uint32_t bits, const char* end) const;
  template <std::size_t N>
  const char* FindWith(const char* from, const char* end, const char*& rest) const;
  template <std::size_t N, std::size_t R>
  const char* FindPairs(const char* from, const char* end, const char*& rest) const;

  std::vector<Literal> literals_;
  std::vector<Pair> pairs_;  // one per literal, in the same order
  std::size_t span_ = 0;     // bytes from a block's first start that its loads reach
  // Ranges every probe is tested with; 0 when each is one value, which
  // a compare for equality tests.
  std::size_t ranges_ = 0;
};

}  // namespace RegexComponent::engine
