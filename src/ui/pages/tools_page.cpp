// The tools page: one card per tool.
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/icons.h"
#include "ui/page_kit.h"
#include "ui/pages/pages.h"
#include "ui/style.h"
#include "view/control_names.h"

namespace brindle::ui {
namespace {

// A tool card: icon, heading, a line of explanation and the card's buttons below.
QFrame* ToolCard(QWidget* page, Glyph glyph, QLabel* heading, const char* note_utf8,
                 QVBoxLayout** buttons) {
  QVBoxLayout* column = nullptr;
  QFrame* card = MakeCard(page, &column, 18, 10);
  auto* head = new QHBoxLayout;
  head->setSpacing(10);
  auto* icon = new QLabel(card);
  icon->setPixmap(GlyphPixmap(glyph, 28, palette::kAccent));
  head->addWidget(icon);
  heading->setParent(card);
  heading->setProperty("role", "section");
  head->addWidget(heading);
  head->addStretch();
  column->addLayout(head);
  auto* note = new QLabel(QString::fromUtf8(note_utf8), card);
  note->setProperty("role", "muted");
  note->setWordWrap(true);
  column->addWidget(note);
  column->addStretch();
  *buttons = column;
  return card;
}

QLabel* Plain(QWidget* page, const char* utf8) { return new QLabel(QString::fromUtf8(utf8), page); }

}  // namespace

QWidget* BuildToolsPage(QWidget* parent) {
  QVBoxLayout* column = nullptr;
  QWidget* page = NewPage(parent, &column);
  MakeHeading(column, MakeLabel(page, names::kToolsTitle));

  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(14);
  grid->setVerticalSpacing(14);

  QVBoxLayout* vac = nullptr;
  QFrame* vac_card =
      ToolCard(page, Glyph::kShield, Plain(page, "Steam 修复"),
               "游戏提示 VAC 无法验证会话时，运行修复脚本。需要 Steam 正在运行。", &vac);
  vac->addWidget(MakeButton(vac_card, names::kVacFix));
  grid->addWidget(vac_card, 0, 0);

  QVBoxLayout* keys = nullptr;
  QFrame* key_card = ToolCard(page, Glyph::kKeyboard, MakeLabel(page, names::kKeyBindTitle),
                              "在论坛的按键绑定页生成游戏内功能按键的配置。", &keys);
  auto* key_row = new QHBoxLayout;
  key_row->setSpacing(8);
  key_row->addWidget(MakeButton(key_card, names::kBindKeys, "primary"));
  QPushButton* in_forum = MakeButton(key_card, names::kBindKeysForum);
  if (in_forum->text().isEmpty()) {
    in_forum->setIcon(GlyphIcon(Glyph::kForum, 16, palette::kMuted, palette::kAccent));
    in_forum->setToolTip(QString::fromUtf8("在论坛页打开按键绑定"));
  }
  key_row->addWidget(in_forum);
  key_row->addStretch();
  keys->addLayout(key_row);
  grid->addWidget(key_card, 0, 1);

  QVBoxLayout* dict = nullptr;
  QFrame* dict_card = ToolCard(page, Glyph::kTranslate, Plain(page, "地图翻译"),
                               "从论坛更新地图的中文名称，列表中的地图名后会显示译名。", &dict);
  dict->addWidget(MakeButton(dict_card, names::kUpdateDictionary));
  grid->addWidget(dict_card, 0, 2);

  for (int c = 0; c < 3; ++c) grid->setColumnStretch(c, 1);
  column->addLayout(grid);
  column->addStretch(1);
  return page;
}

}  // namespace brindle::ui
