// Pre-download against brindle-sim's user-info service and mirror, with the virtual clock and
// the real queue: the switch, the next and nominated maps arriving in the game folder, each map
// handled once per run, the two probes, answers that are no JSON or name nothing, and ticks that
// neither overlap nor let two queries queue a map twice.
#include "maps/pre_download.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "app/core.h"
#include "foundation/encoding.h"
#include "foundation/http_settings.h"
#include "support/maps_fixture.h"
#include "support/sim_admin.h"
#include "view/control_names.h"
#include "view/window.h"

namespace brindle {
namespace {

using test::MapsFixture;

constexpr const char* kSteamId = "76561198000001001";

class PreDownloadTest : public MapsFixture {
 protected:
  void SetUp() override {
    MapsFixture::SetUp();
    ASSERT_TRUE(test::SimReset(*sim_, "/test/userinfo"));
    auto feature = std::make_unique<PreDownloadFeature>();
    pre_ = feature.get();
    core().AddFeature(std::move(feature));
    IntoGame(true);
  }

  void LogIn() {
    std::lock_guard lock(fx().state().mutex);
    fx().state().login.uid = "1001";
    fx().state().login.steamid64 = kSteamId;
  }
  void Script(const std::string& query, const std::string& body = {}) {
    ASSERT_TRUE(
        test::SimSet(*sim_, "/test/userinfo?steamid=" + std::string(kSteamId) + query, body));
  }
  // Task names in the queue's outcomes, each as often as it was queued.
  std::vector<std::string> QueuedNames() {
    std::vector<std::string> names;
    for (const TaskOutcome& outcome : downloads().Outcomes()) names.push_back(outcome.name);
    std::sort(names.begin(), names.end());
    return names;
  }
  static const PreDownloadItem* Item(const PreDownloadReport& report, const std::string& map) {
    for (const PreDownloadItem& item : report.items) {
      if (item.map == map) return &item;
    }
    return nullptr;
  }

