#include "engine/match/FormatExpander.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace RegexComponent::engine {

namespace {

using Match = boost::match_results<const char*>;

constexpr std::size_t kNoGroup = std::numeric_limits<std::size_t>::max();
// Any index above this cannot name a sub-expression; saturating here keeps
// the digit loop free of overflow however long the digit string is.
constexpr std::size_t kLargestGroupIndex = 100000000;

constexpr std::array<bool, 256> MakeSpecialTable() {
  std::array<bool, 256> table{};
  for (char c : std::string_view("$()?:\\")) table[static_cast<unsigned char>(c)] = true;
  return table;
}
constexpr std::array<bool, 256> kSpecial = MakeSpecialTable();

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int DigitValue(char c, unsigned base) {
  int v = -1;
  if (c >= '0' && c <= '9') v = c - '0';
  else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
  return v >= 0 && static_cast<unsigned>(v) < base ? v : -1;
}

// Consumes digits of `base` while the accumulated value fits in one byte;
// the digit that would overflow is left for the caller to read as text.
unsigned TakeByteDigits(std::string_view f, std::size_t& pos, unsigned base, unsigned value) {
  while (pos < f.size()) {
    const int d = DigitValue(f[pos], base);
    if (d < 0 || value * base + static_cast<unsigned>(d) > 255) break;
    value = value * base + static_cast<unsigned>(d);
    ++pos;
  }
  return value;
}

char ReadHexEscape(std::string_view f, std::size_t& pos) {
  const bool braced = pos + 1 < f.size() && f[pos] == '{' && DigitValue(f[pos + 1], 16) >= 0;
  if (!braced && (pos == f.size() || DigitValue(f[pos], 16) < 0)) return 'x';
  if (braced) ++pos;
  const unsigned value = TakeByteDigits(f, pos, 16, 0);
  if (braced && pos < f.size() && f[pos] == '}') ++pos;
  return static_cast<char>(value);
}

// `pos` is just past a backslash. Shared by expansion and skipping so that
// both consume exactly the same characters for every escape.
char ReadEscape(std::string_view f, std::size_t& pos) {
  if (pos == f.size()) return '\\';
  const char c = f[pos++];
  switch (c) {
    case 'a': return '\a';
    case 'f': return '\f';
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    case 'v': return '\v';
    case 'e': return '\x1b';
    case 'x': return ReadHexEscape(f, pos);
    case 'c': {
      if (pos == f.size()) return 'c';
      const auto x = static_cast<unsigned char>(f[pos]);
      if (x < 64 || x > 127) return 'c';
      ++pos;
      return static_cast<char>(x - 64);
    }
    default:
      if (c >= '0' && c <= '7') return static_cast<char>(TakeByteDigits(f, pos, 8, static_cast<unsigned>(c - '0')));
      return c;
  }
}

// One bit per open group: set while the innermost conditional of that group
// is in a true part that is being expanded, so that a ':' there ends it.
// Inline storage covers any realistic nesting without allocating.
class LevelBits {
 public:
  void Set(std::size_t level, bool on) {
    std::uint64_t& word = Word(level);
    const std::uint64_t bit = std::uint64_t{1} << (level % 64);
    word = on ? (word | bit) : (word & ~bit);
  }
  bool Get(std::size_t level) { return (Word(level) >> (level % 64)) & 1U; }

 private:
  static constexpr std::size_t kInlineWords = 4;
  std::uint64_t& Word(std::size_t level) {
    const std::size_t index = level / 64;
    if (index < kInlineWords) return inline_[index];
    if (heap_.size() <= index - kInlineWords) heap_.resize(index - kInlineWords + 1);
    return heap_[index - kInlineWords];
  }
  std::uint64_t inline_[kInlineWords] = {};
  std::vector<std::uint64_t> heap_;
};

class Expander {
 public:
  Expander(std::string_view format, const Match& m, std::string& out)
      : f_(format), m_(m), out_(out), valid_(m.size() > 0 && m[0].matched) {}

