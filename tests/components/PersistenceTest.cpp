// Saving and loading the published components: every option set and match
// set comes back as saved, as do texts, flags, Tag and events.
#include <gtest/gtest.h>

#include <RegexComponent/Framework/FormStreaming.h>
#include <RegexComponent/RegularExpression.h>
#include <RegexComponent/RegularExpressionInterface.h>

using namespace RegexComponent;
using RE = RegularExpressionCustom;
using O = RE::OptionsSet;
using M = RE::MatchesSet;

namespace {

// Stores option sets directly: no sequence of SetOptions or SetMatches
// calls reaches every value, and the round trip must hold for all of them.
template <class Base>
struct Forced : Base {
  using Base::Base;
  void Force(O options, M matches) {
    this->FExpressionOptions = options;
    this->FMatchOptions = matches;
  }
};

// The form of the example in docs/forms.md, with one handler per event type.
class TForm1 : public TComponent {
 public:
  explicit TForm1(TComponent* owner) : TComponent(owner) {}
  static TComponentClass StaticClass() {
    static const TMetaClass meta("TForm1", TComponent::StaticClass(), &CreateComponent<TForm1>,
                                 TComponent::StaticClass()->PublishedProperties());
    return &meta;
  }
  TComponentClass ClassType() const override { return StaticClass(); }

  std::vector<TPublishedMethod> PublishedMethods() const override {
    auto* self = const_cast<TForm1*>(this);
    return {{"FinderMatching", Bind(self, &TForm1::FinderMatching).Method()},
            {"FinderSearching", Bind(self, &TForm1::FinderSearching).Method()},
            {"FinderGrepping", Bind(self, &TForm1::FinderGrepping).Method()},
            {"FinderGreppingFiles", Bind(self, &TForm1::FinderGreppingFiles).Method()},
            {"FinderFindFiles", Bind(self, &TForm1::FinderFindFiles).Method()}};
  }

  void FinderMatching(TObject*, const CPPStringArray&, unsigned, unsigned) {}
  void FinderSearching(TObject*, const CPPStringArray& parts, unsigned, unsigned) { found = parts; }
  void FinderGrepping(TObject*, const CPPStringArray&, unsigned, unsigned, bool&) {}
  void FinderGreppingFiles(TObject*, AnsiString, const CPPStringArray&, CPPUnsignedArray, bool&) {}
  void FinderFindFiles(TObject*, AnsiString, bool&) {}

  CPPStringArray found;
};

class Persistence : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Regularexpression::Register();
    Regularexpressioninterface::Register();
  }
};

// Writes each value on its own component, reads it into a new one and
// returns the values that did not come back.
template <class Class, class Value>
std::vector<std::uint64_t> LostValues(unsigned count, Value (*get)(const RE&), void (*force)(Forced<Class>&, Value)) {
  std::vector<std::uint64_t> lost;
  for (std::uint64_t bits = 0; bits < count; ++bits) {
    Forced<Class> saved(nullptr);
    force(saved, Value::FromBits(bits));
    std::unique_ptr<TComponent> loaded(ReadComponent(WriteComponent(saved), nullptr));
    if (get(static_cast<RE&>(*loaded)).ToBits() != bits) lost.push_back(bits);
  }
  return lost;
}

O Options(const RE& c) { return c.ExpressionOptions; }
M Matches(const RE& c) { return c.MatchOptions; }
template <class C>
void ForceOptions(Forced<C>& c, O o) { c.Force(o, c.MatchOptions); }
template <class C>
void ForceMatches(Forced<C>& c, M m) { c.Force(c.ExpressionOptions, m); }

TEST_F(Persistence, EveryExpressionOptionsValueComesBack) {
  EXPECT_EQ(LostValues<RegularExpression>(65536, &Options, &ForceOptions<RegularExpression>),
            std::vector<std::uint64_t>{});
  EXPECT_EQ(LostValues<RegularExpressionInterface>(65536, &Options, &ForceOptions<RegularExpressionInterface>),
            std::vector<std::uint64_t>{});
}

TEST_F(Persistence, EveryMatchOptionsValueComesBack) {
  EXPECT_EQ(LostValues<RegularExpression>(4096, &Matches, &ForceMatches<RegularExpression>),
            std::vector<std::uint64_t>{});
}

