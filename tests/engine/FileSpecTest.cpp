#include "engine/files/FileSpec.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace RegexComponent::engine {
namespace {

struct Case {
  const char* pattern;
  const char* name;
  bool matches;
};

TEST(NamePatternTest, WildcardsSetsAndEscapes) {
  const std::vector<Case> cases = {
      {"*", "", true},           {"*", ".hidden", true},       {"*.txt", "a.txt", true},
      {"*.txt", "a.txt.bak", false}, {"*.txt", ".txt", true},  {"a*b*c", "axxbyyc", true},
      {"a*b*c", "axxbyy", false}, {"*ab", "aab", true},         {"*a*a", "aXa", true},
      {"**x", "x", true},         {"?", "", false},             {"?", "é", false},  // two bytes
      {"??", "é", true},          {"a?c", "abc", true},         {"a?c", "ac", false},
      {"[abc]", "b", true},       {"[abc]", "d", false},        {"[a-c]x", "bx", true},
      {"[a-c]x", "dx", false},    {"[!a-c]", "d", true},        {"[!a-c]", "a", false},
      {"[^a]", "a", false},       {"[]]", "]", true},           {"[!]]", "]", false},
      {"[a-]", "-", true},        {"[z-a]", "m", false},        {"[ab", "[ab", true},
      {"[ab", "a", false},        {"\\*", "*", true},           {"\\*", "x", false},
      {"[\\]]", "]", true},       {"a\\?", "a?", true},         {"*.[ch]", "x.h", true},
      {"*.[ch]", "x.cc", false},  {"*[0-9]*", "v2x", true},     {"*[0-9]*", "vx", false},
      {"A*", "abc", false},  // case-sensitive
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NamePattern(c.pattern).Matches(c.name), c.matches) << c.pattern << " vs " << c.name;
  }
}

TEST(NamePatternTest, LiteralNamesAreRecognised) {
  EXPECT_FALSE(NamePattern("plain.txt").HasWildcard());
  EXPECT_EQ(NamePattern("plain.txt").Literal(), "plain.txt");
  EXPECT_EQ(NamePattern("star\\*name").Literal(), "star*name");
  EXPECT_FALSE(NamePattern("open[bracket").HasWildcard());
  EXPECT_EQ(NamePattern("open[bracket").Literal(), "open[bracket");
  EXPECT_TRUE(NamePattern("x[ab]").HasWildcard());
  EXPECT_TRUE(NamePattern("x?").HasWildcard());
}

TEST(FileSpecTest, SplitsAtTheLastSlash) {
  const std::vector<std::pair<const char*, const char*>> directories = {
      {"*.txt", ""}, {"dir/*.txt", "dir/"}, {"a/b/c.txt", "a/b/"}, {"/abs/x", "/abs/"},
      {"/x", "/"},   {"./x", "./"},         {"dir//x", "dir//"},
  };
  for (const auto& [spec, directory] : directories) {
    EXPECT_EQ(ParseFileSpec(spec).directory, directory) << spec;
  }
  const FileSpec spec = ParseFileSpec("a/b/c.txt");
  EXPECT_EQ(spec.name.Literal(), "c.txt");
  // Wildcards in the directory part are taken literally.
  EXPECT_EQ(ParseFileSpec("d*/x.txt").directory, "d*/");
}

TEST(FileSpecTest, EmptyNamePartMeansEveryFile) {
  const FileSpec spec = ParseFileSpec("dir/");
  EXPECT_EQ(spec.directory, "dir/");
  EXPECT_TRUE(spec.name.HasWildcard());
  EXPECT_TRUE(spec.name.Matches("anything"));
}

}  // namespace
}  // namespace RegexComponent::engine
