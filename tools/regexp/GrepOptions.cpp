// GNU-style option reading for `regexp grep`: options and operands in any
// order until "--", clustered short options ("-inH", "-A2"), "-NUM" for
// context, long options abbreviated to any unambiguous prefix, "--opt=ARG"
// or "--opt ARG", and an optional argument only after '=' (--color).
#include "GrepOptions.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "Input.h"
#include "ToolError.h"

namespace RegexComponent::tool {

namespace {

enum class Arg { None, Required, Optional };

struct OptionSpec {
  const char* longName;  // nullptr: short only
  char shortName;        // 0: long only
  Arg arg;
};

// Every option grep 3.8 documents except -z (see the manual); -U changes
// nothing on this system, as in grep.
const OptionSpec kOptions[] = {
    {"extended-regexp", 'E', Arg::None}, {"fixed-strings", 'F', Arg::None},
    {"basic-regexp", 'G', Arg::None},    {"perl-regexp", 'P', Arg::None},
    {"regexp", 'e', Arg::Required},      {"file", 'f', Arg::Required},
    {"ignore-case", 'i', Arg::None},     {nullptr, 'y', Arg::None},
    {"no-ignore-case", 0, Arg::None},    {"word-regexp", 'w', Arg::None},
    {"line-regexp", 'x', Arg::None},     {"no-messages", 's', Arg::None},
    {"invert-match", 'v', Arg::None},    {"help", 0, Arg::None},
    {"max-count", 'm', Arg::Required},   {"byte-offset", 'b', Arg::None},
    {"line-number", 'n', Arg::None},     {"line-buffered", 0, Arg::None},
    {"with-filename", 'H', Arg::None},   {"no-filename", 'h', Arg::None},
    {"label", 0, Arg::Required},         {"only-matching", 'o', Arg::None},
    {"quiet", 'q', Arg::None},           {"silent", 0, Arg::None},
    {"binary-files", 0, Arg::Required},  {"text", 'a', Arg::None},
    {nullptr, 'I', Arg::None},           {"directories", 'd', Arg::Required},
    {"devices", 'D', Arg::Required},     {"recursive", 'r', Arg::None},
    {"dereference-recursive", 'R', Arg::None}, {"include", 0, Arg::Required},
    {"exclude", 0, Arg::Required},       {"exclude-from", 0, Arg::Required},
    {"exclude-dir", 0, Arg::Required},   {"files-without-match", 'L', Arg::None},
    {"files-with-matches", 'l', Arg::None}, {"count", 'c', Arg::None},
    {"initial-tab", 'T', Arg::None},     {"null", 'Z', Arg::None},
    {"before-context", 'B', Arg::Required}, {"after-context", 'A', Arg::Required},
    {"context", 'C', Arg::Required},     {"group-separator", 0, Arg::Required},
    {"no-group-separator", 0, Arg::None}, {"color", 0, Arg::Optional},
    {"colour", 0, Arg::Optional},        {"json", 0, Arg::None},
    {"version", 'V', Arg::None},         {"binary", 'U', Arg::None},
    {"threads", 0, Arg::Required},
};

// A usage error: the message, then grep's two lines of usage.
struct UsageError {
  std::string message;
  int status = kTrouble;
};

std::int64_t ParseCount(const std::string& text, const char* what) {
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0') throw ToolError(what);
  // grep takes a count too large to hold as "no limit".
  if (errno == ERANGE) return value < 0 ? -1 : INT64_MAX;
  return value;
}

std::int64_t ContextLength(const std::string& text) {
  const std::int64_t value = ParseCount(text, (text + ": invalid context length argument").c_str());
  if (value < 0) throw ToolError(text + ": invalid context length argument");
  return value;
}

unsigned Threads(const std::string& text) {
  const std::int64_t value = ParseCount(text, "invalid number of threads");
  if (value < 0 || value > kMaxGrepThreads) throw ToolError("invalid number of threads");
  return static_cast<unsigned>(value);
}

template <typename E, std::size_t N>
E Choice(const std::string& value, const char* const (&names)[N], const E (&values)[N], const char* error) {
  for (std::size_t i = 0; i < N; ++i)
    if (value == names[i]) return values[i];
  throw ToolError(error);
}

class Reader {
 public:
  explicit Reader(GrepSettings& s) : s_(s) {}

