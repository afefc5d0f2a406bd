// A component's defaults, texts, lazy compilation and error reporting.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include <boost/regex.hpp>

#include <RegexComponent/RegularExpression.h>
#include <RegexComponent/RegularExpressionInterface.h>

using namespace RegexComponent;
using RE = RegularExpressionCustom;

namespace {

TEST(ComponentState, NewComponentHasTheDocumentedDefaults) {
  RE re(nullptr);
  EXPECT_EQ(RE::OptionsSet(re.ExpressionOptions).ToBits(), 0x9107);
  EXPECT_EQ(RE::MatchesSet(re.MatchOptions).ToBits(), 0x0001);
  EXPECT_EQ(re.GetFlagOptions(), 0x4107u);
  EXPECT_EQ(re.GetMatchFlags(), 0u);
  for (AnsiString text : {re.GetExpression(), re.GetStringToMatch(), re.GetFilesToMatch(), re.GetFormatString()})
    EXPECT_TRUE(text.IsEmpty());
  EXPECT_FALSE(re.DirectoryRecursion);
  EXPECT_FALSE(re.MergeCopy);
  EXPECT_FALSE(re.OnMatching || re.OnSearching || re.OnGrepping || re.OnGreppingFiles || re.OnFindFiles);
  EXPECT_EQ(re.NumberOfSubexpressions(), 0u);
  EXPECT_EQ(re.GetExpressionError(), "");
  EXPECT_TRUE(re.GetMatchingStrings().empty());  // nothing matched yet
  EXPECT_NE(RE::FileOperationLock, nullptr);
}

TEST(ComponentState, TextsStopAtTheFirstNulByte) {
  RE re(nullptr);
  re.Expression = AnsiString("ab\0cd", 5);
  re.StringToMatch = AnsiString("xy\0z", 4);
  re.FilesToMatch = AnsiString("*.txt\0junk", 10);
  re.FormatString = AnsiString("$&\0!", 4);
  EXPECT_EQ(re.GetExpression().View(), "ab");
  EXPECT_EQ(re.GetStringToMatch().View(), "xy");
  EXPECT_EQ(re.GetFilesToMatch().View(), "*.txt");
  EXPECT_EQ(re.GetFormatString().View(), "$&");
  AnsiString viaProperty = re.Expression;
  EXPECT_EQ(viaProperty, "ab");
}

TEST(ComponentState, SettingTheSameExpressionForcesRecompilationOtherTextsDoNot) {
  RE re(nullptr);
  re.Expression = "(a)(b)";
  ASSERT_EQ(re.ParseExpression(), 0);
  EXPECT_EQ(re.NumberOfSubexpressions(), 3u);
  re.StringToMatch = "ab";
  re.FilesToMatch = "*";
  re.FormatString = "$1";
  re.SetExpressionLocale(std::locale::classic());
  EXPECT_EQ(re.NumberOfSubexpressions(), 3u);  // still compiled
  re.Expression = "(a)(b)";
  EXPECT_EQ(re.NumberOfSubexpressions(), 0u);  // the same text still marks it not compiled
}

TEST(Compilation, IsLazyAndAFailureIsRecordedNotThrown) {
  RE re(nullptr);
  EXPECT_EQ(re.ParseExpression(), 1);  // empty expression
  EXPECT_EQ(re.GetExpressionError(), "");
  re.Expression = "a(b";
  EXPECT_EQ(re.GetExpressionError(), "");  // nothing compiled yet
  re.StringToMatch = "ab";
  EXPECT_FALSE(re.Search());
  const std::uint8_t code = re.ParseExpression();
  EXPECT_NE(code, 0);
  EXPECT_EQ(code, re.ParseExpression());
  EXPECT_EQ(code, static_cast<std::uint8_t>(boost::regex_constants::error_paren));
  const std::string message = re.GetExpressionError();
  EXPECT_EQ(message, boost::regex_traits<char>().error_string(boost::regex_constants::error_paren));
  EXPECT_FALSE(message.empty());
  EXPECT_EQ(re.NumberOfSubexpressions(), 0u);
  re.Expression = "a(b)";
  EXPECT_EQ(re.GetExpressionError(), "");
  EXPECT_EQ(re.ParseExpression(), 0);
}

TEST(Compilation, ConvertREXResultKeepsTheLowByte) {
  RE re(nullptr);
  EXPECT_EQ(re.ConvertREXResult(0), 0);
  EXPECT_EQ(re.ConvertREXResult(17), 17);
  EXPECT_EQ(re.ConvertREXResult(0x1234), 0x34);
}

TEST(Compilation, ALocaleChangeWaitsForTheNextCompilation) {
  RE re(nullptr);
  re.Expression = "(a)";
  ASSERT_EQ(re.ParseExpression(), 0);
  re.SetExpressionLocale(std::locale::classic());
  EXPECT_EQ(re.NumberOfSubexpressions(), 2u);  // the compiled expression stays
}

TEST(Properties, ProxiesReadThroughReadersAndWriteThroughWriters) {
  RegularExpression re(nullptr);
  re.Expression = "a(b)";
  AnsiString e = re.Expression;
  EXPECT_EQ(e, "a(b)");
  re.ExpressionOptions = re.ExpressionOptions << RE::CaseInsensitive;
  EXPECT_TRUE(re.ExpressionOptions.Contains(RE::CaseInsensitive));
  re.ExpressionOptions = re.ExpressionOptions >> RE::Normal;
  EXPECT_EQ(RE::OptionsSet(re.ExpressionOptions), (RE::OptionsSet{RE::CaseInsensitive}));  // through SetOptions
  re.DirectoryRecursion = true;
  EXPECT_TRUE(re.DirectoryRecursion);
}

std::vector<std::string> NamesOf(const TPropList& list) {
  std::vector<std::string> names;
  for (const TPropInfo& p : list) names.push_back(p.Name);
  return names;
}

TEST(Properties, PublishedListsAreExactAndInOrder) {
  EXPECT_EQ(NamesOf(RE::StaticClass()->PublishedProperties()), (std::vector<std::string>{"Name", "Tag"}));
  EXPECT_EQ(NamesOf(RegularExpression::StaticClass()->PublishedProperties()),
            (std::vector<std::string>{"Name", "Tag", "MatchOptions", "ExpressionOptions", "Expression",
                                      "FormatString", "DirectoryRecursion", "MergeCopy", "StringToMatch",
                                      "FilesToMatch", "OnMatching", "OnSearching", "OnGrepping", "OnGreppingFiles",
                                      "OnFindFiles"}));
  EXPECT_EQ(NamesOf(RegularExpressionInterface::StaticClass()->PublishedProperties()),
            (std::vector<std::string>{"Name", "Tag", "ExpressionOptions", "Expression"}));
}

TEST(Properties, MetadataReadsAndWritesThroughTheAccessors) {
  RegularExpression re(nullptr);
  const TPropList& props = RegularExpression::StaticClass()->PublishedProperties();
  const TPropInfo* options = FindPropInfo(props, "ExpressionOptions");
  ASSERT_NE(options, nullptr);
  EXPECT_EQ(options->Kind, TTypeKind::Set);
  EXPECT_EQ(options->WriterName, "SetOptions");
  EXPECT_EQ(options->SetType->MemberNames.at(11), "CaseInsensitive");
  // Writing through the metadata runs SetOptions' rules: removing Normal empties the set.
  options->Write(re, TSetValue{0x9107 & ~0x8000u});
  EXPECT_EQ(std::get<TSetValue>(options->Read(re)).Bits, 0u);
  for (const TPropInfo& p : props) EXPECT_TRUE(p.Stored) << p.Name;

  const TPropInfo* expression = FindPropInfo(props, "Expression");
  expression->Write(re, AnsiString("x+"));
  EXPECT_EQ(re.GetExpression(), "x+");
}

TEST(Lifecycle, VirtualConstructorBuildsThePublishedClasses) {
  TComponent owner(nullptr);
  TComponent* made = RegularExpressionInterface::StaticClass()->Create(&owner);
  EXPECT_EQ(made->ClassName(), "RegularExpressionInterface");
  EXPECT_TRUE(made->ClassType()->InheritsFrom(RE::StaticClass()));
  EXPECT_EQ(made->GetOwner(), &owner);
}

TEST(Lifecycle, TheLockIsCreatedOnceEvenWhenThreadsRace) {
  RE::FreeFileOperationLock();  // start as a program without a library attach step would
  std::vector<std::thread> threads;
  std::vector<TCriticalSection*> seen(8);
  for (int i = 0; i < 8; ++i)
    threads.emplace_back([&seen, i] {
      RE re(nullptr);
      seen[static_cast<std::size_t>(i)] = RE::FileOperationLock;
    });
  for (auto& t : threads) t.join();
  for (TCriticalSection* s : seen) EXPECT_EQ(s, seen[0]);
  EXPECT_NE(seen[0], nullptr);
}

}  // namespace

namespace {

TEST(Registration, ThePaletteHoldsExactlyTheTwoPublishedClasses) {
  EXPECT_TRUE(PaletteClasses("RegExp").empty());  // nothing registers at run time by itself
  Regularexpression::Register();
  Regularexpressioninterface::Register();
  Regularexpression::Register();  // registering again records nothing new
  EXPECT_EQ(PaletteClasses("RegExp"),
            (std::vector<TComponentClass>{RegularExpression::StaticClass(),
                                          RegularExpressionInterface::StaticClass()}));
  EXPECT_EQ(FindRegisteredClass("RegularExpressionCustom"), nullptr);
  TComponent owner(nullptr);
  TComponent* made = FindRegisteredClass("RegularExpression")->Create(&owner);
  EXPECT_NE(dynamic_cast<RegularExpression*>(made), nullptr);
}

}  // namespace
