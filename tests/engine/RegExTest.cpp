#include "engine/search/RegEx.h"

#include <gtest/gtest.h>

#include <boost/regex.hpp>

#include <stdexcept>
#include <string>
#include <vector>

#include "TempFileTree.h"
#include "engine/expression/FlagWords.h"

namespace RegexComponent {
namespace {

using testing::ScopedWorkingDirectory;
using testing::TempFileTree;

// Callbacks are plain functions, so what they see is kept here.
struct Seen {
  std::string file;
  std::vector<std::string> what;
  std::vector<unsigned> position;
};
std::vector<Seen> seen;
int groups = 0;          // sub-expressions to read, as the component does
int stopAfter = -1;      // end the walk after this many matches
std::string throwAt;     // throw from the callback for this file
RegEx* nested = nullptr;  // walked from inside the callback when set
std::string nestedSpec;
unsigned nestedCount = 0;

bool Record(const char* file, const RegEx& expression) {
  Seen s{file, {}, {}};
  for (int i = -1; i <= groups + 1; ++i) {  // one out of range on each side
    s.what.push_back(expression.What(i));
    s.position.push_back(expression.Position(i));
  }
  seen.push_back(s);
  if (file == throwAt) throw std::runtime_error("from the callback");
  if (nested) nestedCount += nested->GrepFiles(nullptr, nestedSpec.c_str(), true, 0);
  return stopAfter < 0 || static_cast<int>(seen.size()) < stopAfter;
}

std::vector<std::string> foundFiles;
bool RecordFile(const char* file) {
  foundFiles.emplace_back(file);
  return stopAfter < 0 || static_cast<int>(foundFiles.size()) < stopAfter;
}

constexpr unsigned kNone = static_cast<unsigned>(-1);

class RegExTest : public ::testing::Test {
 protected:
  void SetUp() override {
    seen.clear();
    foundFiles.clear();
    groups = 0;
    stopAfter = -1;
    throwAt.clear();
    nested = nullptr;
    nestedCount = 0;
    tree.Write("one.txt", "key=1\nname=x\nkey=22\n");
    tree.Write("two.txt", "nothing here\n");
    tree.Write("sub/three.txt", "key=333 key=4\n");
    tree.Write("sub/other.log", "key=5\n");
  }
  std::string Spec(const std::string& relative) const { return tree.Path(relative); }
  TempFileTree tree;
};

TEST_F(RegExTest, SetExpressionCountsGroupsAndRejectsBadExpressions) {
  RegEx regex;
  EXPECT_EQ(regex.GrepFiles(nullptr, Spec("*.txt").c_str(), true, 0), 0u);  // nothing compiled yet
  EXPECT_EQ(regex.SetExpression("abc", false), 0u);
  EXPECT_EQ(regex.SetExpression("(a)(?:b)(c(d))", false), 3u);
  EXPECT_THROW(regex.SetExpression("(unclosed", false), boost::regex_error);
  EXPECT_EQ(regex.GrepFiles(nullptr, Spec("*.txt").c_str(), true, 0), 0u);  // the failure cleared it
  EXPECT_EQ(regex.SetExpression("KEY", true), 0u);
  EXPECT_EQ(regex.GrepFiles(nullptr, Spec("*.txt").c_str(), true, 0), 4u);
  EXPECT_EQ(regex.GrepFiles(nullptr, nullptr, true, 0), 0u);
  EXPECT_EQ(regex.GrepFiles(nullptr, "", true, 0), 0u);
  regex.SetExpression("KEY", false);
  EXPECT_EQ(regex.GrepFiles(nullptr, Spec("*.txt").c_str(), true, 0), 0u);
}

TEST_F(RegExTest, GrepFilesReportsEveryMatchWithGroupsAndOffsets) {
  RegEx regex;
  groups = static_cast<int>(regex.SetExpression("key=([0-9]+)|(name)", false));
  ASSERT_EQ(groups, 2);
  EXPECT_EQ(regex.GrepFiles(&Record, Spec("*.txt").c_str(), true, 0), 5u);
  ASSERT_EQ(seen.size(), 5u);
  // Index 0 is What(-1); then the whole match, the groups, one past the end.
  EXPECT_EQ(seen[0].file, Spec("one.txt"));
  EXPECT_EQ(seen[0].what, (std::vector<std::string>{"", "key=1", "1", "", ""}));
  EXPECT_EQ(seen[0].position, (std::vector<unsigned>{kNone, 0, 4, kNone, kNone}));
  EXPECT_EQ(seen[1].what, (std::vector<std::string>{"", "name", "", "name", ""}));
  EXPECT_EQ(seen[1].position, (std::vector<unsigned>{kNone, 6, kNone, 6, kNone}));
  EXPECT_EQ(seen[2].position[1], 13u);
  EXPECT_EQ(seen[3].file, Spec("sub/three.txt"));
  EXPECT_EQ(seen[4].what[2], "4");
  EXPECT_EQ(seen[4].position[2], 12u);
  // Outside a callback there is no current match.
  EXPECT_EQ(regex.What(0), "");
  EXPECT_EQ(regex.Position(0), kNone);
}

TEST_F(RegExTest, OffsetsStayExactPastTheFirstReadingChunk) {
  const std::string line(99, 'x');
  std::string big;
  while (big.size() < (std::size_t{9} << 20)) big += line + "\n";
  const std::size_t at = big.size() + 3;
  big += "abcKEY\n";
  tree.Write("big.dat", big);
  RegEx regex;
  regex.SetExpression("key", true);
  EXPECT_EQ(regex.GrepFiles(&Record, Spec("big.dat").c_str(), false, 0), 1u);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].position[1], at);
  EXPECT_EQ(seen[0].what[1], "KEY");
}

