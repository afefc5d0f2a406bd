# The three test builds, for ./test.sh and scripts/soak.sh (sourced, not
# run): each one's build folder, CTest filter and CMake arguments, and the
# sanitizers' settings, exported for every run (each sanitizer reads only
# its own; the plain build's programs read none).
#
# Line tables (-g1) are what a failure's stack trace needs; full debug
# information would double the build. The optimised build's test programs
# build at -O1; what they test is built at -O2. ASan + UBSan stay at -O0:
# with UBSan, -O1 compiles several times slower than it saves. The
# ThreadSanitizer build holds only the test sources with threaded tests and
# the tool, whose threads the grep tests run.
# shellcheck disable=SC2034
normal_dir=build/test
normal_filter=""
normal_cmake=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"
              -DRC_TEST_COMPILE_OPTIONS=-O1)

asan_dir=build/asan
asan_filter=""
asan_cmake=(-DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g1" -DRC_SANITIZE=address,undefined
            -DRC_BUILD_EXAMPLES=OFF)
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1

tsan_dir=build/tsan
tsan_filter="-R Thread"
tsan_cmake=(-DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" -DRC_SANITIZE=thread
            -DRC_BUILD_EXAMPLES=OFF)
export TSAN_OPTIONS=halt_on_error=1
