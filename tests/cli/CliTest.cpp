// End-to-end tests of the regexp tool: the built binary runs on real files
// and its output, messages and exit status are checked.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DescriptorLimit.h"
#include "TempFileTree.h"
#include "Volume.h"

extern char** environ;

namespace {

using RegexComponent::testing::DescriptorLimit;
using RegexComponent::testing::TempFileTree;

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class Cli : public ::testing::Test {
 protected:
  // Runs the tool in the scratch tree with `input` on standard input;
  // output goes through files so that no pipe can fill up.
  Result Run(const std::vector<std::string>& args, const std::string& input = "") {
    tree.Write(".stdin", input);
    std::vector<std::string> argv{RC_REGEXP_TOOL};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& a : argv) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, tree.Root().c_str());
    posix_spawn_file_actions_addopen(&actions, 0, tree.Path(".stdin").c_str(), O_RDONLY, 0);
    const std::string out = output.empty() ? tree.Path(".stdout") : output;
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | (output.empty() ? O_TRUNC : O_APPEND),
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, tree.Path(".stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    Result result;
    const int spawned = posix_spawn(&pid, pointers[0], &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return result;
    // A run that outlives the limit is killed and reported as killed, so a
    // runaway match fails its test instead of hanging the suite.
    int wstatus = 0;
    for (int waited = 0; waitpid(pid, &wstatus, WNOHANG) == 0; ++waited) {
      if (waited == kRunLimitMs) {
        kill(pid, SIGKILL);
        waitpid(pid, &wstatus, 0);
        break;
      }
      usleep(1000);
    }
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    result.out = Slurp(tree.Path(".stdout"));
    result.err = Slurp(tree.Path(".stderr"));
    return result;
  }

  // A failure: status 2, nothing on stdout, one "regexp: " line on stderr
  // holding `needle`.
  void ExpectError(const Result& r, const std::string& needle) {
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("regexp: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(needle), std::string::npos) << r.err;
  }

  static constexpr int kRunLimitMs = 60000;
  TempFileTree tree;
  // Where Run appends standard output instead of writing a file of the
  // tree, if set.
  std::string output;
  const std::string text = "first line\nsecond: xABBBc!\nabbc again\n";
};

TEST_F(Cli, SearchMatchAndMatchAllPrintPartsAndLines) {
  tree.Write("s.txt", text);
  Result r = Run({"search", "-i", "(ab+)(c)", "s.txt"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "match: ABBBc\noffset: 20\nline: 2\nline start: 11\n$1: ABBB\n$2: c\n");
  EXPECT_EQ(Run({"search", "zz", "s.txt"}).status, 1);
  EXPECT_EQ(Run({"match", "second"}, "x second").status, 1);
  r = Run({"match", "(\\w+) (\\w+)", "-"}, "one two three");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "match: one two\noffset: 0\nline: 1\nline start: 0\n$1: one\n$2: two\n");
  EXPECT_EQ(Run({"matchall", "one two"}, "one two three").status, 1);
  EXPECT_EQ(Run({"matchall", "-e", "[a-z ]+", "--text", "one two three"}).out.substr(0, 21), "match: one two three\n");
}

TEST_F(Cli, ScanPrintsEveryMatchWithLineNumbers) {
  tree.Write("s.txt", text);
  tree.Write("t.txt", "abc\n\nab\n");
  Result r = Run({"scan", "-i", "ab+c", "s.txt"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "2:ABBBc\n3:abbc\n");
  EXPECT_EQ(Run({"scan", "b"}, text).out, "3:b\n3:b\n");
  EXPECT_EQ(Run({"scan", "-c", "b", "-"}, text).out, "2\n");
  EXPECT_EQ(Run({"scan", "ab", "s.txt", "t.txt"}).out, "s.txt:3:ab\nt.txt:1:ab\nt.txt:3:ab\n");
  EXPECT_EQ(Run({"scan", "-c", "ab", "s.txt", "t.txt"}).out, "s.txt:1\nt.txt:2\n");
  // Empty matches are counted but, as with grep -o, not printed.
  r = Run({"scan", "x*", "--text", "ab"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(Run({"scan", "zz", "s.txt"}).status, 1);
  // A file that cannot be read is reported; the others are still searched.
  r = Run({"scan", "ab", "t.txt", "missing.txt"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "t.txt:1:ab\nt.txt:3:ab\n");
  EXPECT_EQ(r.err, "regexp: missing.txt: No such file or directory\n");
}

TEST_F(Cli, MergeAndFormatUseTheFormatSyntax) {
  tree.Write("s.txt", text);
  Result r = Run({"merge", "(ab+)c", "[$1]", "s.txt"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "first line\nsecond: xABBBc!\n[abb] again\n");
  EXPECT_EQ(Run({"merge", "-o", "-i", "(ab+)c", "<$1>\\n", "s.txt"}).out, "<ABBB>\n<abb>\n");
  EXPECT_EQ(Run({"merge", " +", "", "--text", "a  b   c"}).out, "abc");
  r = Run({"merge", "zz", "x"}, "unchanged\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "unchanged\n");
  EXPECT_EQ(Run({"format", "(\\w+) (\\w+)", "$2 $1", "--text", "hello world"}).out, "world hello\n");
  r = Run({"format", "(x)?y", "?1yes:no", "--text", "y"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "no\n");
  EXPECT_EQ(Run({"format", "-e", "q", "--format-string", "$&", "--text", "abc"}).status, 1);
}

TEST_F(Cli, SyntaxAndMatchOptionsReachTheComponent) {
  EXPECT_EQ(Run({"scan", "-G", "a\\{2\\}", "--text", "aaa"}).out, "1:aa\n");
  EXPECT_EQ(Run({"scan", "-E", "a{2}", "--text", "a{2}aa"}).out, "1:aa\n");
  EXPECT_EQ(Run({"scan", "-F", "a.c", "--text", "abc a.c"}).out, "1:a.c\n");
  EXPECT_EQ(Run({"search", "--not-bol", "^a", "--text", "abc"}).status, 1);
  EXPECT_EQ(Run({"search", "--not-dot-newline", "a.b", "--text", "a\nb"}).status, 1);
  EXPECT_EQ(Run({"search", "a.b", "--text", "a\nb"}).status, 0);
  EXPECT_EQ(Run({"format", "--shortest", "a+", "$&", "--text", "aaa"}).out, "a\n");
  EXPECT_EQ(Run({"format", "a+", "$&", "--text", "aaa"}).out, "aaa\n");
  EXPECT_EQ(Run({"format", "--shortest", "a|ab", "$&", "--text", "ab"}).out, "a\n");
  EXPECT_EQ(Run({"format", "a|ab", "$&", "--text", "ab"}).out, "ab\n");
  Result r = Run({"info", "-G", "-i", "--not-eol", "\\(a\\)\\(b\\)"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("sub-expressions: 3\n"), std::string::npos);
  EXPECT_NE(r.out.find(" CaseInsensitive Basic\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("match options: MatchNotEndOfLine\n"), std::string::npos) << r.out;
  EXPECT_NE(Run({"info", "x"}).out, Run({"info", "-E", "x"}).out);
  ExpectError(Run({"info", "-G", "-E", "x"}), "excludes");
}

// The tool searches with one worker per core unless told otherwise; the
// output is that of the search on one thread.
TEST_F(Cli, FileSearchWorkersPrintTheSameLinesInTheSameOrder) {
  for (int i = 0; i < 30; ++i) {
    std::string text;
    for (int line = 0; line < 50 * i; ++line) text += "w" + std::to_string(line) + " key" + std::to_string(i) + "\n";
    tree.Write("d" + std::to_string(i % 4) + "/f" + std::to_string(i) + ".txt", text);
  }
  for (const char* command : {"grepfiles", "findfiles"}) {
    const Result one = Run({command, "-j", "1", "-r", "w[0-9]*7 key", "*.txt"});
    ASSERT_EQ(one.status, 0);
    EXPECT_EQ(Run({command, "-r", "w[0-9]*7 key", "*.txt"}).out, one.out) << command;
    EXPECT_EQ(Run({command, "--workers", "3", "-r", "w[0-9]*7 key", "*.txt"}).out, one.out) << command;
  }
}

TEST_F(Cli, GrepFilesAndFindFilesWalkTheTree) {
  tree.Write("a.txt", "x foo\nfoo\n");
  tree.Write("sub/b.txt", "foofoo\n");
  tree.Write("sub/c.log", "foo\n");
  Result r = Run({"grepfiles", "-r", "fo+", "*.txt"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "a.txt:2:foo\na.txt:6:foo\nsub/b.txt:0:foo\nsub/b.txt:3:foo\n");
  EXPECT_EQ(Run({"grepfiles", "fo+", "*.txt"}).out, "a.txt:2:foo\na.txt:6:foo\n");
  EXPECT_EQ(Run({"grepfiles", "-r", "-c", "foo", "*.txt"}).out, "a.txt:2\nsub/b.txt:2\n");
  EXPECT_EQ(Run({"grepfiles", "-r", "-l", "foo", "*"}).out, "a.txt\nsub/b.txt\nsub/c.log\n");
  EXPECT_EQ(Run({"findfiles", "-r", "x", "*"}).out, "a.txt\n");
  EXPECT_EQ(Run({"findfiles", "-r", "-c", "foo", "sub/"}).out, "2\n");
  EXPECT_EQ(Run({"findfiles", "-i", "FOO", "sub/*.log"}).out, "sub/c.log\n");
  EXPECT_EQ(Run({"grepfiles", "-F", "o\\n", "*.txt"}).status, 1);
  EXPECT_EQ(Run({"findfiles", "-r", "zzz", "*"}).status, 1);
  ExpectError(Run({"grepfiles", "foo", "nodir/*.txt"}), "nodir/: No such file or directory");
  ExpectError(Run({"findfiles", "foo", "none.txt"}), "none.txt: No such file or directory");
  ExpectError(Run({"findfiles", "foo"}), "no file specification");
}

// Options may come before the subcommand, its own ones too; the values of
// options (-e grep, -j 1) are not taken for the subcommand's name.
TEST_F(Cli, OptionsBeforeTheSubcommandApplyAsAfterIt) {
  tree.Write("a.txt", "x foo\nFOO\n");
  tree.Write("sub/b.txt", "foofoo\n");
  EXPECT_EQ(Run({"-j", "1", "grepfiles", "foo", "*.txt"}).out, "a.txt:2:foo\n");
  EXPECT_EQ(Run({"-r", "-c", "grepfiles", "foo", "*.txt"}).out, "a.txt:1\nsub/b.txt:2\n");
  EXPECT_EQ(Run({"-rj1", "-i", "grepfiles", "-c", "foo", "*.txt"}).out, "a.txt:2\nsub/b.txt:2\n");
  EXPECT_EQ(Run({"-rj", "1", "findfiles", "-c", "foo", "*"}).out, "2\n");
  EXPECT_EQ(Run({"--workers", "1", "-l", "grepfiles", "-r", "FOO", "*"}).out, "a.txt\n");
  EXPECT_EQ(Run({"-e", "grep", "--text", "grepping", "search"}).out.substr(0, 12), "match: grep\n");
  EXPECT_EQ(Run({"-o", "merge", "o+", "<$&>", "a.txt"}).out, "<oo>");
  EXPECT_EQ(Run({"--format-string", "[$&]", "format", "o+", "a.txt"}).out, "[oo]\n");
  // An option another subcommand owns is refused wherever it stands.
  ExpectError(Run({"-j", "1", "search", "foo", "a.txt"}), "-j");
  ExpectError(Run({"-e", "x", "grep", "x", "a.txt"}), "after the word grep");
}

// The tool reads a file specification as the walk does: an escaped wildcard
// or a '[' without ']' leaves a plain name, which must then exist.
TEST_F(Cli, EscapedWildcardAndUnclosedBracketNameOneFile) {
  tree.Write("a*b.txt", "foo\n");
  tree.Write("axb.txt", "foo\n");
  tree.Write("c[1.txt", "foo\n");
  EXPECT_EQ(Run({"grepfiles", "-l", "foo", "a\\*b.txt"}).out, "a*b.txt\n");
  EXPECT_EQ(Run({"findfiles", "foo", "c[1.txt"}).out, "c[1.txt\n");
  ExpectError(Run({"findfiles", "foo", "d\\*e.txt"}), "d\\*e.txt: No such file or directory");
  ExpectError(Run({"grepfiles", "foo", "d[1.txt"}), "d[1.txt: No such file or directory");
  ExpectError(Run({"grepfiles", "foo", "d\\[1].txt"}), "d\\[1].txt: No such file or directory");
  // With recursion a plain name is looked for in every directory.
  EXPECT_EQ(Run({"findfiles", "-r", "foo", "d[1.txt"}).status, 1);
}

TEST_F(Cli, LiteralFileSearchQuotesEveryOperator) {
  tree.Write("q.txt", "a.b axb (x)+ x\n");
  EXPECT_EQ(Run({"grepfiles", "-F", "-c", "a.b", "q.txt"}).out, "q.txt:1\n");
  EXPECT_EQ(Run({"grepfiles", "-F", "(x)+", "q.txt"}).out, "q.txt:8:(x)+\n");
}

// As in grep: each file or directory that cannot be searched is one line
// on stderr, the results still go to stdout, and the status is 2.
TEST_F(Cli, FilesThatCannotBeOpenedAreReportedWithStatusTwo) {
  tree.Write("a.txt", "foo\n");
  tree.Write("sub/b.txt", "foo\n");
  tree.Symlink("loop.txt", "loop.txt");  // cannot be opened, even by root
  const std::string loop = std::string("regexp: loop.txt: ") + std::strerror(ELOOP) + "\n";
  Result r = Run({"grepfiles", "-r", "foo", "*.txt"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "a.txt:0:foo\nsub/b.txt:0:foo\n");
  EXPECT_EQ(r.err, loop);
  r = Run({"findfiles", "-c", "foo", "*.txt"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "1\n");
  EXPECT_EQ(r.err, loop);
  EXPECT_EQ(Run({"findfiles", "-c", "foo", "a.txt"}).status, 0);

  // Five descriptors besides the standard ones: too few for a deep tree.
  std::string deep;
  for (int level = 0; level < 12; ++level) tree.Write((deep += "d/") + "m.txt", "foo\n");
  {
    const DescriptorLimit limit(8);
    r = Run({"findfiles", "-r", "foo", "d/"});
  }
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out.rfind("d/m.txt\nd/d/m.txt\n", 0), 0u) << r.out;
  std::istringstream lines(r.err);
  int failures = 0;
  for (std::string line; std::getline(lines, line); ++failures) {
    EXPECT_EQ(line.rfind("regexp: d/d/", 0), 0u) << line;
    EXPECT_NE(line.find(std::strerror(EMFILE)), std::string::npos) << line;
  }
  EXPECT_GT(failures, 0);
}

// Trees deeper than a low descriptor limit, entered level by level through
// links, or with paths longer than PATH_MAX: every file search reaches every
// file.
TEST_F(Cli, DeepLinkedAndLongTreesAreWalkedWholeUnderALowDescriptorLimit) {
  std::vector<std::string> deep{"deep"};
  for (int level = 1; level <= 400; ++level) {
    deep.push_back("d");
    if (level % 50 != 0) continue;
    deep.push_back("m.txt");
    tree.WriteDeep(deep, "needle\n");
    deep.pop_back();
  }
  std::vector<std::string> long_{"long"};
  for (int level = 0; level < 20; ++level) {
    long_.push_back(std::to_string(level) + std::string(250, 'y'));
    for (const char* file : {"a", "b"}) {
      long_.push_back(file);
      tree.WriteDeep(long_, "needle\n");
      long_.pop_back();
    }
  }
  for (int level = 0; level <= 400; ++level) {
    const std::string dir = "linked/d" + std::to_string(level);
    if (level % 50 == 0) tree.Write(dir + "/z.txt", "needle\n");
    tree.Directory(dir);
    if (level < 400) tree.Symlink("../d" + std::to_string(level + 1), dir + "/n");
  }
  const auto lines = [](const Result& r) { return std::count(r.out.begin(), r.out.end(), '\n'); };
  const DescriptorLimit limit(64);
  const struct {
    std::vector<std::string> args;
    long files;
  } cases[] = {
      {{"grep", "-rc", "needle", "deep"}, 8},
      {{"grep", "-rc", "--threads=1", "needle", "deep"}, 8},
      {{"grep", "-rc", "needle", "long"}, 40},
      {{"grep", "-rc", "needle", "linked/d0"}, 1},
      {{"grep", "-Rc", "needle", "linked/d0"}, 9},
      {{"grep", "-Rc", "--threads=1", "needle", "linked/d0"}, 9},
      {{"grepfiles", "-r", "needle", "deep/"}, 8},
      {{"grepfiles", "-r", "needle", "long/"}, 40},
  };
  for (const auto& c : cases) {
    const Result r = Run(c.args);
    const std::string label = c.args[1] + " " + c.args[c.args.size() - 1];
    EXPECT_EQ(r.status, 0) << label << "\n" << r.err;
    EXPECT_EQ(lines(r), c.files) << label;
    EXPECT_EQ(r.err, "") << label;
  }
}

TEST_F(Cli, FileSearchesTakeSeveralSpecsAndDirectories) {
  tree.Write("a.txt", "foo\n");
  tree.Write("sub/b.txt", "foo\n");
  tree.Write("sub/deeper/c.txt", "foo\n");
  EXPECT_EQ(Run({"grepfiles", "-r", "foo", "."}).out, "./a.txt:0:foo\n./sub/b.txt:0:foo\n./sub/deeper/c.txt:0:foo\n");
  EXPECT_EQ(Run({"grepfiles", "foo", "sub"}).out, "sub/b.txt:0:foo\n");
  // What the shell expands arrives as several names.
  EXPECT_EQ(Run({"findfiles", "foo", "sub/b.txt", "a.txt"}).out, "sub/b.txt\na.txt\n");
  EXPECT_EQ(Run({"findfiles", "-c", "-r", "foo", "sub", "a.txt"}).out, "3\n");
  // A bad one is reported and the others are still searched.
  const Result r = Run({"grepfiles", "-l", "foo", "none/*", "a.txt"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "a.txt\n");
  EXPECT_EQ(r.err, "regexp: none/: No such file or directory\n");
  EXPECT_NE(Run({"findfiles", "--help"}).out.find("Quote wildcards"), std::string::npos);
}

TEST_F(Cli, BadInputIsOneLineAndStatusTwo) {
  tree.Write("s.txt", text);
  Result r = Run({"search", "(ab", "s.txt"});
  ExpectError(r, "Unmatched");
  ExpectError(Run({"scan", "-G", "a\\{2", "s.txt"}), "invalid expression 'a\\{2'");
  r = Run({"info", "(ab"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("\nerror: Unmatched"), std::string::npos) << r.out;
  ExpectError(Run({"grepfiles", "(ab", "*.txt"}), "invalid expression");
  ExpectError(Run({"search", "a", "missing.txt"}), "missing.txt: No such file or directory");
  ExpectError(Run({"search", "a", "."}), "Is a directory");
  ExpectError(Run({"search", "--bogus", "a"}), "--bogus");
  ExpectError(Run({}), "subcommand");
  ExpectError(Run({"merge", "a"}), "no format string");
  ExpectError(Run({"search", "a", "--text", "x", "s.txt"}), "--text");
  ExpectError(Run({"search", "", "s.txt"}), "empty expression");
  // Backtracking beyond Boost's limit is an exception from the engine.
  const std::string run(40, 'a');
  ExpectError(Run({"search", "(a*)*b", "--text", run}), "complexity");
  ExpectError(Run({"scan", "(a*)*b"}, run), "complexity");
  EXPECT_EQ(Run({"--help"}).status, 0);
  EXPECT_EQ(Run({"grepfiles", "--help"}).status, 0);
}

TEST_F(Cli, SubjectEndsAtTheFirstNulWithAWarning) {
  tree.Write("bin.dat", std::string("abc\0abd\n", 8));
  const Result r = Run({"scan", "ab.", "bin.dat"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "1:abc\n");
  EXPECT_NE(r.err.find("warning: bin.dat: NUL byte at offset 3"), std::string::npos) << r.err;
}

TEST_F(Cli, FormFilesSaveAndLoadTheComponent) {
  Result r = Run({"--save-form", "f.form", "search", "-i", "-E", "--not-bol", "(ab+)c", "--text", "xxABc"});
  EXPECT_EQ(r.status, 0);
  const std::string info = Run({"info", "-i", "-E", "--not-bol", "(ab+)c"}).out;
  EXPECT_EQ(Run({"info", "--form", "f.form"}).out, info);
  // The form's subject is used when no FILE or --text is given.
  EXPECT_EQ(Run({"search", "--form", "f.form"}).out, r.out);
  EXPECT_EQ(Run({"scan", "--form", "f.form", "-"}, "ab\nabbc\n").out, "2:abbc\n");
  EXPECT_EQ(Run({"scan", "--form", "f.form", "-e", "b+"}, "ab\n").out, "1:B\n");
  EXPECT_EQ(Run({"scan", "--form", "f.form", "-e", "b+", "-"}, "ab\n").out, "1:b\n");
  tree.Write("bad.form", "object X: RegularExpression\n  Expression = 'unterminated\nend\n");
  ExpectError(Run({"search", "--form", "bad.form"}), "bad.form:2:");
  ExpectError(Run({"search", "--form", "none.form"}), "none.form");
  tree.Write("other.form", "object X: TComponent\nend\n");
  ExpectError(Run({"search", "--form", "other.form"}), "other.form");
  // An application's form names its own handlers: the tool skips them, with a warning.
  tree.Write("app.form", "object Finder: RegularExpression\n  Expression = 'b+'\n  OnSearching = Found\nend\n");
  r = Run({"search", "--form", "app.form", "--text", "abbc"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("match: bb"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("warning: app.form: event Finder.OnSearching = Found ignored"), std::string::npos) << r.err;
}

TEST_F(Cli, MessagesQuoteOnlyTheStartOfLongInput) {
  tree.Write("s.txt", "abc\n");
  const std::string huge = "(" + std::string(100000, 'x');
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"search", huge, "s.txt"}, std::vector<std::string>{"grepfiles", huge, "*.txt"},
        std::vector<std::string>{"search", "a", "s.txt", huge}}) {
    const Result r = Run(args);
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_LT(r.err.size(), 400u) << args[0] << ": " << r.err.substr(0, 400);
    EXPECT_NE(r.err.find("xxxxxxxx\u2026"), std::string::npos) << args[0] << ": " << r.err.substr(0, 400);
  }
}

// The side-by-side test compares regexp grep with GNU grep; these cover
// what GNU grep has no counterpart for or what that test cannot arrange.
TEST_F(Cli, GrepReportsAFailingFileAndSearchesTheOthers) {
  tree.Write("runaway.txt", std::string(40, 'a') + "\n");
  tree.Write("ok.txt", "b\n");
  const Result r = Run({"grep", "-E", "(a*)*b", "runaway.txt", "ok.txt"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "ok.txt:b\n");
  EXPECT_EQ(r.err.rfind("regexp: runaway.txt: ", 0), 0u) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  // -q found a line: that settles it, whatever else failed.
  EXPECT_EQ(Run({"grep", "-q", "-E", "(a*)*b", "runaway.txt", "ok.txt"}).status, 0);
}

TEST_F(Cli, GrepReadsGnuOptionSyntaxAndTheNormalSyntax) {
  tree.Write("s.txt", "x 12 y\nab\n-v\n");
  EXPECT_EQ(Run({"grep", "-P", "\\d+(?= y)", "-o", "s.txt"}).out, "12\n");
  EXPECT_EQ(Run({"grep", "-P", "-e", "(?<=a)b", "-e", "^x", "-n", "s.txt"}).out, "1:x 12 y\n2:ab\n");
  EXPECT_EQ(Run({"grep", "--", "-v", "s.txt"}).out, "-v\n");
  EXPECT_EQ(Run({"grep", "ab", "s.txt", "-c"}).out, "1\n");
  EXPECT_EQ(Run({"grep", "-ch", "AB", "--ignore-case", "s.txt"}).out, "1\n");
  // An option after an operand is an option even under POSIXLY_CORRECT.
  setenv("POSIXLY_CORRECT", "1", 1);
  EXPECT_EQ(Run({"grep", "ab", "s.txt", "-c"}).out, "1\n");
  unsetenv("POSIXLY_CORRECT");
  // The tool's own long options abbreviate too, and count in ambiguities.
  EXPECT_NE(Run({"grep", "--thr", "1", "--js", "ab", "s.txt"}).out.find("{\"type\":\"match\""), std::string::npos);
  EXPECT_NE(Run({"grep", "--t", "1", "ab", "s.txt"}).err.find("possibilities: '--text' '--threads'\n"),
            std::string::npos);
  // Asked for both, grep prints its version, not its help.
  EXPECT_EQ(Run({"grep", "--help", "-V"}).out.rfind("regexp grep (RegexComponents) ", 0), 0u);
  const Result help = Run({"grep", "--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* option :
       {"--extended-regexp", "--only-matching", "--exclude-dir=GLOB", "--null-data", "--json", "-NUM"})
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  EXPECT_NE(Run({"--help"}).out.find("scan"), std::string::npos);
  ExpectError(Run({"-i", "grep", "x", "s.txt"}), "after the word grep");
}

TEST_F(Cli, GrepJsonGivesEachMatchWithGroupsAndOffsets) {
  tree.Write("s.txt", "skip\nx 12 y 34\n");
  const Result r = Run({"grep", "--json", "-E", "([0-9])([0-9])|(z)", "s.txt"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "{\"type\":\"begin\",\"data\":{\"path\":{\"text\":\"s.txt\"}}}\n"
            "{\"type\":\"match\",\"data\":{\"path\":{\"text\":\"s.txt\"},\"lines\":{\"text\":\"x 12 y 34\\n\"},"
            "\"line_number\":2,\"absolute_offset\":5,\"submatches\":["
            "{\"match\":{\"text\":\"12\"},\"start\":2,\"end\":4,\"groups\":[{\"match\":{\"text\":\"1\"},\"start\":2,"
            "\"end\":3},{\"match\":{\"text\":\"2\"},\"start\":3,\"end\":4},null]},"
            "{\"match\":{\"text\":\"34\"},\"start\":7,\"end\":9,\"groups\":[{\"match\":{\"text\":\"3\"},\"start\":7,"
            "\"end\":8},{\"match\":{\"text\":\"4\"},\"start\":8,\"end\":9},null]}]}}\n"
            "{\"type\":\"end\",\"data\":{\"path\":{\"text\":\"s.txt\"},\"binary\":false,"
            "\"stats\":{\"matched_lines\":1,\"matches\":2}}}\n"
            "{\"type\":\"summary\",\"data\":{\"stats\":{\"searches\":1,\"searches_with_match\":1,"
            "\"matched_lines\":1,\"matches\":2}}}\n");
  // Text that is not UTF-8 is given as base64 bytes; quotes and controls are escaped.
  tree.Write("b.txt", "\xff\"\t\x01\n");
  EXPECT_NE(Run({"grep", "--json", "-F", "\"", "b.txt"}).out.find("\"lines\":{\"bytes\":\"/yIJAQo=\"}"),
            std::string::npos);
  // A binary file's selected line is not printed, but its matches are
  // counted with it, as a text file's are (none with -v).
  tree.Write("bin.dat", std::string("ab ab\n\0\nab\n", 11));
  const std::string binaryEnd = "{\"type\":\"end\",\"data\":{\"path\":{\"text\":\"bin.dat\"},\"binary\":true,";
  const Result bin = Run({"grep", "--json", "ab", "bin.dat"});
  EXPECT_EQ(bin.status, 0);
  EXPECT_NE(bin.out.find(binaryEnd + "\"stats\":{\"matched_lines\":1,\"matches\":2}}}\n"), std::string::npos)
      << bin.out;
  EXPECT_EQ(bin.out.find("\"type\":\"match\""), std::string::npos) << bin.out;
  EXPECT_NE(bin.out.find("\"matched_lines\":1,\"matches\":2}}}\n", bin.out.find("summary")), std::string::npos)
      << bin.out;
  EXPECT_NE(Run({"grep", "--json", "-v", "zz", "bin.dat"})
                .out.find(binaryEnd + "\"stats\":{\"matched_lines\":1,\"matches\":0}"),
            std::string::npos);
  EXPECT_NE(Run({"grep", "--json", "-I", "ab", "bin.dat"})
                .out.find(binaryEnd + "\"stats\":{\"matched_lines\":0,\"matches\":0}"),
            std::string::npos);
  tree.Write("u.txt", "\"\t\x01\n");
  EXPECT_NE(Run({"grep", "--json", "-F", "\"", "u.txt"}).out.find("\"lines\":{\"text\":\"\\\"\\t\\u0001\\n\"}"),
            std::string::npos);
}

// grep refuses to read the file its output goes to, unless the search
// cannot feed on its own output: at most one line (-m0, -m1), or no lines
// printed (-c, -l, -L, -q).
TEST_F(Cli, GrepRefusesInputThatIsItsOutputWhereItCouldLoop) {
  const struct {
    std::vector<std::string> args;
    int status;
    std::size_t lines;  // in the file afterwards
  } cases[] = {
      {{"grep", "0", "o"}, 2, 2},          {{"grep", "-m2", "0", "o"}, 2, 2}, {{"grep", "-m1", "0", "o"}, 0, 3},
      {{"grep", "-m0", "0", "o"}, 1, 2},   {{"grep", "-c", "0", "o"}, 0, 3},  {{"grep", "-l", "0", "o"}, 0, 3},
      {{"grep", "-m1", "0", "-", "o"}, 0, 4},
  };
  output = tree.Path("o");
  for (const auto& c : cases) {
    tree.Write("o", "0\n0\n");
    const Result r = Run(c.args, "0\n");
    const std::string text = Slurp(tree.Path("o"));
    const std::string label = c.args[1] + " " + c.args[2];
    EXPECT_EQ(r.status, c.status) << label;
    EXPECT_EQ(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')), c.lines) << label;
    EXPECT_EQ(r.err, c.status == 2 ? "regexp: o: input file is also the output\n" : "") << label;
  }
}

// Output that cannot be written is an error, whatever writes it.
TEST_F(Cli, WriteErrorsAreReportedWithStatusTwo) {
  tree.Write("a.txt", "a\n");
  output = "/dev/full";
  const std::string message = std::string("regexp: write error: ") + std::strerror(ENOSPC) + "\n";
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"grep", "--help"}, {"grep", "-V"}, {"grep", "a", "a.txt"}, {"scan", "a", "a.txt"}}) {
    const Result r = Run(args);
    EXPECT_EQ(r.status, 2) << args[1];
    EXPECT_EQ(r.err, message) << args[1];
  }
}

TEST_F(Cli, GrepStopsQuietlyWhenTheReaderGoesAway) {
  std::string many;
  for (int i = 0; i < 200000; ++i) many += "line " + std::to_string(i) + "\n";
  tree.Write("many.txt", many);
  // With SIGPIPE ignored the write fails with EPIPE instead of killing the tool.
  const std::string command = "trap '' PIPE; '" + std::string(RC_REGEXP_TOOL) +
                              "' grep line many.txt 2>.err | head -n 1 >/dev/null; cat .err";
  const Result r = Run({"--version"});
  ASSERT_EQ(r.status, 0);
  FILE* shell = ::popen(("cd '" + tree.Root().string() + "' && " + command).c_str(), "r");
  ASSERT_NE(shell, nullptr);
  char buffer[256];
  std::string err;
  while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, shell)) err.append(buffer, n);
  ::pclose(shell);
  EXPECT_EQ(err, "");
}

}  // namespace

namespace {

std::string Alternatives(int count) {
  std::string expression = "(x+x+)+y";
  for (int i = 0; i < count; ++i) expression += "|w" + std::to_string(i);
  return expression;
}

}  // namespace

// Long expressions and huge repeat counts give up with the complexity error
// or find their exact result quickly, whichever operation runs them. The
// text is short: the backtracking is exponential in it, while the limit
// that gives up grows with it and with the expression's length (the engine's
// tests take the longer expression; a soak run takes both here too).
TEST_F(Cli, RunawayMatchesEndQuickly) {
  tree.Write("x.txt", std::string(40, 'x'));
  std::vector<std::string> expressions{Alternatives(1000)};
  if (RegexComponent::testing::Soak()) expressions.push_back(Alternatives(3000));
  for (const std::string& expression : expressions) {
    for (const char* command : {"search", "match", "scan", "grepfiles"}) {
      ExpectError(Run({command, "-e", expression, "x.txt"}), "complexity");
    }
    // grep names the file it gave up on, as it does one it cannot read.
    const Result r = Run({"grep", "-E", "-e", expression, "x.txt"});
    ExpectError(r, "complexity");
    EXPECT_EQ(r.err.rfind("regexp: x.txt: ", 0), 0u) << r.err;
    ExpectError(Run({"merge", "-e", expression, "--format-string", "<$&>", "x.txt"}), "complexity");
  }
  std::string stars;
  for (int i = 0; i < 5000; ++i) stars += "a*";
  tree.Write("a.txt", std::string(50, 'a'));
  ExpectError(Run({"search", "-e", stars + "b", "a.txt"}), "complexity");
  tree.Write("mega.txt", std::string(1 << 20, 'a'));
  for (const char* command : {"search", "scan", "grepfiles", "findfiles"}) {
    const Result r = Run({command, "a{2147483647}", "mega.txt"});
    EXPECT_EQ(r.status, 1) << command << r.err;
    EXPECT_EQ(r.out, "") << command;
  }
  {
    const Result r = Run({"grep", "-E", "a{2147483647}", "mega.txt"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

// A shortest match at a chunk's end is checked without trying every way of
// matching: nested repeats over lines of x find their matches in a file
// larger than FindFiles' first window and than a chunk.
TEST_F(Cli, ShortestMatchesInLargeFilesSettleQuickly) {
  std::string lines;
  for (int i = 0; i < 256; ++i) lines += std::string(79, 'x') + "\n";
  tree.Write("lines.txt", lines);
  Result r = Run({"--shortest", "findfiles", "(x+x+)+", "lines.txt"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "lines.txt\n");
  std::string large = std::string(79, 'x') + "\n";
  large += std::string(4200 * 1024, 'y');
  tree.Write("large.txt", large);
  r = Run({"--shortest", "grepfiles", "(x+x+)+", "large.txt"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 39) << r.err;
  EXPECT_EQ(r.out.rfind("large.txt:0:xx\nlarge.txt:2:xx\n", 0), 0u) << r.out.substr(0, 100);
}

// scan reads standard input as a stream, every byte of it: matches after a
// NUL byte are found, with their lines, and nothing is cut off.
TEST_F(Cli, ScanSearchesStandardInputPastNulBytes) {
  const std::string input("ab\0ab\nx\0ab\n", 12);
  const Result r = Run({"scan", "ab"}, input);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "1:ab\n1:ab\n2:ab\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(Run({"scan", "-c", "x\\x00a", "-"}, input).out, "1\n");
  // A named file is still the subject, which ends at its first NUL.
  tree.Write("nul.txt", input);
  EXPECT_EQ(Run({"scan", "-c", "ab", "nul.txt"}).out, "1\n");
}