TEST_F(RegExTest, MatchFlagsAreTranslated) {
  tree.Write("ab.txt", "ab\n");
  RegEx regex;
  regex.SetExpression("a|ab", false);
  regex.GrepFiles(&Record, Spec("ab.txt").c_str(), false, 0);
  regex.GrepFiles(&Record, Spec("ab.txt").c_str(), false, engine::match::Shortest);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].what[1], "ab");  // leftmost-longest by default
  EXPECT_EQ(seen[1].what[1], "a");
  regex.SetExpression("^key", false);
  EXPECT_EQ(regex.GrepFiles(nullptr, Spec("one.txt").c_str(), false, 0), 2u);
  EXPECT_EQ(regex.GrepFiles(nullptr, Spec("one.txt").c_str(), false, engine::match::NotBeginningOfLine), 1u);
}

TEST_F(RegExTest, FindFilesReportsEachMatchingFileOnce) {
  RegEx regex;
  regex.SetExpression("key", false);
  EXPECT_EQ(regex.FindFiles(&RecordFile, Spec("*").c_str(), true, 0), 3u);
  EXPECT_EQ(foundFiles, (std::vector<std::string>{Spec("one.txt"), Spec("sub/other.log"), Spec("sub/three.txt")}));
  EXPECT_EQ(regex.FindFiles(nullptr, Spec("*.txt").c_str(), false, 0), 1u);
  foundFiles.clear();
  stopAfter = 1;
  EXPECT_EQ(regex.FindFiles(&RecordFile, Spec("*").c_str(), true, 0), 1u);
  EXPECT_EQ(foundFiles.size(), 1u);
}

TEST_F(RegExTest, CallbackEndsTheWalkAndPathsFollowTheSpecification) {
  RegEx regex;
  regex.SetExpression("key", false);
  stopAfter = 2;
  EXPECT_EQ(regex.GrepFiles(&Record, Spec("*.txt").c_str(), true, 0), 2u);
  EXPECT_EQ(seen.size(), 2u);
  seen.clear();
  stopAfter = -1;
  const ScopedWorkingDirectory cwd(tree.Root());
  EXPECT_EQ(regex.GrepFiles(&Record, "*.log", true, 0), 1u);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].file, "sub/other.log");
}

TEST_F(RegExTest, ExceptionsPassOutAndLeaveTheObjectUsable) {
  RegEx regex;
  regex.SetExpression("key", false);
  throwAt = Spec("sub/three.txt");
  EXPECT_THROW(regex.GrepFiles(&Record, Spec("*.txt").c_str(), true, 0), std::runtime_error);
  throwAt.clear();
  seen.clear();
  EXPECT_EQ(regex.GrepFiles(&Record, Spec("*.txt").c_str(), true, 0), 4u);
  EXPECT_EQ(regex.What(0), "");

  tree.Write("xs.txt", std::string(40, 'x'));
  regex.SetExpression("(x+x+)+y", false);  // too complex for the matcher
  EXPECT_THROW(regex.GrepFiles(nullptr, Spec("xs.txt").c_str(), false, 0), std::runtime_error);
  regex.SetExpression("x", false);
  EXPECT_EQ(regex.GrepFiles(nullptr, Spec("xs.txt").c_str(), false, 0), 40u);
}

TEST_F(RegExTest, CallbackMayWalkWithAnotherObjectButNotItsOwn) {
  RegEx outer;
  RegEx inner;
  groups = static_cast<int>(outer.SetExpression("key=([0-9]+)", false));
  inner.SetExpression("[0-9]", false);
  nested = &inner;
  nestedSpec = Spec("*.log");
  EXPECT_EQ(outer.GrepFiles(&Record, Spec("one.txt").c_str(), false, 0), 2u);
  EXPECT_EQ(nestedCount, 2u);  // "5" in sub/other.log, once per outer match
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].what[2], "22");

  nested = &outer;
  EXPECT_THROW(outer.GrepFiles(&Record, Spec("one.txt").c_str(), false, 0), std::logic_error);
  nested = nullptr;
  seen.clear();
  EXPECT_EQ(outer.GrepFiles(&Record, Spec("one.txt").c_str(), false, 0), 2u);
}

}  // namespace
}  // namespace RegexComponent
