// What the player sees and can do when downloads go wrong, against brindle-sim with the real
// libcurl: failed tasks stay as rows with their reason and leave a trail in the log, a stalled
// transfer shows no speed and says it waits, tasks are cancelled one by one or all at once,
// closing asks first, and a retried download continues from the bytes it already has when the
// mirror still serves the same file.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "app/partial_download.h"
#include "foundation/encoding.h"
#include "foundation/http_client.h"
#include "support/maps_fixture.h"
#include "support/poll.h"
#include "support/temp_dir.h"
#include "view/control_names.h"
#include "view/window.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;

class DownloadRecoveryTest : public test::MapsFixture {
 protected:
  ListModel& Rows() { return window().download_queue(); }
  std::string State(int row) { return Rows().Cell(row, cols::kTaskState); }
  bool Menu(int row, const char* item) {
    Rows().Select(row);
    return window().Activate(names::menu_action(names::kDownloadQueue, item));
  }
  std::string Log() { return window().controls().Caption(names::kLog); }
  std::string Summary() { return window().controls().Caption(names::kDownloadSummary); }
  // The file as the mirror serves it whole.
  std::string MirrorBytes(const std::string& path) {
    HttpClient client;
    client.open("GET", Primary(path));
    client.send();
    return client.body_text();
  }
  static constexpr const char* kMap = "35hp_2";  // 51785 bytes
};

TEST_F(DownloadRecoveryTest, FailedTasksStayAsRowsWithTheirReasonAndTheLogTellsEachStep) {
  const auto fine = Queue(Primary("/maps/gen/1000/fine.bsp"));
  const auto missing = Queue(Primary("/maps/fault/status/404/gone.bsp"));
  const auto cut = Queue(Primary(std::string("/maps/fault/cut/1000/") + kMap + ".bsp"));
  ASSERT_TRUE(DriveUntilIdle());
  EXPECT_EQ(Final(fine).result, TaskResult::kDownloaded);
  EXPECT_EQ(Final(missing).result, TaskResult::kFailed);
  EXPECT_EQ(Final(cut).result, TaskResult::kFailed);

  ASSERT_EQ(Rows().RowCount(), 2);
  EXPECT_EQ(downloads().ActiveTaskCount(), 0);
  EXPECT_EQ(Rows().Cell(0, cols::kTaskName), "gone.bsp");
  EXPECT_EQ(State(0), gbk("下载失败：镜像上没有这个文件(404)"));
  EXPECT_EQ(State(1), gbk("下载失败：连接中断,文件不完整"));
  EXPECT_EQ(Counters().download_failures, 2);
  // Every line carries the time; start, end and failure each have one.
  const std::string log = Log();
  for (const char* line :
       {"开始下载 fine.bsp", "下载完成 fine.bsp", "gone.bsp 下载失败：镜像上没有这个文件(404)"}) {
    const std::size_t at = log.find(gbk(line));
    ASSERT_TRUE(at != std::string::npos && at >= 11) << line << "\n" << gbk_to_utf8(log);
    EXPECT_TRUE(std::regex_match(log.substr(at - 11, 11), std::regex(R"(\[\d\d:\d\d:\d\d\] )")));
  }

  // A new task goes above the failed rows and runs as the head.
  const auto next = Queue(Primary("/maps/gen/10/next.bsp"));
  EXPECT_EQ(Rows().Cell(0, cols::kTaskName), "next.bsp");
  EXPECT_EQ(Final(next).result, TaskResult::kDownloaded);
  ASSERT_TRUE(Drive([&] { return Rows().RowCount() == 2; }));

  // Removing a failed row takes its partial file with it; a waiting row is no failed row.
  EXPECT_TRUE(fs::exists(CacheFile(std::string(kMap) + ".bsp.tmp")));
  ASSERT_TRUE(Menu(1, names::kMenuRemove));
  EXPECT_EQ(Rows().RowCount(), 1);
  EXPECT_FALSE(fs::exists(CacheFile(std::string(kMap) + ".bsp.tmp")));
}

