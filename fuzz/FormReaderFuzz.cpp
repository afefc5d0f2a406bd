// libFuzzer target for the form reader.
//
// The input is a form text, read twice: as a single component (a registered
// class) owned by a form, and into the form itself. Besides crashes and
// sanitizer reports the target checks that
// - a read fails only with EFormError, and with a line and column;
// - a failed read leaves the form as it was: its Tag, its name and its one
//   component;
// - what a successful read built writes out to a text that reads back and
//   writes out the same again (the writer and reader agree).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "RegexComponent/Framework/FormStreaming.h"
#include "RegexComponent/RegularExpression.h"
#include "RegexComponent/RegularExpressionInterface.h"

namespace {

using namespace RegexComponent;

class TFuzzForm : public TComponent {
 public:
  explicit TFuzzForm(TComponent* owner) : TComponent(owner) {}
  static TComponentClass StaticClass() {
    static const TMetaClass meta("TFuzzForm", TComponent::StaticClass(), &CreateComponent<TFuzzForm>,
                                 TComponent::StaticClass()->PublishedProperties());
    return &meta;
  }
  TComponentClass ClassType() const override { return StaticClass(); }
  std::vector<TPublishedMethod> PublishedMethods() const override {
    auto* self = const_cast<TFuzzForm*>(this);
    return {{"Found", Bind(self, &TFuzzForm::Found).Method()}, {"Stop", Bind(self, &TFuzzForm::Stop).Method()}};
  }
  void Found(TObject*, const CPPStringArray&, unsigned, unsigned) {}
  void Stop(TObject*, AnsiString, bool&) {}
};

[[noreturn]] void Violation(const char* what, const std::string& detail) {
  std::fprintf(stderr, "form reader fuzz: %s\n%s\n", what, detail.c_str());
  std::abort();
}

void CheckPositioned(const EFormError& e) {
  if (e.Line() < 1 || e.Column() < 1) Violation("reading error without a position", e.what());
}

// The form each input starts from: a Tag and one component of its own.
std::unique_ptr<TFuzzForm> NewForm() {
  auto form = std::make_unique<TFuzzForm>(nullptr);
  form->Tag = 11;
  (new RegularExpression(form.get()))->Name = "Existing";
  return form;
}

void CheckUnchanged(const TFuzzForm& form) {
  if (form.Tag != 11 || !form.GetName().IsEmpty() || form.ComponentCount() != 1 ||
      form.Components(0)->GetName() != AnsiString("Existing") || form.Components(0)->ComponentCount() != 0)
    Violation("a failed read changed the form", WriteComponentToText(form));
}

void ReadAsComponent(std::string_view text) {
  auto form = NewForm();
  TComponent* made = nullptr;
  try {
    made = ReadComponent(text, form.get());
  } catch (const EFormError& e) {
    CheckPositioned(e);
    CheckUnchanged(*form);
    return;
  }
  const std::string first = WriteComponent(*made);
  auto other = NewForm();
  TComponent* again = ReadComponent(first, other.get());
  if (WriteComponent(*again) != first) Violation("component text changed on a second round trip", first);
}

void ReadIntoForm(std::string_view text) {
  auto form = NewForm();
  try {
    ReadComponentFromText(text, *form);
  } catch (const EFormError& e) {
    CheckPositioned(e);
    CheckUnchanged(*form);
    return;
  }
  const std::string first = WriteComponentToText(*form);
  TFuzzForm other(nullptr);
  ReadComponentFromText(first, other);
  if (WriteComponentToText(other) != first) Violation("form text changed on a second round trip", first);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool registered = [] {
    Regularexpression::Register();
    Regularexpressioninterface::Register();
    return true;
  }();
  (void)registered;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ReadAsComponent(text);
  ReadIntoForm(text);
  return 0;
}
