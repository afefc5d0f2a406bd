// TaskError: an exception thrown while a pipeline task ran, carried from
// the thread that ran it to the calling thread, which raises it in the
// task's turn.
//
// External interface: TaskError.
//
// Contract: the running thread catches into the slot's TaskError; the
// calling thread reads it only once the task is marked done under the
// pipeline's mutex (or ran on the calling thread itself), which orders the
// two without any synchronization here. A task's run ends at the exception
// it throws, so there is one at most to keep.
#pragma once

#include <exception>
#include <utility>

namespace RegexComponent::engine {

class TaskError {
 public:
  // Runs `action`, keeping what it throws instead of letting it through.
  template <class Action>
  void Catch(Action&& action) {
    try {
      std::forward<Action>(action)();
    } catch (...) {
      error_ = std::current_exception();
    }
  }
  explicit operator bool() const { return static_cast<bool>(error_); }
  // What was caught, left empty here.
  std::exception_ptr Take() { return std::exchange(error_, nullptr); }
  void Clear() { error_ = nullptr; }

 private:
  std::exception_ptr error_;
};

}  // namespace RegexComponent::engine
