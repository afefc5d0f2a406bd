#include "engine/prefilter/LiteralScanner.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "Volume.h"
#include "engine/prefilter/PairScanner.h"

namespace RegexComponent::engine {
namespace {

// Bytes subjects and literals are mostly made of: a few common ones and a
// few the frequency table ranks rare, so that both the memchr path and the
// pair filter are taken and candidates are dense.
const std::string kPool = "etaQZ#7\n";

class Cases {
 public:
  explicit Cases(std::uint64_t seed) : random_(seed) {}

  std::size_t Below(std::size_t n) { return static_cast<std::size_t>(random_() % n); }

  unsigned char Byte() { return Below(8) == 0 ? static_cast<unsigned char>(Below(256)) : kPool[Below(kPool.size())]; }

  // A class of one to three byte ranges, most of them rare enough for a
  // class pair: digits, capitals, a few ranges around the pool's rare
  // bytes, and now and then letters (with '_' or not) or a random range.
  ByteSet RangeClass() {
    static const std::pair<unsigned char, unsigned char> kRanges[] = {
        {'0', '9'}, {'A', 'Z'}, {'P', 'Z'}, {'!', '#'}, {'5', '8'}, {'\n', '\r'}, {'A', 'F'}, {'a', 'z'}, {'_', '_'}};
    ByteSet set;
    for (std::size_t n = 1 + Below(3); n > 0; --n) {
      auto [first, last] = kRanges[Below(std::size(kRanges))];
      if (Below(8) == 0) {
        first = Byte();
        last = static_cast<unsigned char>(first + Below(std::size_t{256} - first));
      }
      for (std::size_t b = first; b <= last; ++b) set.set(b);
    }
    return set;
  }

  // One position: a byte, a letter with its case variant, a small class or
  // a class too large to look for.
  ByteSet Position() {
    ByteSet set;
    const unsigned char b = Byte();
    set.set(b);
    switch (Below(6)) {
      case 0:
        if ((b | 0x20) >= 'a' && (b | 0x20) <= 'z') set.set(b ^ 0x20);
        break;
      case 1:
        for (std::size_t n = 1 + Below(kMaxAnchorBytes); set.count() < n;) set.set(Byte());
        break;
      case 2:
        for (std::size_t n = kMaxAnchorBytes + 1 + Below(40); set.count() < n;) set.set(Byte());
        break;
      default:
        break;
    }
    return set;
  }

  // 1 to 12 positions, at least one of them small enough to look for; or
  // one in four, 2 to 12 positions with none small, two or more of them
  // range classes, mostly rare enough together to be looked for.
  Literal MakeLiteral() {
    if (Below(4) == 0) return ClassLiteral();
    Literal literal(1 + Below(12));
    for (ByteSet& set : literal) set = Position();
    if (AnchorPosition(literal) == literal.size()) literal[Below(literal.size())] = ByteSet().set(Byte());
    return literal;
  }

  Literal ClassLiteral() {
    Literal literal(2 + Below(11));
    for (ByteSet& set : literal) {
      set = Below(2) == 0 ? RangeClass() : Position();
      while (set.count() <= kMaxAnchorBytes) set |= RangeClass();
    }
    const std::size_t a = Below(literal.size());
    const std::size_t b = (a + 1 + Below(literal.size() - 1)) % literal.size();
    for (const std::size_t i : {a, b}) literal[i] = RangeClass();
    for (const std::size_t i : {a, b}) {
      while (literal[i].count() <= kMaxAnchorBytes) literal[i] |= RangeClass();
    }
    return literal;
  }

  // Mostly 1 to 4 literals; now and then more than the pair filter takes.
  std::vector<Literal> Literals() {
    std::vector<Literal> literals(Below(10) == 0 ? 5 + Below(2) : 1 + Below(4));
    for (Literal& literal : literals) literal = MakeLiteral();
    return literals;
  }

  // Pool bytes with occurrences of the literals and near misses (an
  // occurrence with one position changed) spread through it, some subjects
  // dense with them, some sparse.
  std::string Subject(const std::vector<Literal>& literals) {
    const std::size_t size = Below(4) == 0 ? Below(2000) : Below(300);
    const std::size_t rarity = std::size_t{2} << Below(6);
    std::string s;
    while (s.size() < size) {
      if (Below(rarity) != 0) {
        s += static_cast<char>(Byte());
        continue;
      }
      const Literal& literal = literals[Below(literals.size())];
      std::string occurrence;
      for (const ByteSet& set : literal) occurrence += static_cast<char>(Member(set));
      if (Below(2) == 0) occurrence[Below(occurrence.size())] = static_cast<char>(Byte());
      s += occurrence;
    }
    return s;
  }

 private:
  unsigned char Member(const ByteSet& set) {
    std::size_t skip = Below(set.count());
    for (std::size_t b = 0;; ++b) {
      if (set.test(b) && skip-- == 0) return static_cast<unsigned char>(b);
    }
  }