  PreDownloadFeature* pre_ = nullptr;
};

TEST_F(PreDownloadTest, SwitchWhileLoggedOutStaysOff) {
  window().controls().SetChecked(names::kPreDownloadSwitch, true);
  core().OnPreDownloadSwitch(true);
  EXPECT_FALSE(window().controls().Checked(names::kPreDownloadSwitch));
  ASSERT_FALSE(ports().Notices().empty());
  EXPECT_EQ(ports().Notices().back(), gbk("请登录"));
  EXPECT_FALSE(ports().ClockRunning(names::kClockPreDownload));
  EXPECT_NE(core().ReadSetting("PreDownloadEnable"), "1");

  LogIn();
  core().OnPreDownloadSwitch(true);
  EXPECT_EQ(core().ReadSetting("PreDownloadEnable"), "1");
  EXPECT_TRUE(ports().ClockRunning(names::kClockPreDownload));
  core().OnPreDownloadSwitch(false);
  EXPECT_EQ(core().ReadSetting("PreDownloadEnable"), "0");
  EXPECT_FALSE(ports().ClockRunning(names::kClockPreDownload));
}

TEST_F(PreDownloadTest, NextAndNominatedMapsArriveOnceEach) {
  LogIn();
  // A nomination repeating NextMap, a repeated nomination, a map that exists nowhere, and one
  // already installed.
  test::spit(MapFile("gj_idle_v2.bsp"), "installed");
  Script("&next=35hp_2&nominate=awp_lego_2,35hp_2,awp_lego_2,zz_nowhere,gj_idle_v2");
  core().OnPreDownloadSwitch(true);
  ports().Advance(kPreDownloadPeriodMs);  // the tick starts the query on a worker
  ASSERT_TRUE(Drive([&] { return !pre_->QueryRunning() && QueuedNames().size() == 2; }));
  ASSERT_TRUE(DriveUntilIdle());
  EXPECT_EQ(QueuedNames(), (std::vector<std::string>{"35hp_2.bsp.bz2", "awp_lego_2.bsp.bz2"}));
  EXPECT_TRUE(std::filesystem::exists(MapFile("35hp_2.bsp")));
  EXPECT_TRUE(std::filesystem::exists(MapFile("awp_lego_2.bsp")));
  for (const TaskOutcome& outcome : downloads().Outcomes()) {
    EXPECT_EQ(outcome.result, TaskResult::kInstalled) << outcome.name;
  }
  const std::vector<std::string> seen = pre_->Seen();
  EXPECT_EQ(seen, (std::vector<std::string>{"35hp_2", "awp_lego_2", "gj_idle_v2", "zz_nowhere"}));

  // The next tick finds every map handled: nothing more is probed or queued.
  const PreDownloadReport again = pre_->PreDownloadQuery();
  ASSERT_TRUE(again.answered);
  for (const PreDownloadItem& item : again.items) {
    EXPECT_EQ(item.result, PreDownloadResult::kSeen) << item.map;
  }
  EXPECT_EQ(QueuedNames().size(), 2u);
  const auto statuses = fx().test_window().Statuses();
  EXPECT_TRUE(std::any_of(statuses.begin(), statuses.end(), [](const std::string& s) {
    return s.starts_with(gbk("[预热下载] 预定的地图 - > 已加入检查队列 :") +
                         "awp_lego_2,35hp_2,awp_lego_2,zz_nowhere,gj_idle_v2" + gbk(" 时间:"));
  }));
  EXPECT_TRUE(std::any_of(statuses.begin(), statuses.end(), [](const std::string& s) {
    return s == gbk("[预热下载] 自动下载地图 ") + "35hp_2";
  }));
}

TEST_F(PreDownloadTest, PlainBspAndBadAnswers) {
  LogIn();
  // Only the plain .bsp exists under this prefix: the task is the .bsp itself.
  Script("&next=plainmap&nominate=a,b&prefix=" + Primary("/maps/plain/"));
  PreDownloadReport report = pre_->PreDownloadQuery();
  ASSERT_TRUE(report.answered);
  ASSERT_EQ(report.items.size(), 1u);  // "a,b" is 3 bytes: no nominations
  EXPECT_EQ(report.items[0].result, PreDownloadResult::kQueued);
  EXPECT_EQ(report.items[0].url, Primary("/maps/plain/plainmap.bsp"));
  EXPECT_EQ(downloads().Outcome(report.items[0].task)->name, "plainmap.bsp");
  ASSERT_TRUE(DriveUntilIdle());
  EXPECT_TRUE(std::filesystem::exists(MapFile("plainmap.bsp")));

  // Not JSON: nothing queued, nothing marked handled.
  const std::size_t seen = pre_->Seen().size();
  Script("", "<html><body>502 Bad Gateway</body></html>");
  report = pre_->PreDownloadQuery();
  EXPECT_FALSE(report.answered);
  EXPECT_EQ(pre_->Seen().size(), seen);

  // An empty or path-like NextMap is handled once and never probed or queued.
  Script(
      "",
      R"([{"NextMap":"../../evil","downloadurlPreFix":"http://x/","NominateLists":"/etc/passwd,"}])");
  report = pre_->PreDownloadQuery();
  ASSERT_TRUE(report.answered);
  for (const PreDownloadItem& item : report.items) {
    EXPECT_EQ(item.result, PreDownloadResult::kSkipped) << item.map;
  }
  Script("", "[]");
  report = pre_->PreDownloadQuery();
  ASSERT_EQ(report.items.size(), 1u);
  EXPECT_EQ(report.items[0].result, PreDownloadResult::kSkipped);
  EXPECT_EQ(pre_->PreDownloadQuery().items[0].result, PreDownloadResult::kSeen);
  EXPECT_EQ(downloads().Outcomes().size(), 1u);
}

TEST_F(PreDownloadTest, SlowQuerySkipsTicksAndOverlappingQueriesQueueOnce) {
  LogIn();
  IntoGame(false);
  Script("&next=awp_lego_2&nominate=35hp_2,gj_idle_v2&delay_ms=1500");
  EXPECT_TRUE(pre_->Tick());
  EXPECT_TRUE(pre_->QueryRunning());
  EXPECT_FALSE(pre_->Tick()) << "a tick while the query runs is skipped";
  ASSERT_TRUE(fx().WaitForWorkers());
  EXPECT_FALSE(pre_->QueryRunning());

  // Two queries at once (as overlapping ticks would have been) still queue each map once.
  Script("&next=dodgeball_ice&nominate=35hp_iceworld,awp_map_classic");
  std::thread other([&] { pre_->PreDownloadQuery(); });
  pre_->PreDownloadQuery();
  other.join();
  std::vector<std::string> names = QueuedNames();
  EXPECT_EQ(names, (std::vector<std::string>{"35hp_2.bsp.bz2", "35hp_iceworld.bsp.bz2",
                                             "awp_lego_2.bsp.bz2", "awp_map_classic.bsp.bz2",
                                             "dodgeball_ice.bsp.bz2", "gj_idle_v2.bsp.bz2"}));
  ASSERT_TRUE(DriveUntilIdle());
}

TEST_F(PreDownloadTest, OddSteamIdNamesInAnyScriptAndACs2OnlyPlayer) {
  const HttpSettings before = http_settings();
  set_request_user_agent("Brindle-Agent: pre-download");
  IntoGame(false);  // the downloads stay in the cache
  {
    std::lock_guard lock(fx().state().mutex);
    fx().state().login.uid = "1001";
    // An id that would add a parameter of its own is sent as the one value it is.
    fx().state().login.steamid64 = "1&data=2#";
    fx().state().game.csgo_map_dir.clear();  // CS2 only
  }
  test::spit(cs2_maps_dir_ + "gj_idle_v2.vpk", "installed");
  ASSERT_TRUE(test::SimSet(*sim_, "/test/userinfo?steamid=1&next=zz_wrong_player", ""));
  ASSERT_TRUE(test::SimSet(*sim_,
                           "/test/userinfo?steamid=1%26data%3D2%23&next=35hp_2"
                           "&nominate=%E5%9C%B0%E5%9B%BE_x,gj_idle_v2,a..b,c:d",
                           ""));
  const PreDownloadReport report = pre_->PreDownloadQuery();
  set_http_settings(before);
  ASSERT_TRUE(report.answered) << report.reason;
  EXPECT_EQ(report.info.next_map, "35hp_2");
  EXPECT_EQ(Item(report, "35hp_2")->result, PreDownloadResult::kQueued);
  // A name in another script is probed (this one is on no mirror); only path-like ones are not.
  EXPECT_EQ(Item(report, "\xE5\x9C\xB0\xE5\x9B\xBE_x")->result, PreDownloadResult::kNotFound);
  EXPECT_EQ(Item(report, "gj_idle_v2")->result, PreDownloadResult::kInstalled);
  EXPECT_EQ(Item(report, "a..b")->result, PreDownloadResult::kSkipped);
  EXPECT_EQ(Item(report, "c:d")->result, PreDownloadResult::kSkipped);
  // The request user agent also goes as the extra header line, as every caller passes it.
  const std::string headers =
      "\n" + test::SimRequest(*sim_, "GET", "/test/headers?path=/cloud/yunget/userinfo.php");
  EXPECT_NE(headers.find("\nBrindle-Agent: pre-download\n"), std::string::npos) << headers;
  ASSERT_TRUE(DriveUntilIdle());
}

TEST_F(PreDownloadTest, LoggedOutQueryAsksNothing) {
  const PreDownloadReport report = pre_->PreDownloadQuery();
  EXPECT_FALSE(report.answered);
  EXPECT_TRUE(pre_->Seen().empty());
}

}  // namespace
}  // namespace brindle