  void Run() {
    const std::size_t n = f_.size();
    while (pos_ < n) {
      const std::size_t start = pos_;
      while (pos_ < n && !kSpecial[static_cast<unsigned char>(f_[pos_])]) ++pos_;
      if (pos_ > start) out_.append(f_.data() + start, pos_ - start);
      if (pos_ == n) return;
      switch (f_[pos_++]) {
        case '$': Reference(); break;
        case '\\': out_.push_back(ReadEscape(f_, pos_)); break;
        case '(': colonEndsTruePart_.Set(++depth_, false); break;
        case ')':
          if (depth_ == 0) return;  // closes no group: the expansion ends
          --depth_;
          break;
        case ':':
          if (colonEndsTruePart_.Get(depth_)) pos_ = SkipPart(pos_, false);
          else out_.push_back(':');
          break;
        case '?': Conditional(); break;
      }
    }
  }

 private:
  std::size_t ReadNumber() {
    std::size_t g = 0;
    for (; pos_ < f_.size() && IsDigit(f_[pos_]); ++pos_)
      g = g > kLargestGroupIndex ? kNoGroup : g * 10 + static_cast<std::size_t>(f_[pos_] - '0');
    return g;
  }

  bool Matched(std::size_t g) const { return valid_ && g < m_.size() && m_[static_cast<int>(g)].matched; }

  void Append(const boost::sub_match<const char*>& s) { out_.append(s.first, s.second); }

  void Reference() {
    if (pos_ == f_.size()) {
      out_.push_back('$');
      return;
    }
    const char c = f_[pos_];
    if (IsDigit(c)) {
      const std::size_t g = ReadNumber();
      if (Matched(g)) Append(m_[static_cast<int>(g)]);
      return;
    }
    if (c != '&' && c != '`' && c != '\'') {
      out_.push_back('$');  // the next character is read normally
      return;
    }
    ++pos_;
    if (!valid_) return;
    Append(c == '&' ? m_[0] : c == '`' ? m_.prefix() : m_.suffix());
  }

  void Conditional() {
    if (pos_ == f_.size() || !IsDigit(f_[pos_])) {
      out_.push_back('?');
      return;
    }
    if (Matched(ReadNumber())) {
      colonEndsTruePart_.Set(depth_, true);
      return;
    }
    pos_ = SkipPart(pos_, true);
    if (pos_ < f_.size() && f_[pos_] == ':') ++pos_;
    colonEndsTruePart_.Set(depth_, false);  // the false part follows: ':' is text
  }

  // Returns the position of the ')' ending the current level, of the ':'
  // ending a true part (when `stopAtColon`), or the end of the format. A
  // flat scan, so arbitrarily deep nesting costs no stack.
  std::size_t SkipPart(std::size_t pos, bool stopAtColon) const {
    std::size_t depth = 0;
    while (pos < f_.size()) {
      const char c = f_[pos++];
      if (c == '\\') {
        ReadEscape(f_, pos);
      } else if (c == '(') {
        ++depth;
      } else if (c == ')') {
        if (depth == 0) return pos - 1;
        --depth;
      } else if (depth == 0 && c == ':' && stopAtColon) {
        return pos - 1;
      } else if (depth == 0 && c == '?' && pos < f_.size() && IsDigit(f_[pos])) {
        stopAtColon = false;  // a nested conditional runs to the end of the level
      }
    }
    return f_.size();
  }

  std::string_view f_;
  const Match& m_;
  std::string& out_;
  const bool valid_;
  std::size_t pos_ = 0;
  std::size_t depth_ = 0;
  LevelBits colonEndsTruePart_;
};

}  // namespace

void ExpandFormat(std::string_view format, const Match& m, std::string& out) {
  Expander(format, m, out).Run();
}

}  // namespace RegexComponent::engine
