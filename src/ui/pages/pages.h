// The five pages of the main window, in design order. Each builder creates the page's named
// controls inside a new page widget; the window binds them by name afterwards.
#pragma once

class QVBoxLayout;
class QWidget;

namespace brindle {
class Window;
}

namespace brindle::ui {

class WindowBinder;

QWidget* BuildDownloadPage(QWidget* parent);
QWidget* BuildServerPage(QWidget* parent);
QWidget* BuildFavouritesPage(QWidget* parent);
QWidget* BuildForumPage(QWidget* parent);
QWidget* BuildToolsPage(QWidget* parent);

// The player panel (hidden at first). "详情" asks for it on the server page and on the
// favourites page, so it has a place beside the list on both: the window moves it to the slot
// of the page shown (the widget of that page named kPlayerPanelSlot, with a horizontal layout).
QWidget* BuildPlayerPanel(QWidget* parent);
inline constexpr const char* kPlayerPanelSlot = "PlayerPanelSlot";
// A page's list row: `list_card` in a slot for the player panel.
QWidget* PlayerPanelSlot(QWidget* page, QWidget* list_card);

// The heading's count of each server list ("共 N 个服务器"), and the layer over the server list
// that holds its empty-list text (names::kServerListEmpty) while it has no rows.
inline constexpr const char* kServerCountLabel = "服务器列表_数量";
inline constexpr const char* kFavouritesCountLabel = "服务器收藏列表_数量";
inline constexpr const char* kServerListOverlay = "服务器列表_空列表层";

// Ties the parts of the two server lists that live only in the view, once the window is bound:
// the filter boxes, the counts in the headings, the empty-list layer, columns that fit the
// list's width (the player panel beside it takes room), and the list back at its top whenever a
// category is chosen.
void DressServerLists(QWidget* main, WindowBinder& binder);

// A page's empty shell: background role and the outer margins every page shares.
QWidget* NewPage(QWidget* parent, QVBoxLayout** column);

// The forum page's title strip: "论坛" shows the forum browser, "网易云音乐" the music chart in
// the second browser. Titles the program has bound already keep their handlers.
void BindForumPageTitles(Window& window);
// The music chart of the outside music service, and the agent the second browser presents.
inline constexpr const char* kMusicChartUrl = "https://music.163.com/#/discover/toplist";
inline constexpr const char* kSecondBrowserAgent =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/93.0.4577.63 Safari/537.36";

}  // namespace brindle::ui
