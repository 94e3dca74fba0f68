// The five pages of the main window, in design order. Each builder creates the page's named
// controls inside a new page widget; the window binds them by name afterwards.
#pragma once

class QVBoxLayout;
class QWidget;

namespace brindle::ui {

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

// A page's empty shell: background role and the outer margins every page shares.
QWidget* NewPage(QWidget* parent, QVBoxLayout** column);

}  // namespace brindle::ui
