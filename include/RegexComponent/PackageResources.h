// The package's embedded resources, its version record and package
// information, the main unit's start-up entries and the library entry.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "RegexComponent/Export.h"

namespace RegexComponent {

// One file from package/resources, embedded in the library. `type` says how
// to read the bytes: "RCDATA" (raw data), "BITMAP" (a .bmp file with its
// BITMAPFILEHEADER) or "ICON" (an .ico file with its ICONDIR).
struct RC_API PackageResource {
  std::string_view name;
  std::string_view type;
  std::span<const std::uint8_t> data;
};

// Every embedded resource, in a fixed order. The bytes live as long as the
// library stays loaded.
RC_API std::span<const PackageResource> PackageResources();

// The resource called `name` (case-sensitive), or nothing.
RC_API std::optional<PackageResource> FindPackageResource(std::string_view name);

// The DESCRIPTION resource decoded: it is stored as UTF-16 little-endian
// without a byte-order mark.
RC_API std::u16string PackageDescription();

// A four-part version number, as in a version record.
struct RC_API VersionNumber {
  std::uint16_t major;
  std::uint16_t minor;
  std::uint16_t release;
  std::uint16_t build;
};

struct RC_API VersionString {
  std::string_view key;
  std::string_view value;
};

// The package's version record.
struct RC_API PackageVersionInfo {
  VersionNumber fileVersion;
  VersionNumber productVersion;
  std::span<const VersionString> strings;  // CompanyName, FileDescription, ...
};

RC_API const PackageVersionInfo& PackageVersion();

// Where a unit compiled into the package comes from.
enum class PackageUnitKind {
  Main,       // the package's own main unit
  Component,  // a component unit of the package
  Framework,  // a framework unit compiled into the package
};

struct RC_API PackageUnit {
  std::string_view name;
  PackageUnitKind kind;
};

// What a package loader needs to know before loading the package: whether it
// may be used at design time, at run time or both, which packages must be
// loaded first, and which units the package itself provides.
struct RC_API PackageInformation {
  bool designOnly;
  bool runOnly;
  std::span<const std::string_view> requiredPackages;
  std::span<const PackageUnit> containedUnits;
};

RC_API const PackageInformation& PackageInfo();

// Start-up and shut-down entries of the package main unit, for a host that
// drives unit start-up itself. Calls nest: only the first Initialization and
// the Finalization that balances it do the unit's work (it has none today).
// A Finalization without an open Initialization is ignored.
namespace Regexcomponents {
RC_API void Initialization();
RC_API void Finalization();
RC_API int InitializationCount();
}  // namespace Regexcomponents

// The library's load and unload work: creating and freeing the component
// class's process-wide file-operation lock. The library's ELF constructor and
// destructor call these, so a program never has to; they are public so that
// a test can drive a full unload/reload cycle inside one process.
RC_API void InitializePackage();
RC_API void FinalizePackage();

}  // namespace RegexComponent

// The C entry points, for a host that opens the library with dlopen and looks
// symbols up by name. They never throw.
extern "C" {
// 1 while the file-operation lock exists, 0 otherwise.
RC_API int rc_package_lock_exists(void);
// Creates a RegularExpression component, searches `subject` for `expression`
// with the component's default options, frees it again. 1 if found, 0 if not,
// -1 if the expression is invalid or any argument is null.
RC_API int rc_package_search(const char* expression, const char* subject);
}
