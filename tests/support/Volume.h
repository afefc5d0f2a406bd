// How much generated work a test does. The default run takes an amount that
// still reaches every edge the test is about (chunk and piece sizes, worker
// windows, the match guard's limit) and keeps each test well under a
// minute under the sanitizers; scripts/soak.sh sets RC_SOAK=1 for the full
// volume, more rounds and larger subjects, in a longer run.
#pragma once

#include <cstdlib>
#include <cstring>

namespace RegexComponent::testing {

// Whether this run is a soak run (RC_SOAK set and not "0").
inline bool Soak() {
  static const bool soak = [] {
    const char* value = std::getenv("RC_SOAK");
    return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
  }();
  return soak;
}

// `quick` in the default run, `soak` in a soak run.
template <typename T>
T Volume(T quick, T soak) {
  return Soak() ? soak : quick;
}

}  // namespace RegexComponent::testing
