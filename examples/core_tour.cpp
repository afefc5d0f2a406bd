// A short tour of the component's core: syntax options and the flag words
// they produce, match options, lazy compilation and compile errors, and a
// search with its event.
#include <cstdio>
#include <string>

#include <RegexComponent/RegularExpression.h>

using namespace RegexComponent;
using RE = RegularExpressionCustom;

namespace {

struct Form : TComponent {
  Form() : TComponent(nullptr) {}
  void Found(TObject*, const CPPStringArray& parts, unsigned line, unsigned lineStart) {
    std::printf("  found \"%s\" on line %u (line starts at byte %u)\n", parts[0].c_str(), line, lineStart);
    for (std::size_t i = 1; i + 3 < parts.size(); ++i) std::printf("    group %zu: \"%s\"\n", i, parts[i].c_str());
  }
};

void ShowOptions(RegularExpression& re, const char* what) {
  std::printf("%-40s flag word 0x%04X, set bits 0x%04X\n", what, re.GetFlagOptions(),
              static_cast<unsigned>(RE::OptionsSet(re.ExpressionOptions).ToBits()));
}

}  // namespace

int main() {
  Form form;
  auto* re = new RegularExpression(&form);  // owned by the form, destroyed with it
  re->Name = "Finder";

  std::printf("Syntax options\n");
  ShowOptions(*re, "new component (Normal):");
  re->ExpressionOptions = re->ExpressionOptions << RE::Basic;
  ShowOptions(*re, "Basic added:");
  re->ExpressionOptions = re->ExpressionOptions << RE::Extended;
  ShowOptions(*re, "Extended added:");
  re->ExpressionOptions = re->ExpressionOptions << RE::CaseInsensitive;
  ShowOptions(*re, "CaseInsensitive added:");

  std::printf("\nMatch options\n");
  re->MatchOptions = RE::MatchesSet{RE::MatchDefault, RE::MatchNotDotNewline};
  std::printf("%-40s match word 0x%04X\n", "MatchNotDotNewline:", re->GetMatchFlags());
  re->MatchOptions = RE::MatchesSet{RE::MatchDefault};
  std::printf("%-40s match word 0x%04X\n", "back to MatchDefault:", re->GetMatchFlags());

  std::printf("\nCompilation is lazy\n");
  re->Expression = "(unbalanced";
  std::printf("  before any operation: error \"%s\", %u sub-expressions\n", re->GetExpressionError().c_str(),
              re->NumberOfSubexpressions());
  re->StringToMatch = "text";
  const bool found = re->Search();
  std::printf("  Search() = %s, ParseExpression() = %u, error \"%s\"\n", found ? "true" : "false",
              re->ParseExpression(), re->GetExpressionError().c_str());

  std::printf("\nA search with its event\n");
  re->ExpressionOptions = RE::OptionsSet{RE::Extended, RE::CaseInsensitive};
  re->Expression = "(ab+)(c)";
  re->StringToMatch = "first line\nsecond: xABBBc!";
  re->OnSearching = Bind(&form, &Form::Found);
  re->Search();
  std::printf("  %u sub-expressions (the whole match included)\n", re->NumberOfSubexpressions());
  return 0;
}
