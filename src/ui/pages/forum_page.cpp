// The forum page: a strip of page titles above the two embedded browsers (stand-ins here).
#include <QHBoxLayout>
#include <QLabel>
#include <QStackedLayout>
#include <QVBoxLayout>

#include "ui/page_kit.h"
#include "ui/pages/pages.h"
#include "ui/widgets.h"
#include "view/control_names.h"

namespace brindle::ui {

QWidget* BuildForumPage(QWidget* parent) {
  QVBoxLayout* column = nullptr;
  QWidget* page = NewPage(parent, &column);
  auto* strip = new QHBoxLayout;
  strip->setSpacing(6);
  for (const char* name : {names::kForumTitle, names::kSignInTitle, names::kMusicTitle}) {
    QLabel* tab = MakeLabel(page, name, "tab");
    tab->setCursor(Qt::PointingHandCursor);
    strip->addWidget(tab);
  }
  strip->addStretch();
  column->addLayout(strip);

  // The two browsers share one place, as in the design: the one shown last is in front. The
  // forum browser starts in front.
  auto* stack_host = new QWidget(page);
  auto* stack = new QStackedLayout(stack_host);
  stack->setStackingMode(QStackedLayout::StackAll);
  auto* second = new BrowserPlaceholder(QString::fromUtf8("网页"), stack_host);
  second->setObjectName(QString::fromUtf8(names::kSecondBrowser));
  auto* forum = new BrowserPlaceholder(QString::fromUtf8("论坛"), stack_host);
  forum->setObjectName(QString::fromUtf8(names::kForumBrowser));
  stack->addWidget(second);
  stack->addWidget(forum);
  stack->setCurrentWidget(forum);
  column->addWidget(stack_host, 1);
  return page;
}

}  // namespace brindle::ui
