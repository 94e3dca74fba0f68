// The download queue against brindle-sim's mirror with the real libcurl: the clock starting the
// head task, the progress texts, one task after another without waiting for the clock, download
// all with at most four waiting, the buttons' guards, the mirror lines (https with certificate
// checks), and every way a transfer or a name can go wrong.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "foundation/encoding.h"
#include "foundation/http_settings.h"
#include "maps/download_task.h"
#include "support/maps_fixture.h"
#include "support/system_only.h"
#include "view/control_names.h"
#include "view/window.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using test::MapsFixture;

class DownloadQueueTest : public MapsFixture {
 protected:
  ListModel& QueueRows() { return window().download_queue(); }
  // A listed map of the demo data (35HP group) and its size.
  static constexpr const char* kMap = "35hp_2";
  static constexpr std::uint64_t kMapSize = 51785;
};

TEST_F(DownloadQueueTest, ClockStartsTheHeadWhichLandsInTheCache) {
  const std::string url = Primary(std::string("/maps/") + kMap + ".bsp");
  const auto task = Queue(url);
  EXPECT_EQ(
      QueueRows().Rows(),
      (std::vector<ListRow>{{std::string(kMap) + ".bsp", gbk("等待下载"), url, "", "", "", ""}}));
  EXPECT_TRUE(ports().ClockRunning(names::kClockQueue));
  ports().Advance(1999);
  EXPECT_EQ(core().workers().Running(), 0u);  // nothing before the clock
  const TaskOutcome outcome = Final(task);
  EXPECT_EQ(outcome.result, TaskResult::kDownloaded) << outcome.reason;
  EXPECT_EQ(outcome.bytes, static_cast<std::int64_t>(kMapSize));
  EXPECT_EQ(outcome.url, url);
  EXPECT_EQ(fs::file_size(CacheFile(std::string(kMap) + ".bsp")), kMapSize);
  EXPECT_FALSE(fs::exists(CacheFile(std::string(kMap) + ".bsp.tmp")));
  // The outcome is settled just before the worker takes the row away.
  ASSERT_TRUE(Drive([&] { return QueueRows().RowCount() == 0; }));
  ASSERT_TRUE(Drive([&] { return !ports().ClockRunning(names::kClockQueue); }));
  // The speed is the last one shown: empty unless a progress refresh fell inside the transfer.
  const std::string counters = gbk(" 已下载:1 已解压:0 待解压:0 下载失败:0 解压失败:0 速度:");
  const std::string summary = window().controls().Caption(names::kDownloadSummary);
  ASSERT_EQ(summary.substr(0, counters.size()), counters);
  EXPECT_TRUE(
      std::regex_match(summary.substr(counters.size()), std::regex(R"((\d+\.\d\d[KM]B/s)?)")))
      << summary;
}

TEST_F(DownloadQueueTest, ProgressRefreshShowsPercentSizesAndSpeed) {
  // 100 KiB/s: the progress clock fires several times while the file arrives.
  const auto task = Queue(Primary("/maps/fault/slow/102400/slowmap.bsp"));
  ports().Advance(2000);
  ASSERT_TRUE(test::Eventually([&] { return downloads().Progress().received > 0; }));
  EXPECT_EQ(QueueRows().Cell(0, cols::kTaskRunMark), gbk("正在下载"));
  EXPECT_EQ(QueueRows().Cell(0, cols::kTaskFileName), "slowmap.bsp");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ports().Advance(1000);  // one progress refresh
  const std::string cell = QueueRows().Cell(0, cols::kTaskState);
  EXPECT_TRUE(std::regex_match(cell, std::regex(R"(\d+\.\d\d%\(0\.\d\dMB/0\.25MB\))"))) << cell;
  const std::string summary = window().controls().Caption(names::kDownloadSummary);
  EXPECT_TRUE(std::regex_search(summary, std::regex(R"(\d+\.\d\dKB/s$)"))) << summary;
  EXPECT_EQ(Final(task).result, TaskResult::kDownloaded);
}

