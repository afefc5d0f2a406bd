// The members of the component's two option sets, each described once.
// Interface: the tables kOptionMembers and kMatchMembers (one row per
// enumerator, in ordinal order), the member groups the option rules use
// (CommonMembers, NormalExtras, BasicExtras, RestrictingMembers), the flag
// word of a member or a set (OptionBit, MatchBit, FlagWordOf, MatchWordOf)
// and the members' names (MemberNamesOf). The enums themselves are declared
// in the public component header; the static_asserts at the end hold the
// tables to them, so a new enumerator without its row does not compile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <boost/regex.hpp>

#include "RegexComponent/RegularExpressionCustom.h"

namespace RegexComponent::engine {

using Options = RegularExpressionCustom::Options;
using OptionsSet = RegularExpressionCustom::OptionsSet;
using Matches = RegularExpressionCustom::Matches;
using MatchesSet = RegularExpressionCustom::MatchesSet;

// The Boost syntax option that realises a member: added when the member is
// present, or when it is absent; in every grammar, or only in Boost's basic
// grammar (the other grammars get such a member by a rewrite of the text).
struct BoostSyntax {
  boost::regex_constants::syntax_option_type whenPresent = 0;
  boost::regex_constants::syntax_option_type whenAbsent = 0;
  bool basicGrammarOnly = false;
};

struct OptionMember {
  Options member;
  const char* name;
  // The member's own bit in the syntax-flag word; 0 for a mode member,
  // whose word is that of the members it stands for.
  std::uint32_t bit;
  BoostSyntax boost;
  // Mode members only: the members the mode stands for.
  OptionsSet standsFor;
};

namespace detail {
namespace bc = boost::regex_constants;
using RC = RegularExpressionCustom;
inline constexpr OptionsSet kExtendedMembers{RC::CharacterClasses, RC::Intervals, RC::BackReferences};
inline constexpr OptionsSet kNormalMembers =
    kExtendedMembers + OptionsSet{RC::EscapeInCharacterSets, RC::NoLocaleSpecificCollation};
inline constexpr OptionsSet kBasicMembers =
    kExtendedMembers + OptionsSet{RC::LimitedOperations, RC::BracesNotOperators, RC::ParenthesesNotOperators};
}  // namespace detail

inline constexpr OptionMember kOptionMembers[] = {
    {Options::EscapeInCharacterSets, "EscapeInCharacterSets", 0x0001, {0, detail::bc::no_escape_in_lists}, {}},
    {Options::CharacterClasses, "CharacterClasses", 0x0002, {0, detail::bc::no_char_classes, true}, {}},
    {Options::Intervals, "Intervals", 0x0004, {0, detail::bc::no_intervals, true}, {}},
    {Options::LimitedOperations, "LimitedOperations", 0x0008, {}, {}},
    {Options::NewlineAsAlternationOperator, "NewlineAsAlternationOperator", 0x0010,
     {boost::regbase::newline_alt}, {}},
    {Options::QuestionmarkPlusNotOperators, "QuestionmarkPlusNotOperators", 0x0020, {detail::bc::bk_plus_qm, 0, true}, {}},
    {Options::BracesNotOperators, "BracesNotOperators", 0x0040, {}, {}},
    {Options::ParenthesesNotOperators, "ParenthesesNotOperators", 0x0080, {}, {}},
    {Options::BackReferences, "BackReferences", 0x0100, {}, {}},
    {Options::VerticalbarNotOperator, "VerticalbarNotOperator", 0x0200, {detail::bc::bk_vbar, 0, true}, {}},
    {Options::Literals, "Literals", 0x1000, {detail::bc::literal}, {}},
    {Options::CaseInsensitive, "CaseInsensitive", 0x2000, {detail::bc::icase}, {}},
    {Options::NoLocaleSpecificCollation, "NoLocaleSpecificCollation", 0x4000, {0, detail::bc::collate}, {}},
    {Options::Basic, "Basic", 0, {}, detail::kBasicMembers},
    {Options::Extended, "Extended", 0, {}, detail::kExtendedMembers},
    {Options::Normal, "Normal", 0, {}, detail::kNormalMembers},
};

struct MatchMember {
  Matches member;
  const char* name;
  // The member's bit in the match-flag word; 0 for MatchDefault.
  std::uint32_t bit;
  boost::regex_constants::match_flag_type boost;
  // Restricting members describe the edges of the subject or what the dot
  // matches; MatchDefault is present exactly when none of them is.
  bool restricting;
};

inline constexpr MatchMember kMatchMembers[] = {
    {Matches::MatchDefault, "MatchDefault", 0, detail::bc::match_default, false},
    {Matches::MatchNotBeginningOfLine, "MatchNotBeginningOfLine", 0x0001, detail::bc::match_not_bol, true},
    {Matches::MatchNotEndOfLine, "MatchNotEndOfLine", 0x0002, detail::bc::match_not_eol, true},
    {Matches::MatchNotBeginningOfBuffer, "MatchNotBeginningOfBuffer", 0x0004, detail::bc::match_not_bob, true},
    {Matches::MatchNotEndOfBuffer, "MatchNotEndOfBuffer", 0x0008, detail::bc::match_not_eob, true},
    {Matches::MatchNotBeginningOfWord, "MatchNotBeginningOfWord", 0x0010, detail::bc::match_not_bow, true},
    {Matches::MatchNotEndOfWord, "MatchNotEndOfWord", 0x0020, detail::bc::match_not_eow, true},
    {Matches::MatchNotDotNewline, "MatchNotDotNewline", 0x0040, detail::bc::match_not_dot_newline, true},
    {Matches::MatchNotDotNullCharacter, "MatchNotDotNullCharacter", 0x0080, detail::bc::match_not_dot_null, true},
    {Matches::MatchShortest, "MatchShortest", 0x0400, detail::bc::match_any, false},
    {Matches::MatchNotNullString, "MatchNotNullString", 0x0800, detail::bc::match_not_null, false},
    {Matches::MatchContinuous, "MatchContinuous", 0x1000, detail::bc::match_continuous, false},
};

// The row of a member.
constexpr const OptionMember& RowOf(Options m) { return kOptionMembers[static_cast<std::size_t>(m)]; }
constexpr const MatchMember& RowOf(Matches m) { return kMatchMembers[static_cast<std::size_t>(m)]; }

// The syntax-flag word of a set: the union of its members' bits, a mode
// member contributing the bits of the members it stands for.
constexpr std::uint32_t FlagWordOf(OptionsSet set) {
  std::uint32_t word = 0;
  for (const OptionMember& row : kOptionMembers) {
    if (!set.Contains(row.member)) continue;
    word |= row.bit;
    if (!row.standsFor.Empty()) word |= FlagWordOf(row.standsFor);
  }
  return word;
}

// The syntax-flag word of one member.
constexpr std::uint32_t OptionBit(Options m) { return FlagWordOf(OptionsSet{m}); }

// The match-flag word of a set: the union of its members' bits.
constexpr std::uint32_t MatchWordOf(MatchesSet set) {
  std::uint32_t word = 0;
  for (const MatchMember& row : kMatchMembers) {
    if (set.Contains(row.member)) word |= row.bit;
  }
  return word;
}

// The match-flag word of one member.
constexpr std::uint32_t MatchBit(Matches m) { return RowOf(m).bit; }

// The member groups of the option rules: the common members (all that
// Extended stands for) and what Normal and Basic add to them.
constexpr OptionsSet CommonMembers() { return RowOf(Options::Extended).standsFor; }
constexpr OptionsSet NormalExtras() { return RowOf(Options::Normal).standsFor - CommonMembers(); }
constexpr OptionsSet BasicExtras() { return RowOf(Options::Basic).standsFor - CommonMembers(); }

// The match members that MatchDefault excludes.
constexpr MatchesSet RestrictingMembers() {
  MatchesSet set;
  for (const MatchMember& row : kMatchMembers) {
    if (row.restricting) set << row.member;
  }
  return set;
}

// The members' names in ordinal order, as the set type info lists them.
template <class Row, std::size_t N>
std::vector<std::string> MemberNamesOf(const Row (&rows)[N]) {
  std::vector<std::string> names;
  for (const Row& row : rows) names.emplace_back(row.name);
  return names;
}

namespace detail {

// Every enumerator of the set type has a row, at the index of its ordinal.
template <class SetType, class Row, std::size_t N>
constexpr bool RowsMatchEnum(const Row (&rows)[N]) {
  if (N != static_cast<std::size_t>(SetType::LastOrdinal) + 1 || SetType::FirstOrdinal != 0) return false;
  for (std::size_t n = 0; n < N; ++n) {
    if (static_cast<std::size_t>(rows[n].member) != n) return false;
  }
  return true;
}

// Each member's own bit is a single bit that no other member has.
template <class Row, std::size_t N>
constexpr bool BitsAreDistinct(const Row (&rows)[N]) {
  std::uint32_t seen = 0;
  for (const Row& row : rows) {
    if (row.bit == 0) continue;
    if ((row.bit & (row.bit - 1)) != 0 || (seen & row.bit) != 0) return false;
    seen |= row.bit;
  }
  return true;
}

}  // namespace detail

static_assert(detail::RowsMatchEnum<OptionsSet>(kOptionMembers), "one row per Options member, in ordinal order");
static_assert(detail::RowsMatchEnum<MatchesSet>(kMatchMembers), "one row per Matches member, in ordinal order");
static_assert(detail::BitsAreDistinct(kOptionMembers) && detail::BitsAreDistinct(kMatchMembers));

}  // namespace RegexComponent::engine
