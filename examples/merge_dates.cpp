// Merge and Format with the package's format syntax: rewriting dates,
// keeping or dropping the text between matches (MergeCopy), a conditional
// on an optional sub-expression, and Format against the last search.
#include <cstdio>
#include <string>

#include <RegexComponent/RegularExpression.h>

using namespace RegexComponent;

int main() {
  TComponent form(nullptr);
  auto* re = new RegularExpression(&form);
  re->StringToMatch = "released 2023-11-02, patched 2024-01-15 (rc), retired 2025-06-30\n";
  re->Expression = "(\\d{4})-(\\d{2})-(\\d{2})( \\(rc\\))?";

  std::string out;
  re->FormatString = "$3.$2.$1?4( [candidate]):";
  re->MergeCopy = true;
  re->Merge(out);
  std::printf("MergeCopy = true:\n  %s", out.c_str());

  re->MergeCopy = false;
  re->FormatString = "$1\\t$2\\t$3\\n";
  re->Merge(out);
  std::printf("MergeCopy = false, one tab-separated line per match:\n%s", out.c_str());

  re->FormatString = "first date: $&, before it: \"$`\"";
  if (re->Search()) {
    re->Format(out);
    std::printf("Format after Search:\n  %s\n", out.c_str());
  }
  return 0;
}
