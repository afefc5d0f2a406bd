// libFuzzer target for the literal prefilter.
//
// Input layout: byte 0 picks the syntax-option word (its low bits) and a
// chunk size (its high bits), byte 1 the match-option word (from the tables
// below), the bytes up to the first NUL are the expression in the
// component's syntax and the rest is the subject. The expression is
// translated and compiled as the component does; when it compiles, the
// prefiltered grep must report exactly what regex_grep reports (every
// match's groups, prefix, suffix and position), both for a full run and for
// one that stops after the first match. The subject is copied into a buffer
// of exactly its size so that AddressSanitizer catches any read past it.
// The file search then greps the subject as a file read in chunks of that
// size, which goes through the prefilter chunk by chunk: the groups of its
// matches, at their file offsets, must be regex_grep's.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include "GrepComparison.h"
#include "engine/search/FileSearch.h"
#include "engine/expression/FlagWords.h"
#include "engine/expression/MatchFlags.h"
#include "engine/expression/SyntaxTranslator.h"

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

constexpr std::size_t kChunkSizes[] = {1, 7, 64, 1000};

// Each group's span at its file offsets, as the file search reports it.
class SpanSink final : public RegexComponent::engine::MatchSink {
 public:
  std::vector<std::string> matches;
  bool OnMatch(const char*, const boost::cmatch& match, const RegexComponent::engine::Chunk& chunk) override {
    matches.push_back(Spans(match, chunk.begin, chunk.offset));
    return true;
  }
  static std::string Spans(const boost::cmatch& match, const char* base, std::uint64_t offset) {
    std::string out;
    for (std::size_t i = 0; i < match.size(); ++i) {
      const boost::csub_match& group = match[static_cast<int>(i)];
      if (!group.matched) {
        out += "- ";
        continue;
      }
      out += std::to_string(offset + static_cast<std::uint64_t>(group.first - base)) + "+" +
             std::to_string(group.length()) + " ";
    }
    return out;
  }
};

// What regex_grep over the whole subject reports, as SpanSink records it;
// false when Boost gave up.
bool WholeSpans(const boost::regex& re, boost::regex_constants::match_flag_type flags, const char* begin,
                const char* end, std::vector<std::string>& out) {
  const RegexComponent::engine::MatchGuard guard(re);
  try {
    guard.Grep(
        [&](const boost::cmatch& m) {
          out.push_back(SpanSink::Spans(m, begin, 0));
          return true;
        },
        begin, end, flags);
  } catch (const std::runtime_error&) {
    return false;
  }
  return true;
}

// The subject greped as a file in chunks of `chunkSize`; false when Boost
// gave up.
bool ChunkedSpans(const boost::regex& re, boost::regex_constants::match_flag_type flags, const std::string& subject,
                  std::size_t chunkSize, std::vector<std::string>& out) {
  const int fd = ::memfd_create("subject", MFD_CLOEXEC);
  if (fd < 0) return false;
  const bool written = ::write(fd, subject.data(), subject.size()) == static_cast<ssize_t>(subject.size()) &&
                       ::lseek(fd, 0, SEEK_SET) == 0;
  bool done = false;
  if (written) {
    RegexComponent::engine::FileSearch search(chunkSize, std::size_t{1} << 20);
    search.Prepare(re);
    SpanSink sink;
    std::uint64_t count = 0;
    try {
      search.GrepFile("subject", fd, subject.size(), flags, &sink, count);
      out = std::move(sink.matches);
      done = count == out.size();
    } catch (const std::runtime_error&) {
    }
  }
  ::close(fd);
  return done;
}

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

  // The file search starts Boost afresh one byte past an empty match and at
  // each chunk's start, where \G then matches; regex_grep keeps \G tied to
  // the end of the previous match. The two differ for \G, which the
  // prefilter never takes.
  if (translated.pattern.find("\\G") != std::string::npos) return 0;
  std::vector<std::string> whole, chunked;
  const std::size_t chunkSize = kChunkSizes[(data[0] / std::size(kSyntaxWords)) % std::size(kChunkSizes)];
  if (!WholeSpans(re, flags, begin, end, whole) || !ChunkedSpans(re, flags, subject, chunkSize, chunked)) return 0;
  if (whole != chunked) {
    std::fprintf(stderr, "file search in chunks of %zu differs: expected %zu matches, got %zu\n", chunkSize,
                 whole.size(), chunked.size());
    for (std::size_t i = 0; i < whole.size() || i < chunked.size(); ++i)
      std::fprintf(stderr, "  %s\n  %s\n", i < whole.size() ? whole[i].c_str() : "-",
                   i < chunked.size() ? chunked[i].c_str() : "-");
    std::abort();
  }
  return 0;
}
