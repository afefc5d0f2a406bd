// Counts from RegEx::GrepFiles and FindFiles against GNU grep on a generated
// tree, for expressions that mean the same to both: no empty matches, no
// line feeds in a match, POSIX leftmost-longest alternation.
#include "engine/search/RegEx.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "TempFileTree.h"

namespace RegexComponent {
namespace {

using testing::TempFileTree;

unsigned long RunCount(const std::string& command) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return static_cast<unsigned long>(-1);
  unsigned long count = static_cast<unsigned long>(-1);
  if (std::fscanf(pipe, "%lu", &count) != 1) count = static_cast<unsigned long>(-1);
  ::pclose(pipe);
  return count;
}

void MakeTree(const TempFileTree& tree) {
  static const char* const kWords[] = {"the", "The", "abcd", "abc", "foo", "bar", "foobar", "x42", "2024",
                                       "Alpha", "beta", "a-b", "THE", "ab", "bcd", "7"};
  std::mt19937 random(99);
  for (int f = 0; f < 60; ++f) {
    std::string text;
    const int lines = static_cast<int>(random() % 40);
    for (int l = 0; l < lines; ++l) {
      const int words = static_cast<int>(random() % 12);
      for (int w = 0; w < words; ++w) text += std::string(w ? " " : "") + kWords[random() % std::size(kWords)];
      text += '\n';
    }
    const std::string directory = f % 3 == 0 ? "" : (f % 3 == 1 ? "d1/" : "d1/d2/");
    tree.Write(directory + "f" + std::to_string(f) + ".txt", text);
  }
}

TEST(RegExGrepAgreementTest, CountsAgreeWithGnuGrep) {
  if (std::system("command -v grep >/dev/null 2>&1") != 0) GTEST_SKIP() << "grep is not installed";
  TempFileTree tree;
  MakeTree(tree);
  const std::string root = tree.Path("");
  struct Case {
    const char* expression;
    bool icase;
  };
  for (const Case c : {Case{"[0-9]+", false}, Case{"[A-Z][a-z]+", false}, Case{"foo|bar", false},
                       Case{"\\bthe\\b", false}, Case{"the", true}, Case{"(ab|a)(c|bcd)", false},
                       Case{"^[a-z]+", false}, Case{"[a-z]+$", false}, Case{"b+c?d", false}}) {
    RegEx regex;
    regex.SetExpression(c.expression, c.icase);
    const std::string grep = std::string("LC_ALL=C grep -r -E ") + (c.icase ? "-i " : "") + "'" + c.expression +
                             "' '" + root + "'";
    const unsigned long matches = RunCount(grep + " -o | wc -l");
    const unsigned long files = RunCount(grep + " -l | wc -l");
    ASSERT_NE(matches, static_cast<unsigned long>(-1));
    EXPECT_GT(matches, 0u) << c.expression;
    EXPECT_EQ(regex.GrepFiles(nullptr, (root + "*").c_str(), true, 0), matches) << c.expression;
    EXPECT_EQ(regex.FindFiles(nullptr, (root + "*").c_str(), true, 0), files) << c.expression;
  }
}

}  // namespace
}  // namespace RegexComponent
