// Lowers the soft limit on open descriptors for the lifetime of the guard;
// child processes started meanwhile inherit the lowered limit.
// DescriptorsHeld leaves this process a given number of descriptors free.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstddef>
#include <vector>

namespace RegexComponent::testing {

class DescriptorLimit {
 public:
  explicit DescriptorLimit(rlim_t limit) {
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit lowered = saved_;
    lowered.rlim_cur = limit;
    ::setrlimit(RLIMIT_NOFILE, &lowered);
  }
  ~DescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
  DescriptorLimit(const DescriptorLimit&) = delete;
  DescriptorLimit& operator=(const DescriptorLimit&) = delete;

 private:
  rlimit saved_{};
};

// Holds every descriptor but `spare` and lowers the limit to match, until
// released: the next `spare` opens succeed and the one after fails.
class DescriptorsHeld {
 public:
  explicit DescriptorsHeld(std::size_t spare) {
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    for (int fd; held_.size() < kMostHeld && (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
      held_.push_back(fd);
    for (std::size_t i = 0; i < spare && !held_.empty(); ++i) {
      ::close(held_.back());
      held_.pop_back();
    }
    if (held_.empty()) return;
    rlimit low = saved_;
    low.rlim_cur = static_cast<rlim_t>(held_.back() + 1) + spare;
    lowered_ = ::setrlimit(RLIMIT_NOFILE, &low) == 0;
  }
  ~DescriptorsHeld() { Release(); }
  DescriptorsHeld(const DescriptorsHeld&) = delete;
  DescriptorsHeld& operator=(const DescriptorsHeld&) = delete;

  // Whether the limit is in force.
  bool Lowered() const { return lowered_; }
  void Release() {
    if (lowered_) ::setrlimit(RLIMIT_NOFILE, &saved_);
    lowered_ = false;
    for (const int fd : held_) ::close(fd);
    held_.clear();
  }

 private:
  static constexpr std::size_t kMostHeld = 4096;
  rlimit saved_{};
  bool lowered_ = false;
  std::vector<int> held_;
};

}  // namespace RegexComponent::testing
