// Joins: the URL for every launch mode and region, what the window shows and changes, and the
// automatic mode against a real process named like the Steam client. No URL is really opened.
#include "servers/join.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "foundation/encoding.h"
#include "foundation/process_tools.h"
#include "support/running_copy.h"
#include "support/temp_dir.h"
#include "view/control_names.h"
#include "view/test_ports.h"

namespace brindle {
namespace {

constexpr const char* kAddress = "192.0.2.1:27015";
const std::string kRunGame = "rungame/730/76561202255233023/+connect 192.0.2.1:27015";

// Captures the URLs a join opens; the Steam clients are whatever the test says, unless it asks for
// the real process table.
class JoinTest : public ::testing::Test {
 protected:
  void SetUp() override { Install(true); }
  void TearDown() override { SetJoinHooks({}); }

  void Install(bool fake_clients) {
    JoinHooks hooks;
    hooks.open_url = [this](const std::string& url) {
      std::lock_guard lock(mutex_);
      opened_.push_back(url);
    };
    if (fake_clients) hooks.steam_clients = [this] { return clients_; };
    SetJoinHooks(std::move(hooks));
  }
  std::vector<std::string> Opened() {
    std::lock_guard lock(mutex_);
    return opened_;
  }
  void Choose(const char* mode_radio, const char* region_radio) {
    controls().SetChecked(mode_radio, true);
    if (region_radio) controls().SetChecked(region_radio, true);
  }
  Controls& controls() { return tw_.window().controls(); }
  Window& window() { return tw_.window(); }

