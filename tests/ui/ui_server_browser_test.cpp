// The server browser offscreen against brindle-sim and fake game servers on loopback: sorting and
// filtering the lists, the live query's round trip and "无响应", the player panel, the chosen
// category, a service that cannot be reached, and the join that fetches the server's map first.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>

#include "app/app_state.h"
#include "app/core.h"
#include "app/endpoints.h"
#include "foundation/encoding.h"
#include "maps/map_downloads.h"
#include "platform/platform.h"
#include "qt_env.h"
#include "servers/categories.h"
#include "servers/join.h"
#include "servers/join_map.h"
#include "servers/query_engine.h"
#include "servers/server_list.h"
#include "servers/server_list_view.h"
#include "sim/a2s_responder.h"
#include "support/extractor_files.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"
#include "ui/main_window.h"
#include "ui/pages/pages.h"
#include "ui/qt_ports.h"
#include "ui/window_binder.h"
#include "view/window.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using test::ProcessUntil;

nlohmann::json Server(const std::string& name, const std::string& address,
                      const std::string& map = "de_dust2", int players = 7) {
  const auto colon = address.find(':');
  return {{"name", name},
          {"map_name", map},
          {"comments", ""},
          {"players", players},
          {"max_players", 64},
          {"ip", address.substr(0, colon)},
          {"port", std::stoi(address.substr(colon + 1))}};
}

class ServerBrowserTest : public test::SharedSimSuite {
 protected:
  ServerBrowserTest() : window_(ports_, ports_) {
    ports_.AttachWindow(&main_);
    main_.Bind(window_, [] { return true; });
    main_.resize(1366, 720);
    main_.show();
  }
  ~ServerBrowserTest() override {
    core_.workers().StopAndJoin();
    ports_.Shutdown();
    SetJoinHooks({});
  }

  void SetUp() override {
    ASSERT_TRUE(sim_->running()) << sim_->error();
    state_.program_dir = dir_.path().string();
    state_.data_dir = dir_.file("qdata");
    state_.download_cache_dir = test::TempDir::DirText(dir_.path() / "download" / "data");
    fs::create_directories(dir_.path() / "qdata");
    fs::create_directories(dir_.path() / "download" / "data");
    ASSERT_TRUE(LoadEndpointsFile(sim_->endpoints_file(), state_));
    state_.initialised = true;
    core_.AddFeature(std::make_unique<ServerBrowserFeature>());
  }

  void Settle() {
    main_.Binder()->Flush();
    QCoreApplication::processEvents();
  }
  template <typename T = QWidget>
  T* Find(const char* name) {
    return main_.ControlAs<T>(name);
  }
  QTableView* Servers() { return Find<QTableView>(names::kServerList); }
  // The server list's column as the view shows it, top to bottom.
  QStringList Shown(QTableView* view, int column) {
    QStringList out;
    for (int r = 0; r < view->model()->rowCount(); ++r) {
      out << view->model()->index(r, column).data().toString();
    }
    return out;
  }
  void ClickHeader(QTableView* view, int column) {
    QHeaderView* header = view->horizontalHeader();
    const QPoint at(header->sectionViewportPosition(column) + 4, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    Settle();
  }
  void ServeServers(const nlohmann::json& servers) {
    test::spit(fs::path(sim_->data_dir()) / "servers.json", servers.dump());
  }
  // Loads every server as the page switch does and waits for the list.
  void LoadAll(int rows) {
    ASSERT_TRUE(window_.Activate(names::kAllServers));
    ASSERT_TRUE(ProcessUntil([&] {
      Settle();
      return window_.server_list().RowCount() == rows &&
             window_.controls().Enabled(names::kAllServers);
    }));
  }
  // Answers the next message box with the button giving `answer`; records its text.
  void AnswerNextBox(int answer, QString* text = nullptr) {
    auto* watcher = new QTimer(&main_);
    watcher->setInterval(5);
    QObject::connect(watcher, &QTimer::timeout, [watcher, answer, text] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      watcher->stop();
      watcher->deleteLater();
      if (text != nullptr) *text = box->text();
      for (QAbstractButton* b : box->buttons()) {
        if (b->property("answer").toInt() == answer) b->click();
      }
    });
    watcher->start();
  }

  // Fake game servers on loopback, answering (or not) as each is set up.
  void StartGameServers(std::vector<sim::A2sServer> servers) {
    std::string error;
    ASSERT_TRUE(game_servers_.Start(std::move(servers), &error)) << error;
  }
  std::string GameServer(int i) { return game_servers_.Address(i); }

