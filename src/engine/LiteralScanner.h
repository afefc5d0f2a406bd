// Finding the leftmost occurrence of any of a few literals, each a sequence
// of byte sets (see LiteralAnalysis.h).
//
// Interface: ByteSetFrequency() and LiteralFrequency() estimate how often a
// position or a literal's rarest position occurs in ordinary text, from a
// fixed byte-frequency table; LiteralScanner::Find() returns the start of
// the leftmost occurrence in a range. Candidates come from memchr on each
// literal's anchor (AnchorPosition in LiteralAnalysis.h) (one memchr stream per distinct byte while
// there are few, a table-driven byte loop beyond that) and are verified
// position by position.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "engine/LiteralAnalysis.h"

namespace RegexComponent::engine {

double ByteSetFrequency(const ByteSet& set);
double LiteralFrequency(const Literal& literal);

class LiteralScanner {
 public:
  explicit LiteralScanner(const std::vector<Literal>& literals);

  // Start of the leftmost occurrence of a literal lying wholly in
  // [from, end), or nullptr when there is none.
  const char* Find(const char* from, const char* end) const;

 private:
  class Hits;
  struct Entry {
    Literal literal;
    std::size_t anchor;  // AnchorPosition, the one searched for
  };

  std::vector<Entry> entries_;
  std::vector<unsigned char> anchorBytes_;
  std::array<bool, 256> isAnchor_{};
  std::size_t minAnchor_ = 0;
  std::size_t maxAnchor_ = 0;
};

}  // namespace RegexComponent::engine
