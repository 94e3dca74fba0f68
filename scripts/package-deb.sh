#!/usr/bin/env bash
# The Debian package in one command: installs what the build needs, builds the window, its
# browser engine module and brindle-cli in the release preset, and makes
# build/package/brindle_<version>_<arch>.deb with CPack (cmake/package-deb.cmake). Its last line of
# output is the package's path.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# dpkg-shlibdeps (dpkg-dev) and file name the Debian libraries the programs link.
scripts/install-deps.sh dpkg-dev file
cmake --preset release >/dev/null
nice -n 5 cmake --build --preset release --target brindle brindle-cli >&2
rm -f build/package/brindle_*.deb
if ! log=$(cpack --preset deb 2>&1); then
  echo "$log" >&2
  exit 1
fi
ls build/package/brindle_*.deb
