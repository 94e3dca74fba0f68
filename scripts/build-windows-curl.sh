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
recipe=1  # raise when the options below change, so an older cached build is not reused
sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"

# The source version is the one Debian ships as the curl package here.
version=$(apt-cache policy curl | sed -n 's/^ *Candidate: *//p')
if [ -z "$version" ] || [ "$version" = "(none)" ]; then
  echo "build-windows-curl: apt knows no curl package" >&2
  exit 1
fi
cache=${BRINDLE_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/brindle}
prefix=$cache/mingw64/curl-$version-r$recipe
link=$root/build/windows-deps/curl
mkdir -p "$root/build/windows-deps"

if [ ! -f "$prefix/lib/libcurl.a" ]; then
  started=$(date +%s)
  # A deb-src entry for the same release and mirrors as the binary packages.
  if ! apt-cache showsrc curl 2>/dev/null | grep -q "^Version: $version\$"; then
    src_list=/etc/apt/sources.list.d/brindle-src.sources
    if [ ! -f "$src_list" ]; then
      binary_list=/etc/apt/sources.list.d/debian.sources
      [ -f "$binary_list" ] || { echo "build-windows-curl: no $binary_list to copy" >&2; exit 1; }
      sed 's/^Types:.*/Types: deb-src/' "$binary_list" | $sudo tee "$src_list" >/dev/null
    fi
    $sudo apt-get update -qq
  fi
  work=$(mktemp -d "${TMPDIR:-/tmp}/brindle-curl.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  chmod 755 "$work"  # apt fetches the source as its own user
  (cd "$work" && apt-get source -qq "curl=$version" >/dev/null)
  src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'curl-*' | head -n 1)
  [ -n "$src" ] || { echo "build-windows-curl: apt-get source gave no curl folder" >&2; exit 1; }

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
  mv "$prefix.part" "$prefix"
  echo "build-windows-curl: curl $version built in $(( $(date +%s) - started )) s into $prefix" >&2
fi

ln -sfn "$prefix" "$link"
echo "$prefix"
