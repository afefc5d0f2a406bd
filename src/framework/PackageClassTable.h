// The package's own published classes, as the form reader knows them.
//
// External interface: FindPackageClass, defined by the package
// (package/PackageClasses.cpp). The form reader falls back to it for a class
// that is not on the designer's palette, so an application loads forms of
// the package's classes without registering anything: registering puts a
// class on the palette, which is the designer's business.
#pragma once

#include <string_view>

#include "RegexComponent/Framework/Classes.h"

namespace RegexComponent {

// The package's published class of that name; null for any other name.
TComponentClass FindPackageClass(std::string_view className);

}  // namespace RegexComponent
