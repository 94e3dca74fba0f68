#include "ui/page_kit.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QVBoxLayout>

#include "ui/style.h"
#include "view/control_names.h"

namespace brindle::ui {

QString DesignCaption(std::string_view name) {
  const names::ControlInfo* info = names::find_control(name);
  return info != nullptr ? QString::fromUtf8(info->caption) : QString();
}

QPushButton* MakeButton(QWidget* parent, std::string_view name, const char* variant) {
  auto* b = new QPushButton(DesignCaption(name), parent);
  b->setObjectName(Utf8(name));
  b->setCursor(Qt::PointingHandCursor);
  if (variant != nullptr) b->setProperty("variant", variant);
  return b;
}

QLabel* MakeLabel(QWidget* parent, std::string_view name, const char* role) {
  auto* l = new QLabel(DesignCaption(name), parent);
  l->setObjectName(Utf8(name));
  if (role != nullptr) l->setProperty("role", role);
  return l;
}

QRadioButton* MakeRadio(QWidget* parent, std::string_view name, QButtonGroup* group) {
  auto* r = new QRadioButton(DesignCaption(name), parent);
  r->setObjectName(Utf8(name));
  r->setCursor(Qt::PointingHandCursor);
  if (group != nullptr) group->addButton(r);
  return r;
}

QCheckBox* MakeCheck(QWidget* parent, std::string_view name) {
  auto* c = new QCheckBox(DesignCaption(name), parent);
  c->setObjectName(Utf8(name));
  c->setCursor(Qt::PointingHandCursor);
  return c;
}

QLineEdit* MakeEdit(QWidget* parent, std::string_view name, std::string_view placeholder) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(Utf8(name));
  if (!placeholder.empty()) e->setPlaceholderText(Utf8(placeholder));
  e->setClearButtonEnabled(true);
  return e;
}

QPlainTextEdit* MakeLog(QWidget* parent, std::string_view name) {
  auto* e = new QPlainTextEdit(parent);
  e->setObjectName(Utf8(name));
  e->setReadOnly(true);
  e->setMaximumBlockCount(2000);
  return e;
}

QTableView* MakeTable(QWidget* parent, std::string_view name) {
  auto* t = new QTableView(parent);
  t->setObjectName(Utf8(name));
  t->setSelectionBehavior(QAbstractItemView::SelectRows);
  t->setSelectionMode(QAbstractItemView::SingleSelection);
  t->setEditTriggers(QAbstractItemView::NoEditTriggers);
  t->setShowGrid(false);
  t->setAlternatingRowColors(false);
  t->setWordWrap(false);
  t->setTextElideMode(Qt::ElideRight);
  t->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  t->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  t->setContextMenuPolicy(Qt::CustomContextMenu);
  t->verticalHeader()->setVisible(false);
  t->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  t->verticalHeader()->setDefaultSectionSize(36);
  t->horizontalHeader()->setFont(UiFont(12, true));
  t->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  t->horizontalHeader()->setHighlightSections(false);
  t->horizontalHeader()->setStretchLastSection(true);
  t->horizontalHeader()->setMinimumSectionSize(0);
  t->setMinimumHeight(kListMinimumHeight);
  return t;
}

QFrame* MakeCard(QWidget* parent, QVBoxLayout** column, int margin, int spacing) {
  auto* card = new QFrame(parent);
  card->setProperty("role", "card");
  auto* c = new QVBoxLayout(card);
  c->setContentsMargins(margin, margin, margin, margin);
  c->setSpacing(spacing);
  if (column != nullptr) *column = c;
  return card;
}

QHBoxLayout* MakeHeading(QVBoxLayout* column, QLabel* title, QLabel* subtitle) {
  auto* row = new QHBoxLayout;
  row->setSpacing(12);
  title->setProperty("role", "title");
  row->addWidget(title, 0, Qt::AlignBottom);
  if (subtitle != nullptr) {
    subtitle->setProperty("role", "subtitle");
    row->addWidget(subtitle, 0, Qt::AlignBottom);
  }
  row->addStretch();
  column->addLayout(row);
  return row;
}

}  // namespace brindle::ui