  // Applies one option; `name` is the long name or the short letter.
  void Apply(const OptionSpec& spec, const std::string& value);
  void Digit(char c, bool continuesNumber);
  void Finish();

  bool help = false;
  bool version = false;

 private:
  void SetSyntax(GrepSyntax syntax);
  void SetDirectories(const std::string& value);
  bool ApplyShort(char letter, const std::string& value);
  void ApplyLong(std::string_view name, const std::string& value);
  void SetColor(const std::string& value);
  void ExcludeDir(std::string glob);
  void ExcludeFrom(const std::string& file);
  void AddPatterns(const std::string& text, bool fromFile);

  GrepSettings& s_;
  std::string keys_;
  bool syntaxSet_ = false;
  std::string digits_;
};

void Reader::SetDirectories(const std::string& value) {
  static const char* const kNames[] = {"read", "recurse", "skip"};
  static const Directories kValues[] = {Directories::Read, Directories::Recurse, Directories::Skip};
  for (std::size_t i = 0; i < std::size(kNames); ++i)
    if (value == kNames[i]) {
      s_.directories = kValues[i];
      return;
    }
  std::string message = "invalid argument '" + value + "' for '--directories'\nValid arguments are:";
  for (const char* name : kNames) message += std::string("\n  - '") + name + "'";
  // grep exits with 1 here, unlike its other usage errors.
  throw UsageError{message, kNotFound};
}

void Reader::SetSyntax(GrepSyntax syntax) {
  if (syntaxSet_ && s_.syntax != syntax) throw ToolError("conflicting matchers specified");
  s_.syntax = syntax;
  syntaxSet_ = true;
}

// Patterns are kept as grep keeps them: every -e and every line of a -f
// file ends with a line feed, and the last one is dropped at the end.
void Reader::AddPatterns(const std::string& text, bool fromFile) {
  keys_ += text;
  if (!fromFile || (!text.empty() && text.back() != '\n')) keys_ += '\n';
  s_.patternsGiven = true;
}

void Reader::Digit(char c, bool continuesNumber) {
  if (!continuesNumber) digits_.clear();
  digits_ += c;
  s_.before = s_.after = ContextLength(digits_);
}

void Reader::Apply(const OptionSpec& spec, const std::string& v) {
  if (!ApplyShort(spec.shortName, v)) ApplyLong(spec.longName, v);
}

// The options with a letter; false for the others.
bool Reader::ApplyShort(char letter, const std::string& v) {
  switch (letter) {
    case 'E': SetSyntax(GrepSyntax::Extended); break;
    case 'F': SetSyntax(GrepSyntax::Fixed); break;
    case 'G': SetSyntax(GrepSyntax::Basic); break;
    case 'P': SetSyntax(GrepSyntax::Perl); break;
    case 'e': AddPatterns(v, false); break;
    case 'f': AddPatterns(ReadInput(v), true); break;
    case 'i': case 'y': s_.ignoreCase = true; break;
    case 'w': s_.wordRegexp = true; break;
    case 'x': s_.lineRegexp = true; break;
    case 's': s_.noMessages = true; break;
    case 'v': s_.invert = true; break;
    case 'm': s_.maxCount = ParseCount(v, "invalid max count"); break;
    case 'b': s_.byteOffset = true; break;
    case 'n': s_.lineNumber = true; break;
    case 'H': s_.withFilename = true; break;
    case 'h': s_.withFilename = false; break;
    case 'o': s_.onlyMatching = true; break;
    case 'q': s_.quiet = true; break;
    case 'a': s_.binaryFiles = BinaryFiles::Text; break;
    case 'I': s_.binaryFiles = BinaryFiles::WithoutMatch; break;
    case 'd': SetDirectories(v); break;
    case 'D':
      s_.devices = Choice(v, {"read", "skip"}, {Devices::Read, Devices::Skip}, "unknown devices method");
      break;
    case 'r': s_.directories = Directories::Recurse; s_.dereferenceRecursive = false; break;
    case 'R': s_.directories = Directories::Recurse; s_.dereferenceRecursive = true; break;
    case 'L': s_.listFiles = ListFiles::NonMatching; break;
    case 'l': s_.listFiles = ListFiles::Matching; break;
    case 'c': s_.count = true; break;
    case 'T': s_.initialTab = true; break;
    case 'Z': s_.nullAfterName = true; break;
    case 'B': s_.before = ContextLength(v); break;
    case 'A': s_.after = ContextLength(v); break;
    case 'C': s_.before = s_.after = ContextLength(v); break;
    default: return false;
  }
  return true;
}

void Reader::ApplyLong(std::string_view name, const std::string& v) {
  if (name == "no-ignore-case") s_.ignoreCase = false;
  if (name == "line-buffered") s_.lineBuffered = true;
  if (name == "label") s_.label = v;
  if (name == "silent") s_.quiet = true;
  if (name == "binary-files")
    s_.binaryFiles = Choice(v, {"binary", "text", "without-match"},
                            {BinaryFiles::Binary, BinaryFiles::Text, BinaryFiles::WithoutMatch},
                            "unknown binary-files type");
  if (name == "include") s_.filters.push_back({NameFilter::Kind::Include, v});
  if (name == "exclude") s_.filters.push_back({NameFilter::Kind::Exclude, v});
  if (name == "exclude-dir") ExcludeDir(v);
  if (name == "exclude-from") ExcludeFrom(v);
  if (name == "group-separator") s_.groupSeparator = v;
  if (name == "no-group-separator") s_.groupSeparator.reset();
  if (name == "json") s_.json = true;
  if (name == "threads") s_.threads = Threads(v);
  if (name == "help") help = true;
  if (name == "version") version = true;
  if (name == "color" || name == "colour") SetColor(v);
}

// --color without a value means auto.
void Reader::SetColor(const std::string& v) {
  const std::string when = v.empty() ? "auto" : v;
  s_.color = Choice(when, {"always", "yes", "force", "never", "no", "none", "auto", "tty", "if-tty"},
                    {ColorWhen::Always, ColorWhen::Always, ColorWhen::Always, ColorWhen::Never, ColorWhen::Never,
                     ColorWhen::Never, ColorWhen::Auto, ColorWhen::Auto, ColorWhen::Auto},
                    ("invalid argument '" + when + "' for '--color'").c_str());
}

// A directory's name never ends in '/', so grep drops the slashes a glob
// ends with ("dir/" excludes "x/dir"); "/" alone stays.
void Reader::ExcludeDir(std::string glob) {
  while (glob.size() > 1 && glob.back() == '/') glob.pop_back();
  s_.filters.push_back({NameFilter::Kind::ExcludeDir, glob});
}

// One glob per line of FILE.
void Reader::ExcludeFrom(const std::string& file) {
  const std::string globs = ReadInput(file);
  for (std::size_t at = 0; at < globs.size();) {
    const std::size_t lf = std::min(globs.find('\n', at), globs.size());
    if (lf > at) s_.filters.push_back({NameFilter::Kind::Exclude, globs.substr(at, lf - at)});
    at = lf + 1;
  }
}

void Reader::Finish() {
  if (keys_.empty()) return;
  keys_.pop_back();
  for (std::size_t at = 0;;) {
    const std::size_t lf = keys_.find('\n', at);
    s_.patterns.push_back(keys_.substr(at, lf == std::string::npos ? std::string::npos : lf - at));
    if (lf == std::string::npos) break;
    at = lf + 1;
  }
}

const OptionSpec& FindShort(char c) {
  for (const OptionSpec& spec : kOptions)
    if (spec.shortName == c && c != 0) return spec;
  throw UsageError{std::string("invalid option -- '") + c + "'"};
}

// Two names of one option (--color, --colour) do not make a prefix ambiguous.
bool SameOption(const OptionSpec& a, const OptionSpec& b) {
  const auto canonical = [](std::string_view n) { return n == "colour" ? std::string_view("color") : n; };
  return canonical(a.longName) == canonical(b.longName);
}

// Exact name first, then the one option the prefix abbreviates.
const OptionSpec& FindLong(std::string_view name, const std::string& written) {
  const OptionSpec* found = nullptr;
  bool ambiguous = false;
  std::string possibilities;
  for (const OptionSpec& spec : kOptions) {
    if (!spec.longName) continue;
    const std::string_view candidate = spec.longName;
    if (candidate == name) return spec;
    if (candidate.substr(0, name.size()) != name) continue;
    possibilities += std::string(" '--") + spec.longName + "'";
    if (found && !SameOption(*found, spec)) ambiguous = true;
    if (!found) found = &spec;
  }
  if (!found) throw UsageError{"unrecognized option '" + written + "'"};
  if (ambiguous) throw UsageError{"option '" + written + "' is ambiguous; possibilities:" + possibilities};
  return *found;
}

class ArgumentList {
 public:
  ArgumentList(int argc, char** argv, int first, GrepSettings& s) : argc_(argc), argv_(argv), at_(first), s_(s) {}

