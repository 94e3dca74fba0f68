// The favourites page: its four actions and the favourites list with the player panel's place
// beside it; and the player panel itself, which the server page has a place for too.
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/icons.h"
#include "ui/page_kit.h"
#include "ui/pages/pages.h"
#include "ui/style.h"
#include "view/control_names.h"

namespace brindle::ui {

QWidget* BuildPlayerPanel(QWidget* parent) {
  auto* panel = new QFrame(parent);
  panel->setObjectName(QString::fromUtf8(names::kPlayerPanel));
  panel->setProperty("role", "playerPanel");
  panel->setFixedWidth(320);
  auto* column = new QVBoxLayout(panel);
  column->setContentsMargins(14, 12, 10, 14);
  column->setSpacing(8);
  auto* head = new QHBoxLayout;
  // The label names the server asked about; a long name wraps instead of widening the panel.
  QLabel* label = MakeLabel(panel, names::kPlayerPanelLabel, "section");
  label->setWordWrap(true);
  head->addWidget(label, 1);
  QPushButton* close = MakeButton(panel, names::kClosePlayerPanel, "ghost");
  close->setIcon(GlyphIcon(Glyph::kClose, 14, palette::kMuted, palette::kText));
  close->setFixedSize(28, 28);
  close->setToolTip(QString::fromUtf8("关闭"));
  head->addWidget(close);
  column->addLayout(head);
  column->addWidget(MakeTable(panel, names::kPlayerList), 1);
  panel->hide();
  return panel;
}

QWidget* PlayerPanelSlot(QWidget* page, QWidget* list_card) {
  auto* slot = new QWidget(page);
  slot->setObjectName(QString::fromUtf8(kPlayerPanelSlot));
  auto* row = new QHBoxLayout(slot);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(14);
  row->addWidget(list_card, 1);
  return slot;
}

QWidget* BuildFavouritesPage(QWidget* parent) {
  QVBoxLayout* column = nullptr;
  QWidget* page = NewPage(parent, &column);
  QHBoxLayout* heading = MakeHeading(column, MakeLabel(page, names::kFavouritesTitle));
  auto* count = new QLabel(page);
  count->setObjectName(QString::fromUtf8(kFavouritesCountLabel));
  count->setProperty("role", "subtitle");
  heading->insertWidget(1, count, 0, Qt::AlignBottom);
  QLineEdit* filter = MakeEdit(page, names::kFavouritesFilter, "筛选服务器名称或地图");
  filter->setFixedWidth(200);
  heading->addWidget(filter);
  struct Action {
    const char* name;
    Glyph glyph;
  };
  const Action actions[] = {{names::kRefreshFavourites, Glyph::kRefresh},
                            {names::kBackupFavourites, Glyph::kCloudUp},
                            {names::kRestoreFavourites, Glyph::kCloudDown}};
  for (const Action& a : actions) {
    QPushButton* b = MakeButton(page, a.name);
    b->setIcon(GlyphIcon(a.glyph, 16, palette::kMuted, palette::kAccent));
    heading->addWidget(b);
  }
  QPushButton* add = MakeButton(page, names::kAddServer, "primary");
  add->setIcon(GlyphIcon(Glyph::kAdd, 16, Qt::white, Qt::white));
  heading->addWidget(add);

  QVBoxLayout* list_column = nullptr;
  QFrame* list_card = MakeCard(page, &list_column, 0, 0);
  list_column->addWidget(MakeTable(list_card, names::kFavouritesList), 1);
  column->addWidget(PlayerPanelSlot(page, list_card), 1);
  return page;
}

}  // namespace brindle::ui