TEST_F(DownloadQueueTest, NextTaskStartsWhenOneEndsWithoutTheClock) {
  std::vector<std::uint64_t> tasks;
  for (int i = 0; i < 5; ++i) {
    tasks.push_back(Queue(Primary("/maps/gen/20000/quick" + std::to_string(i) + ".bsp")));
  }
  ports().Advance(2000);  // one tick of the queue clock, and no more
  ASSERT_TRUE(test::Eventually([&] { return downloads().Idle(); }));
  EXPECT_EQ(ports().NowMs(), 2000);
  for (auto task : tasks) EXPECT_EQ(downloads().Outcome(task)->result, TaskResult::kDownloaded);
  EXPECT_EQ(Counters().downloaded, 5);
}

TEST_F(DownloadQueueTest, DownloadAllKeepsAtMostFourWaiting) {
  // The first map stalls long enough to hold the head while the move clock runs.
  DownloadOptions options;
  options.low_speed_limit = 1000;
  options.low_speed_seconds = 2;
  downloads().SetOptions(options);
  ListModel& resources = window().resources();
  resources.Append({"stall", gbk("需要下载"), Primary("/maps/fault/stall/100/stall.bsp"), ""});
  for (int i = 0; i < 5; ++i) {
    const std::string name = "m" + std::to_string(i);
    resources.Append({name, gbk("需要下载"), Primary("/maps/gen/1000/" + name + ".bsp"), ""});
  }
  ASSERT_TRUE(window().Activate(names::kStartDownload));  // download all
  EXPECT_FALSE(window().controls().Enabled(names::kStartDownload));
  for (int tick = 0; tick < 8; ++tick) ports().Advance(3000);
  EXPECT_EQ(QueueRows().RowCount(), 4);
  EXPECT_EQ(resources.RowCount(), 2);
  ASSERT_TRUE(DriveUntilIdle());
  EXPECT_EQ(resources.RowCount(), 0);
  EXPECT_EQ(Counters().downloaded, 5);
  EXPECT_EQ(Counters().download_failures, 1);
  ASSERT_TRUE(Drive([&] { return !ports().ClockRunning(names::kClockMove); }));
  // The batch is over: download all is available again without clearing.
  EXPECT_TRUE(window().controls().Enabled(names::kStartDownload));

  // Clear stops the move clock and makes download all available again.
  resources.Append({"late", "", Primary("/maps/gen/10/late.bsp"), ""});
  ASSERT_TRUE(window().Activate(names::kStartDownload));
  EXPECT_FALSE(window().controls().Enabled(names::kStartDownload));
  ASSERT_TRUE(window().Activate(names::kClearQueue));
  EXPECT_FALSE(ports().ClockRunning(names::kClockMove));
  EXPECT_EQ(resources.RowCount(), 0);
  EXPECT_TRUE(window().controls().Enabled(names::kStartDownload));
}

TEST_F(DownloadQueueTest, StartSelectedGuards) {
  ListModel& resources = window().resources();
  resources.Append({"a", gbk("需要下载"), Primary("/maps/gen/10/a.bsp"), gbk("甲")});
  resources.Append({"b", gbk("需要下载"), Primary("/maps/gen/10/b.bsp"), gbk("乙")});
  window().Activate(names::kResourceList);  // nothing selected: nothing happens
  EXPECT_EQ(QueueRows().RowCount(), 0);

  resources.Select(1);
  IntoGame(true);
  fs::remove(MapFile("de_dust2.bsp"));  // the installation check fails
  window().Activate(names::kResourceList);
  ASSERT_EQ(ports().Boxes().size(), 1u);
  EXPECT_EQ(ports().Boxes()[0].title, gbk("您的路径设置似乎不正确!"));
  EXPECT_EQ(ports().Boxes()[0].buttons, gbk("取消"));
  EXPECT_EQ(QueueRows().RowCount(), 0);

  IntoGame(false);
  window().Activate(names::kResourceList);
  EXPECT_EQ(QueueRows().Rows()[0],
            (ListRow{"b", gbk("等待下载"), Primary("/maps/gen/10/b.bsp"), gbk("乙"), "", "", ""}));
  EXPECT_EQ(resources.RowCount(), 1);
  resources.Select(0);
  window().Activate(names::kResourceList);
  EXPECT_EQ(ports().Notices().back(), gbk("请等待当前下载任务完成.."));
  EXPECT_EQ(QueueRows().RowCount(), 1);
}