  std::mt19937_64 random_;
};

// The leftmost start in [from, before) of a literal lying wholly in
// [from, end), by trying every start.
const char* Naive(const std::vector<Literal>& literals, const char* from, const char* before, const char* end) {
  for (const char* at = from; at < before; ++at) {
    for (const Literal& literal : literals) {
      if (static_cast<std::size_t>(end - at) >= literal.size() && LiteralHolds(literal, at)) return at;
    }
  }
  return nullptr;
}

// Every occurrence in [from, end) in turn, as a search resumes after one,
// from the scanner and from the pair filter alone (exact over the starts it
// covers), against trying every start.
void CheckEveryOccurrence(const std::vector<Literal>& literals, const char* from, const char* end) {
  const LiteralScanner scanner(literals);
  const PairScanner pairs(literals);
  const auto where = [&](const char* p) { return p ? p - from : -1; };
  for (const char* at = from;;) {
    const char* expected = Naive(literals, at, end, end);
    ASSERT_EQ(where(scanner.Find(at, end)), where(expected)) << "range of " << end - from << " from " << where(at);
    if (pairs.Usable()) {
      const char* rest = nullptr;
      const char* hit = pairs.Find(at, end, rest);
      ASSERT_TRUE(rest >= at && rest <= end);
      ASSERT_EQ(where(hit), where(Naive(literals, at, hit ? end : rest, end))) << "from " << where(at);
    }
    if (!expected) return;
    at = expected + 1;
  }
}

TEST(LiteralScannerTest, FindsTheLeftmostOccurrenceLikeTryingEveryStart) {
  for (const std::uint64_t seed : {1u, 2u, 3u, 4u}) {
    Cases cases(seed);
    for (int round = 0; round < testing::Volume(600, 3000); ++round) {
      const std::vector<Literal> literals = cases.Literals();
      // The subject alone in its own allocation, so that a read outside it
      // is the address sanitizer's to see; sub-ranges start and end at any
      // offset from the blocks' edges.
      const std::string text = cases.Subject(literals);
      const std::vector<char> buffer(text.begin(), text.end());
      for (int range = 0; range < 4; ++range) {
        const std::size_t i = range == 0 ? 0 : cases.Below(buffer.size() + 1);
        const std::size_t j = range == 0 ? buffer.size() : i + cases.Below(buffer.size() - i + 1);
        SCOPED_TRACE(::testing::Message() << "seed " << seed << " round " << round << " at " << i);
        CheckEveryOccurrence(literals, buffer.data() + i, buffer.data() + j);
        if (HasFatalFailure()) return;
      }
    }
  }
}

std::vector<Literal> Words(std::initializer_list<const char*> words, bool foldCase = false) {
  std::vector<Literal> literals;
  for (const char* word : words) {
    Literal literal;
    for (const char* c = word; *c; ++c) {
      ByteSet set;
      set.set(static_cast<unsigned char>(*c));
      if (foldCase && (*c | 0x20) >= 'a' && (*c | 0x20) <= 'z') set.set(static_cast<unsigned char>(*c ^ 0x20));
      literal.push_back(set);
    }
    literals.push_back(literal);
  }
  return literals;
}

// One position per class text, each of bytes and ranges ("A-Za-z_").
Literal Classes(std::initializer_list<const char*> classes) {
  Literal literal;
  for (const std::string text : classes) {
    ByteSet set;
    for (std::size_t i = 0; i < text.size(); ++i) {
      const bool range = i + 2 < text.size() && text[i + 1] == '-';
      const auto first = static_cast<unsigned char>(text[i]);
      const auto last = static_cast<unsigned char>(range ? text[i + 2] : text[i]);
      for (std::size_t b = first; b <= last; ++b) set.set(b);
      if (range) i += 2;
    }
    literal.push_back(set);
  }
  return literal;
}

// The cases the pair filter is for take it, so the test above checks it.
TEST(LiteralScannerTest, PairFilterTakesWordsAndFewAlternatives) {
#ifdef __SSE2__
  EXPECT_TRUE(PairScanner(Words({"namespace"})).Usable());
  EXPECT_TRUE(PairScanner(Words({"mutex"}, true)).Usable());
  EXPECT_TRUE(PairScanner(Words({"TODO", "FIXME"})).Usable());
  EXPECT_TRUE(PairScanner(Words({"ab", "cd", "ef", "gh"})).Usable());
  // Literals without an anchor, by two classes of a few ranges.
  EXPECT_TRUE(PairScanner({Classes({"A-Z", "0-9", "0-9", "0-9"})}).Usable());
  EXPECT_TRUE(PairScanner({Classes({"A-F", "a-z", "A-F"}), Classes({"0-9", "0-9"})}).Usable());
  EXPECT_TRUE(PairScanner({Words({"TODO"})[0], Classes({"A-Z", "0-9"})}).Usable());
  EXPECT_TRUE(PairScanner({Classes({"A-Za-z_0-9", "V-Z"})}).Usable());
#endif
  // Classes too common together, or of too many ranges to test.
  EXPECT_FALSE(PairScanner({Classes({"a-z", "a-z"})}).Usable());
  EXPECT_FALSE(PairScanner({Classes({"!0Aa~", "!0Aa~"})}).Usable());
  EXPECT_FALSE(LiteralScanner::Covers({Classes({"a-z", "a-z"})}));
  EXPECT_TRUE(LiteralScanner::Covers({Classes({"x", "a-z"})}));
  // No second position, or more literals than it tests at once.
  EXPECT_FALSE(PairScanner(Words({"x"})).Usable());
  EXPECT_FALSE(PairScanner(Words({"ab", "c"})).Usable());
  EXPECT_FALSE(PairScanner(Words({"ab", "cd", "ef", "gh", "ij"})).Usable());

  // Occurrences straddling the range's ends do not count.
  const std::string text = std::string(40, 'x') + "namespace" + std::string(40, 'y');
  const LiteralScanner scanner(Words({"namespace"}));
  const char* at = text.data() + 40;
  EXPECT_EQ(scanner.Find(text.data(), text.data() + text.size()), at);
  EXPECT_EQ(scanner.Find(at + 1, text.data() + text.size()), nullptr);
  EXPECT_EQ(scanner.Find(text.data(), at + 8), nullptr);
  EXPECT_EQ(scanner.Find(at, at + 9), at);
}

}  // namespace
}  // namespace RegexComponent::engine