TEST_F(DownloadRecoveryTest, RetryContinuesFromTheBytesReceivedWhenTheMirrorHasTheSameFile) {
  const std::string whole = MirrorBytes(std::string("/maps/") + kMap + ".bsp");
  ASSERT_EQ(whole.size(), 51785u);
  const auto first = Queue(Primary(std::string("/maps/fault/cut/30000/") + kMap + ".bsp"));
  EXPECT_EQ(Final(first).result, TaskResult::kFailed);
  EXPECT_EQ(ResumableBytes(CacheFile(std::string(kMap) + ".bsp.tmp")), 30000);

  // The outcome is told before the running row gives way to the failed one.
  ASSERT_TRUE(Drive(
      [&] { return Rows().RowCount() == 1 && State(0) == gbk("下载失败：连接中断,文件不完整"); }));
  Rows().Select(0);
  const std::uint64_t retry = downloads().RetrySelected();
  ASSERT_NE(retry, 0u);
  const TaskOutcome outcome = Final(retry);
  ASSERT_EQ(outcome.result, TaskResult::kDownloaded) << outcome.reason;
  EXPECT_TRUE(outcome.resumed);
  EXPECT_EQ(outcome.resumed_from, 30000);
  EXPECT_EQ(outcome.bytes, 51785 - 30000);  // only the rest came over the line
  EXPECT_EQ(test::slurp(CacheFile(std::string(kMap) + ".bsp")), whole);
  EXPECT_FALSE(fs::exists(ResumeRecordPath(CacheFile(std::string(kMap) + ".bsp.tmp"))));
  EXPECT_NE(Log().find(gbk("续传")), std::string::npos);

  // A partial file whose validator the mirror no longer knows starts over, whole and right.
  const std::string path = "/maps/fault/slow/100000000/changed.bsp";  // 256 KiB, at full speed
  const std::string temp = CacheFile("changed.bsp.tmp");
  test::spit(temp, std::string(1000, 'z'));
  ASSERT_TRUE(WriteResumeRecord(temp, {Primary(path), 262144, "\"old\""}));
  const TaskOutcome fresh = Final(Queue(Primary(path)));
  ASSERT_EQ(fresh.result, TaskResult::kDownloaded) << fresh.reason;
  EXPECT_FALSE(fresh.resumed);
  EXPECT_EQ(test::slurp(CacheFile("changed.bsp")), MirrorBytes(path));
}

TEST_F(DownloadRecoveryTest, StalledTransferShowsNoSpeedSaysItWaitsAndCanBeCancelled) {
  DownloadOptions options;
  options.low_speed_limit = 0;  // only the player ends this one
  downloads().SetOptions(options);
  const auto stalled = Queue(Primary("/maps/fault/stall/2000/stuck.bsp"));
  const auto after = Queue(Primary("/maps/gen/100/after.bsp"));
  ports().Advance(2000);
  ASSERT_TRUE(test::Eventually([&] { return downloads().Progress().received == 2000; }));
  // The bytes' speed shows (at once or on a later tick) and then goes to zero, and the row
  // says it waits. (The speed may round to zero a period before the row has waited long enough
  // to say so, when the bytes came in more than one period.)
  const std::string waiting = gbk(" 等待数据...");
  bool moved = !Summary().ends_with("0.00KB/s");
  for (int tick = 0; tick < 10; ++tick) {
    ports().Advance(1000);
    const bool zero = Summary().ends_with("0.00KB/s");
    if (zero && moved && State(0).ends_with(waiting)) break;
    moved = moved || !zero;
  }
  EXPECT_TRUE(moved) << "the bytes that came showed as a speed first";
  EXPECT_TRUE(Summary().ends_with(gbk("速度:0.00KB/s"))) << gbk_to_utf8(Summary());
  EXPECT_TRUE(State(0).ends_with(waiting)) << gbk_to_utf8(State(0));

  // Closing asks first and names what would be lost; "取消" keeps the window.
  ports().ScriptAnswer(1);
  EXPECT_FALSE(window().MayClose());
  const std::string question = ports().Boxes().back().text;
  EXPECT_NE(question.find("stuck.bsp"), std::string::npos);
  EXPECT_NE(question.find(gbk("1 个等待下载的任务")), std::string::npos);
  ports().ScriptAnswer(0);
  EXPECT_TRUE(window().MayClose());

  ASSERT_TRUE(Menu(0, names::kMenuCancel));
  const TaskOutcome cancelled = Final(stalled);
  EXPECT_EQ(cancelled.reason, "cancelled by the player");
  EXPECT_EQ(Final(after).result, TaskResult::kDownloaded);
  ASSERT_TRUE(Drive([&] { return downloads().ActiveTaskCount() == 0; }));
  EXPECT_EQ(State(0), gbk("已取消"));
  EXPECT_EQ(Counters().download_failures, 0);                   // the player's choice is no failure
  EXPECT_EQ(fs::file_size(CacheFile("stuck.bsp.tmp")), 2000u);  // kept for a retry

  // The button cancels the running task and everything waiting; each can be retried.
  Queue(Primary("/maps/fault/stall/100/stuck2.bsp"));
  Queue(Primary("/maps/gen/10/w1.bsp"));
  Queue(Primary("/maps/gen/10/w2.bsp"));
  ports().Advance(2000);
  ASSERT_TRUE(test::Eventually([&] { return downloads().Progress().received == 100; }));
  ASSERT_TRUE(window().Activate(names::kCancelDownloads));
  ASSERT_TRUE(DriveUntilIdle());
  ASSERT_EQ(Rows().RowCount(), 4);
  for (int row = 0; row < 4; ++row) EXPECT_EQ(State(row), gbk("已取消")) << row;
  EXPECT_TRUE(window().MayClose());  // nothing left to lose: no question
}

}  // namespace
}  // namespace brindle
