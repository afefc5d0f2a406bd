// The one exception the tool's own checks throw: a message for the user,
// printed as "regexp: MESSAGE" with exit status 2.
#pragma once

#include <stdexcept>

namespace RegexComponent::tool {

class ToolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Exit statuses, as grep's.
inline constexpr int kFound = 0;
inline constexpr int kNotFound = 1;
inline constexpr int kTrouble = 2;

}  // namespace RegexComponent::tool
