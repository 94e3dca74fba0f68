// The main window offscreen: every control of the design exists under its name with its caption,
// the page switch waits for start-up, the notice sits where it should, states flow both ways,
// and each page is written out as a picture for a person to look at.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <thread>

#include "app/core.h"
#include "app/installation.h"
#include "foundation/encoding.h"
#include "qt_env.h"
#include "servers/favourites_view.h"
#include "servers/query_engine.h"
#include "servers/server_list.h"
#include "servers/server_list_view.h"
#include "sim/a2s_responder.h"
#include "support/system_only.h"
#include "support/temp_dir.h"
#include "ui/browser_host.h"
#include "ui/embedded_browser.h"
#include "ui/list_model_adapter.h"
#include "ui/main_window.h"
#include "ui/message_box.h"
#include "ui/notice_window.h"
#include "ui/pages/pages.h"
#include "ui/qt_ports.h"
#include "ui/qt_text.h"
#include "ui/translations.h"
#include "ui/web_engine.h"
#include "ui/widgets.h"
#include "ui/window_binder.h"
#include "view/window.h"

namespace brindle {
namespace {

using names::ControlKind;

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() : window(ports, ports) {
    ports.AttachWindow(&main);
    main.Bind(window, [this] { return initialised.load(); });
    main.show();
  }
  ~MainWindowTest() override { ports.Shutdown(); }

  void Settle() { main.Binder()->Flush(); }

  template <typename T = QWidget>
  T* Find(const char* name) {
    return main.ControlAs<T>(name);
  }

  ui::QtPorts ports;
  Window window;
  ui::MainWindow main;
  std::atomic<bool> initialised{false};
};

QString ShownCaption(QWidget* w) {
  if (auto* d = qobject_cast<QDialog*>(w)) return d->windowTitle();
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  if (auto* p = qobject_cast<QPlainTextEdit*>(w)) return p->toPlainText();
  return {};
}

// Where `w` lies in the main window.
QRect InMain(const QWidget* w, const QWidget& main) {
  return QRect(w->mapTo(&main, QPoint(0, 0)), w->size());
}

TEST_F(MainWindowTest, EveryDesignControlExistsWithItsNameAndCaption) {
  Settle();
  int checked = 0;
  for (const names::ControlInfo& info : names::controls()) {
    SCOPED_TRACE(info.name);
    if (info.kind == ControlKind::kFileDialog) continue;  // built when asked for
    QWidget* w = main.Control(info.name);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->objectName(), QString::fromUtf8(info.name));
    if (*info.parent != '\0') {
      // Dialog controls live inside their dialog.
      QWidget* dialog = main.Control(info.parent);
      ASSERT_NE(dialog, nullptr);
      EXPECT_TRUE(dialog->isAncestorOf(w));
    }
    switch (info.kind) {
      case ControlKind::kList:
        EXPECT_NE(qobject_cast<QTableView*>(w), nullptr);
        break;
      case ControlKind::kBrowser:
        EXPECT_NE(qobject_cast<ui::EmbeddedBrowser*>(w), nullptr);
        break;
      case ControlKind::kRadio:
      case ControlKind::kCheck:
      case ControlKind::kSlideSwitch:
        ASSERT_NE(qobject_cast<QAbstractButton*>(w), nullptr);
        EXPECT_TRUE(qobject_cast<QAbstractButton*>(w)->isCheckable());
        EXPECT_EQ(ShownCaption(w), QString::fromUtf8(info.caption));
        break;
      case ControlKind::kPageContainer:
      case ControlKind::kPanel:
      case ControlKind::kPicture:
        break;
      default:
        EXPECT_EQ(ShownCaption(w), QString::fromUtf8(info.caption));
        break;
    }
    ++checked;
  }
  EXPECT_EQ(checked + 2, static_cast<int>(names::controls().size()));
  // Only the file dialogs have no standing widget.
  for (const std::string& name : main.Binder()->Unshown()) {
    EXPECT_EQ(names::find_control(name)->kind, ControlKind::kFileDialog) << name;
  }
}

