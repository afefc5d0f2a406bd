// Finding the leftmost occurrence of any of a few literals, each a sequence
// of byte sets (see LiteralAnalysis.h).
//
// Interface: ByteSetFrequency() and LiteralFrequency() estimate how often a
// position or a literal's rarest position (or class pair) occurs in
// ordinary text, from a fixed byte-frequency table; Locatable() says
// whether a literal has positions the scanner can look for;
// LiteralScanner::Find() returns the start of the leftmost occurrence in a
// range, fast where Covers() holds; RarestPosition() picks a literal's
// positions to look for. Candidates come from the vector filter on two rare
// positions per literal (PairScanner.h: an anchor and another small
// position, or for a literal without an anchor two positions that are
// classes of a few byte ranges) where it applies, or from memchr on
// each literal's anchor (AnchorPosition in LiteralAnalysis.h) (one memchr
// stream per distinct byte while there are few, a table-driven byte loop
// beyond that): memchr where the filter does not apply, for the last few
// starts of a range, and first when every anchor is rare, until its hits
// come densely. Each candidate is verified position by position.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "engine/prefilter/LiteralAnalysis.h"
#include "engine/prefilter/PairScanner.h"

namespace RegexComponent::engine {

double ByteSetFrequency(const ByteSet& set);
double LiteralFrequency(const Literal& literal);

// The rarest of the literal's positions of at most kMaxAnchorBytes bytes
// other than `except`; literal.size() when there is none.
std::size_t RarestPosition(const Literal& literal, std::size_t except);

// Whether the literal has an anchor (AnchorPosition) or a class pair
// (ClassPair in PairScanner.h).
bool Locatable(const Literal& literal);

class LiteralScanner {
 public:
  explicit LiteralScanner(const std::vector<Literal>& literals);

  // Whether the scanner looks for the literals without trying every start:
  // each has an anchor, or the pair filter takes them all.
  static bool Covers(const std::vector<Literal>& literals);

  // Start of the leftmost occurrence of a literal lying wholly in
  // [from, end), or nullptr when there is none.
  const char* Find(const char* from, const char* end) const;

 private:
  class Hits;
  class Density;
  const char* FindByAnchors(const char* from, const char* end, const char** dense) const;
  const char* FindElsewhere(const char* from, const char* end) const;

  struct Entry {
    Literal literal;
    std::size_t anchor;  // AnchorPosition, the one searched for
  };

  std::vector<Entry> entries_;
  std::vector<Literal> unanchored_;  // found by the pair filter, or by trying every start
  std::vector<unsigned char> anchorBytes_;
  std::array<bool, 256> isAnchor_{};
  std::size_t minAnchor_ = 0;
  std::size_t maxAnchor_ = 0;
  PairScanner pairs_;
  // Rare anchors: memchr first, the pair filter once its hits come densely.
  bool anchorsFirst_ = true;
};

}  // namespace RegexComponent::engine
