#include "ui/main_window.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSizeGrip>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/browser_host.h"
#include "ui/dialogs.h"
#include "ui/embedded_browser.h"
#include "ui/icons.h"
#include "ui/notice_window.h"
#include "ui/page_kit.h"
#include "ui/pages/pages.h"
#include "ui/style.h"
#include "ui/widgets.h"
#include "ui/window_binder.h"
#include "view/window.h"

namespace brindle::ui {
namespace {

struct NavEntry {
  const char* button;
  const char* label;
  Glyph glyph;
};
constexpr std::array<NavEntry, names::kPageCount> kNav = {{
    {names::kNavDownload, names::kNavDownloadLabel, Glyph::kDownload},
    {names::kNavServers, names::kNavServersLabel, Glyph::kServers},
    {names::kNavFavourites, names::kNavFavouritesLabel, Glyph::kStar},
    {names::kNavForum, names::kNavForumLabel, Glyph::kForum},
    {names::kNavTools, names::kNavToolsLabel, Glyph::kTools},
}};

QToolButton* WindowButton(QWidget* parent, const char* name, Glyph glyph, bool danger) {
  auto* b = new QToolButton(parent);
  b->setObjectName(QString::fromUtf8(name));
  b->setProperty("role", "window");
  b->setProperty("danger", danger);
  b->setIcon(GlyphIcon(glyph, 16, palette::kMuted, danger ? Qt::white : palette::kText));
  b->setIconSize({16, 16});
  b->setFixedSize(40, 30);
  b->setCursor(Qt::PointingHandCursor);
  return b;
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("MainRoot"));
  setAttribute(Qt::WA_StyledBackground);
  setWindowTitle(QString::fromUtf8("Brindle资源下载工具"));
  setWindowIcon(GlyphIcon(Glyph::kDownload, 32, palette::kAccent, palette::kAccent));
  // The window has no system frame, so nothing else keeps its bottom (the status line) on a
  // small screen: open it within the free area of the screen, centred.
  const QScreen* where = screen();
  const QRect available = where != nullptr ? where->availableGeometry() : QRect();
  resize(OpeningSize(available.size()));
  if (available.isValid()) {
    move(available.x() + std::max(0, (available.width() - width()) / 2),
         available.y() + std::max(0, (available.height() - height()) / 2));
  }

  auto* root = new QHBoxLayout(this);
  root->setContentsMargins(0, 0, 0, 0);
  root->setSpacing(0);
  root->addWidget(BuildSidebar());

  auto* content = new QVBoxLayout;
  content->setContentsMargins(0, 0, 0, 0);
  content->setSpacing(0);
  content->addWidget(BuildTopBar());

  // The page container keeps the design's page captions as tab texts; its own tab bar stays
  // hidden because the navigation column switches pages.
  pages_ = new QTabWidget(this);
  pages_->setObjectName(QString::fromUtf8(names::kPages));
  pages_->tabBar()->hide();
  pages_->setDocumentMode(true);
  QWidget* (*builders[])(QWidget*) = {BuildDownloadPage, BuildServerPage, BuildFavouritesPage,
                                      BuildForumPage, BuildToolsPage};
  for (int i = 0; i < names::kPageCount; ++i) {
    pages_->addTab(builders[i](pages_),
                   QString::fromUtf8(names::kPageCaptions[static_cast<std::size_t>(i)]));
  }
  content->addWidget(pages_, 1);
  content->addWidget(BuildStatusBar());
  root->addLayout(content, 1);

  // The least size at which every caption shows whole and every list keeps two rows: what the
  // pages' layouts need (the style sheet's paddings included), never less than the design's.
  ensurePolished();
  // The container would also ask room for its tab bar, which stays hidden.
  QSize page_minimum;
  for (int i = 0; i < pages_->count(); ++i) {
    page_minimum = page_minimum.expandedTo(pages_->widget(i)->minimumSizeHint());
  }
  pages_->setMinimumSize(page_minimum);
  layout()->activate();
  setMinimumSize(layout()->totalMinimumSize().expandedTo({kMinimumWidth, kMinimumHeight}));
  resize(size().expandedTo(minimumSize()));

