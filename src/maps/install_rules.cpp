#include "maps/install_rules.h"

#include <algorithm>
#include <array>

namespace brindle {
namespace {

constexpr std::size_t kMaxMapNameBytes = 128;
// A bzip2 stream of incompressible data is at most about 1% larger than its contents.
constexpr std::int64_t kCompressedSlackBytes = std::int64_t{1} << 20;
// Maps and textures pack 2-10x; 64x leaves room for anything real and stops a bomb early.
constexpr std::int64_t kArchiveExpansion = 64;
constexpr std::int64_t kExtractionFloor = std::int64_t{256} << 20;
constexpr std::int64_t kExtractionCeiling = std::int64_t{16} << 30;

struct ContentFolder {
  std::string_view folder;
  std::array<std::string_view, 7> extensions;  // empty entries unused
};

constexpr std::array<ContentFolder, 6> kContentFolders = {{
    {"csgo/maps/", {"bsp", "nav", "ain", "lmp", "txt"}},
    {"csgo/materials/", {"vmt", "vtf"}},
    {"csgo/models/", {"mdl", "vvd", "vtx", "phy", "ani", "vmt", "vtf"}},
    {"csgo/sound/", {"wav", "mp3", "ogg"}},
    {"csgo/particles/", {"pcf"}},
    {"csgo/resource/overviews/", {"txt", "dds", "vtf"}},
}};
constexpr std::string_view kPatchVersionFile = "model_version.ini";

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string folded(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), lower);
  return out;
}

bool refuse(std::string* reason, std::string text) {
  if (reason != nullptr) *reason = std::move(text);
  return false;
}

// Every part between "/" is a real name: no empty, "." or ".." part, no "\", ':' or control
// character. Printed paths are cut so a hostile name cannot flood a log line.
bool clean_path(std::string_view path, std::string* reason) {
  const std::string shown(path.substr(0, 200));
  if (path.empty()) return refuse(reason, "the archive holds an entry without a name");
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    const std::string_view part = path.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") {
      return refuse(reason, "the archive holds a path that is not plain: " + shown);
    }
    if (end == path.size()) break;
    start = end + 1;
  }
  for (char ch : path) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F || c == '\\' || c == ':') {
      return refuse(reason, "the archive holds a name with a character names may not have");
    }
  }
  return true;
}

}  // namespace

bool UsableMapName(std::string_view mapname) {
  if (mapname.empty() || mapname.size() > kMaxMapNameBytes) return false;
  if (mapname == "." || mapname == "..") return false;
  return std::none_of(mapname.begin(), mapname.end(), [](char ch) {
    const auto c = static_cast<unsigned char>(ch);
    return c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == ':';
  });
}

bool ArchiveFileAllowed(std::string_view path, std::string* reason) {
  if (!clean_path(path, reason)) return false;
  const std::string lowered = folded(path);
  const std::string shown(path.substr(0, 200));
  const std::size_t slash = lowered.rfind('/');
  const std::string_view file = std::string_view(lowered).substr(slash + 1);
  const std::size_t dot = file.rfind('.');
  const std::string_view extension =
      dot == std::string_view::npos ? std::string_view() : file.substr(dot + 1);
  for (const ContentFolder& content : kContentFolders) {
    if (!lowered.starts_with(content.folder)) continue;
    if (content.folder == "csgo/models/" && file == kPatchVersionFile) return true;
    const bool known = !extension.empty() &&
                       std::find(content.extensions.begin(), content.extensions.end(), extension) !=
                           content.extensions.end();
    if (known) return true;
    return refuse(reason, "the archive holds a file that is not game content: " + shown);
  }
  return refuse(reason, "the archive holds a file outside the game's content folders: " + shown);
}

bool ArchiveFolderAllowed(std::string_view path, std::string* reason) {
  if (!clean_path(path, reason)) return false;
  const std::string lowered = folded(path) + "/";
  for (const ContentFolder& content : kContentFolders) {
    if (content.folder.starts_with(lowered) || lowered.starts_with(content.folder)) return true;
  }
  return refuse(reason, "the archive holds a folder outside the game's content folders: " +
                            std::string(path.substr(0, 200)));
}

std::int64_t DownloadByteCap(std::string_view file_name, std::int64_t listed_size) {
  if (!ListedSizeKnown(listed_size) || listed_size >= kDownloadCapDefault) {
    return kDownloadCapDefault;
  }
  if (NameContains(file_name, ".bsp.bz2")) {
    return std::min(kDownloadCapDefault, listed_size + listed_size / 16 + kCompressedSlackBytes);
  }
  // An archive's listed size is its map's, not the archive's, which may hold more.
  if (NameContains(file_name, ".7z") || NameContains(file_name, ".zip")) return kDownloadCapDefault;
  return std::min(kDownloadCapDefault, listed_size);  // a plain map is exactly its size
}

std::int64_t ExtractionByteCap(std::string_view file_name, std::int64_t listed_size,
                               std::int64_t archive_bytes) {
  if (NameContains(file_name, ".bsp.bz2") && ListedSizeKnown(listed_size)) return listed_size;
  const std::int64_t scaled = archive_bytes > kExtractionCeiling / kArchiveExpansion
                                  ? kExtractionCeiling
                                  : archive_bytes * kArchiveExpansion;
  return std::clamp(scaled, kExtractionFloor, kExtractionCeiling);
}

bool NameContains(std::string_view text, std::string_view part) {
  return std::search(text.begin(), text.end(), part.begin(), part.end(),
                     [](char a, char b) { return lower(a) == lower(b); }) != text.end();
}

bool LooksLikeBzip2(std::string_view head) {
  return head.size() >= 4 && head[0] == 'B' && head[1] == 'Z' && head[2] == 'h' && head[3] >= '1' &&
         head[3] <= '9';
}

}  // namespace brindle
