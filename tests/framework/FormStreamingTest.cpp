// Form files: layout, value encoding, events, round trips, bad input with
// positions, all-or-nothing loading and the nesting guard.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>

#include <RegexComponent/Framework/FormStreaming.h>

#include "TempFileTree.h"

using namespace RegexComponent;
using namespace std::literals;

namespace {

enum Color { Red, Green, Blue };
using Colors = Set<Color, Red, Blue>;
using Notify = Closure<void(TObject*)>;
using CountEvent = Closure<void(int)>;

}  // namespace

template <>
const TSetTypeInfo& RegexComponent::TSetTypeInfoOf<Color>() {
  static const TSetTypeInfo info{"Colors", {"Red", "Green", "Blue"}};
  return info;
}

namespace {

int widgetsAlive = 0;

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

TEST_F(FormStreaming, WritesNestedObjectsWithOnlyChangedProperties) {
  form.Name = "Form1";
  form.Tag = -7;
  TWidget* finder = AddWidget(&form, "Finder");
  finder->Caption = "a(b)'c\r\nd";
  finder->Enabled = false;  // the constructor's value is True: False is the change
  finder->palette = Colors{};
  finder->OnChange = Bind(&form, &TTestForm::WidgetChanged);
  TWidget* inner = AddWidget(finder, "Inner");
  inner->palette = Colors{Green, Blue};
  new TWidget(&form);  // unnamed, nothing changed

  EXPECT_EQ(WriteComponentToText(form),
            "object Form1: TTestForm\n"
            "  Tag = -7\n"
            "  object Finder: TWidget\n"
            "    Caption = 'a(b)''c'#13#10'd'\n"
            "    Enabled = False\n"
            "    Palette = []\n"
            "    OnChange = WidgetChanged\n"
            "    object Inner: TWidget\n"
            "      Palette = [Green, Blue]\n"
            "    end\n"
            "  end\n"
            "  object TWidget\n"
            "  end\n"
            "end\n");
}

TEST_F(FormStreaming, ReadsWhatItWroteBackIntoAFreshForm) {
  form.Name = "Form1";
  form.Tag = INT_MIN;
  TWidget* w = AddWidget(&form, "W");
  w->palette = Colors{Red, Blue};  // SetPalette would drop Red on a fresh widget
  w->OnChange = Bind(&form, &TTestForm::WidgetChanged);
  AddWidget(w, "Child")->Tag = INT_MAX;
  const std::string text = WriteComponentToText(form);

  TTestForm copy(nullptr);
  ReadComponentFromText(text, copy);
  EXPECT_EQ(copy.GetName(), AnsiString("Form1"));
  EXPECT_EQ(copy.Tag, INT_MIN);
  ASSERT_EQ(copy.ComponentCount(), 1);
  auto* cw = dynamic_cast<TWidget*>(copy.FindComponent("W"));
  ASSERT_NE(cw, nullptr);
  EXPECT_EQ(cw->GetOwner(), &copy);
  EXPECT_EQ(cw->palette, (Colors{Red, Blue}));
  ASSERT_NE(cw->FindComponent("Child"), nullptr);
  EXPECT_EQ(cw->FindComponent("Child")->Tag, INT_MAX);
  cw->OnChange(cw);  // bound to the copy's handler, not the original form's
  EXPECT_EQ(copy.changes, 1);
  EXPECT_EQ(form.changes, 0);
  EXPECT_EQ(WriteComponentToText(copy), text);
}

TEST_F(FormStreaming, SetsComeBackExactlyThoughTheirWriterFollowsRules) {
  for (std::uint64_t bits = 0; bits < 8; ++bits) {
    TWidget w(nullptr);
    w.palette = Colors::FromBits(bits);
    std::unique_ptr<TComponent> back(ReadComponent(WriteComponent(w), nullptr));
    EXPECT_EQ(static_cast<TWidget&>(*back).palette.ToBits(), bits) << WriteComponent(w);
  }
}

TEST_F(FormStreaming, StringsKeepEveryByteFrom1To255) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  std::vector<std::string> texts{all, "", "'", "''", "#13", "\x7f", "\xff'\x01", "'\r\n'"};
  for (int b = 1; b < 256; ++b) texts.emplace_back(1, static_cast<char>(b));
  for (const std::string& s : texts) {
    TWidget w(nullptr);
    w.Caption = AnsiString(s);
    const std::string text = WriteComponent(w);
    std::unique_ptr<TComponent> back(ReadComponent(text, nullptr));
    EXPECT_EQ(static_cast<TWidget&>(*back).Caption.ToStdString(), s) << text;
  }
  TWidget w(nullptr);
  w.Caption = "\xe9t\xe9\x7f";
  EXPECT_NE(WriteComponent(w).find("Caption = '\xe9t\xe9'#127\n"), std::string::npos) << WriteComponent(w);
  w.Caption = AnsiString("a\0b"sv);  // the reader refuses #0, so the writer does too
  EXPECT_THROW(WriteComponent(w), EFormError);
}

