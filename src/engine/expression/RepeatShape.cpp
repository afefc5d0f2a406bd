#include "engine/expression/RepeatShape.h"

#include <utility>
#include <vector>

namespace RegexComponent::engine {

namespace {

// The index of the ']' closing the bracket expression opened at `open`
// (a ']' first is a member, a backslash escapes), or the pattern's size.
std::size_t SkipBracket(std::string_view p, std::size_t open) {
  std::size_t i = open + 1;
  if (i < p.size() && p[i] == '^') ++i;
  if (i < p.size() && p[i] == ']') ++i;
  for (; i < p.size() && p[i] != ']'; ++i) {
    if (p[i] == '\\') ++i;
    if (i + 1 < p.size() && p[i] == '[' && p[i + 1] == ':') {
      const std::size_t close = p.find(":]", i + 2);
      if (close == std::string_view::npos) return p.size();
      i = close + 1;
    }
  }
  return i;
}

// Whether a repeat starts at `i`; `unbounded` tells whether it has no upper
// bound, `end` is set to its last character.
bool RepeatAt(std::string_view p, std::size_t i, bool& unbounded, std::size_t& end) {
  end = i;
  if (p[i] == '*' || p[i] == '+') return unbounded = true;
  if (p[i] == '?') return !(unbounded = false);
  if (p[i] != '{') return false;
  const std::size_t close = p.find('}', i);
  if (close == std::string_view::npos) return false;
  const std::string_view body = p.substr(i + 1, close - i - 1);
  if (body.empty() || body.find_first_not_of("0123456789,") != std::string_view::npos) return false;
  end = close;
  unbounded = body.back() == ',';
  return true;
}

}  // namespace

bool FewRepeats(std::string_view p) {
  std::vector<bool> groupRepeats{false};  // per open group: holds a repeat
  bool lastClosedRepeats = false;         // the group just closed held one
  bool afterRepeat = false;
  int unbounded = 0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    bool open = false;
    std::size_t end = i;
    const bool closed = std::exchange(lastClosedRepeats, false);
    if (!afterRepeat && i > 0 && RepeatAt(p, i, open, end)) {
      if (closed) return false;
      unbounded += open ? 1 : 0;
      groupRepeats.back() = true;
      // A '?' or '+' right after a repeat makes it lazy or possessive.
      if (end + 1 < p.size() && (p[end + 1] == '?' || p[end + 1] == '+')) ++end;
      i = end;
      afterRepeat = true;
      continue;
    }
    afterRepeat = false;
    if (p[i] == '\\') {
      ++i;
    } else if (p[i] == '[') {
      i = SkipBracket(p, i);
    } else if (p[i] == '(') {
      groupRepeats.push_back(false);
      if (i + 1 < p.size() && p[i + 1] == '?') ++i;
    } else if (p[i] == ')' && groupRepeats.size() > 1) {
      lastClosedRepeats = groupRepeats.back();
      groupRepeats.pop_back();
      groupRepeats.back() = groupRepeats.back() || lastClosedRepeats;
    }
  }
  return unbounded <= 1;
}

}  // namespace RegexComponent::engine
