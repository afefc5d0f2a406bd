// RegularExpression: the component with every property and event published.
#pragma once

#include "RegexComponent/Export.h"
#include "RegexComponent/RegularExpressionCustom.h"

namespace RegexComponent {

class RC_API RegularExpression : public RegularExpressionCustom {
 public:
  explicit RegularExpression(TComponent* Owner);
  ~RegularExpression() override;

  static TComponentClass StaticClass();
  TComponentClass ClassType() const override { return StaticClass(); }
};

namespace Regularexpression {
// Puts RegularExpression on the palette page "RegExp".
RC_API void Register();
RC_API void Initialization();
RC_API void Finalization();
RC_API int InitializationCount();
}  // namespace Regularexpression

}  // namespace RegexComponent