  TestWindow tw_;
  SteamClients clients_;
  std::mutex mutex_;
  std::vector<std::string> opened_;
};

TEST(PlanJoin, EveryModeAndRegion) {
  const SteamClients none;
  struct Case {
    int mode, region;
    std::string url;
  } cases[] = {
      {kLaunchFollowSteam, kRegionWorldwide, std::string("steam://connect/") + kAddress},
      {kLaunchFollowSteam, kRegionPerfectWorld, std::string("steam://connect/") + kAddress},
      {kLaunchRunGame, kRegionPerfectWorld, "steam://" + kRunGame + " -perfectworld"},
      {kLaunchRunGame, kRegionWorldwide, "steam://" + kRunGame + " -worldwide"},
      {kLaunchRunGame, kRegionUnset, "steam://" + kRunGame},
      {kLaunchCs2RunGame, kRegionPerfectWorld, "steam://" + kRunGame + " -perfectworld"},
      {kLaunchSteamChinaOnly, kRegionWorldwide, "steamchina://" + kRunGame + " -worldwide"},
      {kLaunchSteamChinaOnly, kRegionUnset, "steamchina://" + kRunGame},
      // Automatic with no client running: start the game through Steam.
      {kLaunchAutomatic, kRegionWorldwide, "steam://" + kRunGame + " -worldwide"},
      // A mode the window cannot show is taken as automatic.
      {0, kRegionPerfectWorld, "steam://" + kRunGame + " -perfectworld"},
      {6, kRegionUnset, "steam://" + kRunGame},
  };
  for (const Case& c : cases) {
    JoinPlan plan = PlanJoin(c.mode, c.region, kAddress, none);
    EXPECT_EQ(plan.url, c.url) << "mode " << c.mode << " region " << c.region;
    EXPECT_FALSE(plan.select_perfect_world);
  }
}

TEST(PlanJoin, AutomaticFollowsTheRunningClient) {
  // Steam wins over the China client when both run.
  JoinPlan both = PlanJoin(kLaunchAutomatic, kRegionPerfectWorld, kAddress, {true, true});
  EXPECT_EQ(both.url, std::string("steam://connect/") + kAddress);
  EXPECT_FALSE(both.select_perfect_world);
  // Only the China client: its URL with the flag chosen before the switch.
  JoinPlan china = PlanJoin(kLaunchAutomatic, kRegionWorldwide, kAddress, {false, true});
  EXPECT_EQ(china.url, "steamchina://" + kRunGame + " -worldwide");
  EXPECT_TRUE(china.select_perfect_world);
  // Other modes never look at the clients.
  EXPECT_EQ(PlanJoin(kLaunchRunGame, kRegionUnset, kAddress, {true, false}).url,
            "steam://" + kRunGame);
}

TEST_F(JoinTest, ReadsTheRadiosAtTheMomentOfTheJoin) {
  Choose(names::kLaunchSteamRunAppid, names::kRegionChina);
  EXPECT_EQ(JoinServer(window(), kAddress), "steam://" + kRunGame + " -perfectworld");
  Choose(names::kLaunchSteam, names::kRegionWorld);
  EXPECT_EQ(JoinServer(window(), kAddress), std::string("steam://connect/") + kAddress);
  Choose(names::kLaunchSteamChina, nullptr);
  EXPECT_EQ(JoinServer(window(), kAddress), "steamchina://" + kRunGame + " -worldwide");
  // Neither region checked: no flag.
  controls().SetChecked(names::kRegionWorld, false);
  Choose(names::kLaunchCs2, nullptr);
  EXPECT_EQ(JoinServer(window(), kAddress), "steam://" + kRunGame);

  ASSERT_EQ(Opened().size(), 4u);
  EXPECT_EQ(Opened()[3], "steam://" + kRunGame);
  EXPECT_EQ(controls().Caption(names::kStatusLine),
            gbk("加入服务器->[命令]->") + "steam://" + kRunGame);
}

TEST_F(JoinTest, AutomaticWithOnlyTheChinaClientSwitchesTheRegion) {
  Choose(names::kLaunchAuto, names::kRegionWorld);
  clients_ = {false, true};
  EXPECT_EQ(JoinServer(window(), kAddress), "steamchina://" + kRunGame + " -worldwide");
  EXPECT_TRUE(controls().Checked(names::kRegionChina));
  EXPECT_FALSE(controls().Checked(names::kRegionWorld));
  // The next join uses the switched region.
  clients_ = {};
  EXPECT_EQ(JoinServer(window(), kAddress), "steam://" + kRunGame + " -perfectworld");
}

TEST_F(JoinTest, EmptyAddressDoesNothing) {
  Choose(names::kLaunchAuto, names::kRegionWorld);
  clients_ = {false, true};
  EXPECT_EQ(JoinServer(window(), ""), "");
  EXPECT_EQ(JoinPlainSteam(window(), ""), "");
  EXPECT_EQ(JoinFromServerList(window(), AppState(), ""), "");
  EXPECT_TRUE(Opened().empty());
  EXPECT_TRUE(tw_.Statuses().empty());
  EXPECT_TRUE(controls().Checked(names::kRegionWorld));
}

TEST_F(JoinTest, AddressThatCouldCarryLaunchOptionsIsRefused) {
  // A server list entry whose port read "27015 +exec autoexec" once put the rest on the game's
  // command line.
  Choose(names::kLaunchSteamRunAppid, names::kRegionWorld);
  for (const std::string address : {"192.0.2.1:27015 +exec autoexec", "evil host:27015",
                                    "192.0.2.1:+27015", "192.0.2.1:27015-x"}) {
    EXPECT_EQ(JoinServer(window(), address), "") << address;
    EXPECT_EQ(JoinPlainSteam(window(), address), "") << address;
    EXPECT_EQ(JoinFromServerList(window(), AppState(), address), "") << address;
    EXPECT_EQ(JoinByGame(window(), address, "csgo"), "") << address;
  }
  EXPECT_TRUE(Opened().empty());
  EXPECT_TRUE(tw_.Statuses().empty());  // not even the installation check spoke
  EXPECT_EQ(tw_.ports().Notices(), std::vector<std::string>(16, gbk("服务器地址无效")));
  // A host name is fine.
  EXPECT_EQ(JoinServer(window(), "play.brindle.example:27015"),
            "steam://rungame/730/76561202255233023/+connect play.brindle.example:27015 -worldwide");
}

TEST_F(JoinTest, WithoutASteamClientABoxSaysSoAndNothingOpens) {
  JoinHooks hooks;
  hooks.open_url = [this](const std::string& url) {
    std::lock_guard lock(mutex_);
    opened_.push_back(url);
  };
  std::vector<std::string> asked;
  hooks.url_handled = [&asked](const std::string& scheme) {
    asked.push_back(scheme);
    return false;
  };
  SetJoinHooks(std::move(hooks));
  Choose(names::kLaunchSteamChina, names::kRegionWorld);
  EXPECT_EQ(JoinServer(window(), kAddress), "");
  EXPECT_EQ(JoinPlainSteam(window(), kAddress), "");
  EXPECT_TRUE(Opened().empty());
  EXPECT_EQ(asked, (std::vector<std::string>{"steamchina", "steam"}));
  const auto boxes = tw_.ports().Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text.rfind(gbk("未检测到Steam客户端"), 0), 0u) << boxes[0].text;
  EXPECT_NE(boxes[0].text.find(gbk("connect ") + kAddress), std::string::npos);
}

TEST_F(JoinTest, PlainSteamIgnoresTheLaunchMode) {
  Choose(names::kLaunchSteamChina, names::kRegionChina);
  EXPECT_EQ(JoinPlainSteam(window(), kAddress), std::string("steam://connect/") + kAddress);
  EXPECT_EQ(controls().Caption(names::kStatusLine),
            gbk("加入服务器->[命令]->(非CSGO不受启动项关联 遵循Steam协议)") + "steam://connect/" +
                kAddress);
}

TEST_F(JoinTest, FavouritesJoinByTheirGameCell) {
  Choose(names::kLaunchSteamRunAppid, names::kRegionWorld);
  const std::string run_game = "steam://" + kRunGame + " -worldwide";
  const std::string plain = std::string("steam://connect/") + kAddress;
  EXPECT_EQ(JoinByGame(window(), kAddress, "csgo"), run_game);
  EXPECT_EQ(JoinByGame(window(), kAddress, "CSGO-Classic"), run_game);
  EXPECT_EQ(JoinByGame(window(), kAddress, "my_CsGo_mod"), run_game);
  EXPECT_EQ(JoinByGame(window(), kAddress, "cs2"), plain);
  EXPECT_EQ(JoinByGame(window(), kAddress, "csg"), plain);
  EXPECT_EQ(JoinByGame(window(), kAddress, ""), plain);  // no answer yet
}

TEST_F(JoinTest, ServerListJoinGoesAheadAfterAFailedInstallationCheck) {
  test::TempDir dir;
  Choose(names::kLaunchSteam, nullptr);
  const std::string plain = std::string("steam://connect/") + kAddress;
  AppState state;
  state.game.cs2_target = false;
  state.game.csgo_map_dir = dir.dir();  // no de_dust2.bsp there
  EXPECT_EQ(JoinFromServerList(window(), state, kAddress), plain);
  std::vector<std::string> expected = {gbk("由于csgo路径配置不正确 将不显示地图下载..."),
                                       gbk("加入服务器->[命令]->") + plain};
  EXPECT_EQ(tw_.Statuses(), expected);

  test::spit(dir.path() / "de_dust2.bsp", "map");
  window().ClearStatus();
  EXPECT_EQ(JoinFromServerList(window(), state, kAddress), plain);
  expected.push_back("");
  expected.push_back(gbk("加入服务器->[命令]->") + plain);  // the join message only
  EXPECT_EQ(tw_.Statuses(), expected);
  EXPECT_EQ(Opened().size(), 2u);
}

TEST_F(JoinTest, AutomaticModeSeesARealSteamProcess) {
  test::ProcessNameLock names_lock;
  test::TempDir dir;
  Install(false);  // the real process table
  Choose(names::kLaunchAuto, names::kRegionWorld);
  {
    test::RunningCopy steam(dir.path() / "Steam" / std::string(kSteamExeName));
    ASSERT_TRUE(steam.started());
    EXPECT_TRUE(RunningSteamClients().steam);
    EXPECT_EQ(JoinServer(window(), kAddress), std::string("steam://connect/") + kAddress);
  }
#ifndef _WIN32
  // The Steam China client exists only on Windows: a process of that name changes nothing here.
  test::RunningCopy china(dir.path() / "SteamChina" / std::string(kSteamChinaExeName));
  ASSERT_TRUE(china.started());
  EXPECT_FALSE(RunningSteamClients().steam_china);
  EXPECT_EQ(JoinServer(window(), kAddress), "steam://" + kRunGame + " -worldwide");
  EXPECT_TRUE(controls().Checked(names::kRegionWorld));
#endif
}

}  // namespace
}  // namespace brindle
