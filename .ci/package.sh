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

lint=$(mandoc -Tlint doc/fwsend.1 doc/fwsend-ports.1 2>&1 || true)
if [ -n "$lint" ]; then
  echo "$lint"
  exit 1
fi

prefix=$(mktemp -d /tmp/fwsend-install-XXXXXX)
trap 'rm -rf "$prefix"' EXIT
cmake --install build --prefix "$prefix"
for file in bin/fwsend bin/fwsend-ports share/man/man1/fwsend.1 share/man/man1/fwsend-ports.1; do
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
man -w fwsend
man -w fwsend-ports

dpkg -r fwsend
hash -r
if command -v fwsend >/dev/null; then echo "fwsend is still on the PATH after dpkg -r"; exit 1; fi
echo "The package installed, ran and went again."
