#include "FormBuilder.h"

#include <optional>
#include <utility>
#include <vector>

#include "RegexComponent/Framework/QuotedInput.h"

namespace RegexComponent::form {

namespace {

// A component as a reading error names it: its name may come from the text.
std::string Label(const TComponent& c) { return CutQuotedInput(ComponentLabel(c)); }

// The writer a read sets a property through.
const std::function<void(TObject&, const TPropertyValue&)>& LoadingWriter(const TPropInfo& p) {
  return p.Load ? p.Load : p.Write;
}

class Builder {
 public:
  // Events bind to `methodRoot`'s published methods; null means the first
  // component this builder creates.
  explicit Builder(const TComponent* methodRoot, const TFormReadOptions& options = {})
      : methodRoot_(methodRoot), options_(options) {}

  // Creates the component of `node` owned by `owner`, with its properties
  // and owned components. On failure it is destroyed before the error leaves.
  std::unique_ptr<TComponent> Create(const ObjectNode& node, TComponent* owner) {
    std::unique_ptr<TComponent> c(node.Class->Create(owner));
    if (!methodRoot_) methodRoot_ = c.get();
    SetName(*c, node);
    Fill(*c, node);
    return c;
  }

  // The owner's other components keep their names: a clash is a reading
  // error at the name.
  static void SetName(TComponent& c, const ObjectNode& node) {
    const TComponent* owner = c.GetOwner();
    const TComponent* holder = owner ? owner->FindComponent(AnsiString(node.Name)) : nullptr;
    if (holder && holder != &c)
      Fail(node.NamePos, "duplicate component name " + CutQuotedInput(node.Name) + ": " + Label(*owner) +
                             " already owns a component of that name");
    try {
      c.SetName(AnsiString(node.Name));
    } catch (const std::exception& e) {
      Fail(node.NamePos, e.what());
    }
  }

  // Properties, then the owned components (each kept by its owner).
  void Fill(TComponent& c, const ObjectNode& node) {
    for (const Assignment& a : node.Properties) Assign(c, a);
    for (const ObjectNode& child : node.Children) Create(child, &c).release();
  }

  void Assign(TComponent& c, const Assignment& a) {
    const TPropertyValue value = a.Info->Kind == TTypeKind::Method ? TPropertyValue(Bind(c, a)) : a.Value;
    try {
      LoadingWriter(*a.Info)(c, value);
    } catch (const std::exception& e) {
      Fail(a.Pos, "cannot set " + a.Info->Name + ": " + e.what());
    }
  }

 private:
  TMethod Bind(const TComponent& c, const Assignment& a) {
    if (a.Method.empty()) return {};
    if (options_.SkipEvents) {
      if (options_.SkippedEvents)
        options_.SkippedEvents->push_back(c.GetName().ToStdString() + "." + a.Info->Name + " = " + a.Method);
      return {};
    }
    if (!methods_) methods_ = methodRoot_->PublishedMethods();
    for (const TPublishedMethod& m : *methods_) {
      if (m.Name != a.Method) continue;
      const std::type_info* type = a.Info->MethodType;
      if (!m.Method.Signature || !type || *m.Method.Signature != *type)
        Fail(a.ValuePos, "method " + a.Method + " of " + Label(*methodRoot_) + " has the wrong type for " +
                             a.Info->Name + ": expected a " + a.Info->TypeName + " handler");
      return m.Method;
    }
    Fail(a.ValuePos, "unknown method " + CutQuotedInput(a.Method) + ": " + Label(*methodRoot_) +
                         " has no published method of that name");
  }

  const TComponent* methodRoot_;
  TFormReadOptions options_;
  std::optional<std::vector<TPublishedMethod>> methods_;
};

// The values a load is about to change on an existing root, to put back if
// the load fails.
class RootSnapshot {
 public:
  RootSnapshot(TComponent& root, const ObjectNode& node) : root_(root), name_(root.GetName()) {
    for (const Assignment& a : node.Properties) values_.emplace_back(a.Info, a.Info->Read(root));
  }

  void Restore() noexcept {
    for (auto it = values_.rbegin(); it != values_.rend(); ++it) {
      try {
        LoadingWriter(*it->first)(root_, it->second);
      } catch (...) {  // the load's own error is the one to report
      }
    }
    try {
      root_.SetName(name_);
    } catch (...) {
    }
  }

 private:
  TComponent& root_;
  AnsiString name_;
  std::vector<std::pair<const TPropInfo*, TPropertyValue>> values_;
};

}  // namespace

std::unique_ptr<TComponent> BuildComponent(const ObjectNode& node, TComponent* owner,
                                           const TFormReadOptions& options) {
  return Builder(owner, options).Create(node, owner);
}

void FillRoot(TComponent& root, const ObjectNode& node) {
  RootSnapshot snapshot(root, node);
  std::vector<std::unique_ptr<TComponent>> created;
  try {
    Builder builder(&root);
    builder.SetName(root, node);
    for (const Assignment& a : node.Properties) builder.Assign(root, a);
    for (const ObjectNode& child : node.Children) created.push_back(builder.Create(child, &root));
  } catch (...) {
    while (!created.empty()) created.pop_back();  // newest first, as the owner would
    snapshot.Restore();
    throw;
  }
  for (auto& c : created) c.release();  // now kept by root
}

}  // namespace RegexComponent::form
