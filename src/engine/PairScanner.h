// A vector filter for the literal scanner: candidates where two rare
// positions of a literal both hold, tested 16 starts at a time.
//
// Interface: LiteralHolds() verifies one literal at a position;
// PairScanner (built from literals that each have an anchor, see
// AnchorPosition) is Usable() when there are at most kMaxPairs literals,
// each with a second small position, and the vector unit is there; Find()
// then returns the leftmost occurrence among the starts it covered, and
// where the starts it did not cover (the range's last few) begin.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/LiteralAnalysis.h"

namespace RegexComponent::engine {

// Whether the literal occurs at `at` (its bytes are readable).
inline bool LiteralHolds(const Literal& literal, const char* at) {
  for (std::size_t i = 0; i < literal.size(); ++i) {
    if (!literal[i].test(static_cast<unsigned char>(at[i]))) return false;
  }
  return true;
}

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

  // The bytes y at `offset` from a start with (y | mask) == value: a set
  // closed under flipping a few bits (one byte, a letter and its case
  // variant), or the smallest such set holding a small class.
  struct Probe {
    std::size_t offset = 0;
    unsigned char mask = 0;
    unsigned char value = 0;
  };
  struct Pair {
    Probe a, b;
  };

 private:
  const char* Verify(const char* start, std::uint32_t bits, const char* end) const;
  template <std::size_t N>
  const char* FindPairs(const char* from, const char* end, const char*& rest) const;

  std::vector<Literal> literals_;
  std::vector<Pair> pairs_;  // one per literal, in the same order
  std::size_t span_ = 0;     // bytes from a block's first start that its loads reach
};

}  // namespace RegexComponent::engine
