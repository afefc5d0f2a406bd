#include "engine/expression/MatchFlags.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "engine/expression/FlagWords.h"

namespace RegexComponent::engine {
namespace {

// The first match of `pattern` in `subject` under the flags of `word`.
std::optional<std::string> Search(const char* pattern, const std::string& subject, std::uint32_t word) {
  boost::smatch match;
  if (!boost::regex_search(subject, match, boost::regex(pattern), ToBoostMatchFlags(word))) return std::nullopt;
  return match.str();
}

struct BitCase {
  std::uint32_t bit;
  const char* pattern;
  std::string subject;
  std::optional<std::string> without;  // the match with no flag set
  std::optional<std::string> with;     // the match with only `bit` set
};

// Each bit of the word, on a search that it changes.
const BitCase kBitCases[] = {
    {match::NotBeginningOfLine, "^a", "ab", "a", std::nullopt},
    {match::NotEndOfLine, "b$", "ab", "b", std::nullopt},
    {match::NotBeginningOfBuffer, "\\`a", "ab", "a", std::nullopt},
    {match::NotEndOfBuffer, "b\\z", "ab", "b", std::nullopt},
    {match::NotBeginningOfWord, "\\<a", "ab", "a", std::nullopt},
    {match::NotEndOfWord, "b\\>", "ab", "b", std::nullopt},
    {match::NotDotNewline, "a.b", "a\nb", "a\nb", std::nullopt},
    {match::NotDotNullCharacter, "a.b", std::string("a\0b", 3), std::string("a\0b", 3), std::nullopt},
    {match::NotNullString, "x*", "ab", "", std::nullopt},
    {match::Continuous, "b", "ab", "b", std::nullopt},
    // Leftmost-longest among alternatives, unless any match will do.
    {match::Shortest, "a|ab", "ab", "ab", "a"},
};

TEST(MatchFlagsTest, EachBitHasItsEffect) {
  for (const BitCase& c : kBitCases) {
    EXPECT_EQ(Search(c.pattern, c.subject, 0), c.without) << c.pattern << " bit " << c.bit;
    EXPECT_EQ(Search(c.pattern, c.subject, c.bit), c.with) << c.pattern << " bit " << c.bit;
  }
}

TEST(MatchFlagsTest, BitsCombine) {
  const std::uint32_t both = match::NotBeginningOfLine | match::NotEndOfLine;
  EXPECT_EQ(Search("^a|b$", "ab", both), std::nullopt);
  EXPECT_EQ(Search("^a|b$|(a|ab)", "ab", both), "ab");
  // Other bits keep the longest match.
  EXPECT_EQ(Search("a|ab", "ab", match::NotEndOfBuffer), "ab");
}

}  // namespace
}  // namespace RegexComponent::engine
