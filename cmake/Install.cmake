# Installs the public headers, the shared library, a CMake package exporting
# RegexComponents::RegexComponents and a pkg-config file.
include(CMakePackageConfigHelpers)

install(DIRECTORY include/RegexComponent DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS RegexComponents EXPORT RegexComponentsTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT RegexComponentsTargets
  NAMESPACE RegexComponents::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/RegexComponents)
configure_package_config_file(cmake/RegexComponentsConfig.cmake.in
  ${PROJECT_BINARY_DIR}/RegexComponentsConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/RegexComponents)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/RegexComponentsConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/RegexComponentsConfig.cmake
  ${PROJECT_BINARY_DIR}/RegexComponentsConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/RegexComponents)
# The .pc file names its prefix relative to its own folder, so an installed
# tree can be moved (and tests can install into a scratch prefix).
file(RELATIVE_PATH RC_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
configure_file(cmake/regexcomponents.pc.in ${PROJECT_BINARY_DIR}/regexcomponents.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/regexcomponents.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
