// The package main unit: the package's version record and package
// information, and the unit's own start-up and shut-down entries.
#include <array>
#include <atomic>

#include "RegexComponent/PackageResources.h"

namespace RegexComponent {
namespace {

constexpr VersionNumber kVersion{1, 0, 0, 0};

// The version record carries the standard keys; the package ships with all
// of its descriptive strings empty.
constexpr std::array<VersionString, 8> kVersionStrings{{
    {"CompanyName", ""},
    {"FileDescription", ""},
    {"FileVersion", ""},
    {"InternalName", ""},
    {"LegalCopyright", ""},
    {"OriginalFilename", ""},
    {"ProductName", ""},
    {"ProductVersion", ""},
}};

constexpr PackageVersionInfo kVersionInfo{kVersion, kVersion, kVersionStrings};

// "vcl" supplies the component library (TComponent, the palette), "rtl" the
// run-time library with TCriticalSection.
constexpr std::array<std::string_view, 2> kRequiredPackages{"vcl", "rtl"};

constexpr std::array<PackageUnit, 7> kContainedUnits{{
    {"RegexComponents", PackageUnitKind::Main},
    {"RegularExpressionCustom", PackageUnitKind::Component},
    {"RegularExpression", PackageUnitKind::Component},
    {"RegularExpressionInterface", PackageUnitKind::Component},
    {"System", PackageUnitKind::Framework},
    {"Classes", PackageUnitKind::Framework},
    {"SyncObjs", PackageUnitKind::Framework},
}};

// Usable both in the designer and in programs.
constexpr PackageInformation kPackageInfo{false, false, kRequiredPackages, kContainedUnits};

std::atomic<int> initializationCount{0};

}  // namespace

const PackageVersionInfo& PackageVersion() { return kVersionInfo; }

const PackageInformation& PackageInfo() { return kPackageInfo; }

namespace Regexcomponents {

void Initialization() {
  if (initializationCount.fetch_add(1) != 0) return;
  // First start-up: the main unit has no state of its own to set up.
}

void Finalization() {
  int count = initializationCount.load();
  // Never below zero, so a stray call cannot make the next Initialization
  // look nested.
  while (count > 0 && !initializationCount.compare_exchange_weak(count, count - 1)) {
  }
  // When count was 1 the last user has gone; there is nothing to tear down.
}

int InitializationCount() { return initializationCount.load(); }

}  // namespace Regexcomponents
}  // namespace RegexComponent
