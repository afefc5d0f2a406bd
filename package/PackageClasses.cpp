// The package's table of published classes, which the form reader consults
// when a class is not on the palette (see src/framework/PackageClassTable.h).
// Looking a class up creates nothing and registers nothing.
#include <array>

#include "RegexComponent/RegularExpression.h"
#include "RegexComponent/RegularExpressionInterface.h"
#include "framework/PackageClassTable.h"

namespace RegexComponent {

TComponentClass FindPackageClass(std::string_view className) {
  const std::array<TComponentClass, 2> published{RegularExpression::StaticClass(),
                                                 RegularExpressionInterface::StaticClass()};
  for (TComponentClass cls : published) {
    if (cls->ClassName() == className) return cls;
  }
  return nullptr;
}

}  // namespace RegexComponent
