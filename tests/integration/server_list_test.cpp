// The server page against brindle-sim: loads by category and by page switch, the retry rule on
// the virtual clock, broken answers, the selection's CS2 flag, the context menu and the resource
// search.
#include "servers/server_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "app/actions.h"
#include "app/core.h"
#include "foundation/encoding.h"
#include "foundation/http_client.h"
#include "foundation/http_settings.h"
#include "foundation/string_map.h"
#include "maps/map_downloads.h"
#include "servers/categories.h"
#include "servers/favourites.h"
#include "servers/join.h"
#include "servers/query_engine.h"
#include "servers/server_list_view.h"
#include "sim/a2s_responder.h"
#include "support/poll.h"
#include "support/sim_process.h"
#include "support/system_only.h"
#include "support/temp_dir.h"
#include "view/test_ports.h"

namespace brindle {
namespace {

using test::SimProcess;

// Polls until `done` holds; the limit only catches a broken test.
template <typename Pred>
bool WaitFor(Pred done) {
  return test::Eventually(done);
}

class ServerListTest : public test::SharedSimSuite {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_->running()) << sim_->error();
    http_request(sim_->http_url("/test/count?reset=1"));
    state_.data_dir = dir_.path().string();
    state_.server_list_base_url = sim_->http_url("/serverlist");
    state_.operator_uid = "1";
    ServerListRetryCounter() = 0;
    MapNameDictionaryMap().clear();
    core_.AddFeature(std::make_unique<ServerBrowserFeature>());
  }

  void TearDown() override { StopWorkers(); }

  // Workers waiting on the virtual clock only wake when it moves, so stopping them moves it:
  // only once the stop is asked, so a worker never sees a step that came before it.
  void StopWorkers() {
    std::atomic<bool> joined{false};
    std::thread stopper([&] {
      core_.workers().StopAndJoin();
      joined = true;
    });
    EXPECT_TRUE(WaitFor([&] {
      if (joined.load()) return true;
      if (core_.workers().Stopping() && ports().DelayedWorkers() > 0) ports().Advance(200);
      return false;
    }));
    stopper.join();
  }

  // Moves the virtual clock in small steps whenever a worker waits on it, until `done`.
  template <typename Pred>
  void AdvanceUntil(Pred done) {
    ASSERT_TRUE(WaitFor([&] {
      if (done()) return true;
      if (ports().DelayedWorkers() > 0) ports().Advance(200);
      return false;
    }));
  }

  void WaitForWorkers() {
    ASSERT_TRUE(WaitFor([&] { return core_.workers().Running() == 0; }));
  }

  void ServeServers(const nlohmann::json& servers) {
    test::spit(std::filesystem::path(sim_->data_dir()) / "servers.json", servers.dump());
  }

  // Loads a category through its button and waits for the run to end.
  void Press(const std::string& button) {
    ASSERT_TRUE(window().Activate(button));
    WaitForWorkers();
  }

  std::vector<std::string> Column(int column) {
    std::vector<std::string> out;
    for (const auto& row : window().server_list().Rows()) {
      out.push_back(row[static_cast<std::size_t>(column)]);
    }
    return out;
  }

  bool ButtonsEnabled() {
    for (const auto& category : ServerCategories()) {
      if (!window().controls().Enabled(category.button)) return false;
    }
    return true;
  }

  TestPorts& ports() { return tw_.ports(); }
  Window& window() { return tw_.window(); }

  test::TempDir dir_;
  TestWindow tw_;
  AppState state_;
  Core core_{state_, tw_.window()};
};

nlohmann::json Server(const char* name, const char* ip, int port, const char* map = "de_dust2",
                      const char* comments = "") {
  return {{"name", name},      {"map_name", map}, {"comments", comments}, {"players", 7},
          {"max_players", 64}, {"ip", ip},        {"port", port}};
}

const nlohmann::json kTricky = nlohmann::json::array({
    Server("【Brindle】僵尸逃跑 ZE 1服", "203.0.113.1", 27015, "ze_x"),
    Server("Zombie ZM only", "203.0.113.2", 27015),
    Server("★ 僵尸 🎮 活动服", "203.0.113.3", 27015),  // the emoji has no GBK form, yet shows
    Server("混战 5v5", "203.0.113.4", 27015, "de_dust2", "[CS2] 华东"),
    Server("【Brindle】僵尸逃跑 ZE 1服 重复登记", "203.0.113.1", 27015),
    Server("Surf 滑翔", "203.0.113.5", 27016),
});

