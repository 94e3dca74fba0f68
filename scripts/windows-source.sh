# shellcheck shell=bash
# Sourced by the scripts that cross-build a library from Debian's source packages.
# fetch_source PACKAGE VERSION FOLDER: unpacks the source package PACKAGE=VERSION into FOLDER (a
# new temporary folder), first making apt know it (source_lists). Prints the unpacked source
# folder.
fetch_source() {
  local package=$1 version=$2 folder=$3
  apt-cache showsrc "$package" 2>/dev/null | grep -q "^Version: $version\$" || update_source_lists
  chmod 755 "$folder"  # apt fetches the source as its own user
  (cd "$folder" && apt-get source -qq "$package=$version" >/dev/null) || return 1
  local src
  src=$(find "$folder" -mindepth 1 -maxdepth 1 -type d | head -n 1)
  [ -n "$src" ] || { echo "apt-get source gave no $package folder" >&2; return 1; }
  echo "$src"
}

# source_lists PACKAGE...: makes apt know the source packages named: when one is unknown, adds a
# deb-src entry for the same release and mirrors as the binary packages (if there is none) and
# updates apt's lists. The only step here that takes apt's locks: CI runs it up front
# (scripts/windows-deps.sh --packages), before anything else builds in the background.
source_lists() {
  local package
  for package in "$@"; do
    apt-cache showsrc "$package" 2>/dev/null | grep -q '^Version:' || { update_source_lists; return; }
  done
}

update_source_lists() {
  local sudo="" src_list=/etc/apt/sources.list.d/brindle-src.sources
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  if [ ! -f "$src_list" ]; then
    local binary_list=/etc/apt/sources.list.d/debian.sources
    [ -f "$binary_list" ] || { echo "no $binary_list to copy" >&2; return 1; }
    sed 's/^Types:.*/Types: deb-src/' "$binary_list" | $sudo tee "$src_list" >/dev/null
  fi
  $sudo apt-get update -qq
}

# cache_entry NAME PACKAGE RECIPE: sets `version` (the version apt offers of PACKAGE), `prefix`
# (NAME's entry in the cache, keyed on that version and the recipe number) and `link` (where the
# build finds it: build/windows-deps/NAME under the checkout `root`).
cache_entry() {
  version=$(apt-cache policy "$2" | sed -n 's/^ *Candidate: *//p')
  if [ -z "$version" ] || [ "$version" = "(none)" ]; then
    echo "apt knows no $2 package" >&2
    return 1
  fi
  local cache=${BRINDLE_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/brindle}
  prefix=$cache/mingw64/$1-$version-r$3
  link=$root/build/windows-deps/$1
  mkdir -p "$root/build/windows-deps"
}
