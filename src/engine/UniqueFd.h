// UniqueFd: owns a file descriptor and closes it when it goes out of scope,
// on every exit. A negative descriptor (a failed open) is held as none.
#pragma once

#include <unistd.h>

namespace RegexComponent::engine {

class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0) ::close(fd_);
      fd_ = other.release();
    }
    return *this;
  }
  int get() const { return fd_; }
  // Gives up the descriptor without closing it; the caller owns it now.
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_;
};

}  // namespace RegexComponent::engine
