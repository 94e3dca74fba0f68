// The map requirement check: which maps of a group the player lacks, fetched from the software
// service and compared with the game's maps folder or the download cache.
#include "maps/map_check.h"

#include <array>
#include <climits>
#include <mutex>
#include <unordered_set>

#include "app/app_state.h"
#include "app/core.h"
#include "foundation/encoding.h"
#include "foundation/http_client.h"
#include "foundation/http_settings.h"
#include "foundation/json_document.h"
#include "foundation/settings_file.h"
#include "maps/install_rules.h"
#include "maps/map_downloads.h"
#include "maps/map_lookup.h"
#include "platform/platform.h"
#include "view/control_names.h"
#include "view/window.h"

namespace brindle {
namespace {

// The pairing follows each caption's game mode: 娱乐对抗 is the minigame group, 混战 the
// deathmatch group, 刀战 the 35 HP knife servers.
constexpr std::array<MapGroup, 15> kGroups = {{
    {"下载资源_ZE1", "僵尸逃跑", "ze"},
    {"下载资源_ZE2", "娱乐对抗", "mgdk"},
    {"下载资源_ZE3", "TTT", "ttt"},
    {"下载资源_ZE4", "KZ", "kz"},
    {"下载资源_ZE5", "BHOP", "bhop"},
    {"下载资源_ZE6", "SURF", "surf"},
    {"下载资源_ZE7", "躲猫猫", "hns"},
    {"下载资源_ZE8", "刀战", "35hp"},
    {"下载资源_ZE9", "AWP", "awp"},
    {"下载资源_ZE10", "混战", "csde"},
    {"下载资源_ZE11", "其他", "othermap"},
    {"下载资源_ZE12", "HG饥饿", "hg"},
    {"下载资源_ZE13", "DR死跑", "deathrun"},
    {"下载资源_ZE14", "ZM感染", "zm"},
    {"下载资源_ZE15", "越狱", "jb"},
}};

// The size of an existing file, or -1 when it is missing or cannot be read (a folder, say).
std::int64_t local_size(const std::string& path) { return platform::file_size(path); }

bool mismatches(const std::string& bsp_path, std::int64_t server_size) {
  if (!platform::file_exists(bsp_path)) return false;
  const std::int64_t local = local_size(bsp_path);
  return local != -1 && server_size > kMinComparedSize && server_size != local;
}

}  // namespace

std::span<const MapGroup> MapGroups() { return kGroups; }

const MapGroup* FindMapGroup(std::string_view key_or_caption_utf8) {
  for (const MapGroup& group : kGroups) {
    if (key_or_caption_utf8 == group.key || key_or_caption_utf8 == group.caption) return &group;
  }
  return nullptr;
}

std::string MapStatusText(MapStatus status) {
  switch (status) {
    case MapStatus::kNeedsDownload:
      return gbk("需要下载");
    case MapStatus::kMismatch:
      return gbk("地图与服务器不匹配");
    case MapStatus::kNotInCache:
      return gbk("没有下载[未选择地图检查]");
  }
  return {};
}

std::optional<std::vector<MapRecord>> ReadMapList(std::string_view gbk_text) {
  JsonDocument doc;
  if (gbk_text.empty() || !doc.parse(gbk_text)) return std::nullopt;
  const int n = doc.count("");
  std::vector<MapRecord> maps;
  maps.reserve(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    const std::string at = "[" + std::to_string(i) + "].";
    maps.push_back({doc.get_value(at + "mapname"), doc.get_value(at + "download"),
                    doc.get_value(at + "size"), doc.get_value(at + "type"),
                    doc.get_value(at + "mapcyclefile"), doc.get_value(at + "timestamp"),
                    doc.get_value(at + "crc32"), doc.get_value(at + "cn_name")});
  }
  return maps;
}

std::vector<MapStatus> ClassifyMap(const MapRecord& map, bool into_game, const std::string& map_dir,
                                   const std::string& cache_dir) {
  std::vector<MapStatus> rows;
  const std::int64_t server_size = TextToInt64(map.size);
  if (into_game) {
    const std::string bsp = map_dir + map.mapname + ".bsp";
    if (!platform::file_exists(bsp)) {
      rows.push_back(MapStatus::kNeedsDownload);
    } else if (mismatches(bsp, server_size)) {
      rows.push_back(MapStatus::kMismatch);
    }
    return rows;
  }
  const std::string bsp = cache_dir + map.mapname + ".bsp";
  const bool present = server_size > kLargeMapBytes
                           ? platform::file_exists(bsp)
                           : platform::file_exists(cache_dir + map.mapname + ".bsp.bz2") ||
                                 platform::file_exists(bsp);
  if (!present) rows.push_back(MapStatus::kNotInCache);
  if (mismatches(bsp, server_size)) rows.push_back(MapStatus::kMismatch);
  return rows;
}

std::string FoundMapsText(int count) {
  return gbk("找到可下载地图 ") + std::to_string(count) + gbk("个");
}

// ---- The check on the feature -------------------------------------------------------------------

bool MapDownloadsFeature::CheckMapGroup(const std::string& group_key) {
  Window& window = core_->window();
  if (ActiveTaskCount() > 0) {
    window.ShowNotice(gbk("请等待下载任务完成.."));
    return false;
  }
  const std::uint64_t generation = ++check_generation_;
  return core_->workers().Start(
      "map-check", [this, group_key, generation] { RunMapCheck(group_key, generation); });
}

void MapDownloadsFeature::SetBusy(bool busy) {
  Controls& controls = core_->window().controls();
  if (busy) {
    core_->window().clock().StopClock(names::kClockQueue);
    fetching_ = true;
  }
  for (const MapGroup& group : kGroups) controls.SetEnabled(group.button, !busy);
  controls.SetEnabled(names::kStartDownload, !busy);
  controls.SetEnabled(names::kClearQueue, !busy);
  controls.SetEnabled(names::kResourceList, !busy);
  if (!busy) fetching_ = false;
}

int MapDownloadsFeature::RunMapCheck(const std::string& group_key, std::uint64_t generation) {
  if (generation == 0) generation = ++check_generation_;
  AppState& state = core_->state();
  std::string base;
  {
    std::lock_guard lock(state.mutex);
    base = state.software_base_url;
  }
  int http_status = 0;
  HttpTransferInfo info;
  Bytes body =
      http_request(base + "/mapdata/" + group_key + ".html",
                   {.extra_headers = http_settings().request_user_agent}, &http_status, &info);
  // An error page or a cut list is no list: it could hold anything, or only part of the maps.
  const std::string failure = ServiceFailureText(http_status, info);
  if (http_status != 200 || !info.complete()) body.clear();
  const std::string text = utf8_to_gbk_counted(body);
  // The busy state starts after the fetch; a group clicked meanwhile replaces this one.
  std::lock_guard check_lock(check_mutex_);
  if (generation != check_generation_) return -1;

  Window& window = core_->window();
  ListModel& resources = window.resources();
  {
    std::lock_guard lock(resources_mutex_);
    resources.Clear();
  }
  SetBusy(true);
  const std::optional<std::vector<MapRecord>> maps = ReadMapList(text);
  if (!maps) {
    SetBusy(false);
    // Said where the player looks: an empty list alone reads as "nothing to download".
    const std::string said = gbk("无法获取地图列表(") + failure + gbk("),请稍后再点击分类按钮重试");
    window.controls().SetCaption(names::kDownloadSummary, said);
    window.ShowStatus(said, 10);
    return -1;
  }

  const bool into_game = window.controls().Checked(names::kAutoExtract);
  std::string map_dir;
  {
    std::lock_guard lock(state.mutex);
    map_dir = state.game.csgo_map_dir;
  }
  // An unknown game folder must not send the look-up to the working directory.
  const bool have_map_dir = !map_dir.empty();
  const std::string& cache = state.download_cache_dir;
  int count = 0;
  std::unordered_set<std::string> listed;
  std::map<std::string, std::int64_t> sizes;
  for (const MapRecord& map : *maps) {
    if (core_->workers().Stopping()) break;
    // A name that is a path would probe, and later write, files outside the maps folder.
    if (!map.mapname.empty() && !UsableMapName(map.mapname)) continue;
    sizes.emplace(map.download, TextToInt64(map.size));
    std::vector<MapStatus> rows;
    if (into_game && !have_map_dir) {
      rows.push_back(MapStatus::kNeedsDownload);
    } else {
      rows = ClassifyMap(map, into_game, map_dir, cache);
    }
    for (MapStatus status : rows) {
      // One row per map name: a list naming a map twice offers it once.
      if (!listed.insert(map.mapname).second) continue;
      std::lock_guard lock(resources_mutex_);
      resources.Append({map.mapname, MapStatusText(status), map.download, map.cn_name});
      if (status == MapStatus::kNeedsDownload) ++count;
    }
  }
  {
    std::lock_guard lock(sizes_mutex_);
    listed_sizes_ = std::move(sizes);
  }
  SetBusy(false);
  window.controls().SetCaption(names::kDownloadSummary, FoundMapsText(count));
  return count;
}

}  // namespace brindle
