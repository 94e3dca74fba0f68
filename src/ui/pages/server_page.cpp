// The server page: the category buttons above the server list.
#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QVBoxLayout>

#include "ui/icons.h"
#include "ui/page_kit.h"
#include "ui/pages/pages.h"
#include "ui/style.h"
#include "view/control_names.h"

namespace brindle::ui {
namespace {

// How a join starts the game: the launch mode and the region, one radio group each.
QWidget* LaunchOptionsCard(QWidget* page) {
  QVBoxLayout* column = nullptr;
  QFrame* card = MakeCard(page, &column, 14, 0);
  auto* row = new QHBoxLayout;
  row->setSpacing(14);
  row->addWidget(MakeLabel(card, names::kLaunchModeLabel, "section"));
  auto* modes = new QButtonGroup(card);
  for (const char* name : {names::kLaunchAuto, names::kLaunchSteam, names::kLaunchSteamRunAppid,
                           names::kLaunchSteamChina, names::kLaunchCs2}) {
    row->addWidget(MakeRadio(card, name, modes));
  }
  row->addStretch();
  row->addWidget(MakeLabel(card, names::kRegionLabel, "section"));
  auto* regions = new QButtonGroup(card);
  row->addWidget(MakeRadio(card, names::kRegionChina, regions));
  row->addWidget(MakeRadio(card, names::kRegionWorld, regions));
  column->addLayout(row);
  return card;
}

}  // namespace

QWidget* BuildServerPage(QWidget* parent) {
  QVBoxLayout* column = nullptr;
  QWidget* page = NewPage(parent, &column);
  QLabel* title = MakeLabel(page, names::kServerTitle);
  auto* hint = new QLabel(QString::fromUtf8("右键点击服务器可加入、查看详情或加入收藏"), page);
  QHBoxLayout* heading = MakeHeading(column, title, hint);
  auto* count = new QLabel(page);
  count->setObjectName(QString::fromUtf8(kServerCountLabel));
  count->setProperty("role", "subtitle");
  heading->addWidget(count, 0, Qt::AlignBottom);
  QLineEdit* filter = MakeEdit(page, names::kServerFilter, "筛选服务器名称或地图");
  filter->setFixedWidth(240);
  heading->addWidget(filter, 0, Qt::AlignBottom);

  QVBoxLayout* card_column = nullptr;
  QFrame* card = MakeCard(page, &card_column, 14, 10);
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(8);
  grid->setVerticalSpacing(8);
  // The chosen category is the one checked button (the model says which).
  QPushButton* all = MakeButton(card, names::kAllServers, "chip");
  all->setIcon(GlyphIcon(Glyph::kServers, 16, palette::kMuted, palette::kAccent));
  all->setCheckable(true);
  grid->addWidget(all, 0, 0);
  constexpr int kPerRow = 8;
  int i = 1;
  for (const char* name : names::kCategoryButtons) {
    QPushButton* button = MakeButton(card, name, "chip");
    button->setCheckable(true);
    grid->addWidget(button, i / kPerRow, i % kPerRow);
    ++i;
  }
  card_column->addLayout(grid);
  column->addWidget(card);

  QVBoxLayout* list_column = nullptr;
  QFrame* list_card = MakeCard(page, &list_column, 0, 0);
  // The table and, over its middle, the layer with the empty list's text.
  auto* stack = new QGridLayout;
  stack->setContentsMargins(0, 0, 0, 0);
  stack->addWidget(MakeTable(list_card, names::kServerList), 0, 0);
  auto* overlay = new QWidget(list_card);
  overlay->setObjectName(QString::fromUtf8(kServerListOverlay));
  auto* overlay_row = new QHBoxLayout(overlay);
  QLabel* empty = MakeLabel(overlay, names::kServerListEmpty, "subtitle");
  empty->setAlignment(Qt::AlignCenter);
  empty->setWordWrap(true);
  overlay_row->addWidget(empty);
  stack->addWidget(overlay, 0, 0, Qt::AlignCenter);
  list_column->addLayout(stack, 1);
  column->addWidget(PlayerPanelSlot(page, list_card), 1);  // "详情" shows the panel here
  column->addWidget(LaunchOptionsCard(page));
  return page;
}

}  // namespace brindle::ui
