// The option-set rules applied directly: a table of requested and stored
// sets with the set each rule stores, then properties checked over every
// set (or every pair, for the 12-member match sets).
#include "engine/expression/OptionRules.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>

namespace {

using namespace RegexComponent::engine;
using RC = RegexComponent::RegularExpressionCustom;

constexpr unsigned kOptionSetCount = 1u << std::size(kOptionMembers);
constexpr unsigned kMatchSetCount = 1u << std::size(kMatchMembers);

template <class SetType, class Row, std::size_t N>
std::string Describe(SetType set, const Row (&rows)[N]) {
  std::string text = "{";
  for (const Row& row : rows) {
    if (!set.Contains(row.member)) continue;
    if (text.size() > 1) text += ' ';
    text += row.name;
  }
  return text + "}";
}
std::string Describe(OptionsSet set) { return Describe(set, kOptionMembers); }
std::string Describe(MatchesSet set) { return Describe(set, kMatchMembers); }

OptionsSet Toggled(OptionsSet set, Options member) {
  return set.Contains(member) ? set >> member : set << member;
}

const OptionsSet kCommon{RC::CharacterClasses, RC::Intervals, RC::BackReferences};
const OptionsSet kDefault = kCommon + OptionsSet{RC::EscapeInCharacterSets, RC::NoLocaleSpecificCollation, RC::Normal};
const OptionsSet kExtendedSet = kCommon + OptionsSet{RC::Extended};
const OptionsSet kBasicSet =
    kCommon + OptionsSet{RC::LimitedOperations, RC::BracesNotOperators, RC::ParenthesesNotOperators, RC::Basic};
const OptionsSet kModes{RC::Basic, RC::Extended, RC::Normal};
// The members no rule names: they are always stored as requested.
const OptionsSet kUntouched{RC::NewlineAsAlternationOperator, RC::QuestionmarkPlusNotOperators,
                            RC::VerticalbarNotOperator, RC::Literals, RC::CaseInsensitive};

struct OptionRow {
  const char* label;
  OptionsSet requested;
  OptionsSet stored;
  OptionsSet expected;
};

const OptionRow kOptionRows[] = {
    {"an equal request is kept, even a set without its mode", kCommon, kCommon, kCommon},
    {"adding Basic to the default takes Basic's members", kDefault + OptionsSet{RC::Basic}, kDefault, kBasicSet},
    {"adding Extended to the default drops Normal's extras", kDefault + OptionsSet{RC::Extended}, kDefault,
     kExtendedSet},
    {"removing Normal removes its members", kDefault - OptionsSet{RC::Normal}, kDefault, {}},
    {"removing a common member drops the mode alone", kDefault - OptionsSet{RC::CharacterClasses}, kDefault,
     {RC::EscapeInCharacterSets, RC::Intervals, RC::BackReferences, RC::NoLocaleSpecificCollation}},
    {"LimitedOperations alone keeps Normal", kDefault + OptionsSet{RC::LimitedOperations}, kDefault,
     kDefault + OptionsSet{RC::LimitedOperations}},
    {"CaseInsensitive is stored as requested", kDefault + OptionsSet{RC::CaseInsensitive}, kDefault,
     kDefault + OptionsSet{RC::CaseInsensitive}},
    {"the common members take up Extended", kCommon, {}, kExtendedSet},
    {"all of Normal's and Basic's members take up Normal",
     kCommon + OptionsSet{RC::EscapeInCharacterSets, RC::NoLocaleSpecificCollation, RC::LimitedOperations,
                          RC::BracesNotOperators, RC::ParenthesesNotOperators},
     {}, kDefault + OptionsSet{RC::LimitedOperations, RC::BracesNotOperators, RC::ParenthesesNotOperators}},
    {"Normal's extras take up Normal in Extended mode",
     kExtendedSet + OptionsSet{RC::EscapeInCharacterSets, RC::NoLocaleSpecificCollation}, kExtendedSet, kDefault},
    {"Basic's extras take up Basic in Extended mode",
     kExtendedSet + OptionsSet{RC::LimitedOperations, RC::BracesNotOperators, RC::ParenthesesNotOperators},
     kExtendedSet, kBasicSet},
    {"a request without Normal's mode loses the requested member too", {RC::EscapeInCharacterSets}, kDefault, {}},
    {"a saved set without a mode restored on the default", {RC::EscapeInCharacterSets, RC::LimitedOperations},
     kDefault, {RC::LimitedOperations}},
    {"the Extended set restored on the default", kExtendedSet, kDefault, kExtendedSet},
    {"the Basic set restored on the default", kBasicSet, kDefault, kBasicSet},
    {"Basic without LimitedOperations turns Extended", kBasicSet - OptionsSet{RC::LimitedOperations}, kBasicSet,
     kCommon + OptionsSet{RC::BracesNotOperators, RC::ParenthesesNotOperators, RC::Extended}},
    {"adding Basic and Extended at once: Extended's rule wins",
     kDefault + OptionsSet{RC::Basic, RC::Extended}, kDefault, kCommon + OptionsSet{RC::Basic, RC::Extended}},
    {"adding Basic in Extended mode", kExtendedSet + OptionsSet{RC::Basic}, kExtendedSet, kBasicSet},
    {"adding Extended in Basic mode", kBasicSet + OptionsSet{RC::Extended}, kBasicSet, kExtendedSet},
    {"adding Normal in Basic mode", kBasicSet + OptionsSet{RC::Normal}, kBasicSet, kDefault},
    {"adding Normal in Extended mode", kExtendedSet + OptionsSet{RC::Normal}, kExtendedSet, kDefault},
    {"removing Extended keeps untouched members", {RC::CaseInsensitive}, kExtendedSet + OptionsSet{RC::CaseInsensitive},
     {RC::CaseInsensitive}},
    {"removing Basic keeps untouched members", {RC::NewlineAsAlternationOperator},
     kBasicSet + OptionsSet{RC::NewlineAsAlternationOperator}, {RC::NewlineAsAlternationOperator}},
    {"only the first present mode is checked", {RC::Basic, RC::Extended, RC::CaseInsensitive},
     {RC::Basic, RC::Extended}, {RC::Basic, RC::CaseInsensitive}},
};

TEST(OptionRules, EachRowStoresTheExpectedSet) {
  for (const OptionRow& row : kOptionRows) {
    SCOPED_TRACE(row.label);
    EXPECT_EQ(Describe(ApplyOptionRules(row.requested, row.stored)), Describe(row.expected));
  }
}

// Counts the sets for which `holds` is false and names the first of them.
template <class Check>
void ExpectForEveryOptionsSet(const char* property, Check holds) {
  unsigned failures = 0;
  std::string first;
  for (unsigned bits = 0; bits < kOptionSetCount; ++bits) {
    const OptionsSet set = OptionsSet::FromBits(bits);
    if (holds(set)) continue;
    if (failures++ == 0) first = Describe(set);
  }
  EXPECT_EQ(failures, 0u) << property << "; first failing set " << first;
}

TEST(OptionRules, EveryEqualRequestKeepsTheStoredSet) {
  ExpectForEveryOptionsSet("equal request", [](OptionsSet s) { return ApplyOptionRules(s, s) == s; });
}

TEST(OptionRules, MembersNoRuleNamesAreStoredAsRequested) {
  const OptionsSet storedSets[] = {{}, kDefault, kExtendedSet, kBasicSet, kCommon, kModes};
  ExpectForEveryOptionsSet("every request", [&](OptionsSet requested) {
    for (const OptionsSet stored : storedSets) {
      if ((ApplyOptionRules(requested, stored) * kUntouched) != (requested * kUntouched)) return false;
    }
    return true;
  });
  ExpectForEveryOptionsSet("one member toggled", [](OptionsSet stored) {
    for (const OptionMember& row : kOptionMembers) {
      const OptionsSet requested = Toggled(stored, row.member);
      if ((ApplyOptionRules(requested, stored) * kUntouched) != (requested * kUntouched)) return false;
    }
    return true;
  });
}

TEST(OptionRules, AnAddedModeBringsItsMembersAndARemovedOneTakesThem) {
  for (const Options mode : {RC::Basic, RC::Extended, RC::Normal}) {
    SCOPED_TRACE(RowOf(mode).name);
    const OptionsSet members = RowOf(mode).standsFor;
    ExpectForEveryOptionsSet("mode added", [&](OptionsSet stored) {
      if (stored.Contains(mode)) return true;
      const OptionsSet result = ApplyOptionRules(stored + OptionsSet{mode}, stored);
      return result.Contains(mode) && (result * members) == members;
    });
    ExpectForEveryOptionsSet("mode removed", [&](OptionsSet stored) {
      if (!stored.Contains(mode)) return true;
      return (ApplyOptionRules(stored - OptionsSet{mode}, stored) * members).Empty();
    });
  }
}

// Once a change of one member has re-derived the mode of a set with at most
// one mode member, that mode holds: changing a member no rule names next
// changes nothing else.
TEST(OptionRules, AReDerivedModeIsStable) {
  ExpectForEveryOptionsSet("re-derived mode", [](OptionsSet stored) {
    const unsigned modes = static_cast<unsigned>((stored * kModes).ToBits());
    if ((modes & (modes - 1)) != 0) return true;
    for (const OptionMember& row : kOptionMembers) {
      if (kModes.Contains(row.member)) continue;
      const OptionsSet result = ApplyOptionRules(Toggled(stored, row.member), stored);
      const OptionsSet next = Toggled(result, RC::CaseInsensitive);
      if (ApplyOptionRules(next, result) != next) return false;
    }
    return true;
  });
}

struct MatchRow {
  const char* label;
  MatchesSet requested;
  MatchesSet stored;
  MatchesSet expected;
};

const MatchesSet kRestricting{RC::MatchNotBeginningOfLine, RC::MatchNotEndOfLine, RC::MatchNotBeginningOfBuffer,
                              RC::MatchNotEndOfBuffer,     RC::MatchNotBeginningOfWord, RC::MatchNotEndOfWord,
                              RC::MatchNotDotNewline,      RC::MatchNotDotNullCharacter};

const MatchRow kMatchRows[] = {
    {"a restriction next to MatchDefault drops it", {RC::MatchDefault, RC::MatchNotDotNewline}, {RC::MatchDefault},
     {RC::MatchNotDotNewline}},
    {"adding MatchDefault drops the restrictions", {RC::MatchDefault, RC::MatchNotDotNewline},
     {RC::MatchNotDotNewline}, {RC::MatchDefault}},
    {"removing MatchDefault adds all restrictions", {}, {RC::MatchDefault}, kRestricting},
    {"removing MatchDefault keeps MatchShortest", {RC::MatchShortest}, {RC::MatchDefault},
     kRestricting + MatchesSet{RC::MatchShortest}},
    {"no restriction left brings MatchDefault back", {}, {RC::MatchNotDotNewline}, {RC::MatchDefault}},
    {"one restriction on a new component gives all eight", {RC::MatchNotDotNewline}, {RC::MatchDefault},
     kRestricting},
    {"MatchContinuous sits beside MatchDefault", {RC::MatchDefault, RC::MatchContinuous}, {RC::MatchDefault},
     {RC::MatchDefault, RC::MatchContinuous}},
    {"an equal request is still made consistent", {RC::MatchDefault, RC::MatchNotBeginningOfLine},
     {RC::MatchDefault, RC::MatchNotBeginningOfLine}, {RC::MatchNotBeginningOfLine}},
};

TEST(MatchRules, EachRowStoresTheExpectedSet) {
  EXPECT_EQ(RestrictingMembers(), kRestricting);
  for (const MatchRow& row : kMatchRows) {
    SCOPED_TRACE(row.label);
    EXPECT_EQ(Describe(ApplyMatchRules(row.requested, row.stored)), Describe(row.expected));
  }
}

// Over every pair of requested and stored sets: MatchDefault is present
// exactly when no restricting member is, and the other members are stored
// as requested.
TEST(MatchRules, EveryPairEndsConsistentAndKeepsTheOtherMembers) {
  const MatchesSet others = MatchesSet::FromBits(~0ull) - kRestricting - MatchesSet{RC::MatchDefault};
  unsigned failures = 0;
  std::string first;
  for (unsigned s = 0; s < kMatchSetCount; ++s) {
    for (unsigned n = 0; n < kMatchSetCount; ++n) {
      const MatchesSet requested = MatchesSet::FromBits(n);
      const MatchesSet result = ApplyMatchRules(requested, MatchesSet::FromBits(s));
      const bool consistent = result.Contains(RC::MatchDefault) == (result * kRestricting).Empty();
      if (consistent && (result * others) == (requested * others)) continue;
      if (failures++ == 0) first = Describe(requested) + " over " + Describe(MatchesSet::FromBits(s));
    }
  }
  EXPECT_EQ(failures, 0u) << "first failing request " << first;
}

}  // namespace
