// Reading forms: lenient layout, bad input reported at its place (quoting
// no more than the start of a long token), and all-or-nothing loading.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include <RegexComponent/Framework/QuotedInput.h>

#include "FormTestComponents.h"

namespace {

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

// A token far longer than any message should be is quoted by its first
// bytes and an ellipsis, wherever an error names it.
const std::string kLong(1 << 20, 'x');
const std::string kCut = std::string(kQuotedInputLimit, 'x') + "\xE2\x80\xA6";

struct LongInput {
  const char* what;
  std::string text;
  int line;
  int column;
  std::string message;
};

std::vector<LongInput> LongInputs() {
  const std::string form = "object F: TTestForm\n";
  const std::string widget = form + " object W: TWidget\n  ";
  return {
      {"ClassOfTheRoot", "object F: " + kLong + "\nend", 1, 11,
       "class " + kCut + " does not match the component being loaded: expected TTestForm"},
      {"UnknownClass", form + " object W: " + kLong + "\n end\nend", 2, 12,
       "unknown class " + kCut + ": expected a registered component class"},
      {"UnknownProperty", widget + kLong + " = 1\n end\nend", 3, 3,
       "unknown property " + kCut + " of class TWidget"},
      {"IdentifierForString", widget + "Caption = " + kLong + "\n end\nend", 3, 13,
       "expected a quoted string for Caption, found '" + kCut + "'"},
      {"UnknownSetMember", widget + "Palette = [Red, " + kLong + "]\n end\nend", 3, 19,
       "unknown member " + kCut + " of set type Colors"},
      {"DuplicateName", form + " object " + kLong + ": TWidget\n end\n object " + kLong + ": TWidget\n end\nend",
       4, 9, "duplicate component name " + kCut + ": already used at line 2"},
      {"UnknownMethod", widget + "OnChange = " + kLong + "\n end\nend", 3, 14,
       "unknown method " + kCut + ": F has no published method of that name"},
      {"MethodRootWithALongName", "object " + kLong + ": TTestForm\n object W: TWidget\n  OnChange = Nope\n end\nend",
       3, 14, "unknown method Nope: " + kCut + " has no published method of that name"},
      {"HugeInteger", form + "  Tag = " + std::string(1000, '9') + "\nend", 2, 9,
       "integer " + std::string(kQuotedInputLimit, '9') + "\xE2\x80\xA6 is out of range"},
      {"HugeCharacterCode", widget + "Caption = #" + std::string(1000, '7') + "\n end\nend", 3, 13,
       "character code #" + std::string(kQuotedInputLimit, '7') + "\xE2\x80\xA6 is out of range: expected 1 to 255"},
  };
}

TEST_F(FormStreaming, ErrorsQuoteOnlyTheStartOfALongToken) {
  for (const LongInput& bad : LongInputs()) {
    try {
      ReadComponentFromText(bad.text, form);
      ADD_FAILURE() << bad.what << ": loaded without an error";
    } catch (const EFormError& e) {
      EXPECT_EQ(e.Message(), bad.message) << bad.what;
      EXPECT_EQ(e.Line(), bad.line) << bad.what;
      EXPECT_EQ(e.Column(), bad.column) << bad.what;
    }
    EXPECT_TRUE(form.GetName().IsEmpty()) << bad.what;
    EXPECT_EQ(widgetsAlive, 0) << bad.what;
  }
}

// The root's new name clashing with a component of the root's own owner is
// a reading error at the name, and the root keeps its name.
TEST_F(FormStreaming, ARootNameTheOwnerAlreadyUsesIsADuplicate) {
  TComponent owner(nullptr);
  AddWidget(&owner, kLong.c_str());
  auto* root = new TTestForm(&owner);
  root->Name = "Before";
  try {
    ReadComponentFromText("object " + kLong + ": TTestForm\nend", *root);
    FAIL() << "loaded without an error";
  } catch (const EFormError& e) {
    EXPECT_EQ(e.Message(),
              "duplicate component name " + kCut + ": an unnamed TComponent already owns a component of that name");
    EXPECT_EQ(e.Line(), 1);
    EXPECT_EQ(e.Column(), 8);
  }
  EXPECT_EQ(root->GetName(), AnsiString("Before"));
}

}  // namespace
