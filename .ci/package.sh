#!/usr/bin/env bash
# CI, packaging part: the manual pages render without warnings, `cmake
# --install` installs the programs and the pages, and the Debian package that
# cpack builds installs, runs from the PATH, finds its manual page and goes
# again. Needs build/ from .ci/run.
set -euo pipefail
cd "$(dirname "$0")/.."

missing=()
command -v mandoc >/dev/null || missing+=(mandoc)
command -v man >/dev/null || missing+=(man-db)
command -v dpkg-shlibdeps >/dev/null || missing+=(dpkg-dev)
command -v file >/dev/null || missing+=(file)  # CPack's shlibdeps looks at the programs with it
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

lint=$(mandoc -Tlint doc/fwsend.1 doc/fwsend-ports.1 doc/fwsend-gang.1 2>&1 || true)
if [ -n "$lint" ]; then
  echo "$lint"
  exit 1
fi

prefix=$(mktemp -d /tmp/fwsend-install-XXXXXX)
trap 'rm -rf "$prefix"' EXIT
cmake --install build --prefix "$prefix"
for file in bin/fwsend bin/fwsend-ports bin/fwsend-gang share/man/man1/fwsend.1 share/man/man1/fwsend-ports.1 \
  share/man/man1/fwsend-gang.1; do
  [ -e "$prefix/$file" ] || { echo "cmake --install did not install $file"; exit 1; }
done

version=$(sed -n 's/^project(fwsend VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb=build/fwsend_${version}_$(dpkg --print-architecture).deb
rm -f "$deb"
(cd build && cpack -G DEB)
dpkg-deb -f "$deb" Package Version Maintainer Depends
dpkg -i "$deb"
trap 'dpkg -r fwsend >/dev/null 2>&1 || true; rm -rf "$prefix"' EXIT

# The usage text, with status 255, from the fwsend on the PATH.
[ "$(command -v fwsend)" = /usr/bin/fwsend ]
set +e
fwsend > "$prefix/usage.txt"
status=$?
set -e
grep -q '^usage: fwsend -F' "$prefix/usage.txt" || { cat "$prefix/usage.txt"; exit 1; }
[ "$status" -eq 255 ] || { echo "fwsend without arguments exited with $status, not 255"; exit 1; }
fwsend-ports > /dev/null
# The gang finds the fwsend beside it: a missing port is a failed board
# (status 1), not "no fwsend to run" (status 2).
set +e
fwsend-gang -F"$PWD/tools/sample-firmware.txt" -115200 -COM/dev/fwsend-no-such-port > "$prefix/gang.txt" 2>&1
status=$?
set -e
grep -q 'round 1: 1 board: 0 done, 1 failed' "$prefix/gang.txt" || { cat "$prefix/gang.txt"; exit 1; }
[ "$status" -eq 1 ] || { echo "fwsend-gang on a missing port exited with $status, not 1"; exit 1; }
man -w fwsend
man -w fwsend-ports
man -w fwsend-gang

dpkg -r fwsend
hash -r
if command -v fwsend >/dev/null; then echo "fwsend is still on the PATH after dpkg -r"; exit 1; fi
echo "The package installed, ran and went again."
