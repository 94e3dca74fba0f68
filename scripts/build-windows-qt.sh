#!/usr/bin/env bash
# Qt for 64-bit Windows from Debian's own qt6-base source (the same release as the host's Qt, whose
# moc, uic and rcc the cross build uses): Core, Gui and Widgets (and Test, for the window tests)
# as DLLs, every third-party library Qt bundles built in, the windows and offscreen platform
# plugins. Shared, so a player may replace the Qt DLLs beside the program (the LGPL's terms). The
# result is kept in a cache keyed on the Qt version and this recipe, like the libcurl build; the
# project finds it through build/windows-deps/qt (a link to the cache).
#   scripts/build-windows-qt.sh             build once (about 20 minutes of two cores), link it
#   BRINDLE_CACHE_DIR=DIR                   the cache folder (default ~/.cache/brindle)
# Prints the install prefix on its last line.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
recipe=4  # raise when the options below change, so an older cached build is not reused
. scripts/windows-source.sh

cache_entry qt qt6-base-dev "$recipe"

if [ ! -f "$prefix/lib/cmake/Qt6/qt.toolchain.cmake" ]; then
  started=$(date +%s)
  work=$(mktemp -d "${TMPDIR:-/tmp}/brindle-qt.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  src=$(fetch_source qt6-base "$version" "$work")

  # The host's Qt tools (moc, rcc, uic) build the Windows libraries; nothing runs under Wine.
  # tabletevent is off because Debian's repack leaves out the wintab header it needs. (direct2d
  # stays: the windows platform plugin links the DirectWrite font database built with it; only
  # the separate Direct2D platform plugin, a second build of the windows one that nothing loads
  # unless asked to, is left out through direct2d1_1.) Parts
  # the program never uses are left out to shorten the build: PDF and ODF writing, and widgets and
  # dialogs it has none of. (JPEG and GIF stay: the forum's avatars come in either. The input
  # dialog stays: the Vista style's header includes it whatever the configuration.)
  # Compiled through ccache when there is one, with paths taken relative to the temporary
  # folder, so a build that failed late resumes quickly.
  launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR=$work
  cmake -S "$src" -B "$work/build" -G Ninja "${launcher[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=ON \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DINPUT_opengl=no \
    -DFEATURE_opengl=OFF -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
    -DFEATURE_zstd=OFF -DFEATURE_testlib=ON -DFEATURE_tabletevent=OFF \
    -DFEATURE_vulkan=OFF -DFEATURE_icu=OFF -DFEATURE_freetype=ON \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
    -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_pcre2=OFF \
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_libb2=OFF \
    -DFEATURE_system_textmarkdownreader=OFF \
    -DFEATURE_pdf=OFF -DFEATURE_textodfwriter=OFF \
    -DFEATURE_mdiarea=OFF -DFEATURE_calendarwidget=OFF -DFEATURE_datetimeedit=OFF -DFEATURE_dial=OFF \
    -DFEATURE_lcdnumber=OFF -DFEATURE_wizard=OFF -DFEATURE_colordialog=OFF -DFEATURE_fontdialog=OFF \
    -DFEATURE_undoview=OFF -DFEATURE_dockwidget=OFF -DFEATURE_toolbox=OFF -DFEATURE_columnview=OFF \
    -DFEATURE_splashscreen=OFF -DFEATURE_keysequenceedit=OFF -DFEATURE_fontcombobox=OFF \
    -DFEATURE_commandlinkbutton=OFF -DFEATURE_errormessage=OFF -DFEATURE_direct2d1_1=OFF >"$work/configure.log" 2>&1 ||
    { tail -n 40 "$work/configure.log" >&2; exit 1; }
  # The offscreen plugin (the window tests under Wine) needs FreeType; say so if it went missing.
  grep -q 'qoffscreen' "$work/build/build.ninja" ||
    { echo "build-windows-qt: the offscreen platform plugin is not configured" >&2; exit 1; }
  nice -n 5 cmake --build "$work/build" -j 2 >"$work/build.log" 2>&1 ||
    { tail -n 40 "$work/build.log" >&2; exit 1; }
  # Installed beside the cache entry and moved in whole: an interrupted run leaves no half entry.
  # Qt's installed CMake files name the prefix, so the install goes to the final prefix's name
  # through DESTDIR and is moved from there.
  rm -rf "$prefix" "$work/stage"
  DESTDIR="$work/stage" cmake --install "$work/build" >/dev/null
  # Qt's licence texts and Debian's record of the libraries bundled in it, shipped beside the DLLs.
  mkdir -p "$work/stage$prefix/licences" "$(dirname "$prefix")"
  cp "$src"/LICENSES/{LGPL-3.0-only,GPL-2.0-only,GPL-3.0-only,Qt-GPL-exception-1.0}.txt \
    "$work/stage$prefix/licences/"
  cp "$src/debian/copyright" "$work/stage$prefix/licences/debian-copyright.txt"
  mv "$work/stage$prefix" "$prefix.part"
  mv "$prefix.part" "$prefix"
  echo "build-windows-qt: Qt $version built in $(( $(date +%s) - started )) s into $prefix" >&2
fi

ln -sfn "$prefix" "$link"
echo "$prefix"
