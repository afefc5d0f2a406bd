// The rules by which the component keeps its option sets consistent.
// Interface: ApplyOptionRules and ApplyMatchRules, pure functions from the
// requested set and the stored one to the set the setter stores.
#pragma once

#include "engine/expression/OptionMembers.h"

namespace RegexComponent::engine {

// SetOptions: the three mode members (Basic, Extended, Normal) follow the
// individual members they stand for. A mode member added or removed in
// `requested` adds or removes its members; otherwise the mode is derived
// again from the members. A request equal to `stored` changes nothing.
OptionsSet ApplyOptionRules(OptionsSet requested, OptionsSet stored);

// SetMatches: MatchDefault and the restricting members exclude each other.
// Adding MatchDefault removes the restricting members, removing it adds
// them all; otherwise MatchDefault is kept present exactly when no
// restricting member is.
MatchesSet ApplyMatchRules(MatchesSet requested, MatchesSet stored);

}  // namespace RegexComponent::engine
