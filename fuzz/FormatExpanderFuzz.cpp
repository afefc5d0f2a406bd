// libFuzzer target for the format-string expander and the merge engine.
//
// Input layout: byte 0 picks one of the expressions below, the bytes up to
// the first '\n' are the subject, everything after it is the format string.
// Subject and format are copied into buffers of exactly their size so that
// AddressSanitizer catches any read past either of them.
//
// Besides crashes and sanitizer reports, the target checks the expander
// against a straightforward recursive reference written from the syntax
// table, which evaluates skipped parts with output switched off instead of
// scanning over them, and checks that merging with "$&" gives the subject
// back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/match/FormatExpander.h"
#include "engine/expression/MatchFlags.h"
#include "engine/match/MergeEngine.h"

namespace {

using Match = boost::match_results<const char*>;

class Reference {
 public:
  Reference(std::string_view f, const Match& m) : f_(f), m_(m), valid_(m.size() > 0 && m[0].matched) {}

  std::string Run() {
    Sequence(true, false);
    return out_;
  }

 private:
  // Expands up to an unread ')', the end, or (when colonEnds) an unread ':'.
  void Sequence(bool emit, bool colonEnds) {
    while (p_ < f_.size()) {
      const char c = f_[p_];
      if (c == ')' || (c == ':' && colonEnds)) return;
      ++p_;
      if (c == '(') {
        Sequence(emit, false);
        if (p_ < f_.size()) ++p_;
      } else if (c == '?' && p_ < f_.size() && IsDigit(f_[p_])) {
        const bool taken = Group(Number()) != nullptr;
        Sequence(emit && taken, true);
        if (p_ < f_.size() && f_[p_] == ':') {
          ++p_;
          Sequence(emit && !taken, false);
        }
        return;  // a conditional ends its level
      } else if (c == '$') {
        Dollar(emit);
      } else if (c == '\\') {
        Escape(emit);
      } else if (emit) {
        out_ += c;
      }
    }
  }

  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

  std::uint64_t Number() {
    std::uint64_t v = 0;
    while (p_ < f_.size() && IsDigit(f_[p_])) {
      if (v < 1000000000) v = v * 10 + static_cast<std::uint64_t>(f_[p_] - '0');
      ++p_;
    }
    return v;
  }

  const boost::sub_match<const char*>* Group(std::uint64_t n) const {
    if (!valid_ || n >= m_.size() || !m_[static_cast<int>(n)].matched) return nullptr;
    return &m_[static_cast<int>(n)];
  }

  void Dollar(bool emit) {
    const char c = p_ < f_.size() ? f_[p_] : '\0';
    const boost::sub_match<const char*>* s = nullptr;
    if (IsDigit(c)) {
      s = Group(Number());
    } else if (c == '&' || c == '`' || c == '\'') {
      ++p_;
      if (valid_) s = c == '&' ? &m_[0] : c == '`' ? &m_.prefix() : &m_.suffix();
    } else if (emit) {
      out_ += '$';
    }
    if (emit && s) out_.append(s->first, s->second);
  }

  unsigned Digits(unsigned base) {
    static constexpr std::string_view kDigits = "0123456789abcdef";
    unsigned v = 0;
    while (p_ < f_.size()) {
      char c = f_[p_];
      if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
      const std::size_t d = kDigits.find(c);
      if (d >= base || v * base + d > 255) break;
      v = static_cast<unsigned>(v * base + d);
      ++p_;
    }
    return v;
  }

  bool HexAt(std::size_t i) const {
    if (i >= f_.size()) return false;
    const char c = f_[i];
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
  }

  void Escape(bool emit) {
    if (p_ == f_.size()) {
      if (emit) out_ += '\\';
      return;
    }
    const char c = f_[p_++];
    static constexpr std::string_view kNames = "afnrtve";
    static constexpr char kCodes[] = {7, 12, 10, 13, 9, 11, 27};
    unsigned v = static_cast<unsigned char>(c);
    if (kNames.find(c) != std::string_view::npos) {
      v = static_cast<unsigned>(kCodes[kNames.find(c)]);
    } else if (c == 'x' && p_ + 1 < f_.size() && f_[p_] == '{' && HexAt(p_ + 1)) {
      ++p_;
      v = Digits(16);
      if (p_ < f_.size() && f_[p_] == '}') ++p_;
    } else if (c == 'x' && HexAt(p_)) {
      v = Digits(16);
    } else if (c == 'c' && p_ < f_.size() && static_cast<unsigned char>(f_[p_]) >= 64 &&
               static_cast<unsigned char>(f_[p_]) <= 127) {
      v = static_cast<unsigned char>(f_[p_++]) - 64;
    } else if (c >= '0' && c <= '7') {
      --p_;
      v = Digits(8);
    }
    if (emit) out_ += static_cast<char>(v);
  }

  std::string_view f_;
  const Match& m_;
  const bool valid_;
  std::size_t p_ = 0;
  std::string out_;
};

const std::vector<boost::regex>& Patterns() {
  static const std::vector<boost::regex> patterns = {
      boost::regex("([0-9]+)|([a-z]+)"), boost::regex("(a)(b)?(c)*"), boost::regex("x*"),
      boost::regex("(((a)|b)+)(c?)"),    boost::regex("\\b"),
      boost::regex("(.)(.)(.)(.)(.)(.)(.)(.)(.)(.)(.)")};
  return patterns;
}

// The reference recurses once per '(' and per conditional.
bool ShallowEnough(std::string_view f) {
  std::size_t opens = 0;
  for (char c : f) opens += (c == '(' || c == '?');
  return opens < 2000;
}

void Check(bool ok, const char* what, std::string_view format) {
  if (ok) return;
  std::fprintf(stderr, "check failed: %s (format of %zu bytes)\n", what, format.size());
  std::abort();
}

void ExpandBoth(std::string_view format, const Match& m) {
  std::string out = "prefix";
  RegexComponent::engine::ExpandFormat(format, m, out);
  Check(out.compare(0, 6, "prefix") == 0, "output was appended to", format);
  if (!(m.size() > 0 && m[0].matched)) Check(out.size() - 6 <= format.size(), "no reference output", format);
  if (ShallowEnough(format)) Check(out.substr(6) == Reference(format, m).Run(), "matches the reference", format);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const boost::regex& re = Patterns()[data[0] % Patterns().size()];
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::size_t newline = rest.find('\n');
  const std::string_view subjectIn = newline == std::string_view::npos ? std::string_view() : rest.substr(0, newline);
  const std::string_view formatIn = newline == std::string_view::npos ? rest : rest.substr(newline + 1);

  const auto subjectBuf = std::make_unique<char[]>(subjectIn.size());
  const auto formatBuf = std::make_unique<char[]>(formatIn.size());
  subjectIn.copy(subjectBuf.get(), subjectIn.size());
  formatIn.copy(formatBuf.get(), formatIn.size());
  const char* first = subjectBuf.get();
  const char* last = first + subjectIn.size();
  const std::string_view format(formatBuf.get(), formatIn.size());
  const auto flags = RegexComponent::engine::ToBoostMatchFlags(0);

  Match m;
  boost::regex_search(first, last, m, re, flags);
  ExpandBoth(format, m);
  ExpandBoth(format, Match());

  std::string merged;
  RegexComponent::engine::MergeAll(re, first, last, "$&", true, flags, merged);
  Check(merged == subjectIn, "merging with $& keeps the subject", format);
  merged.clear();
  RegexComponent::engine::MergeAll(re, first, last, format, true, flags, merged);
  return 0;
}