TEST_F(ServerListTest, CategoryButtonsFillTheListFromTheService) {
  BRINDLE_NOT_UNDER_WINE(test::kGb18030UnderWine);
  ServeServers(kTricky);
  MapNameDictionaryMap().put("ze_x", gbk("(僵尸图)"));

  Press(names::kAllServers);
  EXPECT_EQ(Column(cols::kServerName),
            (std::vector<std::string>{gbk("【Brindle】僵尸逃跑 ZE 1服"), "Zombie ZM only",
                                      utf8_to_gbk_keeping_all("★ 僵尸 🎮 活动服"), gbk("混战 5v5"),
                                      gbk("Surf 滑翔")}));
  EXPECT_EQ(window().server_list().Row(0),
            (ListRow{gbk("【Brindle】僵尸逃跑 ZE 1服"), gbk("ze_x(僵尸图)"), "7/64",
                     "203.0.113.1:27015", "", "", ""}));
  EXPECT_TRUE(ButtonsEnabled());

  Press(names::kCategoryButtons[0]);  // 僵尸逃跑: 僵尸--ze--zm
  EXPECT_EQ(
      Column(cols::kServerName),
      (std::vector<std::string>{gbk("【Brindle】僵尸逃跑 ZE 1服"),
                                utf8_to_gbk_keeping_all("★ 僵尸 🎮 活动服"), "Zombie ZM only"}));
  EXPECT_TRUE(ButtonsEnabled());
  EXPECT_EQ(sim_->request_count("/serverlist/api/servers"), 2);
}

TEST_F(ServerListTest, SwitchingToTheServerPageLoadsEverything) {
  ServeServers(kTricky);
  core_.AddFeature(std::make_unique<CoreActions>());
  state_.initialised = true;
  window().controls().SetVisible(names::kPlayerPanel, true);
  ASSERT_TRUE(window().Activate(names::kNavServers));
  WaitForWorkers();
  EXPECT_EQ(window().CurrentPage(), names::kServerPage);
  EXPECT_FALSE(window().controls().Visible(names::kPlayerPanel));
  EXPECT_EQ(window().server_list().RowCount(), 5);
}

TEST_F(ServerListTest, OperatorSeesAddressesAsDescriptions) {
  ServeServers(kTricky);
  state_.login.uid = "1";
  Press(names::kAllServers);
  EXPECT_EQ(window().server_list().Cell(3, cols::kServerRegion), "203.0.113.4:27015");
  state_.login.uid = "2";
  Press(names::kAllServers);
  EXPECT_EQ(window().server_list().Cell(3, cols::kServerRegion), gbk("[CS2] 华东"));
}

TEST_F(ServerListTest, HundredAndTwoFailuresRetryOnTheClockThenGiveUp) {
  state_.server_list_base_url = sim_->http_url("/serverlist/fault/notjson");
  window().server_list().Append({"kept", "", "", "192.0.2.1:1", ""});

  ASSERT_TRUE(window().Activate(names::kCategoryButtons[6]));
  // Each failure waits 5 s of virtual time, then tries again on a new worker.
  ASSERT_TRUE(WaitFor([&] { return ports().DelayedWorkers() == 1; }));
  EXPECT_EQ(ServerListRetryCounter().load(), 1);
  // Said in the status line and in the empty list, and another category may be chosen meanwhile.
  const std::string said = ServerListRetryText(gbk("返回的数据无法读取"), 1);
  EXPECT_EQ(tw_.Statuses().back(), said);
  EXPECT_EQ(window().controls().Caption(names::kServerListEmpty), said);
  EXPECT_TRUE(ButtonsEnabled());
  const std::string path = "/serverlist/fault/notjson/api/servers";
  ports().Advance(4900);
  EXPECT_EQ(sim_->request_count(path), 1);
  ports().Advance(100);

  // The clock moves in short steps, and only while a retry waits on it, until the next fetch
  // comes: a worker released but not yet scheduled is never pushed past its wait, and no retry
  // waits much longer than its 5 s.
  for (int fetches = 2; fetches <= 102; ++fetches) {
    ASSERT_TRUE(WaitFor([&] {
      if (sim_->request_count(path) >= fetches) return true;
      if (ports().DelayedWorkers() > 0) ports().Advance(100);
      return false;
    })) << fetches;
  }
  ASSERT_TRUE(WaitFor([&] { return core_.workers().Running() == 0; }));
  EXPECT_EQ(sim_->request_count(path), 102);
  EXPECT_EQ(ports().Notices(), std::vector<std::string>{gbk("重试中 101")});
  EXPECT_EQ(ServerListRetryCounter().load(), 0);
  EXPECT_GE(ports().NowMs(), 101 * 5000);
  EXPECT_LE(ports().NowMs(), 101 * 5500);
  // The list keeps what it had; the buttons stay usable to try again by hand.
  EXPECT_EQ(Column(cols::kServerName), std::vector<std::string>{"kept"});
  EXPECT_TRUE(ButtonsEnabled());
}

