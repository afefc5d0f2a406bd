// The command line, parsed with CLI11 into plain settings; nothing here
// touches the component.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <RegexComponent/RegularExpressionCustom.h>

namespace RegexComponent::tool {

using RE = RegularExpressionCustom;

// Scan is the component's own grep over the whole subject. LineGrep (the
// `grep` subcommand) reads its own options (GrepOptions.h); it is listed
// here for the help text only.
enum class Command { Search, Match, MatchAll, Scan, Merge, Format, GrepFiles, FindFiles, Info, LineGrep };

struct Settings {
  Command command = Command::Search;
  // The positional arguments in the order given; which of them is the
  // expression, the format or an input depends on -e, --format-string and
  // --form (see ResolvePositionals).
  std::vector<std::string> positionals;
  std::optional<std::string> expression;
  std::optional<std::string> formatString;
  std::optional<std::string> text;
  std::string formFile;
  std::string saveFormFile;
  std::optional<RE::Options> mode;      // Basic, Extended or Normal
  std::vector<RE::Options> options;     // Literals, CaseInsensitive
  std::vector<RE::Matches> matches;
  bool recurse = false;
  bool countOnly = false;
  bool filesOnly = false;
  bool onlyMatches = false;
  unsigned workers = 0;  // file searches: 0 one thread per core
};

// Fills `settings` from the arguments. Returns -1 when the command should
// run, otherwise the exit status (0 after --help or --version, 2 after a
// usage error, which has been reported on stderr).
int ParseCommandLine(int argc, char** argv, Settings& settings);

// The expression, format string and inputs once -e, --format-string and
// --form have said which positionals are still needed. Throws ToolError
// when a needed argument is missing or there are too many.
struct Arguments {
  std::optional<std::string> expression;
  std::optional<std::string> formatString;
  std::vector<std::string> inputs;
};
Arguments ResolvePositionals(const Settings& settings);

}  // namespace RegexComponent::tool
