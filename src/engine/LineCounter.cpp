#include "engine/LineCounter.h"

#include <cstddef>
#include <cstring>

namespace RegexComponent::engine {

void LineCounter::AdvanceTo(const char* position) noexcept {
  // The line start is worked out once, from the last line feed found.
  const char* lastLineStart = nullptr;
  while (scanned_ < position) {
    const void* lf = std::memchr(scanned_, '\n', static_cast<std::size_t>(position - scanned_));
    if (!lf) {
      scanned_ = position;
      break;
    }
    scanned_ = static_cast<const char*>(lf) + 1;
    ++line_;
    lastLineStart = scanned_;
  }
  if (lastLineStart) lineStart_ = offset_ + static_cast<std::uint64_t>(lastLineStart - begin_);
}

}  // namespace RegexComponent::engine