TEST_F(ServerListTest, ANewerChoiceSupersedesTheRetriesOfAnOlderOne) {
  ServeServers(kTricky);
  auto set_base = [&](const std::string& path) {
    std::lock_guard lock(state_.mutex);
    state_.server_list_base_url = sim_->http_url(path);
  };
  // 僵尸逃跑 fails and waits to try again…
  set_base("/serverlist/fault/notjson");
  ASSERT_TRUE(window().Activate(names::kCategoryButtons[0]));
  ASSERT_TRUE(WaitFor([&] { return ports().DelayedWorkers() == 1; }));
  EXPECT_TRUE(ButtonsEnabled());
  // …meanwhile the person picks 混战, whose list arrives.
  set_base("/serverlist");
  ASSERT_TRUE(window().Activate(names::kCategoryButtons[8]));
  ASSERT_TRUE(WaitFor([&] { return core_.workers().Running() == 1; }));  // the waiting retry
  const std::vector<std::string> chosen = {gbk("混战 5v5")};
  EXPECT_EQ(Column(cols::kServerName), chosen);
  EXPECT_TRUE(ButtonsEnabled());

  // The old wait ends without another attempt: the list and the buttons stay as chosen.
  AdvanceUntil([&] { return core_.workers().Running() == 0; });
  EXPECT_EQ(Column(cols::kServerName), chosen);
  EXPECT_TRUE(ButtonsEnabled());
  EXPECT_EQ(sim_->request_count("/serverlist/fault/notjson/api/servers"), 1);
  EXPECT_EQ(sim_->request_count("/serverlist/api/servers"), 1);
  EXPECT_TRUE(ports().Notices().empty());

  // The newest load still retries by itself: 混战 failing comes back once the service does.
  set_base("/serverlist/fault/status500");
  ASSERT_TRUE(window().Activate(names::kCategoryButtons[8]));
  ASSERT_TRUE(WaitFor([&] { return ports().DelayedWorkers() == 1; }));
  set_base("/serverlist");
  AdvanceUntil([&] { return core_.workers().Running() == 0; });
  EXPECT_EQ(Column(cols::kServerName), chosen);
  EXPECT_TRUE(ButtonsEnabled());
  EXPECT_EQ(sim_->request_count("/serverlist/api/servers"), 2);
}

TEST_F(ServerListTest, SuccessLeavesTheCounterAndEnablesTheButtons) {
  ServeServers(kTricky);
  ServerListRetryCounter() = 7;
  Press(names::kCategoryButtons[8]);  // 混战
  EXPECT_EQ(Column(cols::kServerName), std::vector<std::string>{gbk("混战 5v5")});
  EXPECT_EQ(ServerListRetryCounter().load(), 7);
  EXPECT_TRUE(ButtonsEnabled());
}

TEST_F(ServerListTest, ClosingEndsARetryWaitAtOnce) {
  state_.server_list_base_url = sim_->http_url("/serverlist/fault/status500");
  ASSERT_TRUE(window().Activate(names::kAllServers));
  ASSERT_TRUE(WaitFor([&] { return ports().DelayedWorkers() == 1; }));
  const std::int64_t waiting_since = ports().NowMs();
  StopWorkers();
  EXPECT_LT(ports().NowMs() - waiting_since, kServerListRetryDelayMs);
  EXPECT_EQ(sim_->request_count("/serverlist/fault/status500/api/servers"), 1);
  EXPECT_EQ(ServerListRetryCounter().load(), 1);
}

