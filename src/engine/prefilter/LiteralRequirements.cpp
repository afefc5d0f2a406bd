#include "engine/prefilter/LiteralRequirements.h"

#include <algorithm>
#include <utility>

#include "engine/prefilter/LiteralScanner.h"

namespace RegexComponent::engine::requirements {

bool Better(const Factor& a, const std::optional<Factor>& b) {
  if (!b) return true;
  if (Locates(a) != Locates(*b)) return Locates(a);
  return a.cost < b->cost;
}

Factor LiteralFactor(Literal literal) {
  Factor f;
  f.cost = LiteralFrequency(literal);
  f.literals.push_back(std::move(literal));
  return f;
}

void SequenceBuilder::Extend(const ByteSet& set) {
  if (run_.empty()) {
    runReach_ = info_.maxLength;
    runLineSafe_ = !info_.newline;
  }
  run_.push_back(set);
}

void SequenceBuilder::ExtendWithLast(const ByteSet& set) {
  runReach_ = info_.maxLength == kUnbounded ? kUnbounded : info_.maxLength - 1;
  runLineSafe_ = !info_.newline;
  run_.assign(1, set);
}

void SequenceBuilder::CloseRun() {
  if (run_.empty()) return;
  if (!Locatable(run_)) {
    run_.clear();
    return;
  }
  Factor f = LiteralFactor(std::move(run_));
  run_.clear();
  f.reach = runReach_;
  f.lineSafe = runLineSafe_;
  Keep(std::move(f));
}

void SequenceBuilder::Offer(Factor f) {
  f.reach = SatAdd(info_.maxLength, f.reach);
  f.lineSafe = f.lineSafe && !info_.newline;
  Keep(std::move(f));
}

Info Alternate(std::vector<Info>& branches) {
  Info all = std::move(branches.front());
  for (std::size_t i = 1; i < branches.size(); ++i) {
    Info& b = branches[i];
    all.minLength = std::min(all.minLength, b.minLength);
    all.maxLength = std::max(all.maxLength, b.maxLength);
    all.newline = all.newline || b.newline;
    all.variables = SatAdd(all.variables, b.variables);
    all.alternation = true;
    if (!all.factor || !b.factor || all.factor->literals.size() + b.factor->literals.size() > kMaxLiterals) {
      all.factor.reset();
      continue;
    }
    Factor& f = *all.factor;
    for (Literal& l : b.factor->literals) f.literals.push_back(std::move(l));
    f.reach = std::max(f.reach, b.factor->reach);
    f.lineSafe = f.lineSafe && b.factor->lineSafe;
    f.cost += b.factor->cost;
  }
  return all;
}

}  // namespace RegexComponent::engine::requirements