  ui::QtPorts ports_;
  Window window_;
  ui::MainWindow main_;
  test::TempDir dir_;
  AppState state_;
  Core core_{state_, window_};
  sim::A2sResponders game_servers_;
};

TEST_F(ServerBrowserTest, SortsByAnyColumnAndFiltersByNameOrMap) {
  window_.SelectPage(names::kServerPage);
  window_.server_list().Append({"Bravo", "ze_mako", "12/64", "192.0.2.1:1", "", "37 ms", ""});
  window_.server_list().Append({"alpha", "de_dust2", "9/64", "192.0.2.2:2", "", gbk("无响应"), ""});
  window_.server_list().Append({"Charlie", "ze_lotr", "100/128", "192.0.2.3:3", "", "5 ms", ""});
  Settle();
  QTableView* view = Servers();
  // The service's order until the person asks for another.
  EXPECT_EQ(Shown(view, 0), (QStringList{"Bravo", "alpha", "Charlie"}));
  ClickHeader(view, cols::kServerPlayers);  // as numbers: 9 < 12 < 100
  EXPECT_EQ(Shown(view, 0), (QStringList{"alpha", "Bravo", "Charlie"}));
  ClickHeader(view, cols::kServerPing);  // a server that did not answer goes last
  EXPECT_EQ(Shown(view, 0), (QStringList{"Charlie", "Bravo", "alpha"}));
  ClickHeader(view, cols::kServerName);  // letter case ignored
  EXPECT_EQ(Shown(view, 0), (QStringList{"alpha", "Bravo", "Charlie"}));
  // The list model keeps its order; a command on a row reaches that row's server.
  EXPECT_EQ(window_.server_list().Cell(0, cols::kServerName), "Bravo");
  view->selectRow(2);
  EXPECT_EQ(window_.server_list().Selected(), 2);
  EXPECT_EQ(SelectedServerAddress(core_), "192.0.2.3:3");

  auto* count = main_.findChild<QLabel*>(QString::fromUtf8(ui::kServerCountLabel));
  EXPECT_EQ(count->text(), QString::fromUtf8("共 3 个服务器"));
  QTest::keyClicks(Find<QLineEdit>(names::kServerFilter), "ZE_");
  Settle();
  EXPECT_EQ(Shown(view, 0), (QStringList{"Bravo", "Charlie"}));
  EXPECT_EQ(count->text(), QString::fromUtf8("显示 2 / 共 3 个服务器"));
  Find<QLineEdit>(names::kServerFilter)->clear();
  Settle();
  EXPECT_EQ(view->model()->rowCount(), 3);
}

TEST_F(ServerBrowserTest, LiveQueryShowsTheRoundTripAndSaysWhenAServerIsSilent) {
  sim::A2sServer live, silent;
  live.map = "ze_live_map";
  silent.silent = true;
  StartGameServers({live, silent});
  const std::string live_address = GameServer(0);
  const std::string silent_address = GameServer(1);
  ServeServers(nlohmann::json::array({Server("Silent", silent_address, "de_old", 30),
                                      Server("Live", live_address, "ze_live_map", 3)}));
  StartQueryEngine(core_);
  ASSERT_TRUE(QueryEngineStarted());
  // The same servers are favourites; the silent one still shows an old answer.
  window_.favourites().Append(
      {"Silent", "de_old", "30/64", silent_address, "csgo", "12 ms", "1.0", "", "", ""});
  window_.favourites().Append({live_address, "", "", live_address, "", "", "", "", "", ""});
  window_.SelectPage(names::kServerPage);
  LoadAll(2);
  RefreshFavourites(window_);

  ListModel& list = window_.server_list();
  ASSERT_TRUE(ProcessUntil([&] {
    return list.Cell(1, cols::kServerPing) != "" && list.Cell(0, cols::kServerPing) != "";
  }));
  EXPECT_NE(list.Cell(1, cols::kServerPing).find(" ms"), std::string::npos);
  EXPECT_EQ(list.Cell(1, cols::kServerLiveMap), "ze_live_map");
  EXPECT_EQ(list.Cell(0, cols::kServerPing), NoAnswerText());
  // The favourites: the round trip where it answers, "无响应" and no stale values where not.
  ListModel& favourites = window_.favourites();
  ASSERT_TRUE(
      ProcessUntil([&] { return favourites.Cell(0, cols::kFavLatency) == NoAnswerText(); }));
  EXPECT_EQ(favourites.Cell(0, cols::kFavMap), "");
  EXPECT_EQ(favourites.Cell(0, cols::kFavPlayers), "");
  EXPECT_NE(favourites.Cell(1, cols::kFavLatency).find(" ms"), std::string::npos);

  // Sorted by the round trip: the answering server first. A picture for a person to look at.
  ClickHeader(Servers(), cols::kServerPing);
  EXPECT_EQ(Shown(Servers(), 0), (QStringList{"Live", "Silent"}));
  const QString dir = QStringLiteral(BRINDLE_ARTIFACT_DIR);
  ASSERT_TRUE(QDir().mkpath(dir));
  Settle();
  EXPECT_TRUE(main_.grab().toImage().save(dir + QStringLiteral("/servers_sorted_by_ping.png")));
}