  notice_ = new NoticeWindow(this);
  notice_->setObjectName(QString::fromUtf8(names::kNoticePanel));
  login_ = new LoginDialog(this);
  add_server_ = new AddServerDialog(this);
  player_panel_ = BuildPlayerPanel(this);
  PlacePlayerPanel(names::kFavouritesPage);
  browsers_ = std::make_unique<BrowserHost>();
  for (EmbeddedBrowser* browser : findChildren<EmbeddedBrowser*>())
    browser->SetHost(browsers_.get());
  ShowPage(names::kDownloadPage);
}

MainWindow::~MainWindow() {
  Unbind();
  // The engine wants every page gone before the profile they were made on.
  for (EmbeddedBrowser* browser : findChildren<EmbeddedBrowser*>()) browser->Stop();
  browsers_.reset();
}

void MainWindow::SetProgramFolder(const QString& program_dir) {
  if (!program_dir.isEmpty()) {
    browsers_->SetFolder(program_dir + QLatin1Char('/') + QLatin1String(kBrowserFolder));
  }
}

QSize MainWindow::OpeningSize(const QSize& available) {
  if (!available.isValid() || available.isEmpty()) return {kDefaultWidth, kDefaultHeight};
  return {std::clamp(available.width(), kMinimumWidth, kDefaultWidth),
          std::clamp(available.height(), kMinimumHeight, kDefaultHeight)};
}

QWidget* MainWindow::BuildSidebar() {
  auto* bar = new QFrame(this);
  bar->setObjectName(QStringLiteral("Sidebar"));
  bar->setFixedWidth(208);
  auto* column = new QVBoxLayout(bar);
  column->setContentsMargins(0, 20, 0, 16);
  column->setSpacing(4);

  auto* brand = new QWidget(bar);
  auto* brand_row = new QHBoxLayout(brand);
  brand_row->setContentsMargins(22, 0, 12, 18);
  brand_row->setSpacing(10);
  auto* logo = new QLabel(brand);
  logo->setPixmap(GlyphPixmap(Glyph::kDownload, 28, palette::kAccent));
  brand_row->addWidget(logo);
  auto* brand_text = new QVBoxLayout;
  brand_text->setSpacing(0);
  auto* name = new QLabel(QStringLiteral("Brindle"), brand);
  name->setProperty("role", "brand");
  auto* sub = new QLabel(QString::fromUtf8("资源下载工具"), brand);
  sub->setProperty("role", "brandSub");
  brand_text->addWidget(name);
  brand_text->addWidget(sub);
  brand_row->addLayout(brand_text);
  brand_row->addStretch();
  DragHandle::Attach(brand);
  column->addWidget(brand);

  for (int i = 0; i < names::kPageCount; ++i) {
    const NavEntry& e = kNav[static_cast<std::size_t>(i)];
    QLabel* caption = MakeLabel(bar, e.label, "navCaption");
    auto* button = new NavButton(e.glyph, caption, bar);
    button->setObjectName(QString::fromUtf8(e.button));
    button->setProperty("role", "nav");
    nav_[static_cast<std::size_t>(i)] = button;
    column->addWidget(button);
  }
  column->addStretch(1);

  auto* user = new QFrame(bar);
  user->setObjectName(QStringLiteral("UserCard"));
  auto* user_row = new QHBoxLayout(user);
  user_row->setContentsMargins(12, 12, 12, 12);
  user_row->setSpacing(10);
  QLabel* avatar = MakeLabel(user, names::kAvatar);
  avatar->setFixedSize(40, 40);
  avatar->setPixmap(DefaultAvatar(40));
  user_row->addWidget(avatar);
  auto* user_text = new QVBoxLayout;
  user_text->setSpacing(4);
  QLabel* user_name = MakeLabel(user, names::kUserName, "userName");
  user_text->addWidget(user_name);
  QPushButton* sign = MakeButton(user, names::kSignIn, "sidebar");
  user_text->addWidget(sign, 0, Qt::AlignLeft);
  user_row->addLayout(user_text, 1);
  auto* user_holder = new QWidget(bar);
  auto* holder_row = new QHBoxLayout(user_holder);
  holder_row->setContentsMargins(12, 0, 12, 8);
  holder_row->addWidget(user);
  column->addWidget(user_holder);

  QLabel* version = MakeLabel(bar, names::kProductTitle, "version");
  version->setAlignment(Qt::AlignCenter);
  column->addWidget(version);
  return bar;
}

QWidget* MainWindow::BuildTopBar() {
  auto* bar = new QFrame(this);
  bar->setObjectName(QStringLiteral("TopBar"));
  bar->setFixedHeight(36);
  auto* row = new QHBoxLayout(bar);
  row->setContentsMargins(16, 4, 8, 0);
  row->setSpacing(2);
  row->addStretch();
  QToolButton* minimise = WindowButton(bar, names::kMinimiseMain, Glyph::kMinimise, false);
  QToolButton* close = WindowButton(bar, names::kCloseMain, Glyph::kClose, true);
  row->addWidget(minimise);
  row->addWidget(close);
  connect(minimise, &QToolButton::clicked, this, &QWidget::showMinimized);
  connect(close, &QToolButton::clicked, this, &QWidget::close);
  DragHandle::Attach(bar);
  return bar;
}

QWidget* MainWindow::BuildStatusBar() {
  auto* bar = new QFrame(this);
  bar->setObjectName(QStringLiteral("StatusBar"));
  bar->setFixedHeight(30);
  auto* row = new QHBoxLayout(bar);
  row->setContentsMargins(16, 0, 0, 0);
  QLabel* status = MakeLabel(bar, names::kStatusLine, "status");
  row->addWidget(status, 1);
  row->addWidget(new QSizeGrip(bar), 0, Qt::AlignBottom | Qt::AlignRight);
  return bar;
}

QWidget* MainWindow::Control(std::string_view name) const {
  const QString key = Utf8(name);
  if (objectName() == key) return const_cast<MainWindow*>(this);
  return findChild<QWidget*>(key);
}

void MainWindow::PlacePlayerPanel(int page) {
  QWidget* slot = pages_->widget(page)->findChild<QWidget*>(QString::fromUtf8(kPlayerPanelSlot));
  if (slot == nullptr || player_panel_->parentWidget() == slot) return;
  // A new parent hides a widget; the panel keeps the state the window model gave it.
  const bool shown = !player_panel_->isHidden();
  if (QWidget* old_slot = player_panel_->parentWidget(); old_slot && old_slot->layout()) {
    old_slot->layout()->removeWidget(player_panel_);
  }
  slot->layout()->addWidget(player_panel_);
  player_panel_->setVisible(shown);
}

void MainWindow::ShowPage(int page) {
  if (page < 0 || page >= names::kPageCount) return;
  PlacePlayerPanel(page);
  pages_->setCurrentIndex(page);
  for (int i = 0; i < names::kPageCount; ++i)
    nav_[static_cast<std::size_t>(i)]->SetActive(i == page);
}

void MainWindow::Bind(Window& window, std::function<bool()> initialised) {
  Unbind();
  BindForumPageTitles(window);
  binder_ = std::make_unique<WindowBinder>(this, window, std::move(initialised));
  DressServerLists(this, *binder_);
}

void MainWindow::Unbind() { binder_.reset(); }

void MainWindow::closeEvent(QCloseEvent* event) {
  // The program may ask first (downloads that would be lost); a "no" keeps the window open.
  if (binder_ != nullptr && !binder_->window().MayClose()) {
    event->ignore();
    return;
  }
  emit Closing();
  QWidget::closeEvent(event);
}

}  // namespace brindle::ui
