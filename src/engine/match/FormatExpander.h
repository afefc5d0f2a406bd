// Expansion of the component's replacement format strings.
//
// The syntax is the component's own, not Boost's (Boost reads "\1" as a
// back-reference where we read an octal escape, and has "${n}", "$+", case
// conversions and named references that we do not):
//
//   $&            the whole match
//   $n            sub-expression n (all following decimal digits belong to n)
//   $`  $'        the text before / after the match
//   $ + other     a literal '$'; the other character is then read normally
//   ( ... )       grouping, no output of its own
//   )             closing no group: ends the expansion
//   ?n T:F        conditional on sub-expression n; see below
//   \a \f \n \r \t \v \e   control characters 7, 12, 10, 13, 9, 11, 27
//   \xHH  \x{HH}  hexadecimal character code
//   \ooo          octal character code
//   \cX           X - 64 for X in 64..127
//   \ + other     that character literally
//   anything else is copied unchanged.
//
// Conditionals: when sub-expression n took part in the match the true part T
// is expanded and F skipped, otherwise T is skipped and F expanded. T ends at
// the first ':' or ')' of its own level; F runs to the end of the enclosing
// group (or of the format), and the conditional ends that group, so text after
// a conditional needs parentheses around the conditional. A nested
// conditional inside T likewise runs to the end of the level, so the outer
// conditional then has no false part. Skipped text is parsed exactly as
// expanded text would be (balanced parentheses, escapes, nested
// conditionals); only the output is suppressed, so taking either branch
// never changes where the conditional ends.
//
// Details the syntax above leaves open, decided here:
//   - '?' not followed by a decimal digit, and '?' at the end: a literal '?'.
//   - ':' outside the true part of a conditional on the current level: a
//     literal ':' (also inside a false part).
//   - "$n" for a sub-expression that did not take part or does not exist:
//     the digits are consumed and nothing is output. Huge n saturates to a
//     non-existent group instead of overflowing; the same holds for "?n".
//   - Numeric escapes take digits while the value stays within one byte;
//     the digit that would exceed 255 and everything after it is read as
//     ordinary text: "\400" is ' ' followed by '0', "\x414" is 'A' then '4'.
//   - "\x{": hex digits are taken under the same rule and a '}' directly
//     after them is consumed. So "\x{41}" and "\x{41" are both 'A', while
//     "\x{100}" is '\x10' followed by the literal text "0}". "\x{" with no
//     hex digit after the brace is a literal 'x' and the '{' is read
//     normally, the same as "\x" followed by any non-hex character.
//   - "\c" followed by a character outside 64..127, or at the end: a
//     literal 'c'; the following character is then read normally.
//   - Against a failed match (size() == 0 or m[0] unmatched) every reference
//     ($&, $n, $`, $') yields nothing and every conditional takes its false
//     part; literal text is still output.
//
// Nesting depth is unbounded and costs no native stack: skipping is a flat
// scan with a depth counter, and expansion keeps one bit per open group
// (inline for up to 256 levels; deeper nesting falls back to the heap).
#pragma once

#include <string>
#include <string_view>

#include <boost/regex.hpp>

namespace RegexComponent::engine {

// Appends the expansion of `format` for match `m` to `out`, in one pass over
// `format`. Reads nothing outside `format` and the text `m` refers to.
void ExpandFormat(std::string_view format, const boost::match_results<const char*>& m,
                  std::string& out);

}  // namespace RegexComponent::engine
