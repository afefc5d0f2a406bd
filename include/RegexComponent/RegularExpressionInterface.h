// RegularExpressionInterface: the component with only its expression and
// syntax options published; everything else stays reachable from code.
#pragma once

#include "RegexComponent/Export.h"
#include "RegexComponent/RegularExpressionCustom.h"

namespace RegexComponent {

class RC_API RegularExpressionInterface : public RegularExpressionCustom {
 public:
  explicit RegularExpressionInterface(TComponent* Owner);
  ~RegularExpressionInterface() override;

  static TComponentClass StaticClass();
  TComponentClass ClassType() const override { return StaticClass(); }
};

namespace Regularexpressioninterface {
// Puts RegularExpressionInterface on the palette page "RegExp".
RC_API void Register();
RC_API void Initialization();
RC_API void Finalization();
RC_API int InitializationCount();
}  // namespace Regularexpressioninterface

}  // namespace RegexComponent