TEST_F(DownloadQueueTest, BrokenTransfersAreFailuresAndKeepTheirTempFile) {
  DownloadOptions options;
  options.low_speed_limit = 1000;
  options.low_speed_seconds = 1;
  downloads().SetOptions(options);
  IntoGame(true);
  const auto cut = Queue(Primary(std::string("/maps/fault/cut/1000/") + kMap + ".bsp"));
  const auto stall = Queue(Primary("/maps/fault/stall/500/stalled.bsp"));
  const auto missing = Queue(Primary("/maps/fault/status/404/gone.bsp"));
  const auto error = Queue(Primary("/maps/fault/status/500/err.bsp.bz2"));
  const auto html = Queue(Primary("/maps/fault/html/0/page.bsp"));
  const auto nohost = Queue("http://127.0.0.1:1/nothing.bsp");
  ASSERT_TRUE(DriveUntilIdle());

  auto check = [&](std::uint64_t task, const std::string& reason_part) {
    const auto outcome = downloads().Outcome(task);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->result, TaskResult::kFailed);
    EXPECT_NE(outcome->reason.find(reason_part), std::string::npos) << outcome->reason;
  };
  check(cut, "cut short: 1000 of 51785 bytes");
  check(stall, "Operation too slow");  // the low-speed limit, not the hour
  check(missing, "HTTP status 404");
  check(error, "HTTP status 500");
  check(html, "the mirror answered a web page");
  check(nohost, "no answer");
  EXPECT_EQ(Counters().download_failures, 6);
  EXPECT_EQ(Counters().downloaded, 0);
  EXPECT_EQ(test::slurp(CacheFile(std::string(kMap) + ".bsp.tmp")).size(), 1000u);
  EXPECT_FALSE(fs::exists(CacheFile(std::string(kMap) + ".bsp")));
  // Nothing reached the game.
  EXPECT_FALSE(fs::exists(MapFile(std::string(kMap) + ".bsp")));
  EXPECT_FALSE(fs::exists(MapFile("page.bsp")));
  EXPECT_EQ(window().extract_queue().RowCount(), 0);
}

TEST_F(DownloadQueueTest, HostileNamesNeverWriteOutsideTheCache) {
  const std::string base = Primary("/maps/gen/10/");
  const std::vector<std::string> urls = {base,
                                         base + ".",
                                         base + "..",
                                         base + "..\\..\\evil.bsp",
                                         base + "a\x01.bsp",
                                         base + "x.bsp?v=1"};
  std::vector<std::uint64_t> tasks;
  for (const auto& url : urls) tasks.push_back(Queue(url));
  ASSERT_TRUE(DriveUntilIdle());
  for (auto task : tasks) {
    const auto outcome = downloads().Outcome(task);
    EXPECT_EQ(outcome->result, TaskResult::kFailed);
    EXPECT_EQ(outcome->reason.rfind("the URL", 0), 0u) << outcome->reason;
  }
  EXPECT_EQ(Counters().download_failures, static_cast<int>(urls.size()));
  // The cache holds nothing, and nothing appeared beside it.
  EXPECT_TRUE(fs::is_empty(fx().state().download_cache_dir));
  std::vector<std::string> download_folder;
  for (const auto& entry : fs::directory_iterator(fx().dir().path() / "download")) {
    download_folder.push_back(entry.path().filename().string());
  }
  std::sort(download_folder.begin(), download_folder.end());
  EXPECT_EQ(download_folder, (std::vector<std::string>{"brindle.lock", "data"}));

  // Only http and https, for the first request and for every redirect: a list's URL never reads
  // a local file (the owner-only settings with the login tokens) or talks another protocol.
  const std::vector<std::string> foreign = {"file:///etc/hostname", "gopher://127.0.0.1:9/_x.bsp",
                                            "dict://127.0.0.1:9/d.bsp",
                                            Primary("/test/redirect?n=1&to=file:///etc/hostname")};
  for (const auto& url : foreign) {
    const auto outcome = Final(Queue(url));
    EXPECT_EQ(outcome.result, TaskResult::kFailed) << url;
  }
  for (const auto& entry : fs::directory_iterator(fx().state().download_cache_dir)) {
    EXPECT_EQ(entry.file_size(), 0u) << entry.path();  // only the empty temporary files
  }
}

