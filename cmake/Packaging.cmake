# A Debian package of everything `cmake --install` installs: the library, the
# headers, the CMake package, the pkg-config file, and the regexp tool with
# its man page; made with `cpack -G DEB` in a build folder (see README).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME regexcomponents)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Non-visual regular-expression components for C++, driven by Boost.Regex")
set(CPACK_PACKAGE_DESCRIPTION
    "A C++20 library of regular-expression components (match, search, grep, format,\n merge, file search) with the command-line tool regexp.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "RegexComponents developers <regexcomponents@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION libdevel)
# The run-time libraries come from dpkg-shlibdeps. Boost.Regex's headers are
# needed only by RegexComponent/EngineTypes.h, for callers of
# GrepCallbackPredicate; as a development package it still depends on them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libboost-regex-dev (>= 1.74)")
include(CPack)

install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/regexcomponents RENAME copyright)
install(FILES ${PROJECT_SOURCE_DIR}/CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/regexcomponents)
