// The server page: the category buttons above the server list.
#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
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
  MakeHeading(column, title, hint);

  QVBoxLayout* card_column = nullptr;
  QFrame* card = MakeCard(page, &card_column, 14, 10);
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(8);
  grid->setVerticalSpacing(8);
  QPushButton* all = MakeButton(card, names::kAllServers, "primary");
  all->setIcon(GlyphIcon(Glyph::kServers, 16, Qt::white, Qt::white));
  grid->addWidget(all, 0, 0);
  constexpr int kPerRow = 8;
  int i = 1;
  for (const char* name : names::kCategoryButtons) {
    grid->addWidget(MakeButton(card, name, "chip"), i / kPerRow, i % kPerRow);
    ++i;
  }
  card_column->addLayout(grid);
  column->addWidget(card);

  QVBoxLayout* list_column = nullptr;
  QFrame* list_card = MakeCard(page, &list_column, 0, 0);
  list_column->addWidget(MakeTable(list_card, names::kServerList), 1);
  column->addWidget(PlayerPanelSlot(page, list_card), 1);  // "详情" shows the panel here
  column->addWidget(LaunchOptionsCard(page));
  return page;
}

}  // namespace brindle::ui
