#include "RegexComponent/Framework/Classes.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>

namespace RegexComponent {

TMetaClass::TMetaClass(std::string name, const TMetaClass* parent, Factory factory, TPropList published)
    : name_(std::move(name)), parent_(parent), factory_(factory), published_(std::move(published)) {}

bool TMetaClass::InheritsFrom(const TMetaClass* other) const noexcept {
  for (const TMetaClass* c = this; c; c = c->parent_) {
    if (c == other) return true;
  }
  return false;
}

// ---------------------------------------------------------------------------

TComponent::TComponent(TComponent* owner) {
  if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  // Owned components go first, last-created first, each detaching itself.
  while (!components_.empty()) {
    TComponent* child = components_.back();
    components_.pop_back();
    child->owner_ = nullptr;
    delete child;
  }
  if (owner_) owner_->RemoveComponent(this);
}

TComponentClass TComponent::StaticClass() {
  static const TMetaClass meta("TComponent", nullptr, &CreateComponent<TComponent>, ComponentProperties());
  return &meta;
}

TPropList TComponent::ComponentProperties() {
  TPropList list;
  list.push_back(MakePropInfo<TComponent, AnsiString>(
      "Name", "AnsiString", "GetName", "SetName", [](const TComponent& c) { return c.GetName(); },
      [](TComponent& c, const AnsiString& v) { c.SetName(v); }, AnsiString()));
  list.push_back(MakePropInfo<TComponent, int>(
      "Tag", "int", "Tag", "Tag", [](const TComponent& c) { return c.Tag; },
      [](TComponent& c, const int& v) { c.Tag = v; }, std::int64_t{0}));
  return list;
}

TComponent* TComponent::FindComponent(const AnsiString& name) const {
  if (name.IsEmpty()) return nullptr;
  for (TComponent* c : components_) {
    if (c->name_ == name) return c;
  }
  return nullptr;
}

void TComponent::InsertComponent(TComponent* component) {
  if (!component || component == this) return;
  if (component->owner_) component->owner_->RemoveComponent(component);
  if (!component->name_.IsEmpty() && FindComponent(component->name_))
    throw EComponentError("A component named " + component->name_.ToStdString() + " already exists");
  components_.push_back(component);
  component->owner_ = this;
}

void TComponent::RemoveComponent(TComponent* component) {
  auto it = std::find(components_.begin(), components_.end(), component);
  if (it == components_.end()) return;
  components_.erase(it);
  component->owner_ = nullptr;
}

namespace {
bool IsIdentifier(std::string_view s) {
  if (s.empty()) return false;
  auto word = [](unsigned char ch) { return std::isalnum(ch) || ch == '_'; };
  if (std::isdigit(static_cast<unsigned char>(s[0]))) return false;
  return std::all_of(s.begin(), s.end(), [&](char ch) { return word(static_cast<unsigned char>(ch)); });
}
}  // namespace

void TComponent::SetName(const AnsiString& name) {
  if (name == name_) return;
  if (!name.IsEmpty() && !IsIdentifier(name.View()))
    throw EComponentError("\"" + name.ToStdString() + "\" is not a valid component name");
  if (owner_ && owner_->FindComponent(name))
    throw EComponentError("A component named " + name.ToStdString() + " already exists");
  name_ = name;
}

// ---------------------------------------------------------------------------

namespace {
struct Palette {
  std::mutex mutex;
  std::vector<std::pair<AnsiString, std::vector<TComponentClass>>> pages;  // in registration order
};
Palette& ThePalette() {
  static Palette palette;
  return palette;
}
}  // namespace

void RegisterComponents(const AnsiString& page, const TComponentClass* classes, int highIndex) {
  Palette& palette = ThePalette();
  std::lock_guard lock(palette.mutex);
  auto it = std::find_if(palette.pages.begin(), palette.pages.end(), [&](auto& p) { return p.first == page; });
  if (it == palette.pages.end()) it = palette.pages.insert(palette.pages.end(), {page, {}});
  for (int i = 0; i <= highIndex; ++i) {
    TComponentClass cls = classes[i];
    if (cls && std::find(it->second.begin(), it->second.end(), cls) == it->second.end()) it->second.push_back(cls);
  }
}

std::vector<TComponentClass> PaletteClasses(const AnsiString& page) {
  Palette& palette = ThePalette();
  std::lock_guard lock(palette.mutex);
  for (auto& [name, classes] : palette.pages) {
    if (name == page) return classes;
  }
  return {};
}

std::vector<AnsiString> PalettePages() {
  Palette& palette = ThePalette();
  std::lock_guard lock(palette.mutex);
  std::vector<AnsiString> names;
  for (auto& p : palette.pages) names.push_back(p.first);
  return names;
}

TComponentClass FindRegisteredClass(std::string_view className) {
  Palette& palette = ThePalette();
  std::lock_guard lock(palette.mutex);
  for (auto& p : palette.pages) {
    for (TComponentClass c : p.second) {
      if (c->ClassName() == className) return c;
    }
  }
  return nullptr;
}

// ---------------------------------------------------------------------------

TPropList SelectProperties(const TPropList& declared, const std::vector<std::string>& names) {
  TPropList selected;
  for (const std::string& name : names) {
    const TPropInfo* info = FindPropInfo(declared, name);
    if (!info) throw std::logic_error("property " + name + " is not declared");
    selected.push_back(*info);
  }
  return selected;
}

const TPropInfo* FindPropInfo(const TPropList& list, std::string_view name) {
  for (const TPropInfo& p : list) {
    if (p.Name == name) return &p;
  }
  return nullptr;
}

}  // namespace RegexComponent
