// The map name dictionary: map file names (ze_x, de_dust2) to their Chinese display names, kept
// in data_dir + "/MapData.json" and held in the process-wide StringMap as
// map name -> "(" + Chinese name + ")". The server list reads it to translate its map cells.
//
// The map's own lock keeps readers on other threads safe while a load adds entries.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/feature.h"

namespace brindle {

class Core;
class JsonDocument;
class StringMap;
struct AppState;

class MapNameDictionary {
 public:
  // Over the process-wide instance (MapNameDictionaryMap) unless given another map.
  MapNameDictionary();
  explicit MapNameDictionary(StringMap& map);

  // "(" + Chinese name + ")" for a map name, or nothing.
  std::optional<std::string> Lookup(std::string_view map_name) const;
  // The server list's map cell: the map name followed directly by its translation, if any.
  std::string MapCell(std::string_view map_name) const;

  // Adds (or replaces) the entries of a dictionary document, its bytes read as the program's
  // own text. Elements lacking `mapname` or `cn_name`, or whose `cn_name` is at most one byte,
  // are skipped; double quotes are removed from both texts. Returns how many entries were
  // stored, or -1 (nothing changed) when the text is not JSON.
  std::int64_t AddDocument(std::string_view text);
  std::int64_t AddDocument(const JsonDocument& doc);

  // Empties the dictionary (start-up does this before the first load).
  void Reset();
  int size() const;
  bool empty() const;

 private:
  StringMap& map_;
};

// data_dir + "/MapData.json", and the download target beside it.
std::string MapDictionaryPath(AppState& state);
std::string MapDictionaryTempPath(AppState& state);
// forum_base_url + "/plugin.php?id=tarn_core_api:MapLists&uid=" + the logged-in user's uid.
std::string MapDictionaryUrl(AppState& state);

// Reads MapData.json into the process-wide dictionary, with the status line messages
// "正在加载地图翻译库..." and "累计加载地图翻译:N". -1 without a message when the file is
// missing or not JSON (the dictionary is unchanged); otherwise the number of entries loaded.
std::int64_t LoadMapDictionary(Core& core);

// The update, on the calling thread: downloads the forum's list into MapData.json.tmp and, when
// it arrived whole with a status from 200 to 399 and reads as JSON, puts it in place of
// MapData.json with one atomic rename, reloads and shows "更新成功!". Anything else shows
// "更新失败!" and leaves MapData.json and the dictionary as they were. True on success.
bool RunMapDictionaryUpdate(Core& core);

// The update button's action: makes the button unavailable, runs the update on a worker thread
// and makes the button available again when it ends. False when no worker could be started.
bool UpdateMapDictionary(Core& core);

// The dictionary as a feature: emptied at main-window creation, loaded by the initialisation
// thread when it holds no entry yet (first there, before the remote configuration and the
// automatic login), and updated by 更新地图翻译EX.
class MapDictionaryFeature final : public Feature {
 public:
  const char* name() const override { return "map-dictionary"; }
  void Bind(Core& core) override;
  void OnWindowCreated(Core& core) override;
  void OnInitThread(Core& core) override;
};

}  // namespace brindle