TEST_F(FormStreaming, ReaderAcceptsAnyLayoutAndKeywordCase) {
  ReadComponentFromText(
      "OBJECT Main : TTestForm\r\n  Tag=12\r\nobject W:TWidget Enabled = false Caption = #65'b'#67 "
      "Palette=[ Blue ,Red,Blue ] OnChange = nil END\r\nEnd\r\n",
      form);
  auto* w = dynamic_cast<TWidget*>(form.FindComponent("W"));
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(form.Tag, 12);
  EXPECT_FALSE(w->Enabled);
  EXPECT_EQ(w->Caption, AnsiString("AbC"));
  EXPECT_EQ(w->palette, (Colors{Red, Blue}));
}

TEST_F(FormStreaming, EventsBindByNameAndSaveOnlyPublishedHandlers) {
  TWidget* w = AddWidget(&form, "W");
  w->OnChange = Bind(&form, &TTestForm::NotPublished);
  try {
    WriteComponentToText(form);
    FAIL() << "a handler that is not a published method was saved";
  } catch (const EFormError& e) {
    EXPECT_EQ(e.Line(), 0);
    EXPECT_STREQ(e.what(), "cannot save OnChange of W: its handler is not a published method of an unnamed TTestForm");
  }
  TTestForm other(nullptr);
  w->OnChange = Bind(&other, &TTestForm::WidgetChanged);  // published, but by another form
  EXPECT_THROW(WriteComponentToText(form), EFormError);
  w->OnChange = Bind(&form, &TTestForm::Unnamable);  // published as "nil", which reads back as no handler
  EXPECT_THROW(WriteComponentToText(form), EFormError);

  // A lone component names its owner's methods and binds to the new owner's.
  w->OnChange = Bind(&form, &TTestForm::WidgetChanged);
  const std::string text = WriteComponent(*w);
  EXPECT_NE(text.find("OnChange = WidgetChanged"), std::string::npos);
  TWidget* copy = static_cast<TWidget*>(ReadComponent(text, &other));
  EXPECT_EQ(copy->GetOwner(), &other);
  copy->OnChange(copy);
  EXPECT_EQ(other.changes, 1);

  // A reader without the handlers can skip event lines and say which.
  TComponent stranger(nullptr);
  EXPECT_THROW(ReadComponent(text, &stranger), EFormError);
  std::vector<std::string> skipped;
  auto* loose = static_cast<TWidget*>(ReadComponent(text, &stranger, TFormReadOptions{true, &skipped}));
  EXPECT_FALSE(loose->OnChange);
  EXPECT_EQ(skipped, (std::vector<std::string>{"W.OnChange = WidgetChanged"}));
}

struct BadInput {
  const char* what;
  std::string_view text;
  int line;
  int column;
  const char* message;
};

