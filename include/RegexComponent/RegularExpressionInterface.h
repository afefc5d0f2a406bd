// RegularExpressionInterface: the component with only its expression and
// syntax options published; everything else stays reachable from code.
#pragma once

#include "RegexComponent/RegularExpressionCustom.h"

namespace RegexComponent {

class RegularExpressionInterface : public RegularExpressionCustom {
 public:
  explicit RegularExpressionInterface(TComponent* Owner);
  ~RegularExpressionInterface() override;

  static TComponentClass StaticClass();
  TComponentClass ClassType() const override { return StaticClass(); }
};

namespace Regularexpressioninterface {
// Puts RegularExpressionInterface on the palette page "RegExp".
void Register();
void Initialization();
void Finalization();
int InitializationCount();
}  // namespace Regularexpressioninterface

}  // namespace RegexComponent
