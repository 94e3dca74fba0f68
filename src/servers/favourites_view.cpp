#include "servers/favourites_view.h"

#include "app/core.h"
#include "foundation/encoding.h"
#include "servers/favourites.h"
#include "servers/favourites_cloud.h"
#include "servers/join.h"
#include "servers/join_map.h"
#include "servers/query_engine.h"
#include "servers/server_address.h"
#include "view/control_names.h"
#include "view/window.h"

namespace brindle {

namespace {

// The selected favourite's row and address; row -1 when none is selected.
struct SelectedFavourite {
  int row = -1;
  std::string address;
  std::string game;
  std::string name;
  std::string map;  // as the server's last answer named it
};

SelectedFavourite Selected(Core& core) {
  ListModel& list = core.window().favourites();
  SelectedFavourite selected;
  selected.row = list.Selected();
  if (selected.row < 0) return selected;
  auto row = list.Row(selected.row);
  if (!row) {
    selected.row = -1;
    return selected;
  }
  selected.address = (*row)[cols::kFavAddress];
  selected.game = (*row)[cols::kFavGame];
  selected.name = (*row)[cols::kFavName];
  selected.map = (*row)[cols::kFavMap];
  return selected;
}

// Removes the row a delete was asked for. The list may have moved while the question was open,
// so the row is found again by its address when the index no longer holds it.
void RemoveRow(ListModel& list, const SelectedFavourite& selected) {
  if (list.Cell(selected.row, cols::kFavAddress) == selected.address) {
    list.Remove(selected.row);
    return;
  }
  const int row = list.FindRow(cols::kFavAddress, selected.address);
  if (row >= 0) list.Remove(row);
}

// A delete the file did not take is said, or the row would come back unexplained at the next
// visit of the page.
void DeleteFromFile(Core& core, const std::string& address) {
  switch (DeleteFavourite(core, address, false)) {
    case FileEdit::kUnreadable:
      core.window().ShowNotice(gbk("无法解析收藏夹文件"));
      break;
    case FileEdit::kBusy:
    case FileEdit::kFailed:
      core.window().ShowNotice(gbk("无法保存收藏夹文件"));
      break;
    case FileEdit::kChanged:
    case FileEdit::kUnchanged:
      break;
  }
}

}  // namespace

void FavouritesFeature::OnPageShown(Core& core, int page) {
  if (page == names::kFavouritesPage) OnFavouritesPageShown(core);
}

void FavouritesFeature::Bind(Core& core) {
  Window& window = core.window();
  window.Bind(names::kRefreshFavourites, [&core] { RefreshAllFavourites(core); });
  window.Bind(names::kBackupFavourites, [&core] { StartFavouritesBackup(core); });
  window.Bind(names::kRestoreFavourites, [&core] { StartFavouritesRestore(core); });
  window.Bind(names::kAddServer, [&core] { OpenAddServerDialog(core); });
  window.Bind(names::kAddServerConfirm, [&core] { ConfirmAddServer(core); });
  window.Bind(names::kClosePlayerPanel, [&core] { ClosePlayerPanel(core); });

  const std::string list = names::kFavouritesList;
  window.Bind(list, [&core] { JoinSelectedFavourite(core); });
  window.Bind(names::menu_action(list, names::kMenuJoin), [&core] { JoinSelectedFavourite(core); });
  window.Bind(names::menu_action(list, names::kMenuDetails),
              [&core] { QuerySelectedFavourite(core); });
  window.Bind(names::menu_action(list, names::kMenuCopyAddress),
              [&core] { CopySelectedFavourite(core); });
  window.Bind(names::menu_action(list, names::kMenuDelete),
              [&core] { DeleteSelectedFavourite(core); });
}

void OnFavouritesPageShown(Core& core) {
  // The player panel lives on this page; it starts hidden on every visit.
  core.window().controls().SetVisible(names::kPlayerPanel, false);
  ClearPlayerQueryStamp();
  LoadFavourites(core);
}

void JoinSelectedFavourite(Core& core) {
  const SelectedFavourite selected = Selected(core);
  if (selected.row < 0) return;
  auto join = [&core, selected] { JoinByGame(core.window(), selected.address, selected.game); };
  if (!IsValidServerAddress(selected.address)) {
    join();
    return;
  }
  // The map cell holds the server's own answer; before one, nothing is known to fetch.
  JoinWithMap(core, selected.map, !IsCsgoGame(selected.game), join);
}

void QuerySelectedFavourite(Core& core) {
  const SelectedFavourite selected = Selected(core);
  if (selected.row < 0) return;
  QueryPlayers(core.window(), selected.address, PlayerPanelTitle(selected.name, selected.address));
}

void CopySelectedFavourite(Core& core) {
  const SelectedFavourite selected = Selected(core);
  if (selected.row < 0) return;
  core.window().person().SetClipboardText(selected.address);
}

void DeleteSelectedFavourite(Core& core) {
  const SelectedFavourite selected = Selected(core);
  if (selected.row < 0) return;
  Window& window = core.window();
  ListModel& list = window.favourites();
  if (!FavouritesLoggedIn(core.state())) {
    // Without a login there is no cloud to ask about. The file loses the entry too, or the next
    // visit of the page would bring the row back.
    RemoveRow(list, selected);
    DeleteFromFile(core, selected.address);
    return;
  }
  const int answer = window.MessageBox(gbk("确认操作提示:"), gbk("是否确认 并从云端删除此服务器?"),
                                       gbk("同时在云端删除&&不改变云端&&取消操作"));
  if (answer == 0) {
    DeleteFromFile(core, selected.address);
    RemoveRow(list, selected);
    // The service may take its time; the window does not wait for it.
    const std::string address = selected.address;
    const bool started = core.workers().Start("favourites cloud delete", [&core, address] {
      CloudFavourites(core, address, 0, "Delete");
      core.window().ShowNotice(gbk("已删除本地和云端"));
    });
    if (!started) window.ShowNotice(gbk("已删除 "));
  } else if (answer == 1) {
    DeleteFromFile(core, selected.address);
    window.ShowNotice(gbk("已删除 "));
    RemoveRow(list, selected);
  }
}

void RefreshAllFavourites(Core& core) { RefreshFavourites(core.window()); }

void StartFavouritesBackup(Core& core) {
  core.workers().Start("favourites backup", [&core] { BackupFavourites(core); });
}

void StartFavouritesRestore(Core& core) {
  core.workers().Start("favourites restore", [&core] { RestoreFavourites(core); });
}

void OpenAddServerDialog(Core& core) {
  Controls& controls = core.window().controls();
  controls.SetCaption(names::kAddServerBox, "");
  controls.SetVisible(names::kAddServerWindow, true);
}

void ConfirmAddServer(Core& core) {
  AddTypedFavourite(core, core.window().controls().Caption(names::kAddServerBox));
}

void ClosePlayerPanel(Core& core) {
  core.window().controls().SetVisible(names::kPlayerPanel, false);
}

}  // namespace brindle
