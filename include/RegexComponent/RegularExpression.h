// RegularExpression: the component with every property and event published.
#pragma once

#include "RegexComponent/RegularExpressionCustom.h"

namespace RegexComponent {

class RegularExpression : public RegularExpressionCustom {
 public:
  explicit RegularExpression(TComponent* Owner);
  ~RegularExpression() override;

  static TComponentClass StaticClass();
  TComponentClass ClassType() const override { return StaticClass(); }
};

namespace Regularexpression {
// Puts RegularExpression on the palette page "RegExp".
void Register();
void Initialization();
void Finalization();
int InitializationCount();
}  // namespace Regularexpression

}  // namespace RegexComponent
