// The requirement algebra of the literal analysis: what a sub-expression
// demands of every one of its matches, and how that combines along a
// concatenation (SequenceBuilder) and across an alternation (Alternate).
// LiteralAnalysis.cpp reads the expression's text and drives these.
//
// Interface: Factor (one of some alternative literals, and where it lies
// from a sub-match's start), Info (a sub-expression's lengths, line feeds,
// shape and best Factor), SequenceBuilder, Alternate, and the helpers
// SatAdd, SatMul, Locates, Better, LiteralFactor.
//
// Contract: lengths and reaches saturate at kUnbounded; a Factor's cost is
// its literals' expected candidates per byte of text (LiteralFrequency), so
// the better of two is the one that places a match's start at all, then
// the cheaper. A requirement holds for every match or is left out: an
// alternation keeps one only when every branch has one, together no more
// than kMaxLiterals literals.
#pragma once

#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

#include "engine/prefilter/LiteralAnalysis.h"

namespace RegexComponent::engine::requirements {

// Alternative literals one requirement may carry before it stops paying.
inline constexpr std::size_t kMaxLiterals = 16;

inline std::size_t SatAdd(std::size_t a, std::size_t b) { return a > kUnbounded - b ? kUnbounded : a + b; }
inline std::size_t SatMul(std::size_t a, std::size_t b) {
  if (a == 0 || b == 0) return 0;
  return a > kUnbounded / b ? kUnbounded : a * b;
}

// A requirement inside a sub-expression: each of its matches holds one of
// `literals`, starting at most `reach` bytes after the sub-match's start,
// with no line feed before it when `lineSafe`.
struct Factor {
  std::vector<Literal> literals;
  std::size_t reach = 0;
  bool lineSafe = true;
  double cost = 0;  // expected candidates per byte of text
};

struct Info {
  std::size_t minLength = 0;
  std::size_t maxLength = 0;
  bool newline = false;  // a match may hold a line feed
  std::optional<Factor> factor;
  // Repeats whose count can vary (one inside a group that repeats counts
  // twice), and whether there is an alternation.
  std::size_t variables = 0;
  bool alternation = false;
};

// Whether the requirement bounds where a match can start.
inline bool Locates(const Factor& f) { return f.reach != kUnbounded || f.lineSafe; }

// The better of two requirements for finding candidates: one that can
// place a match's start at all, then the one with fewer expected candidates.
bool Better(const Factor& a, const std::optional<Factor>& b);

// The requirement that a match hold `literal`, at its start.
Factor LiteralFactor(Literal literal);

// A concatenation in progress: totals so far, the best requirement seen,
// and the run of single-byte atoms that is growing into a literal.
class SequenceBuilder {
 public:
  void Extend(const ByteSet& set);
  // Starts a run with the last copy of the repeat just appended, which
  // begins at most one byte before the end of the longest text so far.
  void ExtendWithLast(const ByteSet& set);
  // A run is a requirement only where it has positions the scanner can
  // look for (Locatable); its other positions only narrow candidates.
  void CloseRun();
  // A requirement of the next item, placed after what precedes that item.
  void Offer(Factor f);
  void Append(std::size_t minLength, std::size_t maxLength, bool newline) {
    info_.minLength = SatAdd(info_.minLength, minLength);
    info_.maxLength = SatAdd(info_.maxLength, maxLength);
    info_.newline = info_.newline || newline;
  }
  void AddShape(std::size_t variables, bool alternation) {
    info_.variables = SatAdd(info_.variables, variables);
    info_.alternation = info_.alternation || alternation;
  }
  Info Finish() {
    CloseRun();
    return std::move(info_);
  }

 private:
  void Keep(Factor f) {
    if (Better(f, info_.factor)) info_.factor = std::move(f);
  }

  Info info_;
  Literal run_;
  std::size_t runReach_ = 0;
  bool runLineSafe_ = true;
};

// Every branch's requirement together: a match of the alternation is a
// match of one branch. `branches` is not empty; its Infos are moved from.
Info Alternate(std::vector<Info>& branches);

}  // namespace RegexComponent::engine::requirements
