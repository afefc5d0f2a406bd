#include "engine/match/FormatExpander.h"

#include <string>

#include <gtest/gtest.h>

namespace RegexComponent::engine {
namespace {

// Expands `format` against the first match of `pattern` in `subject` (or
// against the failed search when there is none).
std::string Expand(std::string_view format, const char* pattern, const std::string& subject) {
  const boost::regex re(pattern);
  boost::cmatch m;
  boost::regex_search(subject.data(), subject.data() + subject.size(), m, re);
  std::string out;
  ExpandFormat(format, m, out);
  return out;
}

struct Case {
  const char* format;
  const char* expected;
};

// Runs every case against "xx" + match + "yy" where (a+)(b)?(c) matches
// "aac": group 1 "aa", group 2 takes no part, group 3 "c".
void ExpectAll(std::initializer_list<Case> cases) {
  for (const Case& c : cases)
    EXPECT_EQ(Expand(c.format, "(a+)(b)?(c)", "xxaacyy"), c.expected) << "format: " << c.format;
}

TEST(FormatExpander, WorkedExampleAppendsToOutput) {
  const std::string subject = "abc123def456";
  boost::cmatch m;
  ASSERT_TRUE(boost::regex_search(subject.c_str(), m, boost::regex("[0-9]+")));
  std::string out = "<";
  ExpandFormat("[$&]", m, out);
  EXPECT_EQ(out, "<[123]");
}

TEST(FormatExpander, References) {
  ExpectAll({{"$&", "aac"}, {"$0", "aac"}, {"$1|$2|$3", "aa||c"}, {"$`", "xx"}, {"$'", "yy"},
             {"$01", "aa"}, {"$4", ""}, {"$99999999999999999999999999", ""}, {"$1$1", "aaaa"},
             {"$10", ""}, {"a$", "a$"}, {"$x", "$x"}, {"$$&", "$aac"}, {"$\\n", "$\n"}, {"$(1)", "$1"}});
  EXPECT_EQ(Expand("$1", "abc", "abc"), "");
  EXPECT_EQ(Expand("$10|$1", "(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)", "abcdefghij"), "j|a");
}

TEST(FormatExpander, GroupingAndUnmatchedParenthesis) {
  ExpectAll({{"(a)(b)", "ab"}, {"a)b", "a"}, {"(a))b", "a"}, {"((a)", "a"}, {"()", ""}, {")", ""}});
}

TEST(FormatExpander, Conditionals) {
  ExpectAll({
      {"?1yes:no", "yes"}, {"?2yes:no", "no"}, {"?1yes", "yes"}, {"?2yes", ""}, {"?2:no", "no"},
      {"<(?1T:F)(?2T:F)>", "<TF>"},           // parentheses let text follow
      {"?1T:F>", "T"}, {"?2T:F>", "F>"},       // otherwise the false part runs to the end
      {"?2a:b:c", "b:c"}, {"?1a:b:c", "a"},    // ':' inside a false part is text
      {"?9T:F", "F"}, {"?99999999999999999999T:F", "F"},
      {"?1(a:b)c:d", "a:bc"}, {"?2(a:b)c:d", "d"},  // parentheses balance in skipped parts
      {"(?2a\\:b\\)c:d)e", "de"}, {"(?1a\\:b\\)c:d)e", "a:b)ce"},
      {"?1a)b:c", "a"}, {"?2a)b:c", ""},        // ')' closing no group still ends everything
      {"a?b", "a?b"}, {"a?", "a?"}, {"a:b", "a:b"}, {"$?1x:y", "$x"},
  });
}

TEST(FormatExpander, NestedConditionals) {
  // Outer on group 1 (matched), inner on group 2 (not) or 3 (matched).
  ExpectAll({{"?1(?2A:B):C", "B"}, {"?1(?3A:B):C", "A"}, {"?2(?3A:B):C", "C"}, {"?2X:(?3A:B)", "A"},
             // A conditional nested in a true part runs to the end of the level,
             // taken or skipped, so the outer one has no false part left.
             {"?1a?3b:c:d", "ab"}, {"?1a?2b:c:d", "ac:d"}, {"?2a?3b:c:d", ""}});
}

TEST(FormatExpander, Escapes) {
  ExpectAll({{"\\a\\f\\n\\r\\t\\v\\e", "\a\f\n\r\t\v\x1b"},
             {"\\x41", "A"}, {"\\x{41}", "A"}, {"\\x{41", "A"}, {"\\x4a", "J"}, {"\\x414", "A4"},
             {"\\x100", "\x10" "0"}, {"\\x{100}", "\x10" "0}"}, {"\\x{}", "x{}"}, {"\\x{g}", "x{g}"},
             {"\\xg", "xg"}, {"\\x", "x"},
             {"\\101", "A"}, {"\\400", " 0"}, {"\\1234", "S4"}, {"\\8", "8"},
             {"\\cA", "\x01"}, {"\\c[", "\x1b"}, {"\\c\\", "\x1c"}, {"\\c1", "c1"}, {"\\c", "c"},
             {"\\q", "q"}, {"\\\\", "\\"}, {"a\\", "a\\"}, {"\\$1\\(\\)\\?\\:", "$1()?:"}});
  EXPECT_EQ(Expand("\\0", "a", "a"), std::string(1, '\0'));
  EXPECT_EQ(Expand("\\xff", "a", "a"), "\xff");
}

TEST(FormatExpander, FailedMatchOutputsOnlyLiteralParts) {
  const char* format = "[$&|$0|$1|$`|$'|?1a:b|\\x41]";
  EXPECT_EQ(Expand(format, "(z)", "abc"), "[|||||b|A]");
  std::string out;
  ExpandFormat(format, boost::cmatch(), out);
  EXPECT_EQ(out, "[|||||b|A]");
}

TEST(FormatExpander, DeepNestingNeedsNoStack) {
  const std::size_t n = 100000;
  EXPECT_EQ(Expand(std::string(n, '(') + "$&" + std::string(n, ')') + "x", "a", "a"), "ax");
  EXPECT_EQ(Expand("?2" + std::string(n, '(') + ":F", "(a)(b)?", "a"), "");

  // Every level holds a conditional on group 1; ':' at each level must see
  // its own level's state again after the inner levels closed.
  std::string format;
  for (std::size_t i = 0; i < n; ++i) format += "(?1a";
  for (std::size_t i = 0; i < n; ++i) format += ":b)";
  EXPECT_EQ(Expand(format, "(a)", "a"), std::string(n, 'a'));
  EXPECT_EQ(Expand(format, "(z)|a", "a"), "b");
}

}  // namespace
}  // namespace RegexComponent::engine
