// What every match of an expression must contain, derived from the text
// handed to boost::basic_regex and its syntax options.
//
// Interface: StaysWithinLine(), FirstMatchIsLongest(), and AnalyzeLiterals()
// which gives either "not usable" or
//   - literals: every match contains an occurrence of one of them; each
//     literal is a sequence of byte sets (one byte, a byte with its case
//     variants under icase, any class), at least one of which is small
//     (AnchorPosition), or two of which are classes of a few byte ranges
//     rare enough together (Locatable in LiteralScanner.h);
//   - where a match can begin relative to that occurrence: at most `reach`
//     bytes before the literal's start, and/or (reachWithinLine) never before
//     the start of the literal's line, as nothing ahead of the literal in the
//     expression can match a line feed;
//   - the longest match (maxLength) and whether a match can hold a line feed,
//     which bound how much text after a candidate can matter.
//
// Only the perl grammar and the literal grammar are analysed. Anything not
// fully understood makes the result unusable: look-around and other (?...)
// groups, back-references, \G and the buffer anchors, \Q...\E, \K, escapes
// outside a small known set, possessive repeats, collating elements, an
// expression that can match the empty string, syntax options that change
// the grammar (mod_x, no_mod_m, no_escape_in_lists) and match flags that
// tie a match to where the search began (match_continuous, match_partial,
// match_prev_avail). Single-character atoms (classes, escapes, '.') are
// not interpreted here: their byte sets are taken from Boost itself, each
// atom compiled alone with the same options and locale and tried on every
// byte, so a class means here exactly what it means to the matcher.
#pragma once

#include <bitset>
#include <cstddef>
#include <limits>
#include <locale>
#include <string_view>
#include <vector>

#include <boost/regex.hpp>

namespace RegexComponent::engine {

using ByteSet = std::bitset<256>;
using Literal = std::vector<ByteSet>;

inline constexpr std::size_t kUnbounded = std::numeric_limits<std::size_t>::max();

// Bytes a literal position the scanner looks for may stand for (a letter
// and its case variant, a small class such as [Nn]); other positions, up to
// any class, only verify a candidate.
inline constexpr std::size_t kMaxAnchorBytes = 4;

// The rarest of the literal's positions of at most kMaxAnchorBytes bytes,
// the one to look for; literal.size() when it has none.
std::size_t AnchorPosition(const Literal& literal);

struct LiteralAnalysis {
  bool usable = false;
  std::vector<Literal> literals;
  std::size_t reach = kUnbounded;
  bool reachWithinLine = false;
  std::size_t maxLength = kUnbounded;
  bool matchesNewline = true;
};

LiteralAnalysis AnalyzeLiterals(std::string_view pattern, boost::regex_constants::syntax_option_type syntax,
                                boost::regex_constants::match_flag_type match,
                                const std::locale& locale = std::locale());

// Whether every match is non-empty, holds no line feed and looks at nothing
// beyond its line's ends but what \b, \B, \< and \> see there: the text is
// read as above (the same refusals) and holds no ^ or $. A line feed is then
// to the matcher what a subject's end is, so a search over many lines finds,
// from any position, the match that a search of that position's line alone
// would find from there.
bool StaysWithinLine(std::string_view pattern, boost::regex_constants::syntax_option_type syntax,
                     boost::regex_constants::match_flag_type match, const std::locale& locale = std::locale());

// Whether, at any start, the first match Boost's perl rule finds is the
// longest one there, taking the same path, so that match_perl finds exactly
// what match_posix finds (groups included), only sooner. True when the text
// reads as above and has no alternation, no lazy repeat and at most one
// repeat whose count can vary, not inside another repeat: at a given start
// the path is then fixed but for that count, which the perl rule tries from
// the largest down, so its first success is the longest.
bool FirstMatchIsLongest(std::string_view pattern, boost::regex_constants::syntax_option_type syntax,
                         const std::locale& locale = std::locale());

}  // namespace RegexComponent::engine
