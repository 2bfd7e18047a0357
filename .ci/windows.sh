#!/usr/bin/env bash
# CI, Windows part: cross-builds fwsend.exe, fwsend-ports.exe, fwsend-gang.exe
# and the tests with MinGW-w64, runs the tests under wine, then the wine
# end-to-end uploads of fwsend.exe and of fwsend-gang.exe against the Linux
# build's simulated target (build/, made by .ci/run before this).
set -euo pipefail
cd "$(dirname "$0")/.."

missing=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64-posix)
command -v wine >/dev/null || missing+=(wine wine64)
[ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

toolchain=$PWD/cmake/mingw-w64-x86_64.cmake
gtest=$PWD/build-gtest-win
if [ ! -f "$gtest/install/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S /usr/src/googletest -B "$gtest/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$gtest/install"
  cmake --build "$gtest/build" -j2
  cmake --install "$gtest/build"
fi

# A fresh prefix with a persistent server, initialised before any test, so
# that wine's background services start here, detached from our output;
# started by a test, they would hold the test runner's output pipe open.
export WINEPREFIX=$PWD/build-wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
wineserver -p < /dev/null > /dev/null 2>&1
timeout 300 wineboot --init < /dev/null > /dev/null 2>&1
trap 'wineserver -k || true' EXIT

cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DGTest_DIR="$gtest/install/lib/cmake/GTest"
cmake --build build-windows -j2
ctest --test-dir build-windows --output-on-failure --no-tests=error --timeout 120

tests/wine/e2e.sh build build-windows
tests/wine/gang_e2e.sh build build-windows
