#include "TextGenerator.h"

#include <cstdio>
#include <memory>

namespace RegexComponent::bench {

namespace {

// Common words, several with doubled letters so that back-references find
// matches, and the three words of the literal alternation at a lower rate.
constexpr const char* kWords[] = {
    "the", "of", "and", "to", "in", "is", "that", "for", "it", "as", "with", "was", "on", "be",
    "by", "this", "from", "or", "are", "which", "an", "but", "not", "have", "had", "all", "were",
    "when", "there", "can", "more", "other", "some", "time", "these", "would", "into", "two",
    "letter", "coffee", "committee", "balloon", "success", "apple", "hello", "address", "book",
    "little", "summer", "pepper", "street", "between", "program", "process", "buffer", "pointer",
    "value", "result", "table", "engine", "matrix", "vector", "string", "number", "column",
    "window", "system", "network", "kernel", "thread", "module", "record", "filter", "report",
    "alpha", "beta", "gamma", "delta", "omega", "lambda", "sigma", "theta", "kappa", "zeta",
};
constexpr std::size_t kWordCount = sizeof(kWords) / sizeof(kWords[0]);
constexpr char kPunctuation[] = ",.;:!?-()'\"";

}  // namespace

// splitmix64: small, fast and the same everywhere.
std::uint64_t TextGenerator::Next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

void TextGenerator::AppendNumber(std::string& out, std::size_t maxDigits) {
  const std::size_t digits = 1 + Below(maxDigits);
  for (std::size_t i = 0; i < digits; ++i) out.push_back(static_cast<char>('0' + Below(10)));
}

void TextGenerator::AppendToken(std::string& out) {
  const std::size_t kind = Below(100);
  if (kind < 72) {
    std::string word = kWords[Below(kWordCount)];
    if (Below(12) == 0) word[0] = static_cast<char>(word[0] - 'a' + 'A');
    out += word;
  } else if (kind < 88) {
    AppendNumber(out, 7);
  } else if (kind < 95) {
    out += kWords[Below(kWordCount)];
    out.push_back('=');
    AppendNumber(out, 5);
  } else {
    out.push_back(kPunctuation[Below(sizeof(kPunctuation) - 1)]);
    return;
  }
  if (Below(8) == 0) out.push_back(kPunctuation[Below(sizeof(kPunctuation) - 1)]);
}

void TextGenerator::AppendLine(std::string& out) {
  // Mostly ordinary lines, some empty ones and now and then a long one.
  const std::size_t shape = Below(100);
  std::size_t target = shape < 5 ? 0 : shape < 95 ? 10 + Below(110) : 200 + Below(800);
  const std::size_t start = out.size();
  while (out.size() - start < target) {
    if (out.size() != start) out.push_back(' ');
    AppendToken(out);
  }
  out.push_back('\n');
}

std::string MakeText(std::size_t bytes, std::uint64_t seed) {
  TextGenerator generator(seed);
  std::string text;
  text.reserve(bytes + 2048);
  while (text.size() < bytes) generator.AppendLine(text);
  text.resize(bytes);
  if (!text.empty()) text.back() = '\n';
  return text;
}

bool WriteTextFile(const char* path, std::uint64_t bytes, std::uint64_t seed) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path, "wb"), &std::fclose);
  if (!file) return false;
  TextGenerator generator(seed);
  constexpr std::size_t kBlock = std::size_t{1} << 20;
  std::string block;
  block.reserve(kBlock + 2048);
  std::uint64_t written = 0;
  while (written < bytes) {
    block.clear();
    while (block.size() < kBlock) generator.AppendLine(block);
    if (bytes - written < block.size()) {
      block.resize(static_cast<std::size_t>(bytes - written));
      block.back() = '\n';
    }
    if (std::fwrite(block.data(), 1, block.size(), file.get()) != block.size()) return false;
    written += block.size();
  }
  return std::fflush(file.get()) == 0;
}

}  // namespace RegexComponent::bench