// The three sets the setters would change if loading went through them.
TEST_F(Persistence, SetsTheSettersWouldChangeComeBackAsSaved) {
  struct Case {
    O options;
    M matches;
    const char* line;
  };
  const Case cases[] = {
      {O{}, M{RE::MatchDefault}, "ExpressionOptions = []"},
      {O{RE::EscapeInCharacterSets, RE::LimitedOperations}, M{RE::MatchDefault},
       "ExpressionOptions = [EscapeInCharacterSets, LimitedOperations]"},
      {RegularExpression(nullptr).ExpressionOptions, M{RE::MatchNotDotNewline}, "MatchOptions = [MatchNotDotNewline]"},
  };
  for (const Case& c : cases) {
    Forced<RegularExpression> saved(nullptr);
    saved.Force(c.options, c.matches);
    const std::string text = WriteComponent(saved);
    EXPECT_NE(text.find(std::string("  ") + c.line + "\n"), std::string::npos) << text;
    std::unique_ptr<TComponent> loaded(ReadComponent(text, nullptr));
    EXPECT_EQ(O(static_cast<RE&>(*loaded).ExpressionOptions), c.options) << text;
    EXPECT_EQ(M(static_cast<RE&>(*loaded).MatchOptions), c.matches) << text;
  }
}

TEST_F(Persistence, PropertiesAFileOmitsKeepTheConstructorsValues) {
  const RegularExpression fresh(nullptr);
  EXPECT_EQ(WriteComponent(fresh), "object RegularExpression\nend\n");
  std::unique_ptr<TComponent> loaded(ReadComponent("object R: RegularExpression\n  Tag = 1\nend\n", nullptr));
  const auto& re = static_cast<RegularExpression&>(*loaded);
  EXPECT_EQ(O(re.ExpressionOptions), O(fresh.ExpressionOptions));
  EXPECT_EQ(M(re.MatchOptions), M{RE::MatchDefault});
  EXPECT_EQ(re.Tag, 1);
}

TEST_F(Persistence, EveryPublishedPropertyOfRegularExpressionComesBack) {
  std::string bytes;
  for (int b = 1; b < 256; ++b) bytes += static_cast<char>(b);
  TForm1 form(nullptr);
  form.Name = "Form1";
  auto* re = new Forced<RegularExpression>(&form);
  re->Name = "Finder";
  re->Tag = -123456;
  re->Force(O{RE::Basic, RE::Literals}, M{RE::MatchShortest, RE::MatchNotDotNullCharacter});
  re->Expression = "a(b)'c\r\nd";
  re->FormatString = AnsiString(bytes);
  re->StringToMatch = "\xe9t\xe9 ''";
  re->FilesToMatch = "/tmp/*.txt";
  re->DirectoryRecursion = true;
  re->MergeCopy = true;
  re->OnMatching = Bind(&form, &TForm1::FinderMatching);
  re->OnSearching = Bind(&form, &TForm1::FinderSearching);
  re->OnGrepping = Bind(&form, &TForm1::FinderGrepping);
  re->OnGreppingFiles = Bind(&form, &TForm1::FinderGreppingFiles);
  re->OnFindFiles = Bind(&form, &TForm1::FinderFindFiles);
  const std::string text = WriteComponentToText(form);

  TForm1 copy(nullptr);
  ReadComponentFromText(text, copy);
  auto* back = dynamic_cast<RegularExpression*>(copy.FindComponent("Finder"));
  ASSERT_NE(back, nullptr);
  const TPropList& props = RegularExpression::StaticClass()->PublishedProperties();
  ASSERT_EQ(props.size(), 15u);
  const auto copyMethods = copy.PublishedMethods();
  const auto formMethods = form.PublishedMethods();
  for (const TPropInfo& p : props) {
    const TPropertyValue original = p.Read(*re);
    const TPropertyValue loaded = p.Read(*back);
    if (p.Kind != TTypeKind::Method) {
      EXPECT_EQ(loaded, original) << p.Name;
      continue;
    }
    // An event comes back bound to the same-named handler of the new form.
    std::size_t i = 0;
    while (i < formMethods.size() && !(formMethods[i].Method == std::get<TMethod>(original))) ++i;
    ASSERT_LT(i, formMethods.size()) << p.Name;
    EXPECT_TRUE(std::get<TMethod>(loaded) == copyMethods[i].Method) << p.Name;
  }
  EXPECT_EQ(WriteComponentToText(copy), text);
}

