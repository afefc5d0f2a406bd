// The component's two flag words: the syntax-flag word produced from
// ExpressionOptions and the match-flag word produced from MatchOptions.
// Interface: a named constant for each member's flag value, as the engine
// units and tests spell them. The values are part of the component's public
// interface and are taken from the member tables in OptionMembers.h, where
// each is written once; the engine units translate them into Boost.Regex's
// own encodings.
#pragma once

#include <cstdint>

#include "engine/expression/OptionMembers.h"

namespace RegexComponent::engine {

namespace syntax {
inline constexpr std::uint32_t EscapeInCharacterSets = OptionBit(Options::EscapeInCharacterSets);
inline constexpr std::uint32_t CharacterClasses = OptionBit(Options::CharacterClasses);
inline constexpr std::uint32_t Intervals = OptionBit(Options::Intervals);
inline constexpr std::uint32_t LimitedOperations = OptionBit(Options::LimitedOperations);
inline constexpr std::uint32_t NewlineAsAlternation = OptionBit(Options::NewlineAsAlternationOperator);
inline constexpr std::uint32_t QuestionmarkPlusNotOperators = OptionBit(Options::QuestionmarkPlusNotOperators);
inline constexpr std::uint32_t BracesNotOperators = OptionBit(Options::BracesNotOperators);
inline constexpr std::uint32_t ParenthesesNotOperators = OptionBit(Options::ParenthesesNotOperators);
inline constexpr std::uint32_t BackReferences = OptionBit(Options::BackReferences);
inline constexpr std::uint32_t VerticalbarNotOperator = OptionBit(Options::VerticalbarNotOperator);
inline constexpr std::uint32_t Literals = OptionBit(Options::Literals);
inline constexpr std::uint32_t CaseInsensitive = OptionBit(Options::CaseInsensitive);
inline constexpr std::uint32_t NoLocaleSpecificCollation = OptionBit(Options::NoLocaleSpecificCollation);
inline constexpr std::uint32_t Basic = OptionBit(Options::Basic);
inline constexpr std::uint32_t Extended = OptionBit(Options::Extended);
inline constexpr std::uint32_t Normal = OptionBit(Options::Normal);
}  // namespace syntax

namespace match {
inline constexpr std::uint32_t NotBeginningOfLine = MatchBit(Matches::MatchNotBeginningOfLine);
inline constexpr std::uint32_t NotEndOfLine = MatchBit(Matches::MatchNotEndOfLine);
inline constexpr std::uint32_t NotBeginningOfBuffer = MatchBit(Matches::MatchNotBeginningOfBuffer);
inline constexpr std::uint32_t NotEndOfBuffer = MatchBit(Matches::MatchNotEndOfBuffer);
inline constexpr std::uint32_t NotBeginningOfWord = MatchBit(Matches::MatchNotBeginningOfWord);
inline constexpr std::uint32_t NotEndOfWord = MatchBit(Matches::MatchNotEndOfWord);
inline constexpr std::uint32_t NotDotNewline = MatchBit(Matches::MatchNotDotNewline);
inline constexpr std::uint32_t NotDotNullCharacter = MatchBit(Matches::MatchNotDotNullCharacter);
inline constexpr std::uint32_t Shortest = MatchBit(Matches::MatchShortest);
inline constexpr std::uint32_t NotNullString = MatchBit(Matches::MatchNotNullString);
inline constexpr std::uint32_t Continuous = MatchBit(Matches::MatchContinuous);
}  // namespace match

}  // namespace RegexComponent::engine
