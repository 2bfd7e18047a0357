#!/usr/bin/env bash
# CI, Linux on other processors: the 32-bit and 64-bit ARM systems of
# flashing stations (armhf, aarch64) and 32-bit x86 (i686), each built with
# Debian's cross compiler into build-<arch>/:
#
#   build-<arch>/googletest  GoogleTest from /usr/src/googletest, built once
#   build-<arch>/tests       the tests, not optimised, run: ARM under qemu-user
#                            (binfmt_misc hands the programs the tests start
#                            to it too), i686 by this x86-64 kernel itself
#   build-<arch>/release     the programs alone, -O2 -Werror: the optimiser
#                            finds warnings that a Debug build does not
#
# Tests that qemu-user cannot carry (an ioctl it does not translate) have
# the CTest label no-qemu-user and are left out under it, and only there.
#
#   .ci/cross.sh [arch...]     (default: armhf aarch64 i686)
set -euo pipefail
cd "$(dirname "$0")/.."

arches=("$@")
[ ${#arches[@]} -gt 0 ] || arches=(armhf aarch64 i686)

triple_of() {
  case $1 in
  armhf) echo arm-linux-gnueabihf ;;
  aarch64) echo aarch64-linux-gnu ;;
  i686) echo i686-linux-gnu ;;
  *) echo "cross.sh: no such architecture: $1 (armhf, aarch64, i686)" >&2; exit 2 ;;
  esac
}

missing=()
need() { command -v "$1" >/dev/null || missing+=("$2"); }
for arch in "${arches[@]}"; do
  triple_of "$arch" > /dev/null
  case $arch in
  armhf) need arm-linux-gnueabihf-g++ g++-arm-linux-gnueabihf; need qemu-arm-static qemu-user-static ;;
  aarch64) need aarch64-linux-gnu-g++ g++-aarch64-linux-gnu; need qemu-aarch64-static qemu-user-static ;;
  # g++-multilib would conflict with the cross compilers: the 32-bit C
  # library that runs the tests comes from libc6-i386.
  i686) need i686-linux-gnu-g++ g++-i686-linux-gnu; [ -e /lib/ld-linux.so.2 ] || missing+=(libc6-i386) ;;
  esac
  [ "$arch" = i686 ] || need update-binfmts binfmt-support
done
need cmake cmake
need make make
[ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)
[ -f /usr/include/nlohmann/json.hpp ] || missing+=(nlohmann-json3-dev)
if [ ${#missing[@]} -gt 0 ]; then
  mapfile -t missing < <(printf '%s\n' "${missing[@]}" | sort -u)
  echo "Installing: ${missing[*]}"
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

# qemu-user for the ARM programs, also those that a test starts: the kernel
# hands an ARM program to qemu through binfmt_misc.
for arch in "${arches[@]}"; do
  case $arch in
  armhf) qemu="qemu-arm" ;;
  aarch64) qemu="qemu-aarch64" ;;
  *) continue ;;
  esac
  if [ ! -e /proc/sys/fs/binfmt_misc/status ]; then
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  fi
  [ -e "/proc/sys/fs/binfmt_misc/$qemu" ] || update-binfmts --enable "$qemu"
done

report=()
step() { # name: the time since the last step, for the report
  times+=("$1 $((SECONDS - mark)) s")
  mark=$SECONDS
}
for arch in "${arches[@]}"; do
  triple=$(triple_of "$arch")
  toolchain=$PWD/cmake/linux-$arch.cmake
  dir=build-$arch
  times=()
  mark=$SECONDS

  echo "== $arch: GoogleTest"
  gtest=$PWD/$dir/googletest
  mkdir -p "$gtest"
  if [ ! -f "$gtest/install/lib/cmake/GTest/GTestConfig.cmake" ]; then
    # With the file offsets and times of our own code: GoogleTest's
    # inline functions that take a struct stat are shared with it. Not
    # optimised: that halves its build, and the tests do not wait on it.
    { cmake -S /usr/src/googletest -B "$gtest/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS="-D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64" \
        -DCMAKE_INSTALL_PREFIX="$gtest/install" &&
      cmake --build "$gtest/build" -j2 && cmake --install "$gtest/build"; } > "$gtest/build.log" 2>&1 ||
      { cat "$gtest/build.log"; exit 1; }
  fi
  step GoogleTest

  echo "== $arch: the programs alone, -O2 -Werror"
  cmake -S . -B "$dir/release" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DFWSEND_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG -Werror" > /dev/null
  # The programs a station runs, not the benchmarks.
  programs=(fwsend fwsend-ports fwsend-target)
  if cmake --build "$dir/release" --target help | grep -qw fwsend-gang; then programs+=(fwsend-gang); fi
  cmake --build "$dir/release" -j2 --target "${programs[@]}"
  step "-O2 -Werror build"

  echo "== $arch: the tests"
  # Not optimised, with assertions, without debugging information (a fifth
  # of the build's time, and nobody debugs here).
  cmake -S . -B "$dir/tests" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=None \
    -DGTest_DIR="$gtest/install/lib/cmake/GTest" > /dev/null
  cmake --build "$dir/tests" -j2
  step "test build"
  leave_out=vm
  [ "$arch" = i686 ] || leave_out='vm|no-qemu-user'
  # QEMU_LD_PREFIX: where qemu-user finds the ARM loader and C library,
  # for the programs the tests start as well.
  QEMU_LD_PREFIX=/usr/$triple ctest --test-dir "$dir/tests" -j2 -LE "$leave_out" --output-on-failure \
    --no-tests=error --timeout 300
  step "test run"
  report+=("$arch: ${times[*]}")
done

echo "== Cross builds done:"
printf '  %s\n' "${report[@]}"
echo "  in all: $SECONDS s"
