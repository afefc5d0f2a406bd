// Writing forms: layout, only changed properties, string encoding and
// which handlers can be saved.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FormTestComponents.h"

namespace {

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

}  // namespace
