// GNU-style option reading for `regexp grep`, by glibc's getopt_long as GNU
// grep reads its own: clustered short options ("-inH", "-A2"), "-NUM" for
// context, long options abbreviated to any unambiguous prefix, "--opt=ARG"
// or "--opt ARG", an optional argument only after '=' (--color), options
// and operands in any order until "--". getopt's messages, in its words,
// are printed here, so that they name the tool.
#include "GrepOptions.h"

#include <getopt.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "Input.h"
#include "ToolError.h"

namespace RegexComponent::tool {

namespace {

// The codes of the options without a letter, past every character.
enum LongOnly : int {
  kNoIgnoreCase = 256, kHelp, kLineBuffered, kLabel, kBinaryFiles, kInclude, kExclude,
  kExcludeFrom, kExcludeDir, kGroupSeparator, kNoGroupSeparator, kColor, kJson, kThreads,
};

// The leading '-' has getopt hand back each operand in its place (code 1),
// so an option after an operand is still an option, POSIXLY_CORRECT or not;
// the ':' after it tells a missing argument (':') from an unknown option
// ('?'). The digits are -NUM.
const char kShortOptions[] = "-:0123456789A:B:C:D:EFGHILPRTUVZabcd:e:f:hilm:noqrsvwxyz";

// Every long option grep 3.8 documents, in grep's own order, so that an
// ambiguous abbreviation lists its possibilities as grep does; --json and
// --threads are this tool's. -U changes nothing on
// this system, as in grep.
const option kLongOptions[] = {
    {"basic-regexp", no_argument, nullptr, 'G'}, {"extended-regexp", no_argument, nullptr, 'E'},
    {"fixed-strings", no_argument, nullptr, 'F'}, {"perl-regexp", no_argument, nullptr, 'P'},
    {"after-context", required_argument, nullptr, 'A'}, {"before-context", required_argument, nullptr, 'B'},
    {"binary-files", required_argument, nullptr, kBinaryFiles}, {"byte-offset", no_argument, nullptr, 'b'},
    {"context", required_argument, nullptr, 'C'}, {"color", optional_argument, nullptr, kColor},
    {"colour", optional_argument, nullptr, kColor}, {"count", no_argument, nullptr, 'c'},
    {"devices", required_argument, nullptr, 'D'}, {"directories", required_argument, nullptr, 'd'},
    {"exclude", required_argument, nullptr, kExclude}, {"exclude-from", required_argument, nullptr, kExcludeFrom},
    {"exclude-dir", required_argument, nullptr, kExcludeDir}, {"file", required_argument, nullptr, 'f'},
    {"files-with-matches", no_argument, nullptr, 'l'}, {"files-without-match", no_argument, nullptr, 'L'},
    {"group-separator", required_argument, nullptr, kGroupSeparator}, {"help", no_argument, nullptr, kHelp},
    {"include", required_argument, nullptr, kInclude}, {"ignore-case", no_argument, nullptr, 'i'},
    {"no-ignore-case", no_argument, nullptr, kNoIgnoreCase}, {"initial-tab", no_argument, nullptr, 'T'},
    {"label", required_argument, nullptr, kLabel}, {"line-buffered", no_argument, nullptr, kLineBuffered},
    {"line-number", no_argument, nullptr, 'n'}, {"line-regexp", no_argument, nullptr, 'x'},
    {"max-count", required_argument, nullptr, 'm'}, {"no-filename", no_argument, nullptr, 'h'},
    {"no-group-separator", no_argument, nullptr, kNoGroupSeparator}, {"no-messages", no_argument, nullptr, 's'},
    {"null", no_argument, nullptr, 'Z'}, {"null-data", no_argument, nullptr, 'z'},
    {"only-matching", no_argument, nullptr, 'o'},
    {"quiet", no_argument, nullptr, 'q'}, {"recursive", no_argument, nullptr, 'r'},
    {"dereference-recursive", no_argument, nullptr, 'R'}, {"regexp", required_argument, nullptr, 'e'},
    {"invert-match", no_argument, nullptr, 'v'}, {"silent", no_argument, nullptr, 'q'},
    {"text", no_argument, nullptr, 'a'}, {"binary", no_argument, nullptr, 'U'},
    {"version", no_argument, nullptr, 'V'}, {"with-filename", no_argument, nullptr, 'H'},
    {"word-regexp", no_argument, nullptr, 'w'}, {"json", no_argument, nullptr, kJson},
    {"threads", required_argument, nullptr, kThreads}, {nullptr, 0, nullptr, 0},
};

// The most digits grep reads for -NUM, leading zeros apart.
constexpr std::size_t kMaxContextDigits = 21;

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

