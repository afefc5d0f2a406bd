// The package's published classes are known to the form reader without any
// registration: this program never calls Register, and reading must not
// register anything either (the palette is the designer's).
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <RegexComponent/Framework/FormStreaming.h>
#include <RegexComponent/RegularExpression.h>
#include <RegexComponent/RegularExpressionInterface.h>

using namespace RegexComponent;

namespace {

TEST(PackageClasses, FormsOfBothPublishedClassesLoadWithoutRegistering) {
  std::unique_ptr<TComponent> re(ReadComponent(
      "object Finder: RegularExpression\n  Expression = 'a+b'\n  StringToMatch = 'xaab'\nend\n", nullptr));
  auto* finder = dynamic_cast<RegularExpression*>(re.get());
  ASSERT_NE(finder, nullptr);
  EXPECT_TRUE(finder->Search());
  EXPECT_EQ(finder->GetMatchingStrings()[0], "aab");

  std::unique_ptr<TComponent> face(
      ReadComponent("object Face: RegularExpressionInterface\n  Expression = 'x'\nend\n", nullptr));
  EXPECT_NE(dynamic_cast<RegularExpressionInterface*>(face.get()), nullptr);

  // An owner form holding one of each, as an application's form file would.
  TComponent form(nullptr);
  ReadComponentFromText(
      "object TComponent\n  object A: RegularExpression\n  end\n  object B: RegularExpressionInterface\n  end\nend\n",
      form);
  EXPECT_EQ(form.ComponentCount(), 2);

  EXPECT_TRUE(PalettePages().empty()) << "reading a form put classes on the palette";
}

TEST(PackageClasses, OnlyThePublishedClassesAreKnown) {
  const std::string cases[] = {"RegularExpressionCustom", "regularexpression", "TGadget"};
  for (const std::string& cls : cases) {
    try {
      delete ReadComponent("object X: " + cls + "\nend\n", nullptr);
      ADD_FAILURE() << cls << " was read";
    } catch (const EFormError& e) {
      EXPECT_NE(std::string(e.what()).find("unknown class " + cls), std::string::npos) << cls << ": " << e.what();
    }
  }
}

}  // namespace