TEST_F(ServerListTest, BrokenAnswers) {
  window().server_list().Append({"kept", "", "", "192.0.2.1:1", ""});
  // Not JSON, empty, cut short: retried, the list untouched.
  for (const char* fault : {"notjson", "empty", "cut"}) {
    state_.server_list_base_url = sim_->http_url(std::string("/serverlist/fault/") + fault);
    ServerListRetryCounter() = kServerListRetryLimit + 1;  // the next failure gives up at once
    Press(names::kAllServers);
    EXPECT_EQ(Column(cols::kServerName), std::vector<std::string>{"kept"}) << fault;
  }
  EXPECT_EQ(ports().Notices().size(), 3u);
  // JSON without a list empties it; servers with members of the wrong type or without an
  // address are left out, missing texts read as empty.
  state_.server_list_base_url = sim_->http_url("/serverlist/fault/object");
  Press(names::kAllServers);
  EXPECT_EQ(window().server_list().RowCount(), 0);
  state_.server_list_base_url = sim_->http_url("/serverlist/fault/members");
  Press(names::kAllServers);
  EXPECT_EQ(Column(cols::kServerName), (std::vector<std::string>{"", gbk("正常服务器")}));
  EXPECT_EQ(window().server_list().Row(0),
            (ListRow{"", "de_dust2", "/", "192.0.2.10:27016", "", "", ""}));
  EXPECT_EQ(window().server_list().Row(1),
            (ListRow{gbk("正常服务器"), "de_mirage", "3/10", "192.0.2.11:27017", "ok", "", ""}));
  EXPECT_EQ(ports().Notices().size(), 3u);
  EXPECT_TRUE(ButtonsEnabled());
}

TEST_F(ServerListTest, SelectionSetsTheCs2Target) {
  ServeServers(kTricky);
  Press(names::kAllServers);
  window().server_list().Select(3);  // "[CS2] 华东" in its description
  EXPECT_TRUE(state_.game.cs2_target);
  window().server_list().Select(0);
  EXPECT_FALSE(state_.game.cs2_target);
  window().server_list().Select(3);
  window().server_list().Select(-1);  // nothing selected: the flag stays
  EXPECT_TRUE(state_.game.cs2_target);
}

TEST_F(ServerListTest, ContextMenuCopiesTheAddressOfTheSelectedRow) {
  ServeServers(kTricky);
  Press(names::kAllServers);
  const std::string copy = names::menu_action(names::kServerList, names::kMenuCopyAddress);
  ASSERT_TRUE(window().Activate(copy));
  EXPECT_EQ(ports().Clipboard(), "");  // nothing selected: nothing happens
  window().server_list().Select(4);
  ASSERT_TRUE(window().Activate(copy));
  EXPECT_EQ(ports().Clipboard(), "203.0.113.5:27016");
  for (const char* item : names::kServerListMenu) {
    EXPECT_TRUE(window().HasAction(names::menu_action(names::kServerList, item))) << item;
  }
}

TEST_F(ServerListTest, JoinFavouriteAndDetailsActOnTheSelectedRow) {
  sim::A2sResponders game_servers;
  sim::A2sServer live;
  live.players = {{"alice", 12, 3725.6f}};
  std::string error;
  ASSERT_TRUE(game_servers.Start({live}, &error)) << error;
  const std::string address = game_servers.Address(0);
  const std::string host = address.substr(0, address.find(':'));
  const int port = std::stoi(address.substr(address.find(':') + 1));
  ServeServers(nlohmann::json::array(
      {Server("普通服", "203.0.113.9", 27015), Server("Live [cs2]", host.c_str(), port)}));
  std::vector<std::string> opened;
  std::mutex opened_mutex;
  JoinHooks hooks;
  hooks.open_url = [&](const std::string& url) {
    std::lock_guard lock(opened_mutex);
    opened.push_back(url);
  };
  hooks.steam_clients = [] { return SteamClients{}; };
  SetJoinHooks(std::move(hooks));
  Press(names::kAllServers);
  const auto menu = [](const char* item) { return names::menu_action(names::kServerList, item); };

  // Nothing selected: no command does anything.
  for (const char* item : names::kServerListMenu) ASSERT_TRUE(window().Activate(menu(item)));
  ASSERT_TRUE(window().Activate(names::kServerList));
  EXPECT_TRUE(opened.empty());
  EXPECT_EQ(window().favourites().RowCount(), 0);

  // The list's own action (a double-click) and "加入" join the selected server; the failed
  // installation check is said and does not hold the join back.
  window().server_list().Select(1);
  EXPECT_TRUE(state_.game.cs2_target);
  ASSERT_TRUE(window().Activate(names::kServerList));
  ASSERT_TRUE(window().Activate(menu(names::kMenuJoin)));
  const std::string url = "steam://rungame/730/76561202255233023/+connect " + address;
  EXPECT_EQ(opened, (std::vector<std::string>{url, url}));
  const auto statuses = tw_.Statuses();
  EXPECT_NE(std::find(statuses.begin(), statuses.end(),
                      gbk("由于csgo路径配置不正确 将不显示地图下载...")),
            statuses.end());
  EXPECT_EQ(statuses.back(), gbk("加入服务器->[命令]->") + url);
  SetJoinHooks({});

  // "添加到收藏" adds the address once; a second time says it is there.
  ASSERT_TRUE(window().Activate(menu(names::kMenuAddFavourite)));
  EXPECT_EQ(window().favourites().Cell(0, cols::kFavAddress), address);
  ASSERT_TRUE(window().Activate(menu(names::kMenuAddFavourite)));
  EXPECT_EQ(window().favourites().RowCount(), 1);
  EXPECT_EQ(ports().Notices().back(), gbk("服务器已存在!"));

  // "详情" asks the server for its players and shows them.
  StartQueryEngine(core_);
  ASSERT_TRUE(QueryEngineStarted());
  ASSERT_TRUE(window().Activate(menu(names::kMenuDetails)));
  EXPECT_EQ(window().controls().Caption(names::kStatusLine),
            gbk("查询玩家情况-> ") + address + gbk("(人多时可能不会反馈)"));
  ASSERT_TRUE(WaitFor([&] { return window().players().RowCount() == 1; }));
  EXPECT_EQ(window().players().Cell(0, cols::kPlayerName), "alice");
}

