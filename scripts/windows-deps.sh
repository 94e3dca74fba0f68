#!/usr/bin/env bash
# What the Windows build needs besides the project's own code: the cross compiler, Wine and the
# tools of the tests under Wine (Debian packages), then libcurl, 7-Zip and Qt built for Windows
# from Debian's sources (each once, cached: build-windows-curl.sh, -7zip.sh, -qt.sh).
#   scripts/windows-deps.sh              all of it
#   scripts/windows-deps.sh --packages   only the packages and apt's source lists: the steps that
#                                        take apt's locks (CI runs them first, then builds the
#                                        libraries in the background while the native suites run)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh cmake ninja-build ccache g++-mingw-w64-x86-64-posix \
  binutils-mingw-w64-x86-64 libz-mingw-w64-dev nlohmann-json3-dev wine64 dpkg-dev make \
  qt6-base-dev qt6-translations-l10n xvfb xdotool imagemagick fonts-noto-cjk
. scripts/windows-source.sh
source_lists curl 7zip qt6-base
[ "${1:-}" != --packages ] || exit 0
scripts/build-windows-curl.sh >/dev/null
scripts/build-windows-7zip.sh >/dev/null
scripts/build-windows-qt.sh >/dev/null
