// Event handlers that are not bound member functions: lambdas with captures
// and plain functions serve every event, stop a grep, and outlive the
// scope they were written in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <RegexComponent/RegularExpression.h>

#include "TempFileTree.h"

using namespace RegexComponent;
using RegexComponent::testing::TempFileTree;

namespace {

std::vector<std::string> gFound;
void RecordFoundFile(TObject*, AnsiString file, bool&) { gFound.push_back(file.ToStdString()); }

TEST(EventHandler, LambdasServeTheSubjectEvents) {
  RegularExpression re(nullptr);
  re.Expression = "(b+)";
  re.StringToMatch = "bb\nabbb";
  std::vector<std::string> log;
  re.OnMatching = [&](TObject* sender, const CPPStringArray& parts, unsigned line, unsigned) {
    EXPECT_EQ(sender, &re);
    log.push_back("match " + parts[0] + " line " + std::to_string(line));
  };
  re.OnSearching = [&](TObject*, const CPPStringArray& parts, unsigned line, unsigned start) {
    log.push_back("search " + parts[1] + " " + std::to_string(line) + ":" + std::to_string(start));
  };
  re.OnGrepping = [&](TObject*, const CPPStringArray& parts, unsigned line, unsigned, bool& bcontinue) {
    log.push_back("grep " + parts[0] + " line " + std::to_string(line));
    bcontinue = false;  // a lambda stops the grep as a method does
  };
  EXPECT_TRUE(re.Match());
  EXPECT_TRUE(re.Search());
  EXPECT_EQ(re.Grep(), 1u);
  const std::vector<std::string> expected = {"match bb line 1", "search bb 1:0", "grep bb line 1"};
  EXPECT_EQ(log, expected);
}

TEST(EventHandler, LambdaAndPlainFunctionServeTheFileEvents) {
  TempFileTree tree;
  tree.Write("a.txt", "xay\n");
  tree.Write("b.txt", "none\n");
  std::vector<std::string> hits;
  {
    RegularExpression re(nullptr);
    re.Expression = "(a)";
    re.FilesToMatch = tree.Path("*.txt");
    // The closure is assigned inside a scope; the component keeps it alive.
    {
      std::vector<std::string>* sink = &hits;
      re.OnGreppingFiles = [sink](TObject*, AnsiString file, const CPPStringArray& parts,
                                  CPPUnsignedArray positions, bool&) {
        sink->push_back(file.ToStdString() + ":" + std::to_string(positions[0]) + ":" + parts[1]);
      };
    }
    EXPECT_EQ(re.GrepFiles(), 1u);
    gFound.clear();
    re.OnFindFiles = &RecordFoundFile;
    EXPECT_EQ(re.FindFiles(), 1u);
  }
  EXPECT_EQ(hits, std::vector<std::string>{tree.Path("a.txt") + ":1:a"});
  EXPECT_EQ(gFound, std::vector<std::string>{tree.Path("a.txt")});
}

}  // namespace
