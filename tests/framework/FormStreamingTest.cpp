// Form round trips through text and files, and the nesting guard on both
// sides.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>

#include "TempFileTree.h"

#include "FormTestComponents.h"

namespace {

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
