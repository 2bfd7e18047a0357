#!/usr/bin/env bash
# CI, style: every C++ file of ours is laid out as .clang-format says, and its
# names follow .clang-tidy's naming rules. The names are checked against the
# compile databases of the Linux build (build/) and of the Windows cross
# build (build-windows/), both made before this.
set -euo pipefail
cd "$(dirname "$0")/.."

missing=()
command -v clang-format >/dev/null || missing+=(clang-format)
command -v run-clang-tidy >/dev/null || missing+=(clang-tidy)
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

mapfile -t sources < <(git ls-files '*.cpp' '*.h')

echo "-- layout (clang-format)"
clang-format --dry-run -Werror "${sources[@]}"

echo "-- names (clang-tidy)"
[ -f build/compile_commands.json ] || { echo "build/compile_commands.json is missing: build first"; exit 1; }
# run-clang-tidy takes regular expressions; only our units in the database.
run-clang-tidy -quiet -p build -j 2 "$PWD/(app|upload|transport|platform|ports|gang|tools|tests|bench)/" \
  > build/clang-tidy.log 2>&1 || { grep -E "error:|warning:" build/clang-tidy.log | sort -u; exit 1; }

# The Windows-only units, through MinGW's headers.
[ -f build-windows/compile_commands.json ] || { echo "build-windows/compile_commands.json is missing"; exit 1; }
mingw=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
windows_units=$(git ls-files 'platform/windows/*.cpp' 'ports/windows_*.cpp' 'ports/main.cpp' 'tests/wine/*.cpp' \
  'gang/*_windows.cpp' 'gang/windows_*.cpp' 'tests/gang/child_process_test.cpp' 'tests/gang/child_stub.cpp')
clang-tidy -quiet -p build-windows --extra-arg=--target=x86_64-w64-mingw32 --extra-arg=-nostdinc++ \
  --extra-arg=-isystem"$mingw/include/c++" --extra-arg=-isystem"$mingw/include/c++/x86_64-w64-mingw32" \
  --extra-arg=-isystem/usr/x86_64-w64-mingw32/include $windows_units > build-windows/clang-tidy.log 2>&1 ||
  { grep -E "error:|warning:" build-windows/clang-tidy.log | sort -u; exit 1; }
# The fuzz targets, through the clang build that .ci/fuzz.sh made.
if [ -f build-fuzz/compile_commands.json ]; then
  clang-tidy -quiet -p build-fuzz $(git ls-files 'tests/fuzz/*.cpp') > build-fuzz/clang-tidy.log 2>&1 ||
    { grep -E "error:|warning:" build-fuzz/clang-tidy.log | sort -u; exit 1; }
else
  echo "-- the fuzz targets are not built (.ci/fuzz.sh): their names are not checked"
fi
echo "style: clean"
