#!/usr/bin/env bash
# 7-Zip for 64-bit Windows from Debian's own 7zip source, with 7-Zip's own makefiles: the console
# program (which loads its formats from 7z.dll beside it) and 7z.dll, the format library of the
# same tree, cut down to what the program opens: bzip2, 7z and zip with all their methods (the
# full library's other 40 formats took two thirds of the build). The program folder holds them as qdata\7zip\q_unbz2.exe and 7z.dll, with 7-Zip's
# licence texts. RAR is left out (Debian's repack has no unRAR code). Cached like the libcurl
# build, keyed on the 7zip version and this recipe; the project finds it through
# build/windows-deps/7zip (a link to the cache).
#   scripts/build-windows-7zip.sh           build once (about 3 minutes of two cores), link it
#   BRINDLE_CACHE_DIR=DIR                   the cache folder (default ~/.cache/brindle)
# Prints the folder holding q_unbz2.exe on its last line.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
recipe=2  # raise when the options below change, so an older cached build is not reused
. scripts/windows-source.sh

cache_entry 7zip 7zip "$recipe"

if [ ! -f "$prefix/q_unbz2.exe" ]; then
  started=$(date +%s)
  work=$(mktemp -d "${TMPDIR:-/tmp}/brindle-7zip.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  src=$(fetch_source 7zip "$version" "$work")

  make_7zip() {  # make_7zip FOLDER: one of 7-Zip's bundles, cross-built; output in FOLDER/b/g
    (cd "$src/CPP/7zip/$1" &&
      nice -n 5 make -j 2 -f ../../cmpl_gcc.mak IS_MINGW=1 MSYSTEM=1 IS_X64=1 DISABLE_RAR=1 \
        CC=x86_64-w64-mingw32-gcc-posix CXX=x86_64-w64-mingw32-g++-posix \
        RC=x86_64-w64-mingw32-windres) >>"$work/build.log" 2>&1 ||
      { tail -n 40 "$work/build.log" >&2; exit 1; }
  }
  # The format library: 7-Zip's full one (Bundles/Format7zF) without the handlers of the formats
  # the program never opens, and the codecs only those handlers use. The link fails if anything
  # kept still needs what was left out.
  cp -r "$src/CPP/7zip/Bundles/Format7zF" "$src/CPP/7zip/Bundles/FormatMaps"
  formats='Apfs|Apm|Ar|Arj|Base64|Com|Cpio|Cramfs|Dmg|Elf|Ext|Fat|Flv|Gz|Gpt|Hfs|Ihex|Lp|Lzh|Lzma'
  formats+='|Macho|Mbr|Mslz|Mub|Ntfs|Pe|Ppmd|Qcow|Rpm|Sparse|Split|Squashfs|Swf|Uefi|Vdi|Vhd|Vhdx'
  formats+='|Vmdk|Xar|Xz|Z|Zstd'
  drop="($formats)Handler|HandlerCont|(Lzh|Lzms|Lzx|Quantum|Xpress|Z|Zlib)Decoder|ZlibEncoder|MyXml"
  drop+="|(CAB|CHM|ISO|NSIS|TAR|UDF|WIM)_OBJS"
  grep -vE "^[[:space:]]*(\\\$O/($drop)\.o|\\\$\\(($drop)\\)) *\\\\?\$" \
    "$src/CPP/7zip/Bundles/Format7zF/Arc_gcc.mak" >"$src/CPP/7zip/Bundles/FormatMaps/Arc_gcc.mak"
  make_7zip UI/Console
  make_7zip Bundles/FormatMaps

  rm -rf "$prefix" "$prefix.part"
  mkdir -p "$prefix.part"
  x86_64-w64-mingw32-strip -o "$prefix.part/q_unbz2.exe" "$src/CPP/7zip/UI/Console/b/g/7z.exe"
  x86_64-w64-mingw32-strip -o "$prefix.part/7z.dll" "$src/CPP/7zip/Bundles/FormatMaps/b/g/7z.dll"
  cp "$src/DOC/License.txt" "$prefix.part/License.txt"
  cp "$src/DOC/copying.txt" "$prefix.part/copying.txt"
  mv "$prefix.part" "$prefix"
  echo "build-windows-7zip: 7-Zip $version built in $(( $(date +%s) - started )) s into $prefix" >&2
fi

ln -sfn "$prefix" "$link"
echo "$prefix"
