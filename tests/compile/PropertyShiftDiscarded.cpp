// Compiled by CTest twice: with RC_ASSIGN_BACK the option is assigned back
// and the file must compile; without it the changed set is discarded, which
// must draw the unused-result warning (an error under -Werror=unused-result).
#include <RegexComponent/RegularExpression.h>

int main() {
  using namespace RegexComponent;
  RegularExpression re(nullptr);
#ifdef RC_ASSIGN_BACK
  re.ExpressionOptions = re.ExpressionOptions << RegularExpressionCustom::CaseInsensitive;
#else
  re.ExpressionOptions << RegularExpressionCustom::CaseInsensitive;
#endif
  return 0;
}
