// A program outside the tree, built against the installed package. It
// checks the core's edge cases and exits non-zero on the first difference.
#include <cstdio>

#include <RegexComponent/RegularExpression.h>

using namespace RegexComponent;
using RE = RegularExpressionCustom;

#define CHECK(cond)                                                \
  do {                                                             \
    if (!(cond)) {                                                 \
      std::fprintf(stderr, "consumer: check failed: %s\n", #cond); \
      return 1;                                                    \
    }                                                              \
  } while (0)

int main() {
  RegularExpression re(nullptr);
  CHECK(RE::OptionsSet(re.ExpressionOptions).ToBits() == 0x9107);
  CHECK(re.GetFlagOptions() == 0x4107);
  CHECK(re.GetMatchFlags() == 0);
  re.ExpressionOptions = re.ExpressionOptions << RE::Basic;
  CHECK(re.GetFlagOptions() == 0x01CE);
  re.ExpressionOptions = re.ExpressionOptions >> RE::LimitedOperations;
  CHECK(re.GetFlagOptions() == 0x01C6);
  re.MatchOptions = RE::MatchesSet{};
  CHECK(re.GetMatchFlags() == 0x00FF);
  re.ExpressionOptions = RE::OptionsSet{RE::EscapeInCharacterSets, RE::CharacterClasses, RE::Intervals,
                                        RE::BackReferences, RE::NoLocaleSpecificCollation, RE::Normal};
  CHECK(re.GetFlagOptions() == 0x4107);
  re.Expression = AnsiString("a(b\0)", 5);
  CHECK(re.GetExpression() == "a(b");
  CHECK(re.GetExpressionError().empty());
  CHECK(re.ParseExpression() != 0);
  CHECK(!re.GetExpressionError().empty());
  re.ExpressionOptions = RE::OptionsSet{RE::Extended};
  re.MatchOptions = RE::MatchesSet{RE::MatchDefault};
  re.Expression = "(a)(b)";
  CHECK(re.NumberOfSubexpressions() == 0);
  re.StringToMatch = "xab";
  CHECK(re.Search());
  CHECK(re.NumberOfSubexpressions() == 3);
  CHECK(re.GetMatchingStrings().size() == 6);
  std::puts("consumer: ok");
  return 0;
}
