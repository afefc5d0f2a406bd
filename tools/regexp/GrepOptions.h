// The options of `regexp grep`, read the way GNU grep reads its own.
//
// External interface: GrepSettings and its enums, kMaxGrepThreads,
// ParseGrepArguments, PrintGrepHelp.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace RegexComponent::tool {

enum class GrepSyntax { Basic, Extended, Fixed, Perl };
enum class ListFiles { None, Matching, NonMatching };
enum class BinaryFiles { Binary, Text, WithoutMatch };
enum class Directories { Read, Skip, Recurse };
enum class Devices { Read, Skip, ReadCommandLine };
enum class ColorWhen { Never, Always, Auto };

// One --include, --exclude or --exclude-dir, in the order given.
struct NameFilter {
  enum class Kind { Include, Exclude, ExcludeDir } kind;
  std::string glob;
};

// The most threads --threads accepts.
inline constexpr unsigned kMaxGrepThreads = 1024;

struct GrepSettings {
  GrepSyntax syntax = GrepSyntax::Basic;
  std::vector<std::string> patterns;
  bool patternsGiven = false;  // -e or -f seen: every operand is a FILE
  bool ignoreCase = false;
  bool invert = false;
  bool wordRegexp = false;
  bool lineRegexp = false;
  // What ends an input line and a printed one: -z makes it NUL (records).
  char terminator = '\n';

  bool onlyMatching = false;
  bool lineNumber = false;
  bool byteOffset = false;
  std::optional<bool> withFilename;  // -H / -h; unset: decided by the operands
  std::string label = "(standard input)";
  bool nullAfterName = false;
  bool initialTab = false;
  bool count = false;
  bool quiet = false;
  bool noMessages = false;
  ListFiles listFiles = ListFiles::None;
  std::int64_t maxCount = -1;  // negative: no limit
  std::int64_t before = -1;    // negative: not given
  std::int64_t after = -1;
  std::optional<std::string> groupSeparator = std::string("--");
  ColorWhen color = ColorWhen::Never;
  bool lineBuffered = false;
  bool json = false;
  unsigned threads = 0;  // --threads: 0 one per core, 1 the calling thread alone

  std::vector<std::string> files;
  Directories directories = Directories::Read;
  bool dereferenceRecursive = false;  // -R
  Devices devices = Devices::ReadCommandLine;
  std::vector<NameFilter> filters;
  BinaryFiles binaryFiles = BinaryFiles::Binary;
};

// Reads argv[first..argc) into `settings`. Returns -1 when the search should
// run; otherwise the exit status (0 after --help, 2 after a usage error,
// reported on stderr).
int ParseGrepArguments(int argc, char** argv, int first, GrepSettings& settings);

void PrintGrepHelp();

}  // namespace RegexComponent::tool
