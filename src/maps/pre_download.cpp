#include "maps/pre_download.h"

#include <algorithm>
#include <cstdio>

#include "app/app_state.h"
#include "app/core.h"
#include "foundation/encoding.h"
#include "foundation/http_client.h"
#include "foundation/http_settings.h"
#include "foundation/json_document.h"
#include "maps/download_task.h"
#include "maps/map_downloads.h"
#include "platform/platform.h"
#include "view/control_names.h"
#include "view/window.h"

namespace brindle {
namespace {

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Trim(std::string_view text) {
  while (!text.empty() && Blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && Blank(text.back())) text.remove_suffix(1);
  return std::string(text);
}

std::string WithoutSpaces(std::string text) {
  std::erase(text, ' ');
  return text;
}

bool Found(int code) { return code >= 200 && code < 400; }

}  // namespace

std::string UserInfoUrl(const std::string& user_info_base_url, const std::string& steamid64) {
  return user_info_base_url + "/yunget/userinfo.php?data=" + url_query_value(steamid64);
}

bool ParseUserInfo(std::string_view text, UserInfo& info) {
  JsonDocument doc;
  if (text.empty() || !doc.parse(text)) return false;
  info.next_map = Trim(doc.get_value("[0].NextMap"));
  info.prefix = WithoutSpaces(doc.get_value("[0].downloadurlPreFix"));
  info.server = WithoutSpaces(doc.get_value("[0].ListenServer"));
  info.nominated = Trim(doc.get_value("[0].NominateLists"));
  return true;
}

std::vector<std::string> NominatedMaps(const std::string& nominated) {
  std::vector<std::string> maps;
  if (nominated.size() <= 3) return maps;
  std::size_t start = 0;
  while (start <= nominated.size()) {
    std::size_t end = nominated.find(',', start);
    if (end == std::string::npos) end = nominated.size();
    std::string item = Trim(std::string_view(nominated).substr(start, end - start));
    if (!item.empty()) maps.push_back(std::move(item));
    start = end + 1;
  }
  return maps;
}

bool PreDownloadName(std::string_view map) {
  if (map.empty() || map.size() > 128 || map.front() == '.') return false;
  if (map.find("..") != std::string_view::npos || map.find('#') != std::string_view::npos) {
    return false;
  }
  return ValidCacheFileName(std::string(map) + ".bsp.bz2");
}

std::string LocalDateTimeText() {
  const platform::LocalTime t = platform::local_time_now();
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

PreDownloadFeature::~PreDownloadFeature() {
  if (core_ == nullptr) return;
  core_->window().clock().StopClock(names::kClockPreDownload);
  core_->window().clock().BindClock(names::kClockPreDownload, nullptr);
}

void PreDownloadFeature::Bind(Core& core) {
  core_ = &core;
  core.window().clock().BindClock(names::kClockPreDownload, [this] { Tick(); });
}

bool PreDownloadFeature::Tick() {
  if (!serve_ticks_) return false;
  // A slow service must not pile queries up: this tick is skipped while the last one runs.
  if (running_.exchange(true)) return false;
  const bool started = core_->workers().Start("pre-download", [this] {
    PreDownloadQuery();
    running_ = false;
  });
  if (!started) running_ = false;
  return started;
}

bool PreDownloadFeature::MarkSeen(const std::string& map) {
  std::lock_guard lock(seen_mutex_);
  return seen_.insert(map).second;
}

std::vector<std::string> PreDownloadFeature::Seen() const {
  std::lock_guard lock(seen_mutex_);
  return {seen_.begin(), seen_.end()};
}

PreDownloadReport PreDownloadFeature::PreDownloadQuery() {
  PreDownloadReport report;
  std::string base;
  std::string steamid;
  {
    std::lock_guard lock(core_->state().mutex);
    base = core_->state().user_info_base_url;
    steamid = core_->state().login.steamid64;
  }
  if (steamid.empty()) {
    report.reason = "no Steam id: log in first";
    return report;
  }
  HttpRequestArgs args;
  args.timeout_seconds = kPreDownloadTimeoutSeconds;
  args.extra_headers = http_settings().request_user_agent;
  args.max_body_bytes = kUserInfoMaxBytes;
  args.cancel = &core_->workers().stop_flag();
  int status = 0;
  HttpTransferInfo info;
  std::string body = http_request(UserInfoUrl(base, steamid), args, &status, &info);
  if (status != 200 || !info.complete()) {
    report.reason = "the user-info service did not answer (status " + std::to_string(status) + ")";
    return report;
  }
  const JsonStopScope stop(core_->workers().stop_flag());
  if (!ParseUserInfo(body, report.info)) {
    report.reason = "the user-info answer is not JSON";
    return report;
  }
  report.answered = true;
  Window& window = core_->window();
  const std::string& prefix = report.info.prefix;
  for (const std::string& map : NominatedMaps(report.info.nominated)) {
    if (map == report.info.next_map) continue;  // handled below, once
    PreDownloadItem item;
    if (MarkSeen(map)) {
      item = PreDownloadMap(map, prefix);
      window.ShowStatus(gbk("[预热下载] 预定的地图 - > 已加入检查队列 :") + report.info.nominated +
                        gbk(" 时间:") + LocalDateTimeText());
    } else {
      item.map = map;
      item.result = PreDownloadResult::kSeen;
    }
    item.nominated = true;
    report.items.push_back(item);
  }
  PreDownloadItem next;
  if (MarkSeen(report.info.next_map)) {
    next = PreDownloadMap(report.info.next_map, prefix);
  } else {
    next.map = report.info.next_map;
    next.result = PreDownloadResult::kSeen;
  }
  report.items.push_back(next);
  return report;
}

PreDownloadItem PreDownloadFeature::PreDownloadMap(const std::string& map,
                                                   const std::string& prefix) {
  PreDownloadItem item;
  item.map = map;
  // An empty or path-like name would probe the bare prefix or name a file outside the cache.
  if (!PreDownloadName(map) ||
      (!prefix.starts_with("http://") && !prefix.starts_with("https://"))) {
    return item;
  }
  std::string csgo_maps;
  std::string cs2_maps;
  {
    std::lock_guard lock(core_->state().mutex);
    csgo_maps = core_->state().game.csgo_map_dir;
    cs2_maps = core_->state().game.cs2_map_dir;
  }
  // A CS2-only player has no CS:GO folder; an unknown folder is never looked up relative to the
  // working directory.
  const bool installed =
      !csgo_maps.empty() ? platform::file_exists(csgo_maps + map + ".bsp")
                         : !cs2_maps.empty() && (platform::file_exists(cs2_maps + map + ".bsp") ||
                                                 platform::file_exists(cs2_maps + map + ".vpk"));
  if (installed) {
    item.result = PreDownloadResult::kInstalled;
    return item;
  }
  HttpRequestArgs args;
  args.extra_headers = http_settings().request_user_agent;
  args.cancel = &core_->workers().stop_flag();
  std::string url = prefix + map + ".bsp.bz2";
  if (!Found(http_probe(url, args))) {
    for (std::size_t at; (at = url.find(".bz2")) != std::string::npos;) url.erase(at, 4);
    if (!Found(http_probe(url, args))) {
      item.result = PreDownloadResult::kNotFound;
      item.url = url;
      return item;
    }
  }
  const std::string file = FileNameOfUrl(url);
  const std::string local = core_->state().download_cache_dir + file;
  if (platform::file_exists(local)) (void)platform::delete_file(local);
  item.url = url;
  item.task = AppendTask(*core_, file, gbk("等待下载"), url, gbk("预热下载地图"));
  item.result = item.task != 0 ? PreDownloadResult::kQueued : PreDownloadResult::kSkipped;
  core_->window().ShowStatus(gbk("[预热下载] 自动下载地图 ") + map);
  return item;
}

}  // namespace brindle
