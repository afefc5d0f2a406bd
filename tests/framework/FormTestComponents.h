// The components the form tests read and write: a registered widget whose
// set writer follows a rule (so only its loading writer restores every set),
// and a form that publishes handlers. One definition for every test source
// of the program that includes it, so that they share the fixture (gtest
// requires one fixture class per suite) and the registered class.
#pragma once

#include <gtest/gtest.h>

#include <RegexComponent/Framework/FormStreaming.h>

using namespace RegexComponent;
using namespace std::literals;

namespace RegexComponent::formtest {

enum Color { Red, Green, Blue };
using Colors = Set<Color, Red, Blue>;
using Notify = Closure<void(TObject*)>;
using CountEvent = Closure<void(int)>;

}  // namespace RegexComponent::formtest

template <>
inline const TSetTypeInfo& RegexComponent::TSetTypeInfoOf<RegexComponent::formtest::Color>() {
  static const TSetTypeInfo info{"Colors", {"Red", "Green", "Blue"}};
  return info;
}

namespace RegexComponent::formtest {

inline int widgetsAlive = 0;

// A component whose set writer follows a rule relative to the stored set
// (adding Blue drops Red), so only its loading writer restores every set.
class TWidget : public TComponent {
 public:
  explicit TWidget(TComponent* owner) : TComponent(owner) { ++widgetsAlive; }
  ~TWidget() override { --widgetsAlive; }

  static TComponentClass StaticClass() {
    static const TMetaClass meta("TWidget", TComponent::StaticClass(), &CreateComponent<TWidget>, Properties());
    return &meta;
  }
  TComponentClass ClassType() const override { return StaticClass(); }

  void SetPalette(Colors value) {
    if (value.Contains(Blue) && !palette.Contains(Blue)) value >> Red;
    palette = value;
  }

  AnsiString Caption;
  bool Enabled = true;
  Colors palette{Red};
  Notify OnChange;

 private:
  static TPropList Properties() {
    TPropList l = TComponent::StaticClass()->PublishedProperties();
    l.push_back(MakePropInfo<TWidget, AnsiString>(
        "Caption", "AnsiString", "Caption", "Caption", [](const TWidget& w) { return w.Caption; },
        [](TWidget& w, const AnsiString& v) { w.Caption = v; }, AnsiString()));
    l.push_back(MakePropInfo<TWidget, bool>(
        "Enabled", "bool", "Enabled", "Enabled", [](const TWidget& w) { return w.Enabled; },
        [](TWidget& w, const bool& v) { w.Enabled = v; }, false));
    l.push_back(MakePropInfo<TWidget, Colors>(
        "Palette", "Colors", "palette", "SetPalette", [](const TWidget& w) { return w.palette; },
        [](TWidget& w, const Colors& v) { w.SetPalette(v); }, TSetValue{}));
    SetLoadWriter<TWidget, Colors>(l.back(), [](TWidget& w, const Colors& v) { w.palette = v; });
    l.push_back(MakePropInfo<TWidget, Notify>(
        "OnChange", "Notify", "OnChange", "OnChange", [](const TWidget& w) { return w.OnChange; },
        [](TWidget& w, const Notify& v) { w.OnChange = v; }, TMethod()));
    return l;
  }
};

// The root: not registered, it is always given to the reader.
class TTestForm : public TComponent {
 public:
  explicit TTestForm(TComponent* owner) : TComponent(owner) {}
  static TComponentClass StaticClass() {
    static const TMetaClass meta("TTestForm", TComponent::StaticClass(), &CreateComponent<TTestForm>,
                                 TComponent::StaticClass()->PublishedProperties());
    return &meta;
  }
  TComponentClass ClassType() const override { return StaticClass(); }

  std::vector<TPublishedMethod> PublishedMethods() const override {
    auto* self = const_cast<TTestForm*>(this);
    return {{"WidgetChanged", Bind(self, &TTestForm::WidgetChanged).Method()},
            {"Counted", Bind(self, &TTestForm::Counted).Method()},
            {"nil", Bind(self, &TTestForm::Unnamable).Method()}};
  }
  void WidgetChanged(TObject*) { ++changes; }
  void Counted(int) {}
  void NotPublished(TObject*) {}
  void Unnamable(TObject*) {}

  int changes = 0;
};

class FormStreaming : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const TComponentClass classes[1] = {TWidget::StaticClass()};
    RegisterComponents("FormStreamingTest", classes, 0);
  }
  void SetUp() override { widgetsAlive = 0; }

  TWidget* AddWidget(TComponent* owner, const char* name) {
    auto* w = new TWidget(owner);
    w->Name = name;
    return w;
  }

  TTestForm form{nullptr};
};

}  // namespace RegexComponent::formtest

using namespace RegexComponent::formtest;
