#include "engine/expression/MatchFlags.h"

#include "engine/expression/FlagWords.h"
#include "engine/expression/OptionMembers.h"

namespace RegexComponent::engine {

namespace bc = boost::regex_constants;

boost::regex_constants::match_flag_type ToBoostMatchFlags(std::uint32_t word) {
  bc::match_flag_type flags = bc::match_default;
  for (const MatchMember& row : kMatchMembers) {
    if (word & row.bit) flags |= row.boost;
  }
  if (!(word & match::Shortest)) flags |= bc::match_posix;
  return flags;
}

}  // namespace RegexComponent::engine
