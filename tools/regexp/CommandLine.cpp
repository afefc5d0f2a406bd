#include "CommandLine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include <CLI/CLI.hpp>

#include "ToolError.h"
#include "RegexComponent/Framework/QuotedInput.h"

namespace RegexComponent::tool {

namespace {

struct MatchFlag {
  const char* name;
  RE::Matches member;
  const char* help;
};

const MatchFlag kMatchFlags[] = {
    {"--not-bol", RE::MatchNotBeginningOfLine, "'^' does not match at the start of the subject"},
    {"--not-eol", RE::MatchNotEndOfLine, "'$' does not match at the end of the subject"},
    {"--not-bob", RE::MatchNotBeginningOfBuffer, "'\\`' does not match at the start of the subject"},
    {"--not-eob", RE::MatchNotEndOfBuffer, "\"\\'\" does not match at the end of the subject"},
    {"--not-bow", RE::MatchNotBeginningOfWord, "no word start at the start of the subject"},
    {"--not-eow", RE::MatchNotEndOfWord, "no word end at the end of the subject"},
    {"--not-dot-newline", RE::MatchNotDotNewline, "'.' does not match a line feed"},
    {"--not-dot-null", RE::MatchNotDotNullCharacter, "'.' does not match a NUL byte"},
    {"--shortest", RE::MatchShortest, "take the first match found, not the leftmost-longest"},
    {"--not-null", RE::MatchNotNullString, "never match the empty string"},
    {"--continuous", RE::MatchContinuous, "a match must start where the search starts"},
};

// What a subcommand takes besides the common options.
// OwnParser: the subcommand reads its own arguments (grep); listed for help.
enum class Shape { Subject, SubjectFiles, Formatted, FileSpec, ExpressionOnly, OwnParser };

struct CommandInfo {
  const char* name;
  Command command;
  Shape shape;
  const char* help;
};

const CommandInfo kCommands[] = {
    {"search", Command::Search, Shape::Subject, "Find the first match anywhere; print its parts and line"},
    {"match", Command::Match, Shape::Subject, "Match at the start of the subject; print its parts and line"},
    {"matchall", Command::MatchAll, Shape::Subject, "Match the whole subject; print its parts and line"},
    {"grep", Command::LineGrep, Shape::OwnParser,
     "Print the lines that match, as GNU grep does (options: regexp grep --help)"},
    {"scan", Command::Scan, Shape::SubjectFiles,
     "The component's grep over the whole subject: every match (which may span lines) with its line number"},
    {"merge", Command::Merge, Shape::Formatted, "Replace every match by FORMAT, writing the result"},
    {"format", Command::Format, Shape::Formatted, "Expand FORMAT against the first match"},
    {"grepfiles", Command::GrepFiles, Shape::FileSpec, "Print FILE:OFFSET:MATCH for every match in the files"},
    {"findfiles", Command::FindFiles, Shape::FileSpec, "Print the names of the files that hold a match"},
    {"info", Command::Info, Shape::ExpressionOnly, "Print the sub-expression count, flag words and options"},
};

const char* const kFooter =
    "The subject is read from FILE, from standard input when FILE is '-' or\n"
    "missing, or taken from --text. The component's subject ends at its first\n"
    "NUL byte: text after a NUL in binary input is not searched (a warning says\n"
    "so). Exit status: 0 something matched, 1 nothing matched, 2 an error.";

void AddPositional(CLI::App& sub, const char* name, const char* help, Settings& s) {
  sub.add_option_function<std::string>(name, [&s](const std::string& v) { s.positionals.push_back(v); }, help)
      ->type_name("");
}

void AddFilesPositional(CLI::App& sub, Settings& s) {
  sub.add_option_function<std::vector<std::string>>(
      "FILE", [&s](const std::vector<std::string>& v) { s.positionals.insert(s.positionals.end(), v.begin(), v.end()); },
      "files to read in turn ('-' or none: standard input)")
      ->type_name("");
}

void AddShapeArguments(CLI::App& sub, Shape shape, Settings& s) {
  if (shape == Shape::OwnParser) return;
  AddPositional(sub, "EXPRESSION", "the regular expression (left out with -e or --form)", s);
  if (shape == Shape::Formatted) {
    AddPositional(sub, "FORMAT", "the format string (left out with --format-string or --form)", s);
    sub.add_option("--format-string", s.formatString, "the format string, so FORMAT can be left out")
        ->type_name("FORMAT");
  }
  if (shape == Shape::Subject || shape == Shape::Formatted)
    AddPositional(sub, "FILE", "the subject file ('-' or none: standard input)", s);
  if (shape == Shape::SubjectFiles) AddFilesPositional(sub, s);
  if (shape == Shape::Subject || shape == Shape::SubjectFiles || shape == Shape::Formatted)
    sub.add_option("--text", s.text, "use STRING as the subject instead of a file")->type_name("STRING");
  if (shape == Shape::FileSpec) {
    sub.add_option_function<std::vector<std::string>>(
           "FILESPEC",
           [&s](const std::vector<std::string>& v) { s.positionals.insert(s.positionals.end(), v.begin(), v.end()); },
           "files to search: 'src/*.cpp', a file or a directory (all its files); several may be given")
        ->type_name("");
    sub.add_flag("-r,--recursive", s.recurse, "search the subdirectories too");
    sub.add_option("-j,--workers", s.workers, "threads that search files: 0 (the default) one per core, 1 none")
        ->type_name("N");
  }
}

void AddCommandFlags(CLI::App& sub, Command command, Settings& s) {
  if (command == Command::Scan) sub.add_flag("-c,--count", s.countOnly, "print only the number of matches");
  if (command == Command::GrepFiles)
    sub.add_flag("-c,--count", s.countOnly, "print only FILE:COUNT for each file with matches");
  if (command == Command::FindFiles) sub.add_flag("-c,--count", s.countOnly, "print only the number of files");
  if (command == Command::GrepFiles)
    sub.add_flag("-l,--files-with-matches", s.filesOnly, "print only the names of the files with a match");
  if (command == Command::Merge)
    sub.add_flag("-o,--only-matches", s.onlyMatches, "drop the text between matches");
}

void AddSyntaxOptions(CLI::App& app, Settings& s) {
  auto* basic = app.add_flag_callback("-G,--basic-regexp", [&s] { s.mode = RE::Basic; }, "POSIX basic syntax");
  auto* extended =
      app.add_flag_callback("-E,--extended-regexp", [&s] { s.mode = RE::Extended; }, "POSIX extended syntax");
  auto* normal = app.add_flag_callback("-P,--perl-regexp", [&s] { s.mode = RE::Normal; },
                                       "the Normal (Perl-like) syntax, the default");
  basic->excludes(extended)->excludes(normal);
  extended->excludes(normal);
  for (CLI::Option* option : {basic, extended, normal}) option->group("Syntax options");
  app.add_flag_callback("-F,--fixed-strings", [&s] { s.options.push_back(RE::Literals); },
                        "the expression is literal text")
      ->group("Syntax options");
  app.add_flag_callback("-i,--ignore-case", [&s] { s.options.push_back(RE::CaseInsensitive); },
                        "ignore case")
      ->group("Syntax options");
  for (const MatchFlag& flag : kMatchFlags) {
    const RE::Matches member = flag.member;
    app.add_flag_callback(flag.name, [&s, member] { s.matches.push_back(member); }, flag.help)
        ->group("Match options");
  }
}

void AddCommonOptions(CLI::App& app, Settings& s) {
  app.add_option("-e,--expression", s.expression, "the expression, so EXPRESSION can be left out")
      ->type_name("EXPRESSION");
  app.add_option("--form", s.formFile, "load the component from a form file")->type_name("FILE")->group("Form files");
  app.add_option("--save-form", s.saveFormFile, "save the configured component to a form file")
      ->type_name("FILE")
      ->group("Form files");
  AddSyntaxOptions(app, s);
}

void AddCommands(CLI::App& app, Settings& s) {
  for (const CommandInfo& info : kCommands) {
    CLI::App* sub = app.add_subcommand(info.name, info.help);
    sub->fallthrough();
    sub->footer(info.shape == Shape::FileSpec
                    ? "Quote wildcards ('*.txt', not *.txt): regexp matches them itself, also in\n"
                      "subdirectories with -r, where the shell would expand them in the current\n"
                      "directory only. The expression, syntax, match and form options of\n"
                      "'regexp --help' apply too."
                    : "The expression, syntax, match and form options of 'regexp --help' apply too.");
    const Command command = info.command;
    sub->parse_complete_callback([&s, command] { s.command = command; });
    AddShapeArguments(*sub, info.shape, s);
    AddCommandFlags(*sub, command, s);
  }
}

// The options that take their value from the next argument: the tool's
// own and the subcommands'.
bool TakesNextArgument(const std::string& arg) {
  static const char* const kLong[] = {"--expression",    "--form", "--save-form",
                                      "--format-string", "--text", "--workers"};
  if (arg.compare(0, 2, "--") == 0) return std::find(std::begin(kLong), std::end(kLong), arg) != std::end(kLong);
  // In a cluster of short options ("-rj 2"), -e or -j takes the rest of the
  // cluster, or the next argument when it ends the cluster.
  for (std::size_t i = 1; i < arg.size(); ++i)
    if (arg[i] == 'e' || arg[i] == 'j') return i + 1 == arg.size();
  return false;
}

// Where the subcommand's name is: the first argument that is neither an
// option nor an option's value, when it names a subcommand; 0 otherwise.
int SubcommandAt(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") return 0;
    if (arg.size() < 2 || arg[0] != '-') {
      const auto named = [&arg](const CommandInfo& info) { return arg == info.name; };
      return std::any_of(std::begin(kCommands), std::end(kCommands), named) ? i : 0;
    }
    if (TakesNextArgument(arg)) ++i;
  }
  return 0;
}

}  // namespace