// ---- The resource search of the download page ------------------------------------------------

class ResourceSearchTest : public ServerListTest {
 protected:
  void SetUp() override {
    ServerListTest::SetUp();
    // The search queues through the download queue's AppendTask.
    core_.AddFeature(std::make_unique<MapDownloadsFeature>());
    ListModel& resources = window().resources();
    resources.Append({"ze_alpha", gbk("需要下载"), "http://m/ze_alpha.bsp.bz2", gbk("阿尔法")});
    resources.Append({"de_bravo", gbk("需要下载"), "http://m/de_bravo.bsp.bz2", gbk("沙城布拉沃")});
    resources.Append({"ze_charlie", gbk("需要下载"), "http://m/ze_charlie.bsp.bz2", gbk("查理")});
  }
  void Search(const char* text_utf8) {
    window().controls().SetCaption(names::kSearchBox, gbk(text_utf8));
    ASSERT_TRUE(window().Activate(names::kSearchButton));
  }
};

TEST_F(ResourceSearchTest, GoesOnThenQueuesTheChosenMap) {
  ports().ScriptAnswer(0);  // ze_alpha: go on
  ports().ScriptAnswer(2);  // ze_charlie: download
  Search("ZE_");
  const auto boxes = ports().Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].title, gbk("提示:"));
  EXPECT_EQ(boxes[1].text, gbk("是否继续查找 或 下载这个地图? 找到关键词 ") + "ze_charlie");
  EXPECT_EQ(boxes[1].buttons, gbk("继续查找&&取消&&开始下载(") + "ze_charlie)");
  EXPECT_EQ(window().download_queue().Rows(),
            (std::vector<ListRow>{{"ze_charlie", gbk("等待下载"), "http://m/ze_charlie.bsp.bz2",
                                   gbk("查理"), "", "", ""}}));
  EXPECT_TRUE(ports().ClockRunning(names::kClockQueue));
  EXPECT_EQ(window().resources().RowCount(), 3);  // the row stays
  EXPECT_EQ(window().resources().Selected(), 2);
}

TEST_F(ResourceSearchTest, ChineseNameCancelAndNoMatch) {
  ports().ScriptAnswer(1);  // cancel
  Search("沙城");
  ASSERT_EQ(ports().Boxes().size(), 1u);
  EXPECT_EQ(window().resources().Selected(), 1);
  EXPECT_EQ(window().download_queue().RowCount(), 0);

  Search("nothing like it");
  Search("m/ze");  // the URL is not searched
  EXPECT_EQ(ports().Boxes().size(), 1u);
  EXPECT_TRUE(ports().Notices().empty());
}

TEST_F(ResourceSearchTest, EmptySearchTextStopsAtTheFirstNamedRowAndEmptyListSaysSo) {
  window().resources().Insert(0, {"", "", "", ""});
  ports().ScriptAnswer(-1);  // the box closed: the search ends
  Search("");
  ASSERT_EQ(ports().Boxes().size(), 1u);
  EXPECT_EQ(window().resources().Selected(), 1);

  window().resources().Clear();
  Search("ze");
  EXPECT_EQ(ports().Notices(), std::vector<std::string>{gbk("请先搜索资源")});
}

}  // namespace
}  // namespace brindle
