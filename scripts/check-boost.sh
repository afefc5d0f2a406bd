#!/usr/bin/env bash
# Builds the project against Debian's Boost 1.81 and runs its tests, without
# installing anything into the system: the 1.81 packages are downloaded with
# apt-get download, unpacked with dpkg -x into a scratch folder, and CMake is
# pointed at them. The system's Boost (1.74 on Debian 12) is what ./test.sh
# uses; this script checks the other supported version.
#
#   scripts/check-boost.sh [BUILD_DIR]      (default build/boost181)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/boost181}
version=1.81
scratch=$PWD/build/boost${version/./}-root
bash scripts/install-deps.sh

if [ ! -f "$scratch/usr/include/boost/version.hpp" ]; then
  rm -rf "$scratch" && mkdir -p "$scratch/debs"
  (cd "$scratch/debs" && apt-get download -qq -o APT::Sandbox::User=root "libboost${version}-dev" "libboost-regex${version}-dev" \
    "libboost-regex${version}.0")
  for deb in "$scratch"/debs/*.deb; do dpkg -x "$deb" "$scratch"; done
fi
found=$(sed -n 's/^#define BOOST_LIB_VERSION "\(.*\)"/\1/p' "$scratch/usr/include/boost/version.hpp")
echo "== Boost ${found//_/.} from $scratch"

# Boost_NO_SYSTEM_PATHS and the exact config folder keep the system's 1.74
# out of the build; the unpacked libraries are found at run time through
# LD_LIBRARY_PATH.
config_dir=$(dirname "$(find "$scratch" -name "BoostConfig.cmake" | head -n1)")
libdir=$(dirname "$(find "$scratch" -name "libboost_regex.so.*" | head -n1)")
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRC_BUILD_EXAMPLES=OFF \
  -DBoost_DIR="$config_dir" -DBoost_NO_SYSTEM_PATHS=ON -DCMAKE_PREFIX_PATH="$scratch/usr" \
  -DCMAKE_CXX_FLAGS="-isystem $scratch/usr/include" >/dev/null
grep -q "boost_regex_DIR:PATH=$scratch" "$build/CMakeCache.txt" || { echo "CMake did not take Boost $version"; exit 1; }
cmake --build "$build" -j"$(nproc)"
LD_LIBRARY_PATH="$libdir" ctest --test-dir "$build" --output-on-failure -j"$(nproc)" -E 'install_consumer|deb_package'
