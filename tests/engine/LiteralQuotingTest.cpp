#include "engine/expression/LiteralQuoting.h"

#include <gtest/gtest.h>

#include <boost/regex.hpp>

#include <random>
#include <string>

namespace RegexComponent::engine {
namespace {

bool QuotedMatches(const std::string& literal, const std::string& subject) {
  return boost::regex_match(subject, boost::regex(QuoteForPerl(literal), boost::regex::perl));
}

// Every byte on its own, and random mixes of operators and letters: the
// quoted text matches itself and no text that differs from it in one byte
// or in length.
TEST(LiteralQuotingTest, QuotedTextMatchesExactlyItself) {
  for (int byte = 1; byte < 256; ++byte) {
    const std::string text(1, static_cast<char>(byte));
    EXPECT_TRUE(QuotedMatches(text, text)) << "byte " << byte;
    if (byte != 'x') {
      EXPECT_FALSE(QuotedMatches(text, "x")) << "byte " << byte;
    }
    EXPECT_FALSE(QuotedMatches(text, text + text)) << "byte " << byte;
  }
  std::mt19937 random(11);
  static constexpr std::string_view kAlphabet = "\\^$.|?*+()[]{}-#ax \n";
  for (int round = 0; round < 300; ++round) {
    std::string text(1 + random() % 12, ' ');
    for (char& c : text) c = kAlphabet[random() % kAlphabet.size()];
    ASSERT_TRUE(QuotedMatches(text, text)) << text;
    std::string other = text;
    char& changed = other[random() % other.size()];
    changed = changed == 'a' ? 'x' : 'a';
    EXPECT_FALSE(QuotedMatches(text, other)) << text << " against " << other;
    EXPECT_FALSE(QuotedMatches(text, text.substr(1))) << text;
  }
}

TEST(LiteralQuotingTest, OnlyOperatorsAreQuoted) {
  EXPECT_EQ(QuoteForPerl("a.b*(c)"), "a\\.b\\*\\(c\\)");
  EXPECT_EQ(QuoteForPerl("x-y #z\n"), "x-y #z\n");
  EXPECT_EQ(QuoteForPerl(""), "");
}

}  // namespace
}  // namespace RegexComponent::engine