int ParseCommandLine(int argc, char** argv, Settings& settings) {
  const int at = SubcommandAt(argc, argv);
  // grep's own parser never sees the options in front of it ("regexp -i grep x").
  if (at > 1 && std::strcmp(argv[at], "grep") == 0) {
    std::fprintf(stderr, "regexp: the options of grep go after the word grep (see regexp grep --help)\n");
    return kTrouble;
  }
  // CLI11 gives a subcommand only the options after its name, so the name
  // moves in front of the options before it; the tool's own options still
  // reach the tool from there (fallthrough).
  std::vector<char*> args(argv, argv + argc);
  if (at > 1) std::rotate(args.begin() + 1, args.begin() + at, args.begin() + at + 1);
  CLI::App app("Search, match, grep and merge text with the RegularExpression component.", "regexp");
  app.footer(kFooter);
  app.set_version_flag("--version", "regexp " RC_VERSION);
  app.require_subcommand(1);
  AddCommonOptions(app, settings);
  AddCommands(app, settings);
  try {
    app.parse(argc, args.data());
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) return app.exit(e);
    // The parser's message ends with the argument it refused, which may be huge.
    constexpr std::size_t kReasonAndStart = 120;
    std::fprintf(stderr, "regexp: %s (see regexp --help)\n", CutQuotedInput(e.what(), kReasonAndStart).c_str());
    return kTrouble;
  }
  return -1;
}

