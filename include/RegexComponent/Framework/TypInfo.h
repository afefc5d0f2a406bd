// Published-property metadata: what a class shows to the designer and what
// form persistence stores. Each class lists its published properties in
// order; a subclass publishes a chosen subset of what its ancestors declare.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "RegexComponent/Export.h"
#include "RegexComponent/Framework/System.h"

namespace RegexComponent {

enum class TTypeKind { Integer, Boolean, String, Set, Method };

// Names of a set type's members, by ordinal.
struct RC_API TSetTypeInfo {
  std::string TypeName;                  // e.g. "Options"
  std::vector<std::string> MemberNames;  // index = ordinal
};

// A set value travels as its bit pattern (member n in bit n).
struct RC_API TSetValue {
  std::uint64_t Bits = 0;
  friend bool operator==(const TSetValue&, const TSetValue&) = default;
};

using TPropertyValue = std::variant<std::int64_t, bool, AnsiString, TSetValue, TMethod>;

struct RC_API TPropInfo {
  std::string Name;
  TTypeKind Kind = TTypeKind::Integer;
  std::string TypeName;                     // "AnsiString", "bool", "int", a set or closure type name
  const TSetTypeInfo* SetType = nullptr;    // sets only
  const std::type_info* MethodType = nullptr;  // events only: the closure type
  std::string ReaderName;                   // the field or method that reads it
  std::string WriterName;                   // the field or method that writes it
  TPropertyValue Default;                   // the declared default
  bool Stored = true;
  std::function<TPropertyValue(const TObject&)> Read;
  std::function<void(TObject&, const TPropertyValue&)> Write;
  // The loading writer: stores a value read from a form file exactly as it
  // was saved. A writer whose result depends on the value already stored
  // (a set whose members follow mode rules) cannot restore every saved
  // value, so such a property supplies this; when empty, Write is used.
  std::function<void(TObject&, const TPropertyValue&)> Load;
};

using TPropList = std::vector<TPropInfo>;

// Conversions between a property's C++ type and TPropertyValue.
template <class T, class Enable = void>
struct TPropertyTraits;

template <>
struct TPropertyTraits<int> {
  static constexpr TTypeKind Kind = TTypeKind::Integer;
  static const char* TypeName() { return "int"; }
  static TPropertyValue ToValue(int v) { return std::int64_t{v}; }
  static int FromValue(const TPropertyValue& v) { return static_cast<int>(std::get<std::int64_t>(v)); }
};

template <>
struct TPropertyTraits<bool> {
  static constexpr TTypeKind Kind = TTypeKind::Boolean;
  static const char* TypeName() { return "bool"; }
  static TPropertyValue ToValue(bool v) { return v; }
  static bool FromValue(const TPropertyValue& v) { return std::get<bool>(v); }
};

template <>
struct TPropertyTraits<AnsiString> {
  static constexpr TTypeKind Kind = TTypeKind::String;
  static const char* TypeName() { return "AnsiString"; }
  static TPropertyValue ToValue(const AnsiString& v) { return v; }
  static AnsiString FromValue(const TPropertyValue& v) { return std::get<AnsiString>(v); }
};

// A set type describes its members by specialising TSetTypeInfoOf<Enum>.
template <class Enum>
const TSetTypeInfo& TSetTypeInfoOf();

template <class Enum, Enum First, Enum Last>
struct TPropertyTraits<Set<Enum, First, Last>> {
  using SetType = Set<Enum, First, Last>;
  static constexpr TTypeKind Kind = TTypeKind::Set;
  static const char* TypeName() { return TSetTypeInfoOf<Enum>().TypeName.c_str(); }
  static TPropertyValue ToValue(SetType v) { return TSetValue{v.ToBits()}; }
  static SetType FromValue(const TPropertyValue& v) { return SetType::FromBits(std::get<TSetValue>(v).Bits); }
};

template <class R, class... Args>
struct TPropertyTraits<Closure<R(Args...)>> {
  using ClosureType = Closure<R(Args...)>;
  static constexpr TTypeKind Kind = TTypeKind::Method;
  static TPropertyValue ToValue(const ClosureType& v) { return v.Method(); }
  static ClosureType FromValue(const TPropertyValue& v) { return ClosureType::FromMethod(std::get<TMethod>(v)); }
};

// Builds the metadata of one property of class C with value type T from a
// reader and a writer. `typeName` names the type as the class declares it.
template <class C, class T>
TPropInfo MakePropInfo(std::string name, std::string typeName, std::string readerName, std::string writerName,
                       std::function<T(const C&)> read, std::function<void(C&, const T&)> write,
                       TPropertyValue declaredDefault) {
  using Traits = TPropertyTraits<T>;
  TPropInfo info;
  info.Name = std::move(name);
  info.Kind = Traits::Kind;
  info.TypeName = std::move(typeName);
  if constexpr (Traits::Kind == TTypeKind::Set) info.SetType = &TSetTypeInfoOf<typename T::Member>();
  if constexpr (Traits::Kind == TTypeKind::Method) info.MethodType = &typeid(T);
  info.ReaderName = std::move(readerName);
  info.WriterName = std::move(writerName);
  info.Default = std::move(declaredDefault);
  info.Read = [read](const TObject& o) { return Traits::ToValue(read(static_cast<const C&>(o))); };
  info.Write = [write](TObject& o, const TPropertyValue& v) { write(static_cast<C&>(o), Traits::FromValue(v)); };
  return info;
}

// Gives a property of class C with value type T its loading writer.
template <class C, class T>
void SetLoadWriter(TPropInfo& info, std::function<void(C&, const T&)> load) {
  info.Load = [load](TObject& o, const TPropertyValue& v) {
    load(static_cast<C&>(o), TPropertyTraits<T>::FromValue(v));
  };
}

// Picks the named properties, in the order given, from a list of declared
// ones; used by a subclass to publish a subset. Throws std::logic_error for a
// name that is not declared.
RC_API TPropList SelectProperties(const TPropList& declared, const std::vector<std::string>& names);

// Finds a property by name; null when the list has none of that name.
RC_API const TPropInfo* FindPropInfo(const TPropList& list, std::string_view name);

}  // namespace RegexComponent
