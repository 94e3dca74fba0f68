// The server page bound to the core: the category buttons, the load on every switch to the page,
// the server list's selection (the CS2 target), its join action and context menu, and the
// resource search of the download page.
#pragma once

#include <functional>
#include <string>

#include "app/feature.h"

namespace brindle {

class Core;

// The server page as a feature: bound once at start-up; every switch to the page hides the
// player panel and loads the whole list.
class ServerBrowserFeature final : public Feature {
 public:
  const char* name() const override { return "server-browser"; }
  void Bind(Core& core) override;
  void OnPageShown(Core& core, int page) override;
};

// The selection handler: records whether the server at `row` of the server list is a CS2 server
// (the state's game.cs2_target). A row of -1 (nothing selected) leaves the flag as it was.
void OnServerSelected(Core& core, int row);

// The address cell of the selected server list row; empty when no row is selected.
std::string SelectedServerAddress(Core& core);

// The context-menu commands and the join action on the selected row; each does nothing when no
// row is selected.
void JoinSelectedServer(Core& core);       // "加入", and the list's own action
void QuerySelectedServer(Core& core);      // "详情"
void CopySelectedAddress(Core& core);      // "复制地址"
void FavouriteSelectedServer(Core& core);  // "添加到收藏"

// The search button of the download page: walks the resource list from the first row for the
// search box text in the map name or the column after the URL (the one the design heads
// 下载地址, which holds the Chinese name), and asks at every hit whether to go on, stop or
// queue that map for download.
void SearchResourceList(Core& core);

}  // namespace brindle
