#include "RegexComponent/RegularExpressionInterface.h"

namespace RegexComponent {

RegularExpressionInterface::RegularExpressionInterface(TComponent* Owner) : RegularExpressionCustom(Owner) {}

RegularExpressionInterface::~RegularExpressionInterface() = default;

TComponentClass RegularExpressionInterface::StaticClass() {
  static const TMetaClass meta = [] {
    TPropList published = RegularExpressionCustom::StaticClass()->PublishedProperties();
    const TPropList own = SelectProperties(
        DeclaredProperties(),
        {"ExpressionOptions", "Expression"});
    published.insert(published.end(), own.begin(), own.end());
    return TMetaClass("RegularExpressionInterface", RegularExpressionCustom::StaticClass(),
                      &CreateComponent<RegularExpressionInterface>, std::move(published));
  }();
  return &meta;
}

namespace Regularexpressioninterface {
namespace {
int initializationCount = 0;
}

void Register() {
  const AnsiString page("RegExp");
  const TComponentClass classes[1] = {RegularExpressionInterface::StaticClass()};
  RegisterComponents(page, classes, 0);
}

void Initialization() { ++initializationCount; }
void Finalization() { --initializationCount; }
int InitializationCount() { return initializationCount; }
}  // namespace Regularexpressioninterface

}  // namespace RegexComponent
