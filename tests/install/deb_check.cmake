# Builds the Debian package of a build folder, unpacks it into a scratch root
# (as dpkg would install it, without touching the system) and checks it:
# its dependencies, the files it must hold, the tool it ships, and a consumer
# built through find_package against the unpacked /usr.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
execute_process(COMMAND cpack -G DEB --config ${BINARY_DIR}/CPackConfig.cmake -B ${WORK_DIR}/out
                RESULT_VARIABLE rc OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(rc)
  message(FATAL_ERROR "cpack failed:\n${log}")
endif()
file(GLOB deb ${WORK_DIR}/out/*.deb)
list(LENGTH deb count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one .deb, found: ${deb}")
endif()

execute_process(COMMAND dpkg-deb -f ${deb} Depends OUTPUT_VARIABLE depends RESULT_VARIABLE rc)
foreach(needed libboost-regex-dev libboost-regex1 libstdc\\+\\+6 libc6)
  if(NOT depends MATCHES "${needed}")
    message(FATAL_ERROR "Depends lacks ${needed}: ${depends}")
  endif()
endforeach()

set(root ${WORK_DIR}/root)
execute_process(COMMAND dpkg-deb -x ${deb} ${root} RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "dpkg-deb -x failed")
endif()
foreach(pattern usr/bin/regexp usr/share/man/man1/regexp.1.gz usr/share/doc/*/copyright
                usr/include/RegexComponent/RegularExpression.h usr/lib*/libregexcomponents.so*
                usr/lib*/cmake/RegexComponents/RegexComponentsConfig.cmake usr/lib*/pkgconfig/regexcomponents.pc)
  file(GLOB_RECURSE found ${root}/${pattern})
  file(GLOB found_direct ${root}/${pattern})
  if(NOT found AND NOT found_direct)
    message(FATAL_ERROR "the package lacks ${pattern}")
  endif()
endforeach()

execute_process(COMMAND ${root}/usr/bin/regexp search b+ --text abbc OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(rc OR NOT out MATCHES "match: bb")
  message(FATAL_ERROR "the packaged regexp did not run (${rc}): ${out}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/install/consumer -B ${WORK_DIR}/build -G Ninja
                        -DCMAKE_PREFIX_PATH=${root}/usr RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "consumer configure against the package failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/build RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "consumer build against the package failed")
endif()
execute_process(COMMAND ${WORK_DIR}/build/consumer RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "consumer built against the package failed")
endif()
