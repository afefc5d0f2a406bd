#include "engine/prefilter/AtomBytes.h"

#include <array>

namespace RegexComponent::engine {

namespace bc = boost::regex_constants;

AtomBytes::AtomBytes(bc::syntax_option_type syntax, bc::match_flag_type match, const std::locale& locale)
    : syntax_(syntax), match_(match & (bc::match_not_dot_newline | bc::match_not_dot_null)), locale_(locale) {
  traits_.imbue(locale);
}

std::optional<ByteSet> AtomBytes::Of(std::string_view atom) {
  const auto found = cache_.find(std::string(atom));
  if (found != cache_.end()) return found->second;
  return cache_[std::string(atom)] = Test(atom);
}

ByteSet AtomBytes::Char(unsigned char c) const {
  ByteSet set;
  if (!(syntax_ & bc::icase)) return set.set(c);
  const char folded = traits_.translate_nocase(static_cast<char>(c));
  for (std::size_t b = 0; b < set.size(); ++b) {
    if (traits_.translate_nocase(static_cast<char>(b)) == folded) set.set(b);
  }
  return set;
}

std::optional<ByteSet> AtomBytes::Test(std::string_view atom) const {
  boost::regex re;
  re.imbue(locale_);
  re.assign(atom.data(), atom.data() + atom.size(), syntax_ | bc::no_except);
  if (re.status() != 0 || re.mark_count() != 0) return std::nullopt;
  const char* none = "";
  if (boost::regex_match(none, none, re, match_)) return std::nullopt;
  std::array<char, 256> all;
  for (std::size_t b = 0; b < all.size(); ++b) all[b] = static_cast<char>(b);
  ByteSet set;
  bool single = true;
  const auto onMatch = [&set, &single](const boost::cmatch& m) {
    single = m.length() == 1;
    if (single) set.set(static_cast<unsigned char>(*m[0].first));
    return single;
  };
  const char* first = all.data();
  boost::regex_grep(onMatch, first, first + all.size(), re, match_ | bc::match_posix);
  if (!single) return std::nullopt;
  return set;
}

}  // namespace RegexComponent::engine