  // Returns true when --help or --version was asked for.
  bool Read(Reader& reader) {
    std::vector<std::string> operands;
    while (at_ < argc_) {
      const std::string arg = argv_[at_++];
      if (arg == "--") {
        while (at_ < argc_) operands.push_back(argv_[at_++]);
      } else if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
        Long(arg, reader);
      } else if (arg.size() > 1 && arg[0] == '-') {
        Cluster(arg, reader);
      } else {
        operands.push_back(arg);
      }
    }
    if (reader.help || reader.version) return true;
    auto next = operands.begin();
    if (!s_.patternsGiven) {
      if (next == operands.end()) throw UsageError{};
      reader.Apply(FindShort('e'), *next++);
    }
    s_.files.assign(next, operands.end());
    return false;
  }

 private:
  std::string TakeArgument(const std::string& written, bool longForm) {
    if (at_ < argc_) return argv_[at_++];
    if (longForm) throw UsageError{"option '" + written + "' requires an argument"};
    throw UsageError{"option requires an argument -- '" + written + "'"};
  }

  void Long(const std::string& arg, Reader& reader) {
    const std::size_t eq = arg.find('=');
    const std::string written = arg.substr(0, eq);
    const OptionSpec& spec = FindLong(std::string_view(written).substr(2), written);
    std::string value;
    if (eq != std::string::npos) {
      if (spec.arg == Arg::None) throw UsageError{"option '--" + std::string(spec.longName) + "' doesn't allow an argument"};
      value = arg.substr(eq + 1);
    } else if (spec.arg == Arg::Required) {
      value = TakeArgument("--" + std::string(spec.longName), true);
    }
    reader.Apply(spec, value);
  }

