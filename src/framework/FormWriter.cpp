#include "FormWriter.h"

#include <map>
#include <memory>
#include <vector>

#include "FormSyntax.h"

namespace RegexComponent::form {

namespace {

bool IsControlByte(unsigned char b) { return b < 32 || b == 127; }

// "nil" is the reader's word for no handler, so it cannot name one.
bool IsMethodName(std::string_view name) {
  if (name.empty() || !IsIdentStart(name[0]) || SameKeyword(name, "nil")) return false;
  for (const char c : name) {
    if (!IsIdentChar(c)) return false;
  }
  return true;
}

// Printable runs go in quotes (a quote doubled), control bytes as #nn
// between them; bytes of 128 and above stay inside the quotes as they are.
std::string QuoteString(std::string_view text) {
  if (text.empty()) return "''";
  std::string out;
  bool quoted = false;
  for (const char ch : text) {
    const auto b = static_cast<unsigned char>(ch);
    if (IsControlByte(b) == quoted) {
      out += '\'';
      quoted = !quoted;
    }
    if (IsControlByte(b)) {
      out += '#' + std::to_string(b);
    } else {
      out += ch;
      if (ch == '\'') out += '\'';
    }
  }
  if (quoted) out += '\'';
  return out;
}

std::string SetText(const TSetTypeInfo& type, std::uint64_t bits) {
  std::string out = "[";
  for (std::size_t n = 0; n < type.MemberNames.size() && n < kMaxSetMembers; ++n) {
    if (!(bits & (std::uint64_t{1} << n))) continue;
    if (out.size() > 1) out += ", ";
    out += type.MemberNames[n];
  }
  return out + "]";
}

class FormWriter {
 public:
  explicit FormWriter(const TComponent& methodRoot) : methodRoot_(methodRoot), methods_(methodRoot.PublishedMethods()) {}

  std::string Write(const TComponent& component) {
    WriteObject(component, 0);
    return std::move(out_);
  }

 private:
  void WriteObject(const TComponent& c, int depth) {
    if (depth >= kMaxFormNesting)
      throw EFormError(0, 0, "cannot save " + ComponentLabel(c) + ": components are nested deeper than " +
                                 std::to_string(kMaxFormNesting) + " levels");
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    const AnsiString name = c.GetName();
    out_ += indent + "object " + (name.IsEmpty() ? "" : name.ToStdString() + ": ") + c.ClassName() + "\n";
    const TComponent& fresh = Fresh(c.ClassType());
    for (const TPropInfo& p : c.ClassType()->PublishedProperties()) {
      if (p.Name == "Name" || !p.Stored) continue;
      const TPropertyValue value = p.Read(c);
      if (value == p.Read(fresh)) continue;
      // A lambda or plain function has no name a form could give it.
      if (p.Kind == TTypeKind::Method && !std::get<TMethod>(value).IsMemberBinding()) continue;
      out_ += indent + "  " + p.Name + " = " + ValueText(c, p, value) + "\n";
    }
    for (int i = 0; i < c.ComponentCount(); ++i) WriteObject(*c.Components(i), depth + 1);
    out_ += indent + "end\n";
  }

  std::string ValueText(const TComponent& c, const TPropInfo& p, const TPropertyValue& value) const {
    switch (p.Kind) {
      case TTypeKind::Integer: return std::to_string(std::get<std::int64_t>(value));
      case TTypeKind::Boolean: return std::get<bool>(value) ? "True" : "False";
      case TTypeKind::String: return StringText(c, p, std::get<AnsiString>(value).View());
      case TTypeKind::Set: return SetText(*p.SetType, std::get<TSetValue>(value).Bits);
      case TTypeKind::Method: return MethodName(c, p, std::get<TMethod>(value));
    }
    return {};
  }

  // A file could not hold what the reader refuses, so neither is written.
  static std::string StringText(const TComponent& c, const TPropInfo& p, std::string_view text) {
    if (text.find('\0') != std::string_view::npos)
      throw EFormError(0, 0, "cannot save " + p.Name + " of " + ComponentLabel(c) + ": the string holds a NUL byte");
    return QuoteString(text);
  }

  std::string MethodName(const TComponent& c, const TPropInfo& p, const TMethod& method) const {
    if (!method.IsAssigned()) return "nil";
    for (const TPublishedMethod& m : methods_) {
      if (!(m.Method == method)) continue;
      if (!IsMethodName(m.Name))
        throw EFormError(0, 0, "cannot save " + p.Name + " of " + ComponentLabel(c) + ": its handler's name '" +
                                   m.Name + "' is not an identifier");
      return m.Name;
    }
    throw EFormError(0, 0, "cannot save " + p.Name + " of " + ComponentLabel(c) +
                               ": its handler is not a published method of " + ComponentLabel(methodRoot_));
  }

  // A newly constructed instance per class: what a reader starts from.
  const TComponent& Fresh(TComponentClass cls) {
    auto& slot = fresh_[cls];
    if (!slot) slot.reset(cls->Create(nullptr));
    return *slot;
  }

  const TComponent& methodRoot_;
  std::vector<TPublishedMethod> methods_;
  std::map<TComponentClass, std::unique_ptr<TComponent>> fresh_;
  std::string out_;
};

}  // namespace

std::string WriteForm(const TComponent& component, const TComponent& methodRoot) {
  return FormWriter(methodRoot).Write(component);
}

}  // namespace RegexComponent::form