const BadInput kBadInputs[] = {
    {"UnknownClass", "object F: TTestForm\n  object W: TGadget\n  end\nend", 2, 13,
     "unknown class TGadget: expected a registered component class"},
    {"RootClassMismatch", "object F: TWidget\nend", 1, 11,
     "class TWidget does not match the component being loaded: expected TTestForm"},
    {"UnknownProperty", "object F: TTestForm\n  object W: TWidget\n    Colour = 1\n  end\nend", 3, 5,
     "unknown property Colour of class TWidget"},
    {"NameAsProperty", "object F: TTestForm\n  Name = 'G'\nend", 2, 3,
     "the component's name belongs in its 'object Name: Class' line, not in a property"},
    {"MissingEquals", "object F: TTestForm\n  Tag 3\nend", 2, 7, "expected '=' after property name Tag, found '3'"},
    {"StringForInteger", "object F: TTestForm\n  Tag = '3'\nend", 2, 9, "expected an integer for Tag, found a string"},
    {"IntegerOutOfRange", "object F: TTestForm\n  Tag = 2147483648\nend", 2, 9,
     "integer 2147483648 is out of range for Tag: expected -2147483648 to 2147483647"},
    {"HugeInteger", "object F: TTestForm\n  Tag = -99999999999999999999\nend", 2, 9,
     "integer -99999999999999999999 is out of range"},
    {"IntegerForBoolean", "object F: TTestForm\n object W: TWidget\n  Enabled = 1\n end\nend", 3, 13,
     "expected True or False for Enabled, found '1'"},
    {"IdentifierForString", "object F: TTestForm\n object W: TWidget\n  Caption = abc\n end\nend", 3, 13,
     "expected a quoted string for Caption, found 'abc'"},
    {"UnknownSetMember", "object F: TTestForm\n object W: TWidget\n  Palette = [Red, Pink]\n end\nend", 3, 19,
     "unknown member Pink of set type Colors"},
    {"UnclosedSet", "object F: TTestForm\n object W: TWidget\n  Palette = [Red Blue]\n end\nend", 3, 18,
     "expected ',' or ']' in the set, found 'Blue'"},
    {"UnterminatedString", "object F: TTestForm\n object W: TWidget\n  Caption = 'ab''c\n end\nend", 3, 13,
     "unterminated string: expected a closing quote before the end of the line"},
    {"StringRunsIntoEndOfFile", "object F: TTestForm\n object W: TWidget\n  Caption = #65'x", 3, 16,
     "unterminated string: expected a closing quote before the end of the file"},
    {"CodeZero", "object F: TTestForm\n object W: TWidget\n  Caption = 'a'#0'b'\n end\nend", 3, 16,
     "character code #0 is out of range: expected 1 to 255"},
    {"CodeTooLarge", "object F: TTestForm\n object W: TWidget\n  Caption = #256\n end\nend", 3, 13,
     "character code #256 is out of range: expected 1 to 255"},
    {"CodeWithoutDigits", "object F: TTestForm\n object W: TWidget\n  Caption = #$41\n end\nend", 3, 14,
     "expected a decimal character code after '#'"},
    {"NulInString", "object F: TTestForm\n object W: TWidget\n  Caption = 'a\0'"sv, 3, 15,
     "a string cannot hold a NUL byte"},
    {"MissingEnd", "object F: TTestForm\n  object W: TWidget\n  end\n", 4, 1,
     "unexpected end of file: expected 'end' to close the object begun at line 1"},
    {"TruncatedInValue", "object F: TTestForm\n  Tag =", 2, 8, "expected an integer for Tag, found end of file"},
    {"TruncatedInHeader", "object", 1, 7, "expected a component name or class name after 'object', found end of file"},
    {"EmptyFile", "  \n", 2, 1, "expected 'object', found end of file"},
    {"TrailingText", "object F: TTestForm\nend\nend", 3, 1,
     "expected end of file after the final 'end', found 'end'"},
    {"UnknownMethod", "object F: TTestForm\n object W: TWidget\n  OnChange = Changed\n end\nend", 3, 14,
     "unknown method Changed: F has no published method of that name"},
    {"MethodOfWrongType", "object F: TTestForm\n object W: TWidget\n  OnChange = Counted\n end\nend", 3, 14,
     "method Counted of F has the wrong type for OnChange: expected a Notify handler"},
    {"DuplicateName", "object F: TTestForm\n object W: TWidget\n end\n object W: TWidget\n end\nend", 4, 9,
     "duplicate component name W: already used at line 2"},
    {"NameTakenInOwner", "object F: TTestForm\n object Existing: TWidget\n end\nend", 2, 9,
     "duplicate component name Existing: F already owns a component of that name"},
    {"StrayCharacter", "object F: TTestForm\n  Tag = 1;\nend", 2, 10, "unexpected character ';'"},
    {"ControlCharacter", "object F: TTestForm\n\x01\nend", 2, 1, "unexpected character byte 0x01"},
};

class FormStreamingBadInput : public FormStreaming, public ::testing::WithParamInterface<BadInput> {};

// Each bad input is reported at its place, and the form is left exactly as
// it was: its values, its name and its components.
TEST_P(FormStreamingBadInput, ReportsLineAndColumnAndLeavesTheFormAsItWas) {
  const BadInput& bad = GetParam();
  TWidget* existing = AddWidget(&form, "Existing");
  form.Tag = 99;
  try {
    ReadComponentFromText(bad.text, form);
    FAIL() << "loaded without an error";
  } catch (const EFormError& e) {
    EXPECT_EQ(e.Message(), bad.message);
    EXPECT_EQ(e.Line(), bad.line);
    EXPECT_EQ(e.Column(), bad.column);
    EXPECT_EQ(std::string(e.what()), "line " + std::to_string(bad.line) + ", column " + std::to_string(bad.column) +
                                         ": " + bad.message);
  }
  EXPECT_EQ(form.Tag, 99);
  EXPECT_TRUE(form.GetName().IsEmpty());
  ASSERT_EQ(form.ComponentCount(), 1);
  EXPECT_EQ(form.Components(0), existing);
  EXPECT_EQ(widgetsAlive, 1);
}

