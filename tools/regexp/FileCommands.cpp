// grepfiles and findfiles. The component hands these to its file-search
// object, which reads the expression in Perl syntax with only the
// case-insensitive option; the checks here make the other options and a
// bad file specification visible instead of silently finding nothing.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <boost/regex.hpp>

#include "Commands.h"
#include "ToolError.h"
#include "engine/files/FileSpec.h"
#include "engine/expression/LiteralQuoting.h"
#include "engine/search/RegEx.h"
#include "RegexComponent/Framework/QuotedInput.h"

namespace RegexComponent::tool {

namespace {

// The walk skips what it cannot open, so a directory part that does not
// exist, or a name without wildcards that names no file, would look like
// "no match". The engine's own parser reads the file pattern, so escapes
// and a '[' without ']' count here as they do in the walk.
void CheckFileSpec(const std::string& text, bool recurse) {
  const engine::FileSpec spec = engine::ParseFileSpec(text);
  const std::string directory = spec.directory.empty() ? "." : spec.directory;
  struct stat info {};
  if (::stat(directory.c_str(), &info) != 0) throw ToolError(directory + ": " + std::strerror(errno));
  if (!S_ISDIR(info.st_mode)) throw ToolError(directory + ": " + std::strerror(ENOTDIR));
  const bool oneFile = !recurse && !spec.name.HasWildcard();
  if (oneFile && ::stat((spec.directory + spec.name.Literal()).c_str(), &info) != 0)
    throw ToolError(text + ": " + std::strerror(errno));
}

// Compiles the expression as the file search will, to report its error.
void CheckPerlExpression(const std::string& expression, bool icase) {
  RegEx probe;
  try {
    probe.SetExpression(expression.c_str(), icase);
  } catch (const boost::regex_error& e) {
    throw ToolError("invalid expression '" + CutQuotedInput(expression) + "' for a file search: " + e.what());
  }
}

// A specification that names a directory stands for all the files in it.
std::string SpecFor(const std::string& spec) {
  struct stat info {};
  if (spec.empty() || spec.back() == '/' || ::stat(spec.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return spec;
  return spec + "/";
}

void PrepareExpression(RegularExpressionCustom& re) {
  const RE::OptionsSet options = re.ExpressionOptions;
  if (!options.Contains(RE::Normal))
    std::fprintf(stderr, "regexp: warning: file searches read the expression in Perl syntax, not Basic or Extended\n");
  // Literal text is spelled out in Perl syntax, since the file search
  // knows no literal option.
  if (options.Contains(RE::Literals)) re.Expression = engine::QuoteForPerl(re.Expression.Get().ToStdString());
  CheckPerlExpression(re.Expression.Get().ToStdString(), options.Contains(RE::CaseInsensitive));
}

// One specification's walk; returns its count of matches or files.
std::uint64_t RunOneSpec(const Settings& s, RegularExpressionCustom& re, Reporter& reporter) {
  if (s.command == Command::FindFiles) {
    if (!s.countOnly) re.OnFindFiles = Bind(&reporter, &Reporter::FoundFile);
    return re.FindFiles();
  }
  if (s.filesOnly) {
    re.OnFindFiles = Bind(&reporter, &Reporter::FoundFile);
    return re.FindFiles();
  }
  // The views carry true 64-bit offsets, where OnGreppingFiles' Positions
  // stop at 0xFFFFFFFF; walk errors still reach OnFileError.
  const std::uint64_t count = re.ForEachFileMatch([&](std::string_view file, const MatchView& v) {
    if (s.countOnly) reporter.CountedFile(file);
    else reporter.GreppedFileView(file, v);
  });
  reporter.FlushFileCount();
  return count;
}

// Walks each specification in turn. One that cannot be walked is reported
// and the others still are.
bool RunSpecs(const Settings& s, const std::vector<std::string>& specs, RegularExpressionCustom& re,
              Reporter& reporter, std::uint64_t& total) {
  bool trouble = false;
  for (const std::string& given : specs) {
    const std::string spec = SpecFor(given);
    try {
      CheckFileSpec(spec, re.DirectoryRecursion);
    } catch (const ToolError& e) {
      std::fflush(stdout);
      std::fprintf(stderr, "regexp: %s\n", e.what());
      trouble = true;
      continue;
    }
    re.FilesToMatch = spec;
    total += RunOneSpec(s, re, reporter);
  }
  return trouble;
}

}  // namespace

int RunFileCommand(const Settings& s, const Arguments& args, RegularExpressionCustom& re, Reporter& reporter) {
  CheckExpression(re);
  PrepareExpression(re);
  std::vector<std::string> specs = args.inputs;
  if (specs.empty()) specs.push_back(re.FilesToMatch.Get().ToStdString());
  if (specs.size() == 1 && specs.front().empty()) throw ToolError("no file specification given");
  re.OnFileError = Bind(&reporter, &Reporter::FileError);
  // The handlers print in the order the events come, which workers keep.
  RE::FileSearchWorkers = s.workers;
  std::uint64_t total = 0;
  const bool badSpec = RunSpecs(s, specs, re, reporter, total);
  if (s.command == Command::FindFiles && s.countOnly) WriteLine(std::to_string(total));
  // As in grep: what was found is printed, and the status says that some
  // of the files could not be searched.
  if (badSpec || reporter.HadFileErrors()) return kTrouble;
  return total > 0 ? kFound : kNotFound;
}

}  // namespace RegexComponent::tool
