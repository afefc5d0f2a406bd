# Installs the built package into a scratch prefix, then configures, builds
# and runs a small consumer against it, once through find_package and once
# through pkg-config.
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BINARY_DIR} --prefix ${WORK_DIR}/prefix
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(rc)
  message(FATAL_ERROR "install failed")
endif()
# Only the public headers are installed; the file-search object is internal.
file(GLOB_RECURSE leaked ${WORK_DIR}/prefix/*/RegEx.h)
if(leaked)
  message(FATAL_ERROR "internal header installed: ${leaked}")
endif()
# The 2.x ABI: the library's soname carries major version 2.
file(GLOB_RECURSE sonamed ${WORK_DIR}/prefix/*/libregexcomponents.so.2)
if(NOT sonamed)
  message(FATAL_ERROR "no libregexcomponents.so.2 installed")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/install/consumer -B ${WORK_DIR}/build -G Ninja
                        -DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "consumer configure failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/build RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "consumer build failed")
endif()
execute_process(COMMAND ${WORK_DIR}/build/consumer RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "consumer (find_package) failed")
endif()

find_program(PKG_CONFIG pkg-config)
find_program(CXX_COMPILER NAMES c++ g++)
if(PKG_CONFIG AND CXX_COMPILER)
  file(GLOB_RECURSE pcfile ${WORK_DIR}/prefix/*/regexcomponents.pc)
  get_filename_component(pcdir "${pcfile}" DIRECTORY)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${pcdir}
                          ${PKG_CONFIG} --cflags --libs regexcomponents
                  OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
  if(rc)
    message(FATAL_ERROR "pkg-config does not know regexcomponents")
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  # pkg-config leaves the language standard to the consumer (C++20 or later).
  execute_process(COMMAND ${CXX_COMPILER} -std=c++23 ${SOURCE_DIR}/tests/install/consumer/consumer.cpp ${flags}
                          -o ${WORK_DIR}/consumer-pc RESULT_VARIABLE rc)
  if(rc)
    message(FATAL_ERROR "consumer (pkg-config) build failed")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${WORK_DIR}/prefix/lib
                          ${WORK_DIR}/consumer-pc RESULT_VARIABLE rc)
  if(rc)
    message(FATAL_ERROR "consumer (pkg-config) failed")
  endif()
endif()
