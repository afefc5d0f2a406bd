#include "engine/expression/ExtendedAsPerl.h"

#include <cctype>
#include <cstring>

namespace RegexComponent::engine {

namespace bc = boost::regex_constants;

namespace {

// The index of the ']' closing the bracket expression opened at `open`, or
// npos when it is not closed or holds a backslash.
std::size_t BracketEnd(std::string_view p, std::size_t open) {
  std::size_t i = open + 1;
  if (i < p.size() && p[i] == '^') ++i;
  // A ']' first is a member, in both grammars.
  if (i < p.size() && p[i] == ']') ++i;
  for (; i < p.size(); ++i) {
    if (p[i] == '\\') return std::string_view::npos;
    if (p[i] == ']') return i;
    if (p[i] != '[' || i + 1 >= p.size() || !std::strchr(":.=", p[i + 1])) continue;
    // [:class:], [.coll.] and [=equiv=] run to their own closing pair.
    const char kind[] = {p[i + 1], ']', '\0'};
    const std::size_t close = p.find(kind, i + 2);
    if (close == std::string_view::npos) return close;
    i = close + 1;
  }
  return std::string_view::npos;
}

// The index of the '}' of a well-formed interval {n}, {n,} or {n,m} opened
// at `open`, or npos.
std::size_t IntervalEnd(std::string_view p, std::size_t open) {
  std::size_t i = open + 1;
  const auto digits = [&] {
    const std::size_t from = i;
    while (i < p.size() && std::isdigit(static_cast<unsigned char>(p[i]))) ++i;
    return i > from;
  };
  if (!digits()) return std::string_view::npos;
  if (i < p.size() && p[i] == ',') {
    ++i;
    digits();
  }
  return i < p.size() && p[i] == '}' ? i : std::string_view::npos;
}

bool SharedEscape(char c) {
  return !std::isalnum(static_cast<unsigned char>(c)) || std::strchr("wWsSdDbB", c) != nullptr;
}

}  // namespace

bool ExtendedReadsAsPerl(std::string_view p, bool newlineAlternation) {
  // Whether the last token is an atom a quantifier may follow.
  bool repeatable = false;
  bool quantified = false;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const char c = p[i];
    const bool quantifier = c == '*' || c == '+' || c == '?' || c == '{';
    if (quantifier) {
      if (!repeatable || quantified) return false;
      if (c == '{' && (i = IntervalEnd(p, i)) == std::string_view::npos) return false;
      quantified = true;
      continue;
    }
    quantified = false;
    repeatable = true;
    if (c == '[') {
      if ((i = BracketEnd(p, i)) == std::string_view::npos) return false;
    } else if (c == '\\') {
      if (i + 1 >= p.size() || !SharedEscape(p[i + 1])) return false;
      // Word boundaries are assertions: nothing to repeat.
      repeatable = p[i + 1] != 'b' && p[i + 1] != 'B' && p[i + 1] != '<' && p[i + 1] != '>';
      ++i;
    } else if (c == '}' || (c == '(' && i + 1 < p.size() && p[i + 1] == '?')) {
      return false;
    } else if (c == '(' || c == '|' || c == '^' || c == '$' || (c == '\n' && newlineAlternation)) {
      repeatable = false;
    }
  }
  return true;
}

bc::syntax_option_type PerlOptionsFor(bc::syntax_option_type options) {
  return options & ~(boost::regbase::no_perl_ex | boost::regbase::no_escape_in_lists | boost::regbase::no_bk_refs);
}

std::optional<PerlReading> ReadAsPerl(const boost::regex& expression) {
  if (expression.empty() || expression.status() != 0) return std::nullopt;
  PerlReading reading{expression.str(), expression.flags()};
  if (!(reading.options & boost::regbase::no_perl_ex)) return reading;
  if ((reading.options & boost::regbase::main_option_type) != bc::perl ||
      !ExtendedReadsAsPerl(reading.text, (reading.options & boost::regbase::newline_alt) != 0))
    return std::nullopt;
  reading.options = PerlOptionsFor(reading.options);
  return reading;
}

}  // namespace RegexComponent::engine
