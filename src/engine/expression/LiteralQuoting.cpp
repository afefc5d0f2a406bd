#include "engine/expression/LiteralQuoting.h"

namespace RegexComponent::engine {

std::string QuoteForPerl(std::string_view text) {
  static constexpr std::string_view kOperators = "\\^$.|?*+()[]{}";
  std::string out;
  out.reserve(text.size() * 2);
  for (const char c : text) {
    if (kOperators.find(c) != std::string_view::npos) out += '\\';
    out += c;
  }
  return out;
}

}  // namespace RegexComponent::engine
