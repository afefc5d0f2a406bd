// Components, class references and the palette: ownership, Name and Tag,
// the virtual constructor, published-property lists and RegisterComponents.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "RegexComponent/Export.h"
#include "RegexComponent/Framework/Property.h"
#include "RegexComponent/Framework/System.h"
#include "RegexComponent/Framework/TypInfo.h"

namespace RegexComponent {

class TComponent;

// A class reference: the class's name, its parent, its virtual constructor
// and its published properties.
class RC_API TMetaClass {
 public:
  using Factory = TComponent* (*)(TComponent* owner);

  TMetaClass(std::string name, const TMetaClass* parent, Factory factory, TPropList published);

  const std::string& ClassName() const noexcept { return name_; }
  const TMetaClass* ClassParent() const noexcept { return parent_; }
  bool InheritsFrom(const TMetaClass* other) const noexcept;
  // The virtual constructor: an instance of this class with the given owner.
  TComponent* Create(TComponent* owner) const { return factory_(owner); }
  const TPropList& PublishedProperties() const noexcept { return published_; }

 private:
  std::string name_;
  const TMetaClass* parent_;
  Factory factory_;
  TPropList published_;
};

using TComponentClass = const TMetaClass*;

class RC_API EComponentError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A published method of an owner (usually a form): a name that form files
// use to bind an event to the owner's handler.
struct RC_API TPublishedMethod {
  std::string Name;
  TMethod Method;
};

class RC_API TComponent : public TObject {
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;

  static TComponentClass StaticClass();
  virtual TComponentClass ClassType() const { return StaticClass(); }
  std::string ClassName() const { return ClassType()->ClassName(); }

  TComponent* GetOwner() const noexcept { return owner_; }
  int ComponentCount() const noexcept { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const { return components_.at(static_cast<std::size_t>(index)); }
  TComponent* FindComponent(const AnsiString& name) const;
  // Takes over ownership of `component` (removing it from its old owner).
  void InsertComponent(TComponent* component);
  // Gives up ownership of `component`; the caller then owns it.
  void RemoveComponent(TComponent* component);

  AnsiString GetName() const { return name_; }
  // A name is empty or an identifier, unique among the owner's components.
  void SetName(const AnsiString& name);

  // Methods of this object that form files may name as event handlers.
  virtual std::vector<TPublishedMethod> PublishedMethods() const { return {}; }

  Property<TComponent, AnsiString, &TComponent::GetName, &TComponent::SetName> Name{this};
  int Tag = 0;

 protected:
  // Declared published properties of TComponent: Name and Tag.
  static TPropList ComponentProperties();

 private:
  TComponent* owner_ = nullptr;
  std::vector<TComponent*> components_;
  AnsiString name_;
};

// Creates T with an owner, as a TMetaClass factory.
template <class T>
TComponent* CreateComponent(TComponent* owner) {
  return new T(owner);
}

// The designer's palette: classes recorded under page names. Registering a
// class twice on a page records it once.
RC_API void RegisterComponents(const AnsiString& page, const TComponentClass* classes, int highIndex);
RC_API std::vector<TComponentClass> PaletteClasses(const AnsiString& page);
RC_API std::vector<AnsiString> PalettePages();
// Looks a registered class up by name over all pages; null when unknown.
RC_API TComponentClass FindRegisteredClass(std::string_view className);

}  // namespace RegexComponent
