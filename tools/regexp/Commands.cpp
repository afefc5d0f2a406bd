#include "Commands.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <system_error>
#include <utility>

#include "Input.h"
#include "Setup.h"
#include "ToolError.h"
#include "RegexComponent/Framework/QuotedInput.h"

namespace RegexComponent::tool {

void CheckExpression(RegularExpressionCustom& re) {
  const std::string expression = re.Expression.Get().ToStdString();
  if (expression.empty()) throw ToolError("empty expression");
  if (re.ParseExpression() != 0)
    throw ToolError("invalid expression '" + CutQuotedInput(expression) + "': " + re.GetExpressionError());
}

namespace {

// The input a subject command reads: "-" for standard input, or "" when
// the subject is already there (--text, or a form's subject with no FILE).
std::string InputPath(const Settings& s, const std::string& input, RegularExpressionCustom& re) {
  if (s.text) return "";
  if (input.empty() && !re.StringToMatch.Get().IsEmpty()) return "";
  return input.empty() ? "-" : input;
}

// With no FILE and no --text, a subject loaded from a form is used when
// there is one; otherwise standard input is read. The text read becomes
// the subject without another copy.
void LoadSubject(const Settings& s, const std::string& input, RegularExpressionCustom& re) {
  const std::string path = InputPath(s, input, re);
  if (path.empty()) return;
  std::string text = ReadInput(path);
  WarnIfTruncated(text, path);
  re.SetStringToMatch(std::move(text));
}

// search reports the first match through a view (the first match of a grep
// is the search's match): OnSearching would copy the text before and after
// it, as much again as the subject.
int RunOnce(const Settings& s, RegularExpressionCustom& re, Reporter& reporter) {
  re.OnMatching = Bind(&reporter, &Reporter::Matched);
  bool found = false;
  if (s.command == Command::Search) found = re.ForEachMatch([&](const MatchView& v) {
    reporter.MatchedView(v);
    return false;
  }) > 0;
  if (s.command == Command::Match) found = re.Match();
  if (s.command == Command::MatchAll) found = re.MatchAll();
  return found ? kFound : kNotFound;
}

// One input of scan; returns the number of matches. Standard input is
// searched as a stream, in chunks, every byte of it; a file or a given
// text is the subject.
std::uint64_t GrepOne(const Settings& s, const std::string& input, bool named, RegularExpressionCustom& re,
                      Reporter& reporter) {
  reporter.GrepPrefix = named ? DisplayName(input) + ":" : "";
  const auto print = [&](const MatchView& v) {
    if (!s.countOnly) reporter.GreppedView(v);
  };
  std::uint64_t count = 0;
  if (InputPath(s, input, re) == "-") {
    try {
      count = re.ForEachMatch(STDIN_FILENO, print);
    } catch (const std::system_error& e) {
      throw ToolError(DisplayName("-") + ": " + std::strerror(e.code().value()));
    }
  } else {
    LoadSubject(s, input, re);
    count = re.ForEachMatch(print);
  }
  if (s.countOnly) WriteLine(reporter.GrepPrefix + std::to_string(count));
  return count;
}

// As grep does, a file that cannot be read is reported and the others are
// still searched; the exit status then says there was trouble.
int RunGrep(const Settings& s, const Arguments& args, RegularExpressionCustom& re, Reporter& reporter) {
  const std::vector<std::string> inputs = args.inputs.empty() ? std::vector<std::string>{""} : args.inputs;
  std::uint64_t total = 0;
  bool trouble = false;
  for (const std::string& input : inputs) {
    try {
      total += GrepOne(s, input, inputs.size() > 1, re, reporter);
    } catch (const ToolError& e) {
      std::fflush(stdout);
      std::fprintf(stderr, "regexp: %s\n", e.what());
      trouble = true;
    }
  }
  if (trouble) return kTrouble;
  return total > 0 ? kFound : kNotFound;
}

// Merge reports no count, so a search says whether anything matched.
int RunMerge(RegularExpressionCustom& re) {
  const bool found = re.Search();
  std::string out;
  re.Merge(out);
  WriteOut(out);
  return found ? kFound : kNotFound;
}

int RunFormat(RegularExpressionCustom& re) {
  const bool found = re.Search();
  std::string out;
  re.Format(out);
  WriteLine(out);
  return found ? kFound : kNotFound;
}

}  // namespace

int RunSubjectCommand(const Settings& s, const Arguments& args, RegularExpressionCustom& re, Reporter& reporter) {
  CheckExpression(re);
  if (s.command == Command::Scan) return RunGrep(s, args, re, reporter);
  LoadSubject(s, args.inputs.empty() ? "" : args.inputs.front(), re);
  if (s.command == Command::Merge) return RunMerge(re);
  if (s.command == Command::Format) return RunFormat(re);
  return RunOnce(s, re, reporter);
}

int RunCommand(const Settings& s) {
  const Arguments args = ResolvePositionals(s);
  Reporter reporter;
  RegularExpressionCustom& re = Configure(s, args, reporter);
  switch (s.command) {
    case Command::Info: return ShowInfo(re);
    case Command::GrepFiles:
    case Command::FindFiles: return RunFileCommand(s, args, re, reporter);
    default: return RunSubjectCommand(s, args, re, reporter);
  }
}

}  // namespace RegexComponent::tool