TEST_F(DownloadQueueTest, UnopenableTempFileFailsAndTheQueueGoesOn) {
  fs::create_directories(CacheFile("blocked.bsp.tmp"));  // a folder where the file would go
  const auto blocked = Queue(Primary("/maps/gen/10/blocked.bsp"));
  const auto next = Queue(Primary("/maps/gen/10/next.bsp"));
  ASSERT_TRUE(DriveUntilIdle());
  EXPECT_EQ(downloads().Outcome(blocked)->result, TaskResult::kFailed);
  EXPECT_EQ(downloads().Outcome(next)->result, TaskResult::kDownloaded);
  EXPECT_EQ(Counters().download_failures, 1);
  EXPECT_EQ(downloads().ActiveTaskCount(), 0);
}

TEST_F(DownloadQueueTest, SameFileNameTwiceAndAnEmptyFile) {
  const auto first = Queue(Primary(std::string("/maps/") + kMap + ".bsp"));
  const auto second = Queue(Secondary(std::string("/maps/") + kMap + ".bsp"));
  const auto empty = Queue(Primary("/maps/empty/nothing.bsp"));
  ASSERT_TRUE(DriveUntilIdle());
  EXPECT_EQ(downloads().Outcome(first)->result, TaskResult::kDownloaded);
  const auto again = downloads().Outcome(second);
  EXPECT_EQ(again->result, TaskResult::kFailed);
  EXPECT_EQ(again->reason.rfind("the download cache already holds", 0), 0u);
  EXPECT_TRUE(fs::exists(CacheFile(std::string(kMap) + ".bsp.tmp")));
  // A 0-byte file: no progress figures, moved into place and counted.
  EXPECT_EQ(downloads().Outcome(empty)->result, TaskResult::kDownloaded);
  EXPECT_EQ(fs::file_size(CacheFile("nothing.bsp")), 0u);
  EXPECT_EQ(Counters().downloaded, 2);
  EXPECT_EQ(Counters().download_failures, 0);  // the failed move is not counted
}

TEST_F(DownloadQueueTest, MirrorLineRewritesTheRequestOverVerifiedHttps) {
  // The list names a secondary mirror host that does not resolve; us2 (节点3) on https with the
  // sim's https listener as its host is the only way the file can arrive.
  const std::string https_host = sim_->https_base().substr(std::string("https://").size());
  {
    std::lock_guard lock(core().state().mutex);
    core().state().mirror_secondary_host = "mirror2.invalid:8080";
    core().state().mirror_host[1] = https_host;
    core().state().mirror_https[1] = true;
  }
  const std::string url = "http://mirror2.invalid:8080/maps/" + std::string(kMap) + ".bsp.bz2";
  window().controls().SetChecked(names::kMirror1, false);  // us1 is the design's default
  const auto unrewritten = Queue(url);
  EXPECT_EQ(Final(unrewritten).result, TaskResult::kFailed);  // no line selected yet

  window().controls().SetChecked(names::kMirror3, true);
  const auto task = Queue(url);
  const TaskOutcome outcome = Final(task);
  EXPECT_EQ(outcome.result, TaskResult::kDownloaded) << outcome.reason;
  EXPECT_EQ(outcome.url, url);  // the row keeps the queued URL

  // Certificates are still checked: with only the system's CA store the sim's certificate is
  // refused.
  BRINDLE_NOT_UNDER_WINE(
      "curl's Schannel leaves the check against the system store to Schannel, which Wine's does "
      "not make");
  const HttpSettings saved = http_settings();
  set_tls_ca_file("");
  const auto refused = Queue("http://mirror2.invalid:8080/maps/" + std::string(kMap) + ".bsp");
  const TaskOutcome failed = Final(refused);
  set_http_settings(saved);
  EXPECT_EQ(failed.result, TaskResult::kFailed);
  EXPECT_NE(failed.reason.find("certificate"), std::string::npos) << failed.reason;
}

TEST_F(DownloadQueueTest, ClosingCancelsARunningDownload) {
  const auto task = Queue(Primary("/maps/fault/slow/2000/crawl.bsp"));
  ports().Advance(2000);
  ASSERT_TRUE(test::Eventually([&] { return downloads().Progress().received > 0; }));
  const auto start = std::chrono::steady_clock::now();
  fx().StopWorkers();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  const auto outcome = downloads().Outcome(task);
  EXPECT_EQ(outcome->result, TaskResult::kFailed);
  EXPECT_EQ(outcome->reason, "cancelled: the program is closing");
}

}  // namespace
}  // namespace brindle
