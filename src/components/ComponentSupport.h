// Helpers shared by the units of RegularExpressionCustom.
// Interface: ScopedValue (sets a variable for a scope).
#pragma once

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

}  // namespace RegexComponent::detail
