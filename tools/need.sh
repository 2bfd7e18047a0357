#!/bin/sh
# Installs the Debian packages that building fwsend needs and that are
# missing: cmake, a C++ compiler, make and nlohmann/json, and with --tests
# also GoogleTest, GoogleMock and tmux (the real terminal fwsend-gang's
# display is tested in). Nothing is installed when everything is there. As root it
# runs apt-get itself, otherwise through sudo when that exists; failing both
# it prints the one command to run and exits with 1.
#
#   tools/need.sh [--tests]

missing=
command -v cmake >/dev/null 2>&1 || missing="$missing cmake"
command -v c++ >/dev/null 2>&1 || command -v g++ >/dev/null 2>&1 || missing="$missing g++"
command -v make >/dev/null 2>&1 || missing="$missing make"
[ -f /usr/include/nlohmann/json.hpp ] || missing="$missing nlohmann-json3-dev"
if [ "${1-}" = "--tests" ]; then
    [ -f /usr/include/gtest/gtest.h ] || missing="$missing libgtest-dev"
    [ -f /usr/include/gmock/gmock.h ] || missing="$missing libgmock-dev"
    command -v tmux >/dev/null 2>&1 || missing="$missing tmux"
fi
[ -z "$missing" ] && exit 0
missing=${missing# }

install="apt-get install -y --no-install-recommends $missing"
if ! command -v apt-get >/dev/null 2>&1; then
    echo "fwsend needs: $missing (this is not a Debian-like system: install them with its own package manager)" >&2
    exit 1
fi
if [ "$(id -u)" -eq 0 ]; then
    run=
elif command -v sudo >/dev/null 2>&1; then
    run=sudo
else
    echo "fwsend needs: $missing. Run as root, then try again:" >&2
    echo "  apt-get update && $install" >&2
    exit 1
fi

echo "Installing what the build needs: $missing"
# shellcheck disable=SC2086  # $run and $missing are word lists
$run env DEBIAN_FRONTEND=noninteractive apt-get update -q &&
    $run env DEBIAN_FRONTEND=noninteractive $install -q
status=$?
if [ $status -ne 0 ]; then
    echo "Installing failed (apt-get status $status); the command was:" >&2
    echo "  ${run:+$run }apt-get update && $install" >&2
    exit 1
fi