TEST_F(ServerBrowserTest, PlayerPanelNamesItsServerEmptiesAtOnceAndSaysWhenSilent) {
  sim::A2sServer live, silent;
  live.players = {{"alice", 12, 61.0f}, {"bob", 3, 5.0f}};
  silent.silent = true;
  StartGameServers({live, silent});
  StartQueryEngine(core_);
  ASSERT_TRUE(QueryEngineStarted());
  window_.SelectPage(names::kServerPage);
  window_.server_list().Append({gbk("僵尸逃跑 一服"), "ze_x", "2/64", GameServer(0), "", "", ""});
  window_.server_list().Append({"Quiet", "de_x", "0/64", GameServer(1), "", "", ""});
  const std::string details = names::menu_action(names::kServerList, names::kMenuDetails);

  window_.server_list().Select(0);
  ASSERT_TRUE(window_.Activate(details));
  auto* players = Find<QTableView>(names::kPlayerList);
  auto* label = Find<QLabel>(names::kPlayerPanelLabel);
  ASSERT_TRUE(ProcessUntil([&] {
    Settle();
    return players->model()->rowCount() == 2;
  }));
  EXPECT_EQ(label->text(), QString::fromUtf8("玩家信息表单: 僵尸逃跑 一服 (%1)")
                               .arg(QString::fromStdString(GameServer(0))));
  // With the panel beside it, the list's columns stay on the page.
  QTableView* view = Servers();
  int shown_width = 0;
  for (int c = 0; c < view->model()->columnCount(); ++c) {
    if (!view->isColumnHidden(c)) shown_width += view->columnWidth(c);
  }
  EXPECT_LE(shown_width, view->viewport()->width());

  // Another server's details: the previous players go at once, and its silence is said.
  window_.server_list().Select(1);
  ASSERT_TRUE(window_.Activate(details));
  Settle();
  EXPECT_EQ(players->model()->rowCount(), 0);
  EXPECT_TRUE(label->text().contains(QString::fromUtf8("Quiet")));
  ASSERT_TRUE(ProcessUntil([&] {
    Settle();
    return label->text().endsWith(QString::fromUtf8("无响应"));
  }));
  EXPECT_EQ(players->model()->rowCount(), 0);
}

TEST_F(ServerBrowserTest, CategoryStartsAtTheTopWithOnlyItsButtonChecked) {
  nlohmann::json servers = nlohmann::json::array();
  for (int i = 0; i < 60; ++i) {
    servers.push_back(
        Server("ZE server " + std::to_string(i), "192.0.2.1:" + std::to_string(27000 + i)));
  }
  ServeServers(servers);
  window_.SelectPage(names::kServerPage);
  LoadAll(60);
  QTableView* view = Servers();
  ASSERT_TRUE(ProcessUntil([&] {
    view->scrollToBottom();
    Settle();
    return view->verticalScrollBar()->value() > 0;
  }));
  ASSERT_GT(view->verticalScrollBar()->value(), 0);

  auto* zombie = Find<QAbstractButton>(names::kCategoryButtons[0]);  // 僵尸逃跑: "ze" matches all
  QTest::mouseClick(zombie, Qt::LeftButton);
  // The old list stays until the new load writes, so wait for the load itself: the list back at
  // its top, refilled.
  ASSERT_TRUE(ProcessUntil([&] {
    Settle();
    return zombie->isChecked() && view->verticalScrollBar()->value() == 0 &&
           core_.workers().Running() == 0 && window_.server_list().RowCount() == 60;
  })) << "scrolled to "
      << view->verticalScrollBar()->value();
  int checked = 0;
  for (const ServerCategory& category : ServerCategories()) {
    checked += Find<QAbstractButton>(category.button)->isChecked();
  }
  EXPECT_EQ(checked, 1);
  EXPECT_TRUE(zombie->isChecked());
  // A second click on the chosen one keeps it chosen.
  QTest::mouseClick(zombie, Qt::LeftButton);
  Settle();
  EXPECT_TRUE(zombie->isChecked());
}

