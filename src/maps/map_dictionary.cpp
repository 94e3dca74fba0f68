#include "maps/map_dictionary.h"

#include <algorithm>

#include "app/app_state.h"
#include "app/core.h"
#include "foundation/encoding.h"
#include "foundation/file_update_lock.h"
#include "foundation/http_client.h"
#include "foundation/json_document.h"
#include "foundation/string_map.h"
#include "platform/platform.h"

namespace brindle {

namespace {

std::string WithoutQuotes(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '"'), text.end());
  return text;
}

// A downloaded list is only worth keeping when it is a JSON array.
bool IsDictionaryDocument(std::string_view text) {
  JsonDocument doc;
  return doc.parse(text) && doc.value_type("") == kJsonArray;
}

}  // namespace

MapNameDictionary::MapNameDictionary() : map_(MapNameDictionaryMap()) {}

MapNameDictionary::MapNameDictionary(StringMap& map) : map_(map) {}

std::optional<std::string> MapNameDictionary::Lookup(std::string_view map_name) const {
  std::string value;
  if (!map_.get(map_name, value)) return std::nullopt;
  return value;
}

std::string MapNameDictionary::MapCell(std::string_view map_name) const {
  std::string cell(map_name);
  if (auto translation = Lookup(map_name)) cell += *translation;
  return cell;
}

std::int64_t MapNameDictionary::AddDocument(std::string_view text) {
  JsonDocument doc;
  if (!doc.parse(text)) return -1;
  return AddDocument(doc);
}

std::int64_t MapNameDictionary::AddDocument(const JsonDocument& doc) {
  const int n = doc.count("");
  std::int64_t added = 0;
  for (int k = 0; k < n; ++k) {
    const std::string prefix = "[" + std::to_string(k) + "].";
    if (!doc.exists(prefix + "mapname") || !doc.exists(prefix + "cn_name")) continue;
    std::string name = doc.get_value(prefix + "mapname");
    std::string chinese = doc.get_value(prefix + "cn_name");
    if (chinese.size() <= 1) continue;
    map_.put(WithoutQuotes(std::move(name)), "(" + WithoutQuotes(std::move(chinese)) + ")");
    ++added;
  }
  return added;
}

void MapNameDictionary::Reset() { map_.configure(16, 0.75); }

int MapNameDictionary::size() const { return map_.count(); }

bool MapNameDictionary::empty() const { return map_.is_empty(); }

std::string MapDictionaryPath(AppState& state) {
  std::lock_guard lock(state.mutex);
  return state.data_dir + platform::path_separator() + "MapData.json";
}

std::string MapDictionaryTempPath(AppState& state) { return MapDictionaryPath(state) + ".tmp"; }

std::string MapDictionaryUrl(AppState& state) {
  std::lock_guard lock(state.mutex);
  return state.forum_base_url +
         "/plugin.php?id=tarn_core_api:MapLists&uid=" + url_query_value(state.login.uid);
}

std::int64_t LoadMapDictionary(Core& core) {
  const std::string path = MapDictionaryPath(core.state());
  if (!platform::file_exists(path)) return -1;
  std::string text;
  if (!platform::read_file(path, text)) return -1;
  JsonDocument doc;
  if (!doc.parse(text)) return -1;
  Window& window = core.window();
  window.ShowStatus(gbk("正在加载地图翻译库..."));
  const std::int64_t count = MapNameDictionary().AddDocument(doc);
  window.ShowStatus(gbk("累计加载地图翻译:") + std::to_string(count));
  return count;
}

namespace {

// The download and the replacement of MapData.json, under its lock. True when the new list is
// in place.
bool ReplaceDictionary(AppState& state) {
  const std::string local = MapDictionaryPath(state);
  const std::string temp = MapDictionaryTempPath(state);
  // One update at a time across programs: they share the download target. A second one waits
  // for the lock (the list is small) and fails when the first takes longer than the wait.
  const FileUpdateLock lock(local);
  if (!lock.ok()) return false;
  // A leftover the download cannot replace makes the download fail below.
  if (platform::file_exists(temp)) (void)platform::delete_file(temp);

  HttpTransferInfo info;
  const int status = http_download_file(MapDictionaryUrl(state), temp, &info);
  // A cut transfer or an error page is no dictionary: the file the player has stays.
  bool ok = status >= 200 && status < 400 && info.complete();
  std::string text;
  ok = ok && platform::read_file(temp, text) && IsDictionaryDocument(text);
  // Written to a temporary file, flushed and renamed over the old one: a crash at any moment
  // leaves either the old dictionary or the new one.
  ok = ok && platform::write_file_atomic(local, text);
  if (ok) (void)platform::delete_file(temp);  // a leftover is deleted by the next update
  return ok;
}

}  // namespace

bool RunMapDictionaryUpdate(Core& core) {
  Window& window = core.window();
  // The lock is let go before the boxes, which may wait for the player.
  if (!ReplaceDictionary(core.state())) {
    window.MessageBox(gbk("更新失败!"), gbk("服务器反馈错误 请稍后再试 "), gbk("确定"));
    return false;
  }
  window.ShowStatus(gbk("正在重新加载地图翻译字典..."));
  LoadMapDictionary(core);
  window.MessageBox(gbk("更新成功!"), gbk("地图翻译更新成功 "), gbk("确定"));
  return true;
}

bool UpdateMapDictionary(Core& core) {
  Controls& controls = core.window().controls();
  controls.SetEnabled(names::kUpdateDictionary, false);
  const bool started = core.workers().Start("map-dictionary", [&core] {
    RunMapDictionaryUpdate(core);
    core.window().controls().SetEnabled(names::kUpdateDictionary, true);
  });
  if (!started) controls.SetEnabled(names::kUpdateDictionary, true);
  return started;
}

void MapDictionaryFeature::Bind(Core& core) {
  core.window().Bind(names::kUpdateDictionary, [&core] { UpdateMapDictionary(core); });
}

void MapDictionaryFeature::OnWindowCreated(Core& /*core*/) { MapNameDictionary().Reset(); }

void MapDictionaryFeature::OnInitThread(Core& core) {
  if (MapNameDictionary().empty()) LoadMapDictionary(core);
}

}  // namespace brindle
