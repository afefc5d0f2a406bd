// The library entry: what happens when the shared library is loaded and
// unloaded, and the small C surface for hosts that use dlopen.
#include "RegexComponent/PackageResources.h"
#include "RegexComponent/RegularExpression.h"

namespace RegexComponent {

void InitializePackage() { RegularExpressionCustom::CreateFileOperationLock(); }

void FinalizePackage() { RegularExpressionCustom::FreeFileOperationLock(); }

}  // namespace RegexComponent

namespace {

// Creating the lock needs no dynamically initialised state (the pointer is
// constant-initialised, the creation mutex a function-local static), so the
// order of the library's static initialisers does not matter here. On
// dlclose the destructor runs before the library's static objects are
// destroyed; at process exit glibc runs it after them, which is harmless
// because freeing the lock uses no object with a non-trivial destructor.
__attribute__((constructor)) void LoadPackage() { RegexComponent::InitializePackage(); }

__attribute__((destructor)) void UnloadPackage() { RegexComponent::FinalizePackage(); }

}  // namespace

extern "C" int rc_package_lock_exists(void) {
  return RegexComponent::RegularExpressionCustom::FileOperationLock != nullptr ? 1 : 0;
}

extern "C" int rc_package_search(const char* expression, const char* subject) {
  if (!expression || !subject) return -1;
  try {
    RegexComponent::RegularExpression component(nullptr);
    component.Expression = expression;
    component.StringToMatch = subject;
    if (component.ParseExpression() != 0) return -1;
    return component.Search() ? 1 : 0;
  } catch (...) {
    return -1;  // nothing may unwind into a C caller
  }
}
