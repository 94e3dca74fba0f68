// The favourites page bound to the core: its four buttons, the add-server dialog, the
// favourites list's context menu and join action, the player panel's close button and the reload
// on every switch to the page.
#pragma once

#include "app/feature.h"

namespace brindle {

class Core;

// The favourites page as a feature: bound once at start-up; every switch to the page reloads.
class FavouritesFeature final : public Feature {
 public:
  const char* name() const override { return "favourites"; }
  void Bind(Core& core) override;
  void OnPageShown(Core& core, int page) override;
};

// The switch to the page: clears the player-query stamp and reloads the favourites.
void OnFavouritesPageShown(Core& core);

// The context-menu commands on the selected favourite; each does nothing when no row is selected.
void JoinSelectedFavourite(Core& core);    // "加入", and the list's own action
void QuerySelectedFavourite(Core& core);   // "详情"
void CopySelectedFavourite(Core& core);    // "复制地址"
void DeleteSelectedFavourite(Core& core);  // "删除"

// The page's buttons.
void RefreshAllFavourites(Core& core);    // "刷新全部"
void StartFavouritesBackup(Core& core);   // "备份收藏到云端", on a worker
void StartFavouritesRestore(Core& core);  // "从云端下载收藏", on a worker
void OpenAddServerDialog(Core& core);     // "添加服务器"
void ConfirmAddServer(Core& core);        // the dialog's "确认添加"
void ClosePlayerPanel(Core& core);

}  // namespace brindle
