// Ends the test program when a case outlives its time: a runaway match
// would otherwise hang the suite instead of failing it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace RegexComponent::testing {

// Limits are given for an optimized build; an unoptimized one (the
// AddressSanitizer suite builds Debug) runs the matcher many times slower,
// and an optimized one under a sanitizer (the ThreadSanitizer suite) a few
// times; they get this many times the time.
#if !defined(__OPTIMIZE__)
inline constexpr int kWatchdogSlowdown = 5;
#elif defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
inline constexpr int kWatchdogSlowdown = 3;
#else
inline constexpr int kWatchdogSlowdown = 1;
#endif

class Watchdog {
 public:
  Watchdog(std::string what, std::chrono::seconds limit)
      : what_(std::move(what)), thread_([this, limit] { Watch(limit * kWatchdogSlowdown); }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    woken_.notify_one();
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  void Watch(std::chrono::seconds limit) {
    std::unique_lock lock(mutex_);
    if (woken_.wait_for(lock, limit, [this] { return done_; })) return;
    std::fprintf(stderr, "still running after %lld s: %s\n", static_cast<long long>(limit.count()), what_.c_str());
    std::abort();
  }

  std::string what_;
  std::mutex mutex_;
  std::condition_variable woken_;
  bool done_ = false;
  std::thread thread_;
};

}  // namespace RegexComponent::testing
