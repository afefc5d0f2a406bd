// Quoting of literal text for Boost's perl syntax. The syntax translator
// builds its one-literal-per-line patterns with it, and the regexp tool its
// literal file-search expressions, so both quote alike.
#pragma once

#include <string>
#include <string_view>

namespace RegexComponent::engine {

// `text` with a backslash before each character that is an operator in
// Boost's perl syntax, so that it compiles there to an expression matching
// exactly `text`. Line feeds are left as they are.
std::string QuoteForPerl(std::string_view text);

}  // namespace RegexComponent::engine
