// libFuzzer target for the literal prefilter.
//
// Input layout: byte 0 picks the syntax-option word, byte 1 the match-option
// word (from the tables below), the bytes up to the first NUL are the
// expression in the component's syntax and the rest is the subject. The
// expression is translated and compiled as the component does; when it
// compiles, the prefiltered grep must report exactly what regex_grep
// reports (every match's groups, prefix, suffix and position), both for a
// full run and for one that stops after the first match. The subject is
// copied into a buffer of exactly its size so that AddressSanitizer catches
// any read past it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "GrepComparison.h"
#include "engine/FlagWords.h"
#include "engine/MatchFlags.h"
#include "engine/SyntaxTranslator.h"

namespace {

namespace sx = RegexComponent::engine::syntax;
namespace mx = RegexComponent::engine::match;
using RegexComponent::testing::GrepRecord;

constexpr std::uint32_t kSyntaxWords[] = {
    sx::Normal,
    sx::Normal | sx::CaseInsensitive,
    sx::Normal & ~sx::BackReferences,
    sx::Normal | sx::NewlineAsAlternation,
    sx::Normal | sx::Literals,
    sx::Normal | sx::Literals | sx::NewlineAsAlternation | sx::CaseInsensitive,
    sx::Extended,
    sx::Basic,
};
constexpr std::uint32_t kMatchWords[] = {
    0,
    mx::NotDotNewline,
    mx::Shortest,
    mx::NotBeginningOfLine,
    mx::NotEndOfLine,
    mx::NotBeginningOfWord | mx::NotEndOfWord,
    mx::NotNullString,
    mx::NotDotNewline | mx::Shortest | mx::NotBeginningOfLine | mx::NotEndOfLine,
};

void Expect(bool same, const GrepRecord& expected, const GrepRecord& actual) {
  if (same) return;
  std::fprintf(stderr, "prefiltered grep differs: expected %u matches, got %u\n", expected.count, actual.count);
  for (std::size_t i = 0; i < expected.matches.size() || i < actual.matches.size(); ++i) {
    std::fprintf(stderr, "  %s\n  %s\n", i < expected.matches.size() ? expected.matches[i].c_str() : "-",
                 i < actual.matches.size() ? actual.matches[i].c_str() : "-");
  }
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint32_t syntaxWord = kSyntaxWords[data[0] % std::size(kSyntaxWords)];
  const std::uint32_t matchWord = kMatchWords[data[1] % std::size(kMatchWords)];
  const char* rest = reinterpret_cast<const char*>(data + 2);
  const std::size_t restSize = size - 2;
  const void* nul = std::memchr(rest, '\0', restSize);
  const std::size_t expressionSize = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - rest) : restSize;
  const std::string expression(rest, expressionSize);
  const std::string subject = nul ? std::string(rest + expressionSize + 1, restSize - expressionSize - 1) : "";

  const auto translated = RegexComponent::engine::TranslateExpression(syntaxWord, expression);
  boost::regex re;
  re.assign(translated.pattern.data(), translated.pattern.data() + translated.pattern.size(),
            translated.flags | boost::regex::no_except);
  if (re.status() != 0) return 0;
  const auto flags = RegexComponent::engine::ToBoostMatchFlags(matchWord);
  RegexComponent::engine::PrefilteredSearch search(re, flags);

  const std::unique_ptr<char[]> buffer(new char[subject.size()]);
  std::memcpy(buffer.get(), subject.data(), subject.size());
  const char* begin = buffer.get();
  const char* end = begin + subject.size();
  for (const unsigned stopAfter : {~0u, 1u}) {
    const GrepRecord expected = RegexComponent::testing::ReferenceGrep(re, flags, begin, end, stopAfter);
    if (expected.threw) return 0;
    const GrepRecord actual = RegexComponent::testing::PrefilteredGrep(search, begin, end, stopAfter);
    Expect(!actual.threw && actual.count == expected.count && actual.matches == expected.matches, expected, actual);
  }
  return 0;
}
