// File specifications for the file search: a directory part taken literally
// and a file-name pattern with wildcards, as in "src/*.[ch]".
#pragma once

#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace RegexComponent::engine {

// A file-name pattern compiled once per search, so that matching the names
// of a large tree parses nothing. '*' matches any run of bytes (a leading
// '.' included), '?' one byte, '[abc]', '[a-z]' one byte of a set, '[!x]'
// or '[^x]' one byte outside it; '\' makes the next byte literal. A '[' with
// no closing ']' is literal. Matching is byte-wise and case-sensitive.
class NamePattern {
 public:
  NamePattern() = default;
  explicit NamePattern(std::string_view pattern);

  bool Matches(std::string_view name) const;
  bool HasWildcard() const { return hasWildcard_; }
  // The one name the pattern stands for when it has no wildcard.
  const std::string& Literal() const { return literal_; }

 private:
  enum class Kind : std::uint8_t { Byte, AnyByte, AnyRun, Set };
  struct Token {
    Kind kind;
    unsigned char byte;    // Kind::Byte
    std::uint32_t set;     // Kind::Set: index into sets_
  };

  std::size_t ParseSet(std::string_view pattern, std::size_t open);
  bool TokenMatches(const Token& token, unsigned char c) const;

  std::vector<Token> tokens_;
  std::vector<std::bitset<256>> sets_;
  std::string literal_;
  bool hasWildcard_ = false;
};

struct FileSpec {
  // Everything up to and including the last '/', as written; empty for the
  // current directory. Paths handed to callers start with it verbatim.
  std::string directory;
  NamePattern name;
};

// Splits at the last '/'. An empty name part ("dir/") means every file.
FileSpec ParseFileSpec(std::string_view spec);

}  // namespace RegexComponent::engine
