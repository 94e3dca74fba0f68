#!/usr/bin/env bash
# The Windows build from a fresh clone in one command: installs the cross compiler, Wine and the
# source tools, builds libcurl, Qt and 7-Zip for Windows once (cached: scripts/build-windows-curl.sh,
# build-windows-qt.sh, build-windows-7zip.sh), then configures and builds the preset `windows`
# (the window, brindle-cli; not brindle-sim).
#   scripts/build-windows.sh                         brindle.exe, brindle-cli.exe in build/windows/src/
#   BRINDLE_BUILD_TESTS=ON scripts/build-windows.sh  the test programs too
# Further arguments go to the build (e.g. --target brindle-cli).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/windows-deps.sh
# A build folder configured with another toolchain (before the window was cross-built) starts over:
# CMake keeps the first toolchain it was given.
cache=build/windows/CMakeCache.txt
if [ -f "$cache" ] && ! grep -q '^QT_CHAINLOAD_TOOLCHAIN_FILE' "$cache"; then rm -f "$cache"; fi
cmake --preset windows -DBRINDLE_BUILD_TESTS="${BRINDLE_BUILD_TESTS:-OFF}" >/dev/null
nice -n 5 cmake --build --preset windows "$@"
echo "built: $(find build/windows/src -maxdepth 1 -name '*.exe' | sort | tr '\n' ' ')"