TEST_F(ServerBrowserTest, AServiceThatCannotBeReachedIsSaidWithItsRetry) {
  // A port nothing listens on.
  state_.server_list_base_url = "http://127.0.0.1:1/serverlist";
  window_.SelectPage(names::kServerPage);
  ASSERT_TRUE(window_.Activate(names::kAllServers));
  const QString said = QString::fromUtf8("无法获取服务器列表(无法连接到服务),5秒后自动重试(第1次)");
  auto* empty = Find<QLabel>(names::kServerListEmpty);
  ASSERT_TRUE(ProcessUntil([&] {
    Settle();
    return empty->text() == said;
  }));
  EXPECT_TRUE(empty->isVisible());
  EXPECT_EQ(Find<QLabel>(names::kStatusLine)->text(), said);
  EXPECT_TRUE(Find<QAbstractButton>(names::kAllServers)->isEnabled());
}

TEST_F(ServerBrowserTest, JoinFetchesTheServersMissingMapFirst) {
  // A CS:GO installation without the server's map, the real extractor, the map downloads.
  const fs::path root = dir_.path();
  ASSERT_TRUE(test::InstallRealExtractor(root / "qdata" / "7zip"));
  const std::string maps_dir = test::TempDir::DirText(root / "game" / "csgo" / "maps");
  fs::create_directories(maps_dir);
  test::spit(root / "game" / "steam_appid.txt", "730");
  test::spit(maps_dir + "de_dust2.bsp", "official");
  state_.game.csgo_dir = state_.game.csgo_dir_copy = test::TempDir::DirText(root / "game");
  state_.game.csgo_map_dir = state_.game.csgo_map_dir_copy = maps_dir;
  state_.game.csgo_manual = 1;
  core_.AddFeature(std::make_unique<MapDownloadsFeature>());
  ASSERT_TRUE(core_.OnMainWindowCreated());
  window_.controls().SetChecked(names::kMirror1, true);

  sim::A2sServer live;
  live.map = "ze_mako_reactor_v5_3";  // in the sim's ze list
  StartGameServers({live});
  const std::string address = GameServer(0);
  ServeServers(nlohmann::json::array({Server("ZE", address, "ze_mako_reactor_v5_3")}));
  StartQueryEngine(core_);
  window_.SelectPage(names::kServerPage);
  LoadAll(1);
  ASSERT_TRUE(
      ProcessUntil([&] { return !window_.server_list().Cell(0, cols::kServerLiveMap).empty(); }));

  std::mutex mutex;
  std::vector<std::string> opened;
  bool map_there_at_join = false;
  const std::string map_file = maps_dir + "ze_mako_reactor_v5_3.bsp";
  JoinHooks hooks;
  hooks.open_url = [&](const std::string& url) {
    std::lock_guard lock(mutex);
    opened.push_back(url);
    map_there_at_join = platform::file_exists(map_file);
  };
  hooks.steam_clients = [] { return SteamClients{}; };
  SetJoinHooks(std::move(hooks));

  QString question;
  AnswerNextBox(0, &question);  // 下载并加入
  window_.server_list().Select(0);
  ASSERT_TRUE(window_.Activate(names::kServerList));
  EXPECT_EQ(question,
            QString::fromStdString(gbk_to_utf8(MissingMapQuestion("ze_mako_reactor_v5_3"))));
  {
    std::lock_guard lock(mutex);
    EXPECT_TRUE(opened.empty());  // not before the map is there
  }
  ASSERT_TRUE(ProcessUntil(
      [&] {
        std::lock_guard lock(mutex);
        return !opened.empty();
      },
      120000));
  std::lock_guard lock(mutex);
  EXPECT_TRUE(map_there_at_join);
  // The fetch needs the option that installs into the game; it was off, it is on.
  EXPECT_TRUE(window_.controls().Checked(names::kAutoExtract));
  EXPECT_EQ(opened.size(), 1u);
  EXPECT_NE(opened.front().find(address), std::string::npos);
}

}  // namespace
}  // namespace brindle
