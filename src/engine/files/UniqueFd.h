// UniqueFd: owns a file descriptor and closes it when it goes out of scope,
// on every exit. A negative descriptor (a failed open) is held as none.
// SharedFd: a descriptor owned by several holders, on any threads, and
// closed when the last lets go.
#pragma once

#include <unistd.h>

#include <atomic>
#include <utility>

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

// Not std::shared_ptr: letting one go makes a virtual call, which the
// undefined-behaviour sanitizer verifies by probing memory through a pipe,
// and a walk lets its directories go exactly when it has run out of
// descriptors.
class SharedFd {
 public:
  SharedFd() = default;
  // Takes `fd` over; none if negative.
  explicit SharedFd(int fd) : block_(fd >= 0 ? new Block{{1}, fd} : nullptr) {}
  SharedFd(const SharedFd& other) noexcept : block_(other.block_) {
    if (block_) block_->holders.fetch_add(1, std::memory_order_relaxed);
  }
  SharedFd(SharedFd&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
  SharedFd& operator=(SharedFd other) noexcept {
    std::swap(block_, other.block_);
    return *this;
  }
  ~SharedFd() { reset(); }

  // Lets go; the last holder closes the descriptor.
  void reset() noexcept {
    Block* block = std::exchange(block_, nullptr);
    if (!block || block->holders.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    ::close(block->fd);
    delete block;
  }
  int get() const { return block_ ? block_->fd : -1; }
  explicit operator bool() const { return block_ != nullptr; }

 private:
  struct Block {
    std::atomic<int> holders;
    int fd;
  };
  Block* block_ = nullptr;
};

}  // namespace RegexComponent::engine