INSTANTIATE_TEST_SUITE_P(Kinds, FormStreamingBadInput, ::testing::ValuesIn(kBadInputs),
                         [](const auto& info) { return std::string(info.param.what); });

// Errors found only while building (after the form's own values and some
// components were already set) still undo everything.
TEST_F(FormStreaming, AFailureLateInTheLoadUndoesWhatWasBuilt) {
  form.Name = "Before";
  form.Tag = 5;
  const char* text =
      "object After: TTestForm\n  Tag = 6\n"
      "  object A: TWidget\n    object A1: TWidget\n    end\n  end\n"
      "  object B: TWidget\n    OnChange = NotPublished\n  end\nend\n";
  EXPECT_THROW(ReadComponentFromText(text, form), EFormError);
  EXPECT_EQ(form.GetName(), AnsiString("Before"));
  EXPECT_EQ(form.Tag, 5);
  EXPECT_EQ(form.ComponentCount(), 0);
  EXPECT_EQ(widgetsAlive, 0);

  EXPECT_THROW(ReadComponent("object W: TWidget\n object X: TWidget\n OnChange = Nope\n end\nend", &form),
               EFormError);
  EXPECT_EQ(form.ComponentCount(), 0);
  EXPECT_EQ(widgetsAlive, 0);
}

std::string Nested(int depth) {
  std::string text = "object F: TTestForm\n";
  for (int i = 1; i < depth; ++i) text += "object TWidget\n";
  for (int i = 0; i < depth; ++i) text += "end\n";
  return text;
}

TEST_F(FormStreaming, NestingIsLimitedOnReadingAndWriting) {
  ReadComponentFromText(Nested(kMaxFormNesting), form);
  EXPECT_EQ(widgetsAlive, kMaxFormNesting - 1);
  const std::string deep = WriteComponentToText(form);
  TTestForm copy(nullptr);
  ReadComponentFromText(deep, copy);
  EXPECT_EQ(WriteComponentToText(copy), deep);

  TComponent* deepest = &form;
  while (deepest->ComponentCount()) deepest = deepest->Components(0);
  new TWidget(deepest);
  EXPECT_THROW(WriteComponentToText(form), EFormError);

  TTestForm other(nullptr);
  for (int depth : {kMaxFormNesting + 1, 100000}) {
    try {
      ReadComponentFromText(Nested(depth), other);
      FAIL() << depth;
    } catch (const EFormError& e) {
      EXPECT_EQ(e.Line(), kMaxFormNesting + 1);
      EXPECT_EQ(e.Message(), "objects are nested deeper than 256 levels");
    }
  }
  EXPECT_EQ(other.ComponentCount(), 0);
}

TEST_F(FormStreaming, FilesSaveAndLoad) {
  RegexComponent::testing::TempFileTree dir;
  form.Name = "Saved";
  AddWidget(&form, "W")->Caption = "x";
  SaveFormFile(dir.Path("form.txt"), form);
  EXPECT_FALSE(std::filesystem::exists(dir.Path("form.txt.saving")));
  TTestForm copy(nullptr);
  LoadFormFile(dir.Path("form.txt"), copy);
  EXPECT_EQ(WriteComponentToText(copy), WriteComponentToText(form));

  SaveComponentFile(dir.Path("w.txt"), *form.Components(0));
  std::unique_ptr<TComponent> w(LoadComponentFile(dir.Path("w.txt"), nullptr));
  EXPECT_EQ(static_cast<TWidget&>(*w).Caption, AnsiString("x"));

  try {
    LoadFormFile(dir.Path("missing.txt"), copy);
    FAIL();
  } catch (const EFormError& e) {
    EXPECT_EQ(e.Line(), 0);
    EXPECT_NE(e.Message().find("missing.txt"), std::string::npos);
  }
  EXPECT_THROW(SaveFormFile(dir.Path("no/such/dir/form.txt"), form), EFormError);
}

}  // namespace
