// The line counter behind Grep, ForEachMatch and the match events: lines and
// line starts in one pass, 64-bit past 4 GiB, and their 32-bit event form.
#include "engine/search/LineCounter.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace RegexComponent::engine {
namespace {

using LineAndStart = std::pair<std::uint64_t, std::uint64_t>;

LineAndStart At(LineCounter& counter, const char* position) {
  counter.AdvanceTo(position);
  return {counter.Line(), counter.LineStart()};
}

// Every start and length over a text whose line feeds fall at each place of
// the 16-byte blocks, and the line starts agree with a count byte by byte.
TEST(LineCounterTest, BlockCountsAgreeWithCountingByteByByte) {
  std::string text;
  for (std::size_t i = 0; i < 100; ++i) text += (i * 7 % 11 == 0 || i % 16 == 15) ? '\n' : static_cast<char>('a' + i % 26);
  for (std::size_t first = 0; first < 20; ++first) {
    for (std::size_t last = first; last <= text.size(); ++last) {
      std::uint64_t expected = 0;
      for (std::size_t i = first; i < last; ++i) expected += text[i] == '\n';
      ASSERT_EQ(CountLineFeeds(text.data() + first, text.data() + last), expected) << first << ".." << last;
    }
  }
  // More than 255 blocks of line feeds only, where a byte's count would
  // overflow if the sums were not added up in time.
  const std::string feeds(16 * 300 + 5, '\n');
  EXPECT_EQ(CountLineFeeds(feeds.data(), feeds.data() + feeds.size()), feeds.size());
  LineCounter counter(text.data());
  std::uint64_t line = 1, lineStart = 0;
  for (std::size_t position = 0; position <= text.size(); position += 5) {
    for (std::size_t i = position >= 5 ? position - 5 : 0; i < position; ++i)
      if (text[i] == '\n') ++line, lineStart = i + 1;
    EXPECT_EQ(At(counter, text.data() + position), (LineAndStart{line, lineStart})) << position;
  }
}

// Another byte counts the same way (NUL for NUL-ended records): line feeds
// and bytes past 0x7f beside it are not counted.
TEST(LineCounterTest, AnyByteIsCountedAsLineFeedsAre) {
  std::string text;
  for (std::size_t i = 0; i < 100; ++i) text += "\0\n\x80" "a"[i * 7 % 11 % 4];
  for (std::size_t first = 0; first < 20; ++first)
    for (std::size_t last = first; last <= text.size(); ++last)
      for (const char byte : {'\0', '\x80'}) {
        std::uint64_t expected = 0;
        for (std::size_t i = first; i < last; ++i) expected += text[i] == byte;
        ASSERT_EQ(CountByte(text.data() + first, text.data() + last, byte), expected) << first << ".." << last;
      }
}

TEST(LineCounterTest, CountsLineFeedsUpToEachPositionInOnePass) {
  const std::string text = "ab\r\ncd\n\n\nef";
  const char* p = text.data();
  LineCounter counter(p);
  EXPECT_EQ(At(counter, p), (LineAndStart{1, 0}));
  EXPECT_EQ(At(counter, p + 3), (LineAndStart{1, 0}));  // the carriage return is on line 1
  EXPECT_EQ(At(counter, p + 4), (LineAndStart{2, 4}));
  EXPECT_EQ(At(counter, p + 5), (LineAndStart{2, 4}));
  EXPECT_EQ(At(counter, p + 10), (LineAndStart{5, 9}));  // two empty lines on the way
  EXPECT_EQ(At(counter, p + 2), (LineAndStart{5, 9}));   // never goes back
  EXPECT_EQ(At(counter, p + text.size()), (LineAndStart{5, 9}));
}

TEST(LineCounterTest, ATextFurtherIntoItsInputCountsOnFromWhereItStarts) {
  // A chunk starting just before 4 GiB, on a line numbered just below 2^32.
  const std::uint64_t offset = 0xFFFFFFFEull;
  const std::string text = "ab\ncd\nef";
  LineCounter counter(text.data(), offset, 0xFFFFFFFFull, 0xFFFFFF00ull);
  EXPECT_EQ(At(counter, text.data() + 1), (LineAndStart{0xFFFFFFFFull, 0xFFFFFF00ull}));
  EXPECT_EQ(At(counter, text.data() + 7), (LineAndStart{0x100000001ull, offset + 6}));
}

// Over a real text past 4 GiB: a sparse anonymous mapping, whose untouched
// pages read as zeros without being allocated.
TEST(LineCounterTest, LineStartsPast4GiBAreExact) {
  const std::uint64_t size = (std::uint64_t{4} << 30) + 8192;
  void* mapping = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (mapping == MAP_FAILED) GTEST_SKIP() << "no 4 GiB of address space for a sparse mapping";
  // Where the kernel allows it, reading the zeros through huge pages takes
  // a few thousand page faults instead of a million.
  ::madvise(mapping, size, MADV_HUGEPAGE);
  char* text = static_cast<char*>(mapping);
  const std::vector<std::uint64_t> feeds = {1000, (std::uint64_t{4} << 30) + 1000, size - 100};
  for (std::uint64_t f : feeds) text[f] = '\n';
  LineCounter counter(text);
  EXPECT_EQ(At(counter, text + 2000), (LineAndStart{2, 1001}));
  EXPECT_EQ(At(counter, text + size - 200), (LineAndStart{3, (std::uint64_t{4} << 30) + 1001}));
  EXPECT_EQ(At(counter, text + size), (LineAndStart{4, size - 99}));
  ::munmap(mapping, size);
}

TEST(LineCounterTest, EventsGetTheValueWhenItFitsAndAllOnesOtherwise) {
  EXPECT_EQ(Saturate32(0), 0u);
  EXPECT_EQ(Saturate32(0xFFFFFFFEull), 0xFFFFFFFEu);
  EXPECT_EQ(Saturate32(0xFFFFFFFFull), 0xFFFFFFFFu);
  EXPECT_EQ(Saturate32(0x100000000ull), 0xFFFFFFFFu);  // not 0
  EXPECT_EQ(Saturate32((std::uint64_t{4} << 30) + 1001), 0xFFFFFFFFu);  // not 1001
  EXPECT_EQ(Saturate32(UINT64_MAX), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace RegexComponent::engine
