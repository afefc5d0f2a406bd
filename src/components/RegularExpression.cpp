#include "RegexComponent/RegularExpression.h"

namespace RegexComponent {

RegularExpression::RegularExpression(TComponent* Owner) : RegularExpressionCustom(Owner) {}

RegularExpression::~RegularExpression() = default;

TComponentClass RegularExpression::StaticClass() {
  static const TMetaClass meta = [] {
    TPropList published = RegularExpressionCustom::StaticClass()->PublishedProperties();
    const TPropList own = SelectProperties(
        DeclaredProperties(),
        {"MatchOptions", "ExpressionOptions", "Expression", "FormatString", "DirectoryRecursion", "MergeCopy",
         "StringToMatch", "FilesToMatch", "OnMatching", "OnSearching", "OnGrepping", "OnGreppingFiles",
         "OnFindFiles"});
    published.insert(published.end(), own.begin(), own.end());
    return TMetaClass("RegularExpression", RegularExpressionCustom::StaticClass(),
                      &CreateComponent<RegularExpression>, std::move(published));
  }();
  return &meta;
}

namespace Regularexpression {
namespace {
int initializationCount = 0;
}

void Register() {
  const AnsiString page("RegExp");
  const TComponentClass classes[1] = {RegularExpression::StaticClass()};
  RegisterComponents(page, classes, 0);
}

void Initialization() { ++initializationCount; }
void Finalization() { --initializationCount; }
int InitializationCount() { return initializationCount; }
}  // namespace Regularexpression

}  // namespace RegexComponent
