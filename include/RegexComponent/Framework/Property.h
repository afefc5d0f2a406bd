// Property<...>: the C++ face of a framework property. A property member
// reads through its reader and writes through its writer, so
//   re.Expression = "a(b)";          // calls SetExpression
//   AnsiString e = re.Expression;    // calls GetExpression
//   re.ExpressionOptions = re.ExpressionOptions << CaseInsensitive;
// behave as they do in the framework. A reader or writer is either a member
// function or a data member (a "field" access).
#pragma once

#include <functional>
#include <type_traits>
#include <utility>

namespace RegexComponent {

template <class C, class T, auto Reader, auto Writer>
class Property {
 public:
  using ValueType = T;

  explicit Property(C* owner) noexcept : owner_(owner) {}
  Property(const Property&) = delete;

  T Get() const {
    if constexpr (std::is_member_object_pointer_v<decltype(Reader)>) {
      return owner_->*Reader;
    } else {
      return (owner_->*Reader)();
    }
  }
  void Set(const T& value) {
    if constexpr (std::is_member_object_pointer_v<decltype(Writer)>) {
      owner_->*Writer = value;
    } else {
      (owner_->*Writer)(value);
    }
  }

  operator T() const { return Get(); }  // NOLINT: reading the property
  Property& operator=(const T& value) { Set(value); return *this; }
  Property& operator=(const Property& other) { Set(other.Get()); return *this; }

  // Operators on the value, so a property can stand where its value does
  // (`re.ExpressionOptions << Extended` yields a new set, like the framework).
  // They never write through: the result must be assigned back, which goes
  // through the writer once, so a bare `re.ExpressionOptions << X;` (a
  // statement that would change nothing) draws a warning.
  template <class U>
  [[nodiscard]] T operator<<(U&& member) const { T v = Get(); v << std::forward<U>(member); return v; }
  template <class U>
  [[nodiscard]] T operator>>(U&& member) const { T v = Get(); v >> std::forward<U>(member); return v; }
  template <class U>
  bool operator==(const U& other) const { return Get() == other; }
  template <class U>
  bool Contains(const U& member) const { return Get().Contains(member); }

 private:
  C* owner_;
};

}  // namespace RegexComponent
