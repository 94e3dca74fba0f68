#!/usr/bin/env bash
# The portable Windows zip in one command: builds the Windows programs (scripts/build-windows.sh:
# libcurl, Qt and 7-Zip for Windows built once and cached) and packs the program folder with CPack
# (cmake/package-windows.cmake). Prints the zip's path on its last line.
#   scripts/package-windows.sh      build/windows/package/brindle-<version>-windows-x64.zip
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-windows.sh >/dev/null
rm -rf build/windows/package
(cd build/windows && cpack -G ZIP >cpack.log 2>&1) || { tail -n 30 build/windows/cpack.log >&2; exit 1; }
zip=$(find "$PWD/build/windows/package" -maxdepth 1 -name 'brindle-*-windows-x64.zip' | head -n 1)
[ -n "$zip" ] || { echo "package-windows: cpack made no zip" >&2; exit 1; }
echo "$zip"
