#include "engine/expression/OptionRules.h"

namespace RegexComponent::engine {

namespace {

using O = Options;

bool HasAll(OptionsSet set, OptionsSet members) { return (set * members) == members; }

// True when `mode` is in `a` and not in `b`.
bool ModeOnlyIn(OptionsSet a, OptionsSet b, O mode) { return a.Contains(mode) && !b.Contains(mode); }

// A present mode member whose members are no longer all present is dropped;
// only the first present one in the order Extended, Normal, Basic is looked at.
OptionsSet DropBrokenMode(OptionsSet set) {
  for (const O mode : {O::Extended, O::Normal, O::Basic}) {
    if (!set.Contains(mode)) continue;
    if (!HasAll(set, RowOf(mode).standsFor)) set >> mode;
    break;
  }
  return set;
}

// With every common member present, the mode that now holds is taken up:
// Normal before Basic, Extended when neither's extras are all present.
OptionsSet TakeUpMode(OptionsSet set) {
  if (!HasAll(set, CommonMembers())) return set;
  if (HasAll(set, NormalExtras())) return set << O::Normal >> O::Basic >> O::Extended;
  if (HasAll(set, BasicExtras())) return set << O::Basic >> O::Extended;
  return set << O::Extended;
}

// A mode member was added: its members come in and a rival mode present
// leaves with its own extras (only Extended leaves on its own).
OptionsSet AddMode(OptionsSet set, O mode) {
  set += RowOf(mode).standsFor;
  for (const O rival : {O::Normal, O::Basic, O::Extended}) {
    if (rival == mode || !set.Contains(rival)) continue;
    return (set - (RowOf(rival).standsFor - CommonMembers())) >> rival;
  }
  return set;
}

}  // namespace

OptionsSet ApplyOptionRules(OptionsSet requested, OptionsSet stored) {
  if (requested == stored) return stored;
  for (const O mode : {O::Extended, O::Normal, O::Basic}) {
    if (ModeOnlyIn(requested, stored, mode)) return AddMode(requested, mode);
  }
  for (const O mode : {O::Extended, O::Normal, O::Basic}) {
    if (ModeOnlyIn(stored, requested, mode)) return requested - RowOf(mode).standsFor;
  }
  return TakeUpMode(DropBrokenMode(requested));
}

MatchesSet ApplyMatchRules(MatchesSet requested, MatchesSet stored) {
  constexpr MatchesSet kRestricting = RestrictingMembers();
  const bool defaultAdded = requested.Contains(Matches::MatchDefault) && !stored.Contains(Matches::MatchDefault);
  const bool defaultRemoved = !requested.Contains(Matches::MatchDefault) && stored.Contains(Matches::MatchDefault);
  if (defaultAdded) return requested - kRestricting;
  if (defaultRemoved) return requested + kRestricting;
  if ((requested * kRestricting).Empty()) return requested << Matches::MatchDefault;
  return requested >> Matches::MatchDefault;
}

}  // namespace RegexComponent::engine
