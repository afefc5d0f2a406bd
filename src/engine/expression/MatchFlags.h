// Translation of the component's match-flag word into Boost.Regex match flags.
#pragma once

#include <cstdint>

#include <boost/regex.hpp>

namespace RegexComponent::engine {

// Every matching operation (match, search, grep, merge and the file walk)
// runs with these flags. Unless the word asks for the shortest (any) match,
// match_posix is added so that among matches starting at the same position
// the longest wins, the POSIX leftmost-longest rule the component promises.
boost::regex_constants::match_flag_type ToBoostMatchFlags(std::uint32_t word);

}  // namespace RegexComponent::engine
