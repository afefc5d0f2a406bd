// Strings, sets, closures and the root object: the small runtime the
// components are written against.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <utility>

#include "RegexComponent/Export.h"

namespace RegexComponent {

// ---------------------------------------------------------------------------
// AnsiString: a reference-counted byte string. Copies share one buffer until
// one of them is changed, so passing strings by value (as property accessors
// do) costs no copy of the text. The text may hold NUL bytes; c_str() always
// returns a NUL-terminated view of the whole buffer.
class RC_API AnsiString {
 public:
  AnsiString() = default;
  AnsiString(const char* text);  // NOLINT: implicit, reads up to the first NUL
  AnsiString(const char* data, std::size_t length);
  AnsiString(std::string_view text);  // NOLINT: keeps every byte, NULs included
  AnsiString(const std::string& text);  // NOLINT

  const char* c_str() const noexcept;
  const char* data() const noexcept { return c_str(); }
  std::size_t Length() const noexcept { return text_ ? text_->size() : 0; }
  bool IsEmpty() const noexcept { return Length() == 0; }
  std::string_view View() const noexcept { return {c_str(), Length()}; }
  std::string ToStdString() const { return std::string(View()); }

  // 1-based indexing, as in the framework's string type.
  char operator[](std::size_t index) const { return View().at(index - 1); }

  AnsiString& operator+=(const AnsiString& other);
  friend AnsiString operator+(AnsiString left, const AnsiString& right) { return left += right; }
  friend bool operator==(const AnsiString& a, const AnsiString& b) noexcept { return a.View() == b.View(); }
  friend bool operator==(const AnsiString& a, const char* b) noexcept { return a.View() == std::string_view(b ? b : ""); }
  friend auto operator<=>(const AnsiString& a, const AnsiString& b) noexcept { return a.View() <=> b.View(); }

  // Number of AnsiString objects sharing this buffer (0 for an empty string).
  long RefCount() const noexcept { return text_.use_count(); }

 private:
  std::shared_ptr<const std::string> text_;
};

RC_API std::ostream& operator<<(std::ostream& out, const AnsiString& text);

// ---------------------------------------------------------------------------
// Set<Enum, first, last>: a set of enumeration members, member n in bit n.
// The storage is the smallest unsigned integer that holds bit `last`, so a
// set over ordinals 0..15 (or 0..11) is exactly 16 bits wide.
namespace detail {
template <int Bits>
using SetStorage = std::conditional_t<
    (Bits <= 8), std::uint8_t,
    std::conditional_t<(Bits <= 16), std::uint16_t,
                       std::conditional_t<(Bits <= 32), std::uint32_t, std::uint64_t>>>;
}  // namespace detail

template <class Enum, Enum First, Enum Last>
class Set {
  static_assert(static_cast<int>(First) >= 0 && static_cast<int>(Last) < 64);

 public:
  using Storage = detail::SetStorage<static_cast<int>(Last) + 1>;
  using Member = Enum;
  static constexpr int FirstOrdinal = static_cast<int>(First);
  static constexpr int LastOrdinal = static_cast<int>(Last);

  constexpr Set() = default;
  constexpr Set(std::initializer_list<Enum> members) {
    for (Enum m : members) *this << m;
  }

  // Builds a set from its bit pattern; bits outside First..Last are dropped.
  static constexpr Set FromBits(std::uint64_t bits) {
    Set s;
    s.bits_ = static_cast<Storage>(bits & ValidMask());
    return s;
  }
  constexpr Storage ToBits() const noexcept { return bits_; }

  constexpr Set& operator<<(Enum m) noexcept { bits_ |= Bit(m); return *this; }
  constexpr Set& operator>>(Enum m) noexcept { bits_ &= static_cast<Storage>(~Bit(m)); return *this; }
  constexpr bool Contains(Enum m) const noexcept { return (bits_ & Bit(m)) != 0; }
  constexpr bool Empty() const noexcept { return bits_ == 0; }
  constexpr Set& Clear() noexcept { bits_ = 0; return *this; }

  friend constexpr bool operator==(Set a, Set b) noexcept { return a.bits_ == b.bits_; }
  friend constexpr Set operator+(Set a, Set b) noexcept { return FromBits(a.bits_ | b.bits_); }
  friend constexpr Set operator-(Set a, Set b) noexcept { return FromBits(a.bits_ & ~b.bits_); }
  friend constexpr Set operator*(Set a, Set b) noexcept { return FromBits(a.bits_ & b.bits_); }
  constexpr Set& operator+=(Set b) noexcept { return *this = *this + b; }
  constexpr Set& operator-=(Set b) noexcept { return *this = *this - b; }
  constexpr Set& operator*=(Set b) noexcept { return *this = *this * b; }

 private:
  static constexpr Storage Bit(Enum m) noexcept {
    const int n = static_cast<int>(m);
    return (n >= FirstOrdinal && n <= LastOrdinal) ? static_cast<Storage>(Storage{1} << n) : Storage{0};
  }
  static constexpr std::uint64_t ValidMask() noexcept {
    std::uint64_t mask = 0;
    for (int n = FirstOrdinal; n <= LastOrdinal; ++n) mask |= std::uint64_t{1} << n;
    return mask;
  }