TEST_F(MainWindowTest, FrameCarriesTheDesignTextsAndFivePagesInOrder) {
  EXPECT_EQ(main.windowTitle(), QString::fromUtf8("Brindle资源下载工具"));
  QTabWidget* pages = Find<QTabWidget>(names::kPages);
  ASSERT_NE(pages, nullptr);
  const char* expected[] = {"资源下载", "服务器", "我的收藏", "论坛", "标题"};
  ASSERT_EQ(pages->count(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(pages->tabText(i), QString::fromUtf8(expected[i]));
  // A few captions spelled out here rather than taken from the table.
  EXPECT_EQ(Find<QAbstractButton>(names::kStartDownload)->text(), QString::fromUtf8("开始下载"));
  EXPECT_EQ(Find<QAbstractButton>(names::kClearQueue)->text(), QString::fromUtf8("清理下载队列"));
  EXPECT_EQ(Find<QAbstractButton>("服务器列表_ZE3")->text(), QString::fromUtf8("KZ | SURF | BHOP"));
  EXPECT_EQ(Find<QLabel>(names::kProductTitle)->text(), QString::fromUtf8("Brindle 3.6 测试版"));
  EXPECT_EQ(Find<QDialog>(names::kAddServerWindow)->windowTitle(),
            QString::fromUtf8("添加服务器到收藏"));
  // Controls on one page live on that page.
  EXPECT_TRUE(pages->widget(names::kServerPage)->isAncestorOf(Find(names::kServerList)));
  EXPECT_TRUE(pages->widget(names::kToolsPage)->isAncestorOf(Find(names::kVacFix)));
  EXPECT_TRUE(pages->widget(names::kFavouritesPage)->isAncestorOf(Find(names::kPlayerList)));
  // The dialogs and the panels that start hidden are hidden.
  EXPECT_FALSE(Find(names::kLoginWindow)->isVisible());
  EXPECT_TRUE(Find(names::kPlayerPanel)->isHidden());
  // The two browsers share one place; the forum browser is the one in front.
  window.SelectPage(names::kForumPage);
  Settle();
  QWidget* forum = Find(names::kForumBrowser);
  QWidget* front = main.childAt(forum->mapTo(&main, forum->rect().center()));
  ASSERT_NE(front, nullptr);
  EXPECT_TRUE(front == forum || forum->isAncestorOf(front));
  // Showing the second one after hiding it brings it to the front.
  window.controls().SetVisible(names::kSecondBrowser, false);
  Settle();
  window.controls().SetVisible(names::kSecondBrowser, true);
  Settle();
  QWidget* second = Find(names::kSecondBrowser);
  front = main.childAt(second->mapTo(&main, second->rect().center()));
  ASSERT_NE(front, nullptr);
  EXPECT_TRUE(front == second || second->isAncestorOf(front));
}

TEST_F(MainWindowTest, PageSwitchBeforeStartUpShowsOnlyTheInitialisingNotice) {
  Settle();
  ASSERT_EQ(main.Pages()->currentIndex(), names::kDownloadPage);
  QTest::mouseClick(Find<QAbstractButton>(names::kNavServers), Qt::LeftButton);
  Settle();
  EXPECT_EQ(main.Pages()->currentIndex(), names::kDownloadPage);
  EXPECT_EQ(window.CurrentPage(), names::kDownloadPage);
  EXPECT_TRUE(main.Notice()->isVisible());
  EXPECT_EQ(main.Notice()->Text(), QString::fromUtf8("正在初始化..."));
  EXPECT_TRUE(main.Notice()->HideTimer().isActive());
  EXPECT_TRUE(main.Nav(names::kDownloadPage)->IsActive());
  EXPECT_FALSE(main.Nav(names::kServerPage)->IsActive());

  initialised = true;
  QTest::mouseClick(Find<QAbstractButton>(names::kNavServers), Qt::LeftButton);
  Settle();
  EXPECT_EQ(window.CurrentPage(), names::kServerPage);
  EXPECT_EQ(main.Pages()->currentIndex(), names::kServerPage);
  EXPECT_TRUE(main.Nav(names::kServerPage)->IsActive());
  EXPECT_FALSE(main.Nav(names::kDownloadPage)->IsActive());
}

TEST_F(MainWindowTest, ProgramNavigationHandlerReplacesTheDefaultOne) {
  int calls = 0;
  window.Bind(names::kNavForum, [&] { ++calls; });
  main.Bind(window, [] { return true; });  // binding again keeps the program's handler
  QTest::mouseClick(Find<QAbstractButton>(names::kNavForum), Qt::LeftButton);
  EXPECT_EQ(calls, 1);
}

// Relative luminance as the web's contrast rule counts it.
double Luminance(QColor c) {
  const auto channel = [](double v) {
    v /= 255.0;
    return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

// The contrast of the notice's text against its own background, as drawn over the window.
double NoticeContrast(ui::MainWindow& main) {
  QCoreApplication::processEvents();
  const QImage image = main.grab().toImage();
  const QRect notice = main.Notice()->geometry();
  const double scale = image.devicePixelRatio();
  const auto at = [&](QPoint p) { return image.pixelColor((QPointF(p) * scale).toPoint()); };
  const double background = Luminance(at(notice.topLeft() + QPoint(6, notice.height() / 2)));
  const QRect text(main.Notice()->Label()->mapTo(&main, QPoint(0, 0)),
                   main.Notice()->Label()->size());
  double farthest = background;
  for (int y = text.top(); y <= text.bottom(); ++y) {
    for (int x = text.left(); x <= text.right(); ++x) {
      const double l = Luminance(at({x, y}));
      if (std::abs(l - background) > std::abs(farthest - background)) farthest = l;
    }
  }
  return (std::max(background, farthest) + 0.05) / (std::min(background, farthest) + 0.05);
}

TEST_F(MainWindowTest, NoticeIsCentredTenPixelsBelowTheTopAndHidesItself) {
  for (const QSize size : {QSize(1280, 840), QSize(1280, 720)}) {
    main.resize(size);
    window.ShowNotice(gbk("服务器已存在!"));
    QCoreApplication::processEvents();
    ui::NoticeWindow* notice = main.Notice();
    EXPECT_EQ(notice->objectName(), QString::fromUtf8(names::kNoticePanel));
    EXPECT_EQ(notice->parentWidget(), &main);
    EXPECT_EQ(notice->size(), QSize(230, 60));
    EXPECT_EQ(notice->y(), 10);
    EXPECT_EQ(notice->x(), main.width() / 2 - 115);
    EXPECT_EQ(notice->Text(), QString::fromUtf8("服务器已存在!"));
    EXPECT_TRUE(notice->isVisible());
  }
  // It hides when its clock runs out; run that clock's timeout now instead of waiting.
  ASSERT_TRUE(main.Notice()->HideTimer().isSingleShot());
  QMetaObject::invokeMethod(const_cast<QTimer*>(&main.Notice()->HideTimer()), "timeout",
                            Qt::DirectConnection);
  EXPECT_FALSE(main.Notice()->isVisible());
}

TEST_F(MainWindowTest, NoticeReadsInEveryThemeAndStaysAsLongAsItsText) {
  const QPalette light = QApplication::palette();
  QPalette dark = light;  // a dark desktop theme under the program's own style
  dark.setColor(QPalette::Window, QColor(30, 30, 30));
  dark.setColor(QPalette::WindowText, QColor(240, 240, 240));
  dark.setColor(QPalette::Base, QColor(20, 20, 20));
  dark.setColor(QPalette::Text, QColor(240, 240, 240));
  for (const QPalette& theme : {light, dark}) {
    QApplication::setPalette(theme);
    window.ShowNotice(gbk("IP格式不合法!请检查!"));
    EXPECT_GE(NoticeContrast(main), 7.0);
  }
  QApplication::setPalette(light);

  // Longer texts stay longer, within bounds, and a long one grows rather than losing lines.
  std::vector<int> shown;
  for (const char* text : {"请登录", "服务器已存在!", "IP格式不合法!请检查!",
                           "未获取到服务器数据 您可能没有上传到云端 或 远程服务器不可用"}) {
    window.ShowNotice(gbk(text));
    QCoreApplication::processEvents();
    shown.push_back(main.Notice()->HideTimer().interval());
    const QLabel* label = main.Notice()->Label();
    EXPECT_GE(label->height(), label->heightForWidth(label->width())) << text;
  }
  EXPECT_GE(shown.front(), 2500);
  EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
  EXPECT_LT(shown[1], shown[2]);
  EXPECT_LE(shown.back(), 8000);
}

TEST_F(MainWindowTest, QtsOwnDialogTextsAreChineseWhenTheTranslationIsThere) {
  const auto cancel = [] {
    QDialogButtonBox box(QDialogButtonBox::Cancel);
    return box.button(QDialogButtonBox::Cancel)->text();
  };
  EXPECT_EQ(ui::LoadQtTranslations(*qApp, {QStringLiteral("/nonexistent")}), nullptr);
  EXPECT_EQ(cancel(), QStringLiteral("Cancel"));
  QTranslator* chinese = ui::LoadQtTranslations(*qApp);
  ASSERT_NE(chinese, nullptr) << "qtbase_zh_CN.qm (qt6-translations-l10n) in "
                              << ui::QtTranslationFolders().join(' ').toStdString();
  EXPECT_EQ(cancel(), QString::fromUtf8("取消"));
  QCoreApplication::removeTranslator(chinese);
  delete chinese;
}

TEST_F(MainWindowTest, ModelChangesFromAWorkerReachTheWidgets) {
  std::thread worker([&] {
    window.ShowStatus(gbk("加载中..."));
    window.controls().SetCaption(names::kUserName, gbk("请登录"));
    window.controls().SetEnabled(names::kStartDownload, false);
    window.controls().SetChecked(names::kMirror2, true);
    window.controls().SetChecked(names::kLaunchSteam, true);
    window.controls().SetVisible(names::kPlayerPanel, true);
    window.controls().SetCaption(names::kLog, gbk("第一行\n"));
    window.controls().SetCaption(names::kLog, gbk("第一行\n第二行\n"));
  });
  worker.join();
  ASSERT_TRUE(test::ProcessUntil(
      [&] { return Find<QLabel>(names::kStatusLine)->text() == QString::fromUtf8("加载中..."); }));
  EXPECT_EQ(Find<QLabel>(names::kUserName)->text(), QString::fromUtf8("请登录"));
  EXPECT_FALSE(Find(names::kStartDownload)->isEnabled());
  EXPECT_TRUE(Find<QAbstractButton>(names::kMirror2)->isChecked());
  EXPECT_FALSE(Find<QAbstractButton>(names::kMirror1)->isChecked());
  EXPECT_TRUE(Find<QAbstractButton>(names::kLaunchSteam)->isChecked());
  EXPECT_FALSE(Find(names::kPlayerPanel)->isHidden());
  EXPECT_EQ(Find<QPlainTextEdit>(names::kLog)->toPlainText(),
            QString::fromUtf8("第一行\n第二行\n"));

  // The model may leave a radio group with none checked; the widgets follow.
  window.controls().SetChecked(names::kMirror2, false);
  Settle();
  EXPECT_FALSE(Find<QAbstractButton>(names::kMirror2)->isChecked());
  // The notice panel is the port's to show, whatever its model state says.
  window.ShowNotice(gbk("未找到Steam进程"));
  window.controls().SetCaption(names::kAutoExtract, gbk("自动解压至游戏"));
  Settle();
  EXPECT_TRUE(main.Notice()->isVisible());
}

TEST_F(MainWindowTest, ThePersonsActionsReachTheModel) {
  int searches = 0;
  int mirror_clicks = 0;
  window.Bind(names::kSearchButton, [&] { ++searches; });
  window.Bind(names::kMirror3, [&] { ++mirror_clicks; });
  QTest::mouseClick(Find<QAbstractButton>(names::kSearchButton), Qt::LeftButton);
  EXPECT_EQ(searches, 1);

  QTest::mouseClick(Find<QAbstractButton>(names::kMirror3), Qt::LeftButton);
  EXPECT_EQ(mirror_clicks, 1);
  EXPECT_TRUE(window.controls().Checked(names::kMirror3));
  EXPECT_EQ(window.controls().CheckedInGroup(names::kMirrorGroup), names::kMirror3);

  QTest::mouseClick(Find<QAbstractButton>(names::kAutoExtract), Qt::LeftButton);
  EXPECT_TRUE(window.controls().Checked(names::kAutoExtract));
  QTest::mouseClick(Find<QAbstractButton>(names::kPreDownloadSwitch), Qt::LeftButton);
  EXPECT_TRUE(window.controls().Checked(names::kPreDownloadSwitch));

  // Typed text reaches the model as GBK.
  QLineEdit* search = Find<QLineEdit>(names::kSearchBox);
  search->setFocus();
  QTest::keyClicks(search, QStringLiteral("ze_"));
  QInputMethodEvent ime;  // Chinese arrives through the input method
  ime.setCommitString(QString::fromUtf8("僵尸"));
  QApplication::sendEvent(search, &ime);
  EXPECT_EQ(window.controls().Caption(names::kSearchBox), gbk("ze_僵尸"));
}

TEST_F(MainWindowTest, DialogShownStateFollowsTheModelAndThePerson) {
  int logins = 0;
  window.Bind(names::kLoginButton, [&] { ++logins; });
  window.controls().SetCaption(names::kLoginWindow, gbk("登录到 forum.example"));
  window.controls().SetVisible(names::kLoginWindow, true);
  Settle();
  auto* dialog = Find<QDialog>(names::kLoginWindow);
  ASSERT_TRUE(dialog->isVisible());
  EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8("登录到 forum.example"));
  EXPECT_TRUE(dialog->isModal());
  QTest::mouseClick(Find<QAbstractButton>(names::kLoginButton), Qt::LeftButton);
  EXPECT_EQ(logins, 1);
  // The person closes it: the model hears of it.
  dialog->reject();
  EXPECT_FALSE(window.controls().Visible(names::kLoginWindow));
  // The program closes the other one.
  window.controls().SetVisible(names::kAddServerWindow, true);
  Settle();
  EXPECT_TRUE(Find(names::kAddServerWindow)->isVisible());
  window.controls().SetVisible(names::kAddServerWindow, false);
  Settle();
  EXPECT_FALSE(Find(names::kAddServerWindow)->isVisible());
}

TEST_F(MainWindowTest, ListsShowTheirColumnsWithHiddenOnesHidden) {
  main.resize(1280, 840);
  window.SelectPage(names::kServerPage);
  Settle();
  QCoreApplication::processEvents();
  auto* servers = Find<QTableView>(names::kServerList);
  ASSERT_NE(servers->model(), nullptr);
  EXPECT_EQ(servers->model()->columnCount(), 7);
  // The design's widths in their proportions, all within the list's width.
  EXPECT_NEAR(servers->columnWidth(1) * 335.0 / servers->columnWidth(0), 425.0, 5.0);
  int shown_width = 0;
  for (int c = 0; c < servers->model()->columnCount(); ++c) {
    if (!servers->isColumnHidden(c)) shown_width += servers->columnWidth(c);
  }
  EXPECT_LE(shown_width, servers->viewport()->width());
  EXPECT_TRUE(servers->isColumnHidden(3));
  EXPECT_TRUE(servers->isColumnHidden(4));
  EXPECT_TRUE(servers->isColumnHidden(6));
  EXPECT_EQ(servers->model()->headerData(3, Qt::Horizontal).toString(),
            QStringLiteral("IPAddress"));
  auto* favourites = Find<QTableView>(names::kFavouritesList);
  int visible = 0;
  for (int c = 0; c < favourites->model()->columnCount(); ++c)
    visible += !favourites->isColumnHidden(c);
  EXPECT_EQ(visible, 6);
  EXPECT_EQ(servers->verticalHeader()->defaultSectionSize(), ListModel::kRowHeight);
}

TEST_F(MainWindowTest, EnterInTheAddServerBoxConfirmsIt) {
  test::TempDir dir;
  AppState state;
  state.data_dir = dir.path().string();
  Core core(state, window);
  core.AddFeature(std::make_unique<FavouritesFeature>());
  ASSERT_TRUE(window.Activate(names::kAddServer));
  Settle();
  auto* dialog = Find<QDialog>(names::kAddServerWindow);
  auto* box = Find<QLineEdit>(names::kAddServerBox);
  ASSERT_TRUE(dialog->isVisible());

  // A refused address: the notice says so and the dialog stays for a correction.
  QTest::keyClicks(box, QStringLiteral("192.0.2.1:27015 +exec autoexec"));
  QTest::keyClick(box, Qt::Key_Return);
  Settle();
  EXPECT_EQ(main.Notice()->Text(), QString::fromUtf8("IP格式不合法!请检查!"));
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(window.favourites().RowCount(), 0);

  box->selectAll();
  QTest::keyClicks(box, QStringLiteral("192.0.2.1"));
  QInputMethodEvent ime;  // the full-width colon arrives through the input method
  ime.setCommitString(QString::fromUtf8("："));
  QApplication::sendEvent(box, &ime);
  QTest::keyClicks(box, QStringLiteral("27015"));
  QTest::keyClick(box, Qt::Key_Enter);  // the keypad's Enter does the same
  Settle();
  EXPECT_FALSE(dialog->isVisible());
  ASSERT_EQ(window.favourites().RowCount(), 1);
  EXPECT_EQ(window.favourites().Cell(0, cols::kFavAddress), "192.0.2.1:27015");
  EXPECT_EQ(test::slurp(dir.path() / "my_favorite.json"), "[{\"ip\":\"192.0.2.1:27015\"}]");
}

TEST_F(MainWindowTest, DetailsOnTheServerPageShowThePlayersOnThatPage) {
  sim::A2sResponders game_servers;
  sim::A2sServer live;
  live.players = {{"alice", 12, 61.0f}, {"bob", 3, 5.0f}};
  std::string error;
  ASSERT_TRUE(game_servers.Start({live}, &error)) << error;
  AppState state;
  Core core(state, window);
  core.AddFeature(std::make_unique<ServerBrowserFeature>());
  StartQueryEngine(core);
  ASSERT_TRUE(QueryEngineStarted());

  window.SelectPage(names::kServerPage);
  window.server_list().Append({gbk("[ZE] 僵尸逃跑"), "ze_x", "2/64", game_servers.Address(0), ""});
  window.server_list().Select(0);
  ASSERT_TRUE(window.Activate(names::menu_action(names::kServerList, names::kMenuDetails)));
  auto* players = Find<QTableView>(names::kPlayerList);
  ASSERT_TRUE(test::ProcessUntil([&] {
    Settle();
    return players->model()->rowCount() == 2 && Find(names::kPlayerPanel)->isVisible();
  }));
  // On the page the person is on, inside the window, beside the server list.
  QWidget* panel = Find(names::kPlayerPanel);
  EXPECT_EQ(main.Pages()->currentIndex(), names::kServerPage);
  EXPECT_TRUE(main.Pages()->widget(names::kServerPage)->isAncestorOf(panel));
  EXPECT_TRUE(main.rect().contains(InMain(panel, main)));
  EXPECT_GE(players->height(), 34 + 2 * ListModel::kRowHeight);
  EXPECT_EQ(players->model()->index(0, 0).data().toString(), QStringLiteral("alice"));

  // The favourites page has it too; hidden, as every page switch leaves it.
  window.controls().SetVisible(names::kPlayerPanel, false);
  window.SelectPage(names::kFavouritesPage);
  Settle();
  EXPECT_TRUE(main.Pages()->widget(names::kFavouritesPage)->isAncestorOf(panel));
  EXPECT_TRUE(panel->isHidden());
  window.controls().SetVisible(names::kPlayerPanel, true);
  Settle();
  EXPECT_TRUE(panel->isVisible());
  core.workers().StopAndJoin();
}

TEST_F(MainWindowTest, NamesWithCharactersGbkLacksShowAsTheyCame) {
  BRINDLE_NOT_UNDER_WINE(test::kGb18030UnderWine);
  // The server list service's answer.
  ASSERT_TRUE(FillServerList(
      window.server_list(),
      R"([{"name":"[ZE] 僵尸逃跑 😀 #1","map_name":"ze_x","players":1,"max_players":64,)"
      R"("ip":"127.0.0.1","port":27015}])",
      "AllServers", {}));
  Settle();
  QAbstractItemModel* servers = Find<QTableView>(names::kServerList)->model();
  EXPECT_EQ(servers->index(0, 0).data().toString(), QString::fromUtf8("[ZE] 僵尸逃跑 😀 #1"));

  // A game server's own name and its players' names, as the live query reads them.
  sim::A2sResponders game_servers;
  sim::A2sServer live;
  live.name = "[ZE] 🔥 김치 服";
  live.players = {{"김철수", 3, 5.0f}, {"玩家🎮", 1, 2.0f}};
  std::string error;
  ASSERT_TRUE(game_servers.Start({live}, &error)) << error;
  AppState state;
  Core core(state, window);
  core.AddFeature(std::make_unique<ServerBrowserFeature>());
  core.AddFeature(std::make_unique<FavouritesFeature>());
  StartQueryEngine(core);
  ASSERT_TRUE(QueryEngineStarted());
  window.favourites().Append(
      {game_servers.Address(0), "", "", game_servers.Address(0), "", "", "", "", "", ""});
  window.favourites().Select(0);
  ASSERT_TRUE(window.Activate(names::kRefreshFavourites));
  ASSERT_TRUE(window.Activate(names::menu_action(names::kFavouritesList, names::kMenuDetails)));
  QAbstractItemModel* favourites = Find<QTableView>(names::kFavouritesList)->model();
  QAbstractItemModel* players = Find<QTableView>(names::kPlayerList)->model();
  ASSERT_TRUE(test::ProcessUntil([&] {
    Settle();
    return players->rowCount() == 2 &&
           favourites->index(0, 0).data().toString() == QString::fromUtf8("[ZE] 🔥 김치 服");
  }));
  EXPECT_EQ(players->index(0, 0).data().toString(), QString::fromUtf8("김철수"));
  EXPECT_EQ(players->index(1, 0).data().toString(), QString::fromUtf8("玩家🎮"));
  core.workers().StopAndJoin();
}

// Sample rows so the pictures show the lists in use.
void FillSamples(Window& w) {
  w.server_list().Append({gbk("[ZE] 僵尸逃跑 #1 | 新手友好"), gbk("ze_dark_souls_v2 (黑暗之魂)"),
                          "42/64", "127.0.0.1:27015", "CN"});
  w.server_list().Append(
      {gbk("[KZ] 攀岩练习服"), gbk("kz_grotto (洞穴)"), "7/32", "127.0.0.1:27016", "CN"});
  w.server_list().Append(
      {gbk("[TTT] 叛徒猎杀"), "ttt_minecraft_b5", "18/24", "127.0.0.1:27017", "HK"});
  w.favourites().Append({gbk("[ZE] 僵尸逃跑 #1 | 新手友好"), "ze_dark_souls_v2", "42/64",
                         "127.0.0.1:27015", "csgo", "", "1.38.7.9", "", "", ""});
  w.favourites().Append(
      {"play.example.org:27020", "", "", "play.example.org:27020", "", "", "", "", "", ""});
  w.players().Append({"Alice", "31", "01:02:03"});
  w.players().Append({gbk("小明"), "12", "00:14:59"});
  w.resources().Append(
      {"ze_dark_souls_v2", gbk("需要下载"), "http://x/ze.bsp.bz2", gbk("黑暗之魂")});
  w.resources().Append({"ze_mako_reactor_v5", gbk("地图与服务器不匹配"), "", gbk("魔晄炉")});
  for (const char* name :
       {"ze_frostdrake_tower_v1", "ze_pirates_port_royal_v5", "ze_sandstorm_f"}) {
    w.resources().Append({name, gbk("需要下载"), "", ""});
  }
  w.download_queue().Append({"ze_lotr_minas_tirith", gbk("45.20%(12.34MB/27.30MB)"), "", "", "",
                             gbk("正在下载"), "ze_lotr_minas_tirith.bsp.bz2"});
  w.download_queue().Append({"ze_paranoid_rezurrection", gbk("等待下载"), "", ""});
  w.download_queue().Append({"ze_mako_reactor_v5", gbk("等待下载"), "", ""});
  w.controls().SetCaption(names::kDownloadSummary,
                          gbk(" 已下载:3 已解压:2 待解压:1 下载失败:0 解压失败:0 速度:1.52MB/s"));
  w.extract_queue().Append({"ze_frostdrake_tower.bsp.bz2", "%0", gbk("待解压")});
  w.controls().SetChecked(names::kMirror1, true);
  w.controls().SetChecked(names::kLaunchAuto, true);
  w.controls().SetChecked(names::kRegionChina, true);
  w.controls().SetChecked(names::kAutoExtract, true);
  w.controls().SetCaption(names::kUserName, gbk("请登录"));
  w.controls().SetCaption(names::kSignIn, gbk("登录"));
  w.controls().SetVisible(names::kPlayerPanel, true);
  w.controls().SetCaption(
      names::kLog, gbk("[09:12:03] 地图列表已更新\n[09:12:05] 开始下载 ze_lotr_minas_tirith\n"));
  w.ShowStatus(gbk("已开启预热下载..."));
}

TEST_F(MainWindowTest, OpensWithinTheScreenItIsShownOn) {
  using ui::MainWindow;
  EXPECT_EQ(MainWindow::OpeningSize({1920, 1040}), QSize(1280, 840));
  EXPECT_EQ(MainWindow::OpeningSize({1366, 728}), QSize(1280, 728));  // 1366x768, task bar
  EXPECT_EQ(MainWindow::OpeningSize({1280, 680}), QSize(1280, 680));  // 1280x720, task bar
  EXPECT_EQ(MainWindow::OpeningSize({800, 560}),
            QSize(MainWindow::kMinimumWidth, MainWindow::kMinimumHeight));
  EXPECT_EQ(MainWindow::OpeningSize({}), QSize(1280, 840));
  // This window opened on the test's screen: within its free area as far as the minimum allows.
  ui::MainWindow fresh;
  const QRect available = fresh.screen()->availableGeometry();
  EXPECT_EQ(fresh.size(), MainWindow::OpeningSize(available.size()));
  EXPECT_GE(fresh.x(), available.x());
  EXPECT_GE(fresh.y(), available.y());
}

// Rows a list shows whole in its viewport.
int RowsShown(const QTableView* list) { return list->viewport()->height() / ListModel::kRowHeight; }

// Visible buttons of `page` whose caption does not fit their width.
QStringList CutCaptions(QWidget* page) {
  QStringList cut;
  for (QAbstractButton* b : page->findChildren<QAbstractButton*>()) {
    if (!b->isVisible() || b->text().isEmpty()) continue;
    if (b->width() < b->sizeHint().width()) cut << b->text();
  }
  return cut;
}

TEST_F(MainWindowTest, EveryPageIsUsableFromTheSmallestSizeUp) {
  FillSamples(window);
  window.controls().SetVisible(names::kPlayerPanel, false);  // every page switch hides it
  const QString dir = QStringLiteral(BRINDLE_ARTIFACT_DIR);
  ASSERT_TRUE(QDir().mkpath(dir));
  // The least size, a 1280x720 screen less its task bar (the window has no title bar of its
  // own), and whole screens.
  int list_rows_before = 0;
  for (const QSize size : {main.minimumSize(), QSize(1280, 680), QSize(1280, 720), QSize(1366, 768),
                           QSize(1920, 1080)}) {
    SCOPED_TRACE(size.width());
    main.resize(size);
    for (int page = 0; page < names::kPageCount; ++page) {
      SCOPED_TRACE(page);
      window.SelectPage(page);
      Settle();
      QCoreApplication::processEvents();
      ASSERT_EQ(main.size(), size);
      QWidget* status = Find(names::kStatusLine);
      EXPECT_TRUE(status->isVisible());
      EXPECT_TRUE(main.rect().contains(InMain(status, main)));
      EXPECT_EQ(CutCaptions(main.Pages()->currentWidget()), QStringList());
      EXPECT_EQ(CutCaptions(main.findChild<QWidget*>(QStringLiteral("Sidebar"))), QStringList());
      for (QTableView* list : main.Pages()->currentWidget()->findChildren<QTableView*>()) {
        if (list->isVisible()) {
          EXPECT_GE(RowsShown(list), 2) << list->objectName().toStdString();
        }
      }
    }
    // The lists take what the window gains.
    const int rows = RowsShown(Find<QTableView>(names::kResourceList));
    EXPECT_GE(rows, list_rows_before);
    list_rows_before = rows;
    if (size.width() == 1280 || size.width() == 1366) {
      window.SelectPage(names::kDownloadPage);
      Settle();
      QCoreApplication::processEvents();
      if (size.height() >= 720) {
        EXPECT_GE(rows, 3);
      }
      const QString name =
          QStringLiteral("/window_%1x%2_%3.png").arg(size.width()).arg(size.height());
      main.grab().toImage().save(dir + name.arg(QStringLiteral("download")));
      window.SelectPage(names::kServerPage);
      Settle();
      QCoreApplication::processEvents();
      main.grab().toImage().save(dir + name.arg(QStringLiteral("servers")));
    }
  }
}

TEST_F(MainWindowTest, ForumBrowserLoadsTheEngineModuleWhenFirstShownWithAPage) {
  // This program does not link the engine: the window loads it, as the real program does.
  window.person().Navigate(names::kForumBrowser, "data:text/html,<p>forum</p>");
  Settle();
  auto* forum = Find<ui::EmbeddedBrowser>(names::kForumBrowser);
  EXPECT_FALSE(forum->HasEngine());
  EXPECT_EQ(main.Browsers()->Loaded(), nullptr);
  window.SelectPage(names::kForumPage);
  Settle();
  if (!ui::WebEngineBuilt()) {
    ASSERT_NE(forum->Placeholder(), nullptr);
    return;
  }
  ASSERT_TRUE(forum->HasEngine()) << main.Browsers()->Error().toStdString();
  EXPECT_TRUE(forum->View()->inherits("QWebEngineView"));
  QSignalSpy loads(forum->View(), SIGNAL(loadFinished(bool)));
  ASSERT_TRUE(test::ProcessUntil([&] { return !loads.isEmpty(); }, 60000));
  EXPECT_TRUE(loads.front().front().toBool());
}

TEST_F(MainWindowTest, WritesAPictureOfEveryPage) {
  main.resize(1280, 840);
  FillSamples(window);
  // The forum page stays without a page here (the engine would start and look for the forum);
  // ui_forum_browser_test pictures it with brindle-sim's page.
  Settle();
  const QString dir = QStringLiteral(BRINDLE_ARTIFACT_DIR);
  ASSERT_TRUE(QDir().mkpath(dir));
  const char* files[] = {"page_0_download.png", "page_1_servers.png", "page_2_favourites.png",
                         "page_3_forum.png", "page_4_tools.png"};
  for (int page = 0; page < names::kPageCount; ++page) {
    window.SelectPage(page);
    // The player panel is asked for from the two server lists; page switches hide it.
    window.controls().SetVisible(names::kPlayerPanel,
                                 page == names::kServerPage || page == names::kFavouritesPage);
    Settle();
    QCoreApplication::processEvents();
    ASSERT_EQ(main.Pages()->currentIndex(), page);
    const QImage image = main.grab().toImage();
    EXPECT_EQ(image.size(), main.size() * image.devicePixelRatio());
    const QString path = dir + QLatin1Char('/') + QLatin1String(files[page]);
    EXPECT_TRUE(image.save(path)) << path.toStdString();
  }
  // The download page at the smallest size the window allows.
  window.SelectPage(names::kDownloadPage);
  const QSize usual = main.size();
  main.resize(main.minimumSize());
  Settle();
  QCoreApplication::processEvents();
  EXPECT_TRUE(main.grab().toImage().save(dir + QStringLiteral("/page_0_download_smallest.png")));
  main.resize(usual);
  // The notice over the download page, for its look.
  window.ShowNotice(gbk("正在初始化..."));
  Settle();
  QCoreApplication::processEvents();
  EXPECT_TRUE(main.grab().toImage().save(dir + QStringLiteral("/notice.png")));
  window.controls().SetVisible(names::kLoginWindow, true);
  Settle();
  QCoreApplication::processEvents();
  EXPECT_TRUE(Find(names::kLoginWindow)->grab().toImage().save(dir + QStringLiteral("/login.png")));
  window.controls().SetVisible(names::kLoginWindow, false);
  // A message box over the window, with its own close control.
  QMessageBox* box =
      ui::BuildMessageBox(&main, QString::fromUtf8("您的路径设置似乎不正确!"),
                          ui::FromGbk(Cs2PathWrongText()), {QString::fromUtf8("取消")});
  ui::CentreOver(box, &main);
  box->show();
  QCoreApplication::processEvents();
  EXPECT_TRUE(box->grab().toImage().save(dir + QStringLiteral("/message_box.png")));
  delete box;
}

}  // namespace
}  // namespace brindle