  void Cluster(const std::string& arg, Reader& reader) {
    for (std::size_t i = 1; i < arg.size(); ++i) {
      const char c = arg[i];
      if (c >= '0' && c <= '9') {
        reader.Digit(c, i > 1 && arg[i - 1] >= '0' && arg[i - 1] <= '9');
        continue;
      }
      const OptionSpec& spec = FindShort(c);
      if (spec.arg != Arg::Required) {
        reader.Apply(spec, "");
        continue;
      }
      reader.Apply(spec, i + 1 < arg.size() ? arg.substr(i + 1) : TakeArgument(std::string(1, c), false));
      return;
    }
  }

  int argc_;
  char** argv_;
  int at_;
  GrepSettings& s_;
};

void PrintUsage(const std::string& message) {
  if (!message.empty()) std::fprintf(stderr, "regexp: %s\n", message.c_str());
  std::fprintf(stderr,
               "Usage: regexp grep [OPTION]... PATTERNS [FILE]...\n"
               "Try 'regexp grep --help' for more information.\n");
}

}  // namespace

int ParseGrepArguments(int argc, char** argv, int first, GrepSettings& settings) {
  Reader reader(settings);
  try {
    if (ArgumentList(argc, argv, first, settings).Read(reader)) {
      if (reader.help)
        PrintGrepHelp();
      else
        std::printf("regexp grep (RegexComponents) %s\n", RC_VERSION);
      return kFound;
    }
    reader.Finish();
  } catch (const UsageError& e) {
    PrintUsage(e.message);
    return e.status;
  } catch (const ToolError& e) {
    std::fprintf(stderr, "regexp: %s\n", e.what());
    return kTrouble;
  }
  return -1;
}

}  // namespace RegexComponent::tool
