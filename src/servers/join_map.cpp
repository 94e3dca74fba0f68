#include "servers/join_map.h"

#include <memory>

#include "app/app_state.h"
#include "app/core.h"
#include "foundation/encoding.h"
#include "foundation/settings_file.h"
#include "maps/install_rules.h"
#include "maps/map_downloads.h"
#include "maps/map_lookup.h"
#include "view/control_names.h"
#include "view/window.h"

namespace brindle {

namespace {

constexpr std::int64_t kProgressPollMs = 250;

// Asks whether to join although the map could not be fetched; joins when the player says so.
void OfferJoinAnyway(Core& core, const std::string& text, const std::function<void()>& join) {
  Window& window = core.window();
  window.ShowStatus(text, 10);
  const int answer = window.MessageBox(gbk("地图未能下载"), text + gbk("。是否仍然加入服务器?"),
                                       gbk("直接加入&&取消"));
  if (answer == 0) window.RunOnUi(join);
}

// The worker's part: find the map, queue it, follow it until it is installed or failed.
void FetchThenJoin(Core& core, const std::string& map, const std::function<void()>& join) {
  Window& window = core.window();
  window.ShowStatus(gbk("正在地图列表中查找 ") + map + "...", 30);
  std::string reason;
  const auto record = FindMapInGroups(core, map, &reason);
  if (core.workers().Stopping()) return;
  if (!record) {
    OfferJoinAnyway(core, gbk("地图 ") + map + gbk(" 无法下载: ") + reason, join);
    return;
  }
  MapDownloadsFeature* downloads = MapDownloadsOf(core);
  // The fetched map must reach the game, not only the download cache: the option is turned on
  // (and kept, as the person's own click would keep it), and the person is told.
  if (!window.controls().Checked(names::kAutoExtract)) {
    core.OnAutoExtractSwitch(true);
    window.ShowNotice(gbk("已开启自动解压至游戏"));
  }
  const std::uint64_t task =
      downloads == nullptr ? 0
                           : AppendTask(core, record->mapname, gbk("等待下载"), record->download,
                                        record->cn_name, TextToInt64(record->size));
  if (task == 0) {
    OfferJoinAnyway(core, gbk("地图 ") + map + gbk(" 无法加入下载队列"), join);
    return;
  }
  while (!core.workers().Stopping()) {
    const auto outcome = downloads->Outcome(task);
    if (outcome && outcome->result != TaskResult::kPending) {
      if (outcome->result == TaskResult::kInstalled && MapInstalled(core.state(), map)) {
        window.ShowStatus(gbk("地图 ") + map + gbk(" 已安装,正在加入服务器"));
        window.RunOnUi(join);
        return;
      }
      const std::string why = TaskFailureText(*outcome);
      OfferJoinAnyway(core,
                      gbk("地图 ") + map + gbk(" 下载或安装失败") +
                          (why.empty() ? std::string() : gbk(": ") + why),
                      join);
      return;
    }
    const ProgressSnapshot progress = downloads->Progress();
    int percent = -1;
    if (progress.running && progress.task == task) {
      percent = progress.total > 0 ? static_cast<int>(progress.received * 100 / progress.total) : 0;
    }
    window.ShowStatus(MapFetchProgressText(map, percent), 5);
    window.PumpDelay(kProgressPollMs, 0);
  }
}

}  // namespace

std::string ServerRowMap(const std::string& live_map, const std::string& list_map) {
  if (!live_map.empty()) return live_map;
  return list_map.substr(0, list_map.find('('));
}

std::string MissingMapQuestion(const std::string& map) {
  return gbk("服务器当前地图 ") + map +
         gbk(" 尚未安装,没有地图将无法进入游戏。是否先下载并安装这张地图,完成后自动加入?");
}

std::string MapFetchProgressText(const std::string& map, int percent) {
  if (percent < 0) return gbk("地图 ") + map + gbk(" 等待下载...完成后自动加入服务器");
  return gbk("正在下载地图 ") + map + " " + std::to_string(percent) +
         gbk("%...完成后自动加入服务器");
}

void JoinWithMap(Core& core, const std::string& map, bool cs2, std::function<void()> join) {
  // The community's map lists serve CS:GO maps; a CS2 server fetches its own.
  bool csgo_known = false;
  {
    std::lock_guard lock(core.state().mutex);
    csgo_known = !core.state().game.csgo_map_dir.empty();
  }
  if (map.empty() || cs2 || !csgo_known || !UsableMapName(map) || MapInstalled(core.state(), map)) {
    join();
    return;
  }
  Window& window = core.window();
  const int answer = window.MessageBox(gbk("地图未安装"), MissingMapQuestion(map),
                                       gbk("下载并加入&&直接加入&&取消"));
  if (answer == 1) join();
  if (answer != 0) return;
  auto shared = std::make_shared<std::function<void()>>(std::move(join));
  core.workers().Start("join-map", [&core, map, shared] { FetchThenJoin(core, map, *shared); });
}

}  // namespace brindle
