#!/bin/sh
# Every test, run from anywhere: installs what the build and the tests need
# and is missing (tools/need.sh), builds into build/ and runs the unit,
# integration and end-to-end tests through CTest. Exits with CTest's status.
cd "$(dirname "$0")/.." || exit 1
tools/need.sh --tests || exit 1
cmake -S . -B build && cmake --build build -j2 && ctest --test-dir build --output-on-failure --no-tests=error