namespace {

std::optional<std::string> Take(std::vector<std::string>& queue, std::size_t& next) {
  if (next >= queue.size()) return std::nullopt;
  return queue[next++];
}

std::size_t MaxInputs(Command command) {
  switch (command) {
    case Command::Scan:
    case Command::GrepFiles:
    case Command::FindFiles: return static_cast<std::size_t>(-1);
    case Command::Info: return 0;
    default: return 1;
  }
}

}  // namespace

Arguments ResolvePositionals(const Settings& s) {
  std::vector<std::string> queue = s.positionals;
  std::size_t next = 0;
  Arguments args;
  const bool fromForm = !s.formFile.empty();
  args.expression = s.expression;
  if (!args.expression && !fromForm) {
    args.expression = Take(queue, next);
    if (!args.expression) throw ToolError("no expression given");
  }
  args.formatString = s.formatString;
  if ((s.command == Command::Merge || s.command == Command::Format) && !args.formatString && !fromForm) {
    args.formatString = Take(queue, next);
    if (!args.formatString) throw ToolError("no format string given");
  }
  args.inputs.assign(queue.begin() + static_cast<std::ptrdiff_t>(next), queue.end());
  if (args.inputs.size() > MaxInputs(s.command)) throw ToolError("too many arguments: " + CutQuotedInput(args.inputs.back()));
  if (s.text && !args.inputs.empty()) throw ToolError("--text and a FILE argument cannot be used together");
  return args;
}

}  // namespace RegexComponent::tool