TEST_F(Persistence, LambdaHandlersAreNotWrittenAndMethodsStillAre) {
  TForm1 form(nullptr);
  auto* re = new RegularExpression(&form);
  re->SetName("Finder");
  int calls = 0;
  re->OnMatching = [&calls](TObject*, const CPPStringArray&, unsigned, unsigned) { ++calls; };
  re->OnSearching = Bind(&form, &TForm1::FinderSearching);
  re->OnFindFiles = [](TObject*, AnsiString, bool&) {};
  const std::string text = WriteComponentToText(form);
  EXPECT_EQ(text.find("OnMatching"), std::string::npos) << text;
  EXPECT_EQ(text.find("OnFindFiles"), std::string::npos) << text;
  EXPECT_NE(text.find("OnSearching = FinderSearching"), std::string::npos) << text;
  re->Expression = "a";
  re->StringToMatch = "a";
  EXPECT_TRUE(re->Match());
  EXPECT_EQ(calls, 1);  // writing left the handler in place
}

TEST_F(Persistence, RegularExpressionInterfaceSavesItsFourProperties) {
  Forced<RegularExpressionInterface> saved(nullptr);
  saved.Name = "Syntax";
  saved.Tag = 7;
  saved.Expression = "x'#";
  saved.Force(O{RE::Extended}, M{RE::MatchContinuous});  // MatchOptions is not published here
  saved.FormatString = "not published";
  const std::string text = WriteComponent(saved);
  EXPECT_EQ(text,
            "object Syntax: RegularExpressionInterface\n"
            "  Tag = 7\n"
            "  ExpressionOptions = [Extended]\n"
            "  Expression = 'x''#'\n"
            "end\n");
  std::unique_ptr<TComponent> loaded(ReadComponent(text, nullptr));
  EXPECT_EQ(WriteComponent(*loaded), text);
  EXPECT_THROW(ReadComponent("object RegularExpressionInterface\n  MatchOptions = []\nend", nullptr), EFormError);
}

TEST_F(Persistence, TheDocumentedExampleLoadsAndWorks) {
  TForm1 form(nullptr);
  ReadComponentFromText(
      "object Form1: TForm1\n"
      "  object Finder: RegularExpression\n"
      "    ExpressionOptions = [EscapeInCharacterSets, CharacterClasses, Intervals, BackReferences, "
      "NoLocaleSpecificCollation, Normal]\n"
      "    Expression = 'a(b)''c'#13#10'd'\n"
      "    MergeCopy = True\n"
      "    Tag = 3\n"
      "    OnSearching = FinderSearching\n"
      "  end\n"
      "end\n",
      form);
  auto* finder = dynamic_cast<RegularExpression*>(form.FindComponent("Finder"));
  ASSERT_NE(finder, nullptr);
  EXPECT_EQ(finder->Expression, AnsiString("a(b)'c\r\nd"));
  EXPECT_TRUE(finder->MergeCopy);
  EXPECT_EQ(finder->Tag, 3);
  finder->StringToMatch = "xab'c\r\nd";
  ASSERT_TRUE(finder->Search());
  ASSERT_GE(form.found.size(), 2u);
  EXPECT_EQ(form.found[1], "b");
}

// Loading into an existing component: new options take effect on the next
// search, and a load that fails puts the exact sets back.
TEST_F(Persistence, LoadingIntoAComponentRecompilesAndFailureRestores) {
  Forced<RegularExpression> re(nullptr);
  re.Expression = "A";
  re.StringToMatch = "a";
  EXPECT_FALSE(re.Search());
  ReadComponentFromText("object RegularExpression\n  ExpressionOptions = [CharacterClasses, CaseInsensitive]\nend", re);
  EXPECT_TRUE(re.Search());

  const O options{RE::EscapeInCharacterSets, RE::LimitedOperations};
  const M matches{RE::MatchNotDotNewline};
  re.Force(options, matches);
  EXPECT_THROW(ReadComponentFromText("object R: RegularExpression\n  ExpressionOptions = []\n  MatchOptions = []\n"
                                     "  Tag = 4\n  OnGrepping = Nothing\nend",
                                     re),
               EFormError);
  EXPECT_EQ(O(re.ExpressionOptions), options);
  EXPECT_EQ(M(re.MatchOptions), matches);
  EXPECT_EQ(re.Tag, 0);
  EXPECT_TRUE(re.GetName().IsEmpty());
}

}  // namespace
