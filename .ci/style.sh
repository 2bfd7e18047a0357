#!/usr/bin/env bash
# CI, style: every C++ file of ours is laid out as .clang-format says, and its
# names follow .clang-tidy's naming rules. The names are checked against the
# compile database of the Linux build (build/, made before this); the
# Windows-only units are checked for layout only.
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
run-clang-tidy -quiet -p build -j 2 "$PWD/(app|upload|transport|platform|ports|tools|tests|bench)/" \
  > build/clang-tidy.log 2>&1 || { grep -E "error:|warning:" build/clang-tidy.log | sort -u; exit 1; }
echo "style: clean"
