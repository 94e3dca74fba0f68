#include "servers/server_list_view.h"

#include "app/core.h"
#include "foundation/encoding.h"
#include "maps/map_downloads.h"
#include "servers/categories.h"
#include "servers/favourites.h"
#include "servers/join.h"
#include "servers/join_map.h"
#include "servers/query_engine.h"
#include "servers/server_address.h"
#include "servers/server_list.h"

namespace brindle {

namespace {

void BindCategoryButtons(Core& core) {
  Window& window = core.window();
  for (const ServerCategory& category : ServerCategories()) {
    const std::string keywords = gbk(category.keywords);
    const std::string button = category.button;
    window.Bind(category.button, [&core, keywords, button] {
      SelectCategoryButton(core.window().controls(), button);
      LoadServerList(core, keywords);
    });
  }
}

void BindServerListCommands(Core& core) {
  Window& window = core.window();
  const std::string list = names::kServerList;
  window.Bind(list, [&core] { JoinSelectedServer(core); });
  window.Bind(names::menu_action(list, names::kMenuJoin), [&core] { JoinSelectedServer(core); });
  window.Bind(names::menu_action(list, names::kMenuDetails),
              [&core] { QuerySelectedServer(core); });
  window.Bind(names::menu_action(list, names::kMenuCopyAddress),
              [&core] { CopySelectedAddress(core); });
  window.Bind(names::menu_action(list, names::kMenuAddFavourite),
              [&core] { FavouriteSelectedServer(core); });
  window.server_list().SetSelectionListener([&core](int row) { OnServerSelected(core, row); });
}

}  // namespace

void ServerBrowserFeature::OnPageShown(Core& core, int page) {
  if (page != names::kServerPage) return;
  core.window().controls().SetVisible(names::kPlayerPanel, false);
  SelectCategoryButton(core.window().controls(), names::kAllServers);
  LoadServerList(core, std::string(kAllServers));
}

void ServerBrowserFeature::Bind(Core& core) {
  BindCategoryButtons(core);
  BindServerListCommands(core);
  core.window().Bind(names::kSearchButton, [&core] { SearchResourceList(core); });
}

void OnServerSelected(Core& core, int row) {
  auto cells = core.window().server_list().Row(row);
  if (!cells) return;
  const bool cs2 = IsCs2Row(*cells);
  std::lock_guard lock(core.state().mutex);
  core.state().game.cs2_target = cs2;
}

std::string SelectedServerAddress(Core& core) {
  ListModel& list = core.window().server_list();
  const int row = list.Selected();
  if (row < 0) return {};
  return list.Cell(row, cols::kServerAddress);
}

void JoinSelectedServer(Core& core) {
  ListModel& list = core.window().server_list();
  const int row = list.Selected();
  if (row < 0) return;
  // The row chosen decides which game the check looks at, also when the selection was made
  // without passing through the listener (a double-click that selected and joined at once).
  OnServerSelected(core, row);
  const auto cells = list.Row(row);
  if (!cells) return;
  const std::string address = (*cells)[cols::kServerAddress];
  auto join = [&core, address] { JoinFromServerList(core.window(), core.state(), address); };
  // An address the join refuses is refused before any question about its map.
  if (!IsValidServerAddress(address)) {
    join();
    return;
  }
  JoinWithMap(core, ServerRowMap((*cells)[cols::kServerLiveMap], (*cells)[cols::kServerMap]),
              IsCs2Row(*cells), join);
}

void QuerySelectedServer(Core& core) {
  ListModel& list = core.window().server_list();
  const int row = list.Selected();
  const std::string address = list.Cell(row, cols::kServerAddress);
  if (row < 0 || address.empty()) return;
  QueryPlayers(core.window(), address,
               PlayerPanelTitle(list.Cell(row, cols::kServerName), address));
}

void CopySelectedAddress(Core& core) {
  const std::string address = SelectedServerAddress(core);
  if (address.empty()) return;
  core.window().person().SetClipboardText(address);
}

void FavouriteSelectedServer(Core& core) {
  const std::string address = SelectedServerAddress(core);
  if (address.empty()) return;
  AddFavourite(core, address);
}

void SearchResourceList(Core& core) {
  Window& window = core.window();
  ListModel& resources = window.resources();
  if (resources.RowCount() == 0) {
    window.ShowNotice(gbk("请先搜索资源"));
    return;
  }
  const std::string keyword = window.controls().Caption(names::kSearchBox);
  for (int row = 0;; ++row) {
    const auto cells = resources.Row(row);
    if (!cells) return;  // the end: no message
    const std::string& name = (*cells)[cols::kResMapName];
    if (!ContainsIgnoringCase(name, keyword) &&
        !ContainsIgnoringCase((*cells)[cols::kResChineseName], keyword)) {
      continue;
    }
    resources.Select(row);
    const int answer =
        window.MessageBox(gbk("提示:"), gbk("是否继续查找 或 下载这个地图? 找到关键词 ") + name,
                          gbk("继续查找&&取消&&开始下载(") + name + ")");
    if (answer == 0) continue;
    if (answer == 2) {
      AppendTask(core, name, gbk("等待下载"), (*cells)[cols::kResUrl],
                 (*cells)[cols::kResChineseName]);
    }
    return;  // cancelled, closed, or queued
  }
}

}  // namespace brindle
