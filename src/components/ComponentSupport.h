// Helpers shared by the units of RegularExpressionCustom.
// Interface: ScopedValue (sets a variable for a scope) and LineOf (line
// number and line start of a position).
#pragma once

#include <cstddef>
#include <cstring>
#include <utility>

namespace RegexComponent::detail {

// Sets a variable for the lifetime of the guard and puts the earlier value
// back on every exit, exceptions included; nested operations therefore
// hand the state back to the operation that was running before them.
template <class T>
class ScopedValue {
 public:
  ScopedValue(T& variable, T value) : variable_(variable), saved_(variable) { variable_ = value; }
  ~ScopedValue() { variable_ = saved_; }
  ScopedValue(const ScopedValue&) = delete;
  ScopedValue& operator=(const ScopedValue&) = delete;

 private:
  T& variable_;
  T saved_;
};

// Line number (1-based) and line start offset of `position` in [begin, ...).
inline std::pair<unsigned, unsigned> LineOf(const char* begin, const char* position) {
  unsigned line = 1;
  const char* lineStart = begin;
  for (const char* p = begin; p < position;) {
    const void* lf = std::memchr(p, '\n', static_cast<std::size_t>(position - p));
    if (!lf) break;
    p = static_cast<const char*>(lf) + 1;
    ++line;
    lineStart = p;
  }
  return {line, static_cast<unsigned>(lineStart - begin)};
}

}  // namespace RegexComponent::detail
