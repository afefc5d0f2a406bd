// Loads the shared library with dlopen the way a host loads a package,
// talks to it through its C entry points and unloads it again. This program
// is linked with --as-needed and uses no library symbol directly, so the
// library is in memory only between dlopen and dlclose.
//
// Like a host that loads a package's required packages first, the test
// loads Boost.Regex before the library. Boost.Regex can never be unloaded
// (it defines unique symbols); loaded as the library's dependency it would
// bind some of its symbols to the library and so pin it in memory too.
#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {

constexpr const char* kLibrary = RC_PACKAGE_LIBRARY;

void LoadRequiredLibraries() {
  static void* const boost = dlopen(RC_BOOST_REGEX_LIBRARY, RTLD_NOW | RTLD_GLOBAL);
  ASSERT_NE(boost, nullptr) << RC_BOOST_REGEX_LIBRARY;
}

bool IsLoaded() {
  void* handle = dlopen(kLibrary, RTLD_NOW | RTLD_NOLOAD);
  if (handle) dlclose(handle);
  return handle != nullptr;
}

template <class Function>
Function* Symbol(void* handle, const char* name) {
  void* symbol = dlsym(handle, name);
  EXPECT_NE(symbol, nullptr) << name << ": " << dlerror();
  return reinterpret_cast<Function*>(symbol);
}

// One load: checks the entry's work and the library's use, then unloads.
void LoadUseAndUnload() {
  LoadRequiredLibraries();
  ASSERT_FALSE(IsLoaded());
  void* handle = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  auto* lockExists = Symbol<int()>(handle, "rc_package_lock_exists");
  auto* search = Symbol<int(const char*, const char*)>(handle, "rc_package_search");
  ASSERT_TRUE(lockExists && search);
  EXPECT_EQ(lockExists(), 1);
  EXPECT_EQ(search("[0-9]+\\.[0-9]+", "version 1.25 here"), 1);
  EXPECT_EQ(search("[0-9]+\\.[0-9]+", "no number"), 0);
  EXPECT_EQ(lockExists(), 1);
  EXPECT_EQ(dlclose(handle), 0) << dlerror();
  // Really unmapped, so the destructor has run (under LeakSanitizer a lock
  // it failed to free is reported as a leak).
  EXPECT_FALSE(IsLoaded());
}

TEST(PackageLoad, LoadCreatesTheLockAndUnloadUnmaps) { LoadUseAndUnload(); }

TEST(PackageLoad, ReloadStartsAFreshLibrary) {
  LoadUseAndUnload();
  LoadUseAndUnload();
}

}  // namespace
