// The map requirement check's pure parts: the fifteen map groups with their buttons, one map
// list element as a record, and the rule that decides whether a map needs a row in the resource
// list. The check itself (fetch, busy state, rows, label) is MapDownloadsFeature::RunMapCheck.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

struct MapGroup {
  const char* button;   // design name, names::kMapGroupButtons
  const char* caption;  // the button's caption (UTF-8)
  const char* key;      // the group key of /mapdata/<key>.html
};

// In button order 下载资源_ZE1 … 下载资源_ZE15; each button passes the key its caption names.
std::span<const MapGroup> MapGroups();
// The group of a key ("ze") or a caption ("僵尸逃跑", UTF-8); nullptr when there is none.
const MapGroup* FindMapGroup(std::string_view key_or_caption_utf8);

// One element of a map group list, its members read as text (a missing member is empty).
struct MapRecord {
  std::string mapname;
  std::string download;
  std::string size;
  std::string type;
  std::string mapcyclefile;
  std::string timestamp;
  std::string crc32;
  std::string cn_name;
};

// The records of a map group list (GBK JSON, an array of objects), in order; nullopt when the
// text is empty or not JSON. A root that is no array gives no records.
std::optional<std::vector<MapRecord>> ReadMapList(std::string_view gbk_text);

enum class MapStatus {
  kNeedsDownload,  // "需要下载": not in the game's maps folder
  kMismatch,       // "地图与服务器不匹配": a local .bsp of another size
  kNotInCache,     // "没有下载[未选择地图检查]": not in the download cache (option off)
};
std::string MapStatusText(MapStatus status);  // GBK

// Above this many bytes a map travels as a plain .bsp, so only that file counts in the cache.
inline constexpr std::int64_t kLargeMapBytes = 157286400;  // 150 MiB
// Server sizes up to this never produce a mismatch row.
inline constexpr std::int64_t kMinComparedSize = 100;

// The rows one map needs (none, or one status). into_game: compare with `map_dir` (the CS:GO
// maps folder, with its trailing separator); otherwise look in `cache_dir` only. Sizes are
// compared in full, so files of 4 GiB and more compare correctly too.
std::vector<MapStatus> ClassifyMap(const MapRecord& map, bool into_game, const std::string& map_dir,
                                   const std::string& cache_dir);

// "找到可下载地图 " + count + "个" (GBK).
std::string FoundMapsText(int count);

}  // namespace brindle
