// The component's two flag words: the syntax-flag word produced from
// ExpressionOptions and the match-flag word produced from MatchOptions.
// These values are part of the component's public interface; the engine
// units translate them into Boost.Regex's own encodings.
#pragma once

#include <cstdint>

namespace RegexComponent::engine {

namespace syntax {
inline constexpr std::uint32_t EscapeInCharacterSets = 0x0001;
inline constexpr std::uint32_t CharacterClasses = 0x0002;
inline constexpr std::uint32_t Intervals = 0x0004;
inline constexpr std::uint32_t LimitedOperations = 0x0008;
inline constexpr std::uint32_t NewlineAsAlternation = 0x0010;
inline constexpr std::uint32_t QuestionmarkPlusNotOperators = 0x0020;
inline constexpr std::uint32_t BracesNotOperators = 0x0040;
inline constexpr std::uint32_t ParenthesesNotOperators = 0x0080;
inline constexpr std::uint32_t BackReferences = 0x0100;
inline constexpr std::uint32_t VerticalbarNotOperator = 0x0200;
inline constexpr std::uint32_t Literals = 0x1000;
inline constexpr std::uint32_t CaseInsensitive = 0x2000;
inline constexpr std::uint32_t NoLocaleSpecificCollation = 0x4000;
inline constexpr std::uint32_t Basic = 0x01CE;
inline constexpr std::uint32_t Extended = 0x0106;
inline constexpr std::uint32_t Normal = 0x4107;
}  // namespace syntax

namespace match {
inline constexpr std::uint32_t NotBeginningOfLine = 0x0001;
inline constexpr std::uint32_t NotEndOfLine = 0x0002;
inline constexpr std::uint32_t NotBeginningOfBuffer = 0x0004;
inline constexpr std::uint32_t NotEndOfBuffer = 0x0008;
inline constexpr std::uint32_t NotBeginningOfWord = 0x0010;
inline constexpr std::uint32_t NotEndOfWord = 0x0020;
inline constexpr std::uint32_t NotDotNewline = 0x0040;
inline constexpr std::uint32_t NotDotNullCharacter = 0x0080;
inline constexpr std::uint32_t Shortest = 0x0400;
inline constexpr std::uint32_t NotNullString = 0x0800;
inline constexpr std::uint32_t Continuous = 0x1000;
}  // namespace match

}  // namespace RegexComponent::engine
