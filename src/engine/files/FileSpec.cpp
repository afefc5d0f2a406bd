#include "engine/files/FileSpec.h"

namespace RegexComponent::engine {

NamePattern::NamePattern(std::string_view pattern) {
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '*') {
      if (tokens_.empty() || tokens_.back().kind != Kind::AnyRun)
        tokens_.push_back({Kind::AnyRun, 0, 0});
    } else if (c == '?') {
      tokens_.push_back({Kind::AnyByte, 0, 0});
    } else if (c == '[') {
      const std::size_t close = ParseSet(pattern, i);
      if (close == std::string_view::npos) {
        tokens_.push_back({Kind::Byte, '[', 0});
      } else {
        i = close;
      }
    } else {
      if (c == '\\' && i + 1 < pattern.size()) ++i;
      tokens_.push_back({Kind::Byte, static_cast<unsigned char>(pattern[i]), 0});
    }
  }
  for (const Token& token : tokens_) {
    if (token.kind != Kind::Byte) hasWildcard_ = true;
    literal_.push_back(static_cast<char>(token.byte));
  }
  if (hasWildcard_) literal_.clear();
}

// Parses the set opened at `open`; on success appends a Set token and
// returns the index of its closing ']', otherwise returns npos and appends
// nothing so that the caller takes the '[' literally.
std::size_t NamePattern::ParseSet(std::string_view pattern, std::size_t open) {
  std::bitset<256> set;
  std::size_t i = open + 1;
  const bool negate = i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^');
  if (negate) ++i;
  for (bool first = true; i < pattern.size(); first = false) {
    if (pattern[i] == ']' && !first) {
      sets_.push_back(negate ? ~set : set);
      tokens_.push_back({Kind::Set, 0, static_cast<std::uint32_t>(sets_.size() - 1)});
      return i;
    }
    if (pattern[i] == '\\' && i + 1 < pattern.size()) ++i;
    const auto low = static_cast<unsigned char>(pattern[i++]);
    auto high = low;
    if (i + 1 < pattern.size() && pattern[i] == '-' && pattern[i + 1] != ']') {
      if (pattern[i + 1] == '\\' && i + 2 < pattern.size()) ++i;
      high = static_cast<unsigned char>(pattern[i + 1]);
      i += 2;
    }
    for (unsigned b = low; b <= high; ++b) set.set(b);
  }
  return std::string_view::npos;
}

bool NamePattern::TokenMatches(const Token& token, unsigned char c) const {
  switch (token.kind) {
    case Kind::Byte: return token.byte == c;
    case Kind::AnyByte: return true;
    case Kind::Set: return sets_[token.set].test(c);
    case Kind::AnyRun: break;
  }
  return false;
}

// Greedy matching that backtracks only to the most recent '*': a later '*'
// can absorb whatever an earlier one would have, so older stars never need
// revisiting and the cost stays at most names x tokens.
bool NamePattern::Matches(std::string_view name) const {
  if (!hasWildcard_) return name == literal_;
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::size_t t = 0, n = 0, starToken = kNone, starName = 0;
  while (n < name.size()) {
    if (t < tokens_.size() && tokens_[t].kind == Kind::AnyRun) {
      starToken = t++;
      starName = n;
    } else if (t < tokens_.size() && TokenMatches(tokens_[t], static_cast<unsigned char>(name[n]))) {
      ++t;
      ++n;
    } else if (starToken != kNone) {
      t = starToken + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (t < tokens_.size() && tokens_[t].kind == Kind::AnyRun) ++t;
  return t == tokens_.size();
}

FileSpec ParseFileSpec(std::string_view spec) {
  const std::size_t slash = spec.rfind('/');
  const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
  const std::string_view name = spec.substr(nameStart);
  return FileSpec{std::string(spec.substr(0, nameStart)),
                  NamePattern(name.empty() ? std::string_view("*") : name)};
}

}  // namespace RegexComponent::engine