  Storage bits_ = 0;
};

// ---------------------------------------------------------------------------
// TMethod: a closure with its signature erased, as the property metadata and
// form persistence handle events. Two TMethods are equal when they bind the
// same member function to the same object, or hold the same callable.
struct RC_API TMethod {
  static constexpr std::size_t kCodeSize = 2 * sizeof(void*);
  void* Data = nullptr;                      // the bound object, or the owned callable
  void (*Thunk)() = nullptr;                 // calls Code on Data; null when empty
  alignas(void*) unsigned char Code[kCodeSize] = {};  // the member-function pointer
  const std::type_info* Signature = nullptr; // the closure type it came from
  // A lambda or plain function the closure owns; every copy shares it, so the
  // callable lives as long as any event still holds it. Empty for a
  // member-function binding.
  std::shared_ptr<void> Owned;

  bool IsAssigned() const noexcept { return Thunk != nullptr; }
  // True for an (object, member function) pair: the only kind a form names.
  bool IsMemberBinding() const noexcept { return IsAssigned() && !Owned; }
  friend bool operator==(const TMethod& a, const TMethod& b) noexcept {
    return a.Data == b.Data && a.Thunk == b.Thunk && std::memcmp(a.Code, b.Code, kCodeSize) == 0;
  }
};

// Closure<R(Args...)>: an (object, member function) pair or an owned
// callable, empty or assigned. Bind a method with Bind(object, &Class::Method),
// or assign a lambda or plain function of the same signature; call it like a
// function.
template <class Signature>
class Closure;

template <class R, class... Args>
class Closure<R(Args...)> {
  using Invoker = R (*)(void* object, const unsigned char* code, Args... args);

 public:
  Closure() noexcept = default;
  Closure(std::nullptr_t) noexcept {}  // NOLINT: `OnX = nullptr` empties an event

  template <class C>
  Closure(C* object, R (C::*method)(Args...)) noexcept { Assign(object, method); }
  template <class C>
  Closure(const C* object, R (C::*method)(Args...) const) noexcept { Assign(const_cast<C*>(object), method); }

  // Any other callable of this signature (a lambda, a function object, a
  // plain function); the closure keeps a shared copy of it. A null function
  // pointer gives an empty closure.
  template <class F, class Fn = std::decay_t<F>,
            class = std::enable_if_t<!std::is_same_v<Fn, Closure> && !std::is_same_v<Fn, std::nullptr_t> &&
                                     std::is_invocable_r_v<R, Fn&, Args...>>>
  Closure(F&& callable) {  // NOLINT: implicit, so `OnX = [&](...) {...};` reads naturally
    if constexpr (std::is_pointer_v<Fn>) {
      if (!callable) return;
    }
    auto owned = std::make_shared<Fn>(std::forward<F>(callable));
    method_.Data = owned.get();
    method_.Owned = std::move(owned);
    method_.Signature = &typeid(Closure);
    Invoker invoke = [](void* obj, const unsigned char*, Args... args) -> R {
      return (*static_cast<Fn*>(obj))(std::forward<Args>(args)...);
    };
    method_.Thunk = reinterpret_cast<void (*)()>(invoke);
  }

  bool IsAssigned() const noexcept { return method_.Thunk != nullptr; }
  explicit operator bool() const noexcept { return IsAssigned(); }
  void* Object() const noexcept { return method_.Data; }

  R operator()(Args... args) const {
    auto invoke = reinterpret_cast<Invoker>(method_.Thunk);
    return invoke(method_.Data, method_.Code, std::forward<Args>(args)...);
  }

  const TMethod& Method() const noexcept { return method_; }
  // Rebuilds a closure from erased form; an empty TMethod or one of another
  // signature gives an empty closure (IsAssigned() false).
  static Closure FromMethod(const TMethod& m) noexcept {
    Closure c;
    if (m.IsAssigned() && m.Signature && *m.Signature == typeid(Closure)) c.method_ = m;
    return c;
  }

  friend bool operator==(const Closure& a, const Closure& b) noexcept { return a.method_ == b.method_; }

 private:
  template <class C, class M>
  void Assign(C* object, M method) noexcept {
    static_assert(sizeof(M) <= TMethod::kCodeSize, "member-function pointer too wide");
    if (!object || !method) return;
    method_.Data = object;
    std::memcpy(method_.Code, &method, sizeof(M));
    method_.Signature = &typeid(Closure);
    Invoker invoke = [](void* obj, const unsigned char* code, Args... args) -> R {
      M m;
      std::memcpy(&m, code, sizeof(M));
      return (static_cast<C*>(obj)->*m)(std::forward<Args>(args)...);
    };
    method_.Thunk = reinterpret_cast<void (*)()>(invoke);
  }

  TMethod method_;
};

// Bind(object, &Class::Method) makes the closure whose signature is the
// method's own, so `component.OnSearching = Bind(this, &Form::Found);` reads
// as it does in application code of the framework.
template <class C, class R, class... Args>
Closure<R(Args...)> Bind(C* object, R (C::*method)(Args...)) noexcept { return {object, method}; }
template <class C, class R, class... Args>
Closure<R(Args...)> Bind(const C* object, R (C::*method)(Args...) const) noexcept { return {object, method}; }

// ---------------------------------------------------------------------------
// TObject: the root of every framework class.
class RC_API TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
};

}  // namespace RegexComponent
