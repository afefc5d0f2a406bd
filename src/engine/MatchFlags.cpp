#include "engine/MatchFlags.h"

#include "engine/FlagWords.h"

namespace RegexComponent::engine {

namespace bc = boost::regex_constants;

boost::regex_constants::match_flag_type ToBoostMatchFlags(std::uint32_t word) {
  struct Mapping {
    std::uint32_t bit;
    bc::match_flag_type flag;
  };
  static constexpr Mapping kMappings[] = {
      {match::NotBeginningOfLine, bc::match_not_bol},
      {match::NotEndOfLine, bc::match_not_eol},
      {match::NotBeginningOfBuffer, bc::match_not_bob},
      {match::NotEndOfBuffer, bc::match_not_eob},
      {match::NotBeginningOfWord, bc::match_not_bow},
      {match::NotEndOfWord, bc::match_not_eow},
      {match::NotDotNewline, bc::match_not_dot_newline},
      {match::NotDotNullCharacter, bc::match_not_dot_null},
      {match::Shortest, bc::match_any},
      {match::NotNullString, bc::match_not_null},
      {match::Continuous, bc::match_continuous},
  };
  bc::match_flag_type flags = bc::match_default;
  for (const Mapping& m : kMappings) {
    if (word & m.bit) flags |= m.flag;
  }
  if (!(word & match::Shortest)) flags |= bc::match_posix;
  return flags;
}

}  // namespace RegexComponent::engine
