#!/usr/bin/env bash
# Installs the Debian packages the build, tests, benchmarks and fuzzers need,
# skipping those already present. Run as root or with sudo available.
set -euo pipefail

packages=(g++ cmake ninja-build pkg-config libboost-regex-dev libgtest-dev libgmock-dev
          libbenchmark-dev libcli11-dev clang libclang-rt-14-dev python3 dpkg-dev time
          ripgrep)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
