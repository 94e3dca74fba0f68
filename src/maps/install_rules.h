// What may reach the game from a mirror: the map names a list may use as file names, the files
// an archive may bring into the CS:GO folder, and the bounds on what one task downloads and
// unpacks. The mirrors are plain HTTP, so anyone on the path can answer in their place: these
// rules decide what a player installs without looking.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace brindle {

// A map name of a list that may become a file name in a maps folder: not empty, at most 128
// bytes, no path separator, no ':' (a Windows stream or drive), no control character, and not
// "." or ".." (a name that probes or writes elsewhere on the disk). Non-ASCII names are fine.
bool UsableMapName(std::string_view mapname);

// Whether an archive may bring the file at `path` (relative to the CS:GO folder, "/"-separated)
// into the game. Only game content under the folders a map or the model patch needs:
//
//   csgo/maps/                bsp nav ain lmp txt
//   csgo/materials/           vmt vtf
//   csgo/models/              mdl vvd vtx phy ani vmt vtf, and the patch's model_version.ini
//   csgo/sound/               wav mp3 ogg
//   csgo/particles/           pcf
//   csgo/resource/overviews/  txt dds vtf
//
// (each with any subfolders). Everything else is refused, programs, libraries, scripts and
// configuration files (.cfg) included, as are names with "..", ".", empty parts, "\" or ':'.
// Extensions compare without regard to case. `reason` says why not (plain ASCII).
bool ArchiveFileAllowed(std::string_view path, std::string* reason = nullptr);
// A folder may exist when it is on the way to, or inside, one of the folders above.
bool ArchiveFolderAllowed(std::string_view path, std::string* reason = nullptr);

// The most bytes one task may download. `listed_size` is the map list's size of the map (0 when
// unknown): a plain map must have exactly that size, a compressed one is never much larger.
// Without it the default cap holds; an announced Content-Length still ends a transfer early.
inline constexpr std::int64_t kDownloadCapDefault = std::int64_t{4} << 30;  // 4 GiB
std::int64_t DownloadByteCap(std::string_view file_name, std::int64_t listed_size);

// The most bytes one extraction may write: a compressed map unpacks to exactly its listed size
// when the list names one; otherwise (and for archives) a generous multiple of the archive.
std::int64_t ExtractionByteCap(std::string_view file_name, std::int64_t listed_size,
                               std::int64_t archive_bytes);

// The list's size is compared only above this (the map check's own rule): smaller values are
// placeholders, not sizes.
inline constexpr std::int64_t kListedSizeFloor = 100;
inline bool ListedSizeKnown(std::int64_t listed_size) { return listed_size > kListedSizeFloor; }

// Whether `text` contains `part`, ASCII letters compared without regard to case (how file names
// are told apart by their extensions).
bool NameContains(std::string_view text, std::string_view part);

// True when `head` (the first bytes of a file) starts like a bzip2 stream: "BZh" and a block
// size digit 1-9.
bool LooksLikeBzip2(std::string_view head);

}  // namespace brindle
