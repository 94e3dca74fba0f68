#!/usr/bin/env bash
# libcurl for 64-bit Windows from Debian's own curl source: static, Schannel TLS (no OpenSSL), zlib
# for gzip bodies (Debian's libz-mingw-w64-dev), no other extra library. The result is kept in a
# cache keyed on the curl version and this recipe, so a fresh clone reuses it; the project finds
# it through build/windows-deps/curl (a link to the cache).
#   scripts/build-windows-curl.sh           build once, link it into build/windows-deps
#   BRINDLE_CACHE_DIR=DIR                   the cache folder (default ~/.cache/brindle)
# Prints the install prefix on its last line.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
recipe=2  # raise when the options below change, so an older cached build is not reused
. scripts/windows-source.sh

# The source version is the one Debian ships as the curl package here.
cache_entry curl curl "$recipe"

if [ ! -f "$prefix/lib/libcurl.a" ]; then
  started=$(date +%s)
  work=$(mktemp -d "${TMPDIR:-/tmp}/brindle-curl.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  src=$(fetch_source curl "$version" "$work")

  cmake -S "$src" -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
    -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBSSH=OFF \
    -DCURL_ZLIB=ON -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include \
    -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a \
    -DUSE_LIBIDN2=OFF -DUSE_WIN32_IDN=OFF -DCURL_USE_LIBPSL=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF \
    -DUSE_NGHTTP2=OFF -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON -DCURL_USE_GSSAPI=OFF \
    -DENABLE_UNICODE=OFF >"$work/configure.log" 2>&1 ||
    { tail -n 40 "$work/configure.log" >&2; exit 1; }
  nice -n 5 cmake --build "$work/build" >"$work/build.log" 2>&1 || { tail -n 40 "$work/build.log" >&2; exit 1; }
  # Installed beside the cache entry and moved in whole: an interrupted run leaves no half entry.
  rm -rf "$prefix" "$prefix.part"
  cmake --install "$work/build" --prefix "$prefix.part" >/dev/null
  mkdir -p "$prefix.part/licences"
  cp "$src/COPYING" "$prefix.part/licences/COPYING"  # shipped with the programs that link it
  mv "$prefix.part" "$prefix"
  echo "build-windows-curl: curl $version built in $(( $(date +%s) - started )) s into $prefix" >&2
fi

ln -sfn "$prefix" "$link"
echo "$prefix"
