// Deterministic multi-line text for the benchmarks: words, numbers,
// key=value pairs and punctuation in lines of varying length. The same seed
// gives the same bytes on every machine, so runs can be compared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace RegexComponent::bench {

class TextGenerator {
 public:
  explicit TextGenerator(std::uint64_t seed = 0x5EED2024u) : state_(seed) {}

  // Appends one line, line feed included.
  void AppendLine(std::string& out);

 private:
  std::uint64_t Next();
  std::size_t Below(std::size_t bound) { return static_cast<std::size_t>(Next() % bound); }
  void AppendToken(std::string& out);
  void AppendNumber(std::string& out, std::size_t maxDigits);

  std::uint64_t state_;
};

// `bytes` bytes of generated text, cut so that the last byte is a line feed.
std::string MakeText(std::size_t bytes, std::uint64_t seed = 0x5EED2024u);

// Writes `bytes` bytes of generated text to `path` in blocks, so that the
// writer's own memory stays small whatever the size. Returns false on error.
bool WriteTextFile(const char* path, std::uint64_t bytes, std::uint64_t seed = 0x5EED2024u);

}  // namespace RegexComponent::bench