  // Applies the option getopt_long returned as `code`, with its argument
  // (nullptr when it has none).
  void Apply(int code, const char* argument);
  void Digit(char c, bool continuesNumber);
  void Finish();

  bool help = false;
  bool version = false;

 private:
  void SetSyntax(GrepSyntax syntax);
  void SetDirectories(const std::string& value);
  bool ApplyLetter(int letter, const std::string& value);
  void ApplyLongOnly(int code, const std::string& value);
  void SetColor(const char* value);
  void ExcludeDir(std::string glob);
  void ExcludeFrom(const std::string& file);
  void AddPatterns(const std::string& text, bool fromFile);

  GrepSettings& s_;
  std::string keys_;
  bool syntaxSet_ = false;
  std::string digits_;
  std::int64_t defaultContext_ = -1;  // -NUM or -C: for what -A and -B leave unset
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

// The digits of one argument make one number ("-12"); another argument
// starts a new one ("-1 -2" is -2). Leading zeros do not count.
void Reader::Digit(char c, bool continuesNumber) {
  if (!continuesNumber || digits_ == "0") digits_.clear();
  if (digits_.size() == kMaxContextDigits) throw ToolError(digits_ + "...: invalid context length argument");
  digits_ += c;
  defaultContext_ = ContextLength(digits_);
}

void Reader::Apply(int code, const char* argument) {
  if (code == kColor) return SetColor(argument);
  const std::string v = argument ? argument : "";
  if (!ApplyLetter(code, v)) ApplyLongOnly(code, v);
}

// The options with a letter; false for the others.
bool Reader::ApplyLetter(int letter, const std::string& v) {
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
    case 'z': s_.terminator = '\0'; break;
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
    case 'U': break;
    case 'V': version = true; break;
    case 'B': s_.before = ContextLength(v); break;
    case 'A': s_.after = ContextLength(v); break;
    // As in grep, an -A or -B given before or after -C stands.
    case 'C': defaultContext_ = ContextLength(v); break;
    default: return false;
  }
  return true;
}

void Reader::ApplyLongOnly(int code, const std::string& v) {
  switch (code) {
    case kNoIgnoreCase: s_.ignoreCase = false; break;
    case kLineBuffered: s_.lineBuffered = true; break;
    case kLabel: s_.label = v; break;
    case kBinaryFiles:
      s_.binaryFiles = Choice(v, {"binary", "text", "without-match"},
                              {BinaryFiles::Binary, BinaryFiles::Text, BinaryFiles::WithoutMatch},
                              "unknown binary-files type");
      break;
    case kInclude: s_.filters.push_back({NameFilter::Kind::Include, v}); break;
    case kExclude: s_.filters.push_back({NameFilter::Kind::Exclude, v}); break;
    case kExcludeDir: ExcludeDir(v); break;
    case kExcludeFrom: ExcludeFrom(v); break;
    case kGroupSeparator: s_.groupSeparator = v; break;
    case kNoGroupSeparator: s_.groupSeparator.reset(); break;
    case kJson: s_.json = true; break;
    case kThreads: s_.threads = Threads(v); break;
    case kHelp: help = true; break;
  }
}

// --color without a value means auto.
void Reader::SetColor(const char* v) {
  const std::string when = v ? v : "auto";
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
  if (s_.before < 0) s_.before = defaultContext_;
  if (s_.after < 0) s_.after = defaultContext_;
  if (keys_.empty()) return;
  keys_.pop_back();
  for (std::size_t at = 0;;) {
    const std::size_t lf = keys_.find('\n', at);
    s_.patterns.push_back(keys_.substr(at, lf == std::string::npos ? std::string::npos : lf - at));
    if (lf == std::string::npos) break;
    at = lf + 1;
  }
}

// The options a long option's name may stand for, as getopt_long decides:
// the option of that exact name; otherwise the first it abbreviates, and
// every later one that is not the same option under another name
// (--color, --colour). More than one: the abbreviation is ambiguous.
std::vector<const option*> Candidates(std::string_view name) {
  std::vector<const option*> found;
  for (const option* o = kLongOptions; o->name; ++o) {
    const std::string_view candidate = o->name;
    if (candidate == name) return {o};
    if (!candidate.starts_with(name)) continue;
    const option* first = found.empty() ? nullptr : found.front();
    if (!first || first->has_arg != o->has_arg || first->val != o->val) found.push_back(o);
  }
  return found;
}

// The name of the long option `written` ("--opt" or "--opt=ARG") stands for.
std::string LongName(std::string_view written) {
  const std::string_view name = written.substr(2, written.find('=') - 2);
  return std::string("--") + Candidates(name).front()->name;
}

bool HasLongName(int code) {
  const auto named = [code](const option& o) { return o.name && o.val == code; };
  return std::any_of(std::begin(kLongOptions), std::end(kLongOptions), named);
}

// What getopt_long refused, reported as it would report it itself.
std::string Refusal(int result, std::string_view written) {
  if (result == ':' && written.starts_with("--")) return "option '" + LongName(written) + "' requires an argument";
  if (result == ':') return std::string("option requires an argument -- '") + char(optopt) + "'";
  // A refused option with a long name was given an argument it does not take.
  if (optopt != 0 && HasLongName(optopt)) return "option '" + LongName(written) + "' doesn't allow an argument";
  if (optopt != 0) return std::string("invalid option -- '") + char(optopt) + "'";
  const std::vector<const option*> found = Candidates(written.substr(2, written.find('=') - 2));
  if (found.empty()) return "unrecognized option '" + std::string(written) + "'";
  std::string message = "option '" + std::string(written) + "' is ambiguous; possibilities:";
  for (const option* o : found) message += std::string(" '--") + o->name + "'";
  return message;
}

// Applies the options in argv[1..argc) in order and returns the operands.
std::vector<std::string> ReadOptions(int argc, char** argv, Reader& reader) {
  optind = 0;  // glibc starts afresh at 0: a second reading in one process
  opterr = 0;
  std::vector<std::string> operands;
  int digitAt = -1;  // the argument the last option came from, when it was a digit
  for (;;) {
    const int at = std::max(optind, 1);
    const int code = getopt_long(argc, argv, kShortOptions, kLongOptions, nullptr);
    if (code == -1) break;
    if (code == 1) {
      operands.emplace_back(optarg);
    } else if (code == '?' || code == ':') {
      throw UsageError{Refusal(code, argv[optind - 1])};
    } else if (code >= '0' && code <= '9') {
      // getopt moves optind on only past the last character of an argument.
      reader.Digit(static_cast<char>(code), digitAt == at);
    } else {
      reader.Apply(code, optarg);
    }
    digitAt = code >= '0' && code <= '9' ? at : -1;
  }
  // What follows "--".
  operands.insert(operands.end(), argv + optind, argv + argc);
  return operands;
}

void PrintUsage(const std::string& message) {
  if (!message.empty()) std::fprintf(stderr, "regexp: %s\n", message.c_str());
  std::fprintf(stderr,
               "Usage: regexp grep [OPTION]... PATTERNS [FILE]...\n"
               "Try 'regexp grep --help' for more information.\n");
}

// Returns true when --help or --version was asked for.
bool ReadArguments(int argc, char** argv, int first, GrepSettings& s, Reader& reader) {
  // getopt_long takes argv[0] for the program's name: here the word grep.
  const std::vector<std::string> operands = ReadOptions(argc - first + 1, argv + first - 1, reader);
  if (reader.help || reader.version) return true;
  auto next = operands.begin();
  if (!s.patternsGiven) {
    if (next == operands.end()) throw UsageError{};
    reader.Apply('e', next++->c_str());
  }
  s.files.assign(next, operands.end());
  return false;
}

}  // namespace

int ParseGrepArguments(int argc, char** argv, int first, GrepSettings& settings) {
  Reader reader(settings);
  try {
    // Asked for both, grep prints its version.
    if (ReadArguments(argc, argv, first, settings, reader)) {
      if (reader.version)
        std::printf("regexp grep (RegexComponents) %s\n", RC_VERSION);
      else
        PrintGrepHelp();
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
