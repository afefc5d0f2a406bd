// Synchronisation objects.
#pragma once

#include <mutex>

#include "RegexComponent/Export.h"
#include "RegexComponent/Framework/System.h"

namespace RegexComponent {

// A critical section: mutual exclusion between threads, re-entrant for the
// thread that holds it, Enter waits without limit. Every Enter is paired
// with one Leave by the same thread.
class RC_API TCriticalSection : public TObject {
 public:
  void Enter() { mutex_.lock(); }
  void Leave() { mutex_.unlock(); }
  void Acquire() { Enter(); }
  void Release() { Leave(); }
  bool TryEnter() { return mutex_.try_lock(); }

 private:
  std::recursive_mutex mutex_;
};

// Holds a critical section for the lifetime of the guard, so every exit
// path, exceptions included, leaves it.
class RC_API TCriticalSectionGuard {
 public:
  explicit TCriticalSectionGuard(TCriticalSection& section) : section_(section) { section_.Enter(); }
  ~TCriticalSectionGuard() { section_.Leave(); }
  TCriticalSectionGuard(const TCriticalSectionGuard&) = delete;
  TCriticalSectionGuard& operator=(const TCriticalSectionGuard&) = delete;

 private:
  TCriticalSection& section_;
};

}  // namespace RegexComponent
