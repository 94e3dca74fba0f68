// The forum page: a strip of page titles above the two embedded browsers, and what the titles do
// unless the program binds them otherwise: "论坛" brings the forum browser to the front,
// "网易云音乐" opens the music chart in the second browser ("签到" is the daily reward, the
// program's).
#include <QHBoxLayout>
#include <QLabel>
#include <QStackedLayout>
#include <QVBoxLayout>

#include "ui/embedded_browser.h"
#include "ui/page_kit.h"
#include "ui/pages/pages.h"
#include "view/control_names.h"
#include "view/window.h"

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
  auto* second = new EmbeddedBrowser(QString::fromUtf8("网页"), stack_host);
  second->setObjectName(QString::fromUtf8(names::kSecondBrowser));
  auto* forum = new EmbeddedBrowser(QString::fromUtf8("论坛"), stack_host);
  forum->setObjectName(QString::fromUtf8(names::kForumBrowser));
  forum->SetAgentIsProfiles(true);
  stack->addWidget(second);
  stack->addWidget(forum);
  stack->setCurrentWidget(forum);
  column->addWidget(stack_host, 1);
  return page;
}

void BindForumPageTitles(Window& window) {
  Window* w = &window;
  if (!window.HasAction(names::kForumTitle)) {
    window.Bind(names::kForumTitle, [w] {
      w->controls().SetVisible(names::kSecondBrowser, false);
      w->controls().SetVisible(names::kForumBrowser, true);
    });
  }
  if (!window.HasAction(names::kMusicTitle)) {
    window.Bind(names::kMusicTitle, [w] {
      w->person().SetBrowserUserAgent(names::kSecondBrowser, kSecondBrowserAgent);
      w->controls().SetVisible(names::kForumBrowser, false);
      w->controls().SetVisible(names::kSecondBrowser, true);
      w->person().Navigate(names::kSecondBrowser, kMusicChartUrl);
    });
  }
}

}  // namespace brindle::ui
