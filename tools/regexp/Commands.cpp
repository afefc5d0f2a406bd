#include "Commands.h"

#include <cstdio>

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

// With no FILE and no --text, a subject loaded from a form is used when
// there is one; otherwise standard input is read.
void LoadSubject(const Settings& s, const std::string& input, RegularExpressionCustom& re) {
  if (s.text) return;
  if (input.empty() && !re.StringToMatch.Get().IsEmpty()) return;
  const std::string path = input.empty() ? "-" : input;
  const std::string text = ReadInput(path);
  WarnIfTruncated(text, path);
  re.StringToMatch = AnsiString(text);
}

int RunOnce(const Settings& s, RegularExpressionCustom& re, Reporter& reporter) {
  re.OnSearching = Bind(&reporter, &Reporter::Matched);
  re.OnMatching = Bind(&reporter, &Reporter::Matched);
  bool found = false;
  if (s.command == Command::Search) found = re.Search();
  if (s.command == Command::Match) found = re.Match();
  if (s.command == Command::MatchAll) found = re.MatchAll();
  return found ? kFound : kNotFound;
}

// One input of grep; returns the number of matches.
std::uint32_t GrepOne(const Settings& s, const std::string& input, bool named, RegularExpressionCustom& re,
                      Reporter& reporter) {
  LoadSubject(s, input, re);
  reporter.GrepPrefix = named ? DisplayName(input) + ":" : "";
  const std::uint32_t count = re.Grep();
  if (s.countOnly) WriteLine(reporter.GrepPrefix + std::to_string(count));
  return count;
}

// As grep does, a file that cannot be read is reported and the others are
// still searched; the exit status then says there was trouble.
int RunGrep(const Settings& s, const Arguments& args, RegularExpressionCustom& re, Reporter& reporter) {
  if (!s.countOnly) re.OnGrepping = Bind(&reporter, &Reporter::Grepped);
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
