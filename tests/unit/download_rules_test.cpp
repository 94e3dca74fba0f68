// The pure rules of a download task: progress texts and speed, the summary line, the progress
// table's refresh, file names from URLs, hostile names, the move target, the mirror rewrite over
// the three lines, the verdict on a finished transfer, and what lets a partial file continue.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include "app/partial_download.h"
#include "foundation/encoding.h"
#include "foundation/http_client.h"
#include "foundation/string_map.h"
#include "maps/download_progress.h"
#include "maps/download_task.h"
#include "platform/platform.h"
#include "support/temp_dir.h"
#include "view/controls.h"

namespace brindle {
namespace {

constexpr std::int64_t kMiB = 1048576;

TEST(ProgressTextTest, PercentOfTotalsAndSpeedBoundary) {
  // 12.34 MiB of 27.30 MiB, the example the window shows.
  const auto received = static_cast<std::int64_t>(12.34 * kMiB);
  const auto total = static_cast<std::int64_t>(27.30 * kMiB);
  EXPECT_EQ(PercentText(received, total) + "(" + MiBOfMiBText(received, total) + ")",
            "45.20%(12.34MB/27.30MB)");
  EXPECT_EQ(PercentText(0, 0), "0.00%");
  EXPECT_EQ(KiBText(2048 * 1024), "2048.00");
  EXPECT_EQ(SpeedText(2048), "2048.00KB/s");  // exactly 2048 KiB stays in KB/s
  EXPECT_EQ(SpeedText(2049), "2.00MB/s");
  EXPECT_EQ(SpeedText(0.5), "0.50KB/s");
  EXPECT_EQ(SpeedText(0), "0.00KB/s");  // a stall shows as one
}

TEST(ProgressTextTest, SpeedWindowFallsToZeroAndCountsIdlePeriods) {
  SpeedWindow window;
  EXPECT_DOUBLE_EQ(window.Push(300), 300);
  EXPECT_DOUBLE_EQ(window.Push(0), 150);
  EXPECT_EQ(window.IdlePeriods(), 1);
  EXPECT_DOUBLE_EQ(window.Push(-5), 100);
  EXPECT_DOUBLE_EQ(window.Push(0), 0);  // the window has passed the last byte
  EXPECT_EQ(window.IdlePeriods(), 3);
  EXPECT_DOUBLE_EQ(window.Push(90), 30);
  EXPECT_EQ(window.IdlePeriods(), 0);
  window.Reset();
  EXPECT_DOUBLE_EQ(window.Push(10), 10);
}

TEST(ProgressTextTest, FailureReasonsInThePlayersWords) {
  EXPECT_EQ(FailureReasonWords("HTTP status 404"), gbk("镜像上没有这个文件(404)"));
  EXPECT_EQ(FailureReasonWords("HTTP status 502"), gbk("镜像返回错误(502)"));
  EXPECT_EQ(FailureReasonWords("cut short: 1000 of 51785 bytes"), gbk("连接中断,文件不完整"));
  EXPECT_EQ(FailureReasonWords("cut short: 500 of 262144 bytes (Operation too slow. Less than "
                               "1000 bytes/sec transferred the last 1 seconds)"),
            gbk("长时间没有收到数据,已中止"));
  EXPECT_EQ(FailureReasonWords("the extractor ended with exit code 2"), gbk("解压程序报告错误(2)"));
  EXPECT_EQ(FailureReasonWords("something new"), "");
}

TEST(ProgressTextTest, SummaryLineNamesEveryCounter) {
  DownloadStats stats;
  stats.AddDownloaded();
  stats.AddDownloaded();
  stats.AddExtracted();
  stats.AddWaiting(3);
  stats.AddDownloadFailure();
  stats.AddExtractionFailure();
  stats.AddExtractionFailure();
  stats.SetSpeedText("1.52MB/s");
  EXPECT_EQ(SummaryLine(stats.Snapshot()),
            gbk(" 已下载:2 已解压:1 待解压:3 下载失败:1 解压失败:2 速度:1.52MB/s"));
  stats.StartFile("de_x.bsp.bz2");
  EXPECT_EQ(stats.Snapshot().speed_text, "");
  EXPECT_EQ(stats.Snapshot().current_file, "de_x.bsp.bz2");
}

TEST(ProgressTableTest, RefreshTakesTheNewKiBAndRemembersThem) {
  StringMap table;
  RecordProgress(table, 0, 0, 100);  // an unknown total writes nothing
  EXPECT_EQ(TakeProgressRefresh(table, 0).cell, "");
  RecordProgress(table, 0, 4 * kMiB, kMiB);
  std::string value;
  ASSERT_TRUE(table.get("0DLT", value));
  EXPECT_EQ(value, "4096.00");
  auto first = TakeProgressRefresh(table, 0);
  EXPECT_EQ(first.cell, "25.00%(1.00MB/4.00MB)");
  EXPECT_DOUBLE_EQ(first.kib, 1024);
  RecordProgress(table, 0, 4 * kMiB, 3 * kMiB);
  auto second = TakeProgressRefresh(table, 0);
  EXPECT_DOUBLE_EQ(second.kib, 2048);
  EXPECT_EQ(SpeedText(second.kib), "2048.00KB/s");
  ForgetProgress(table, 0);
  EXPECT_EQ(TakeProgressRefresh(table, 0).cell, "");
  EXPECT_EQ(table.count(), 0);
}

TEST(DownloadNameTest, FileNamesFromUrlsAndTheNamesTheCacheRefuses) {
  EXPECT_EQ(FileNameOfUrl("http://m.example/maps/de_x.bsp.bz2"), "de_x.bsp.bz2");
  EXPECT_EQ(FileNameOfUrl("http://m.example/maps/"), "");
  EXPECT_EQ(FileNameOfUrl("no-slash"), "no-slash");
  EXPECT_TRUE(ValidCacheFileName("de_x.bsp.bz2"));
  EXPECT_TRUE(ValidCacheFileName(gbk("僵尸_地图.bsp")));
  EXPECT_TRUE(ValidCacheFileName("..."));  // only "." and ".." name folders
  for (std::string bad : {"", ".", "..", "a\\..\\..\\x.bsp", "x.bsp?v=2", "con:", "a*b", "a|b",
                          "a<b", "a>b", "a\"b"}) {
    std::string reason;
    EXPECT_FALSE(ValidCacheFileName(bad, &reason)) << bad;
    EXPECT_FALSE(reason.empty()) << bad;
  }
  EXPECT_FALSE(ValidCacheFileName(std::string("a\nb.bsp")));
  EXPECT_FALSE(ValidCacheFileName(std::string("a\x7f")));
  EXPECT_FALSE(ValidCacheFileName(std::string("a\0b", 3)));
}

// A path written with '/' in this system's own form: "C:\\p\\x" for "/p/x" on Windows.
std::string SystemPath(std::string path) {
#ifdef _WIN32
  if (path.starts_with('/')) path = "C:" + path;
#endif
  for (char& c : path) {
    if (c == '/') c = platform::path_separator();
  }
  return path;
}

TEST(DownloadNameTest, MoveTargetsStayInTheCache) {
  const std::string cache = SystemPath("/p/download/data/");
  EXPECT_TRUE(ValidMoveTarget(SystemPath("/p/download/data/de_x.bsp"), cache));
  EXPECT_FALSE(ValidMoveTarget(SystemPath("/p/download/data/"), cache));
  EXPECT_FALSE(ValidMoveTarget(SystemPath("/p/download/data/sub/x.bsp"), cache));
  EXPECT_FALSE(ValidMoveTarget(SystemPath("/p/download/other/x.bsp"), cache));
  EXPECT_FALSE(ValidMoveTarget(SystemPath("relative/download/data/x.bsp"),
                               SystemPath("relative/download/data/")));
  EXPECT_FALSE(ValidMoveTarget(SystemPath("/x.bsp"), ""));
#ifdef _WIN32
  // Relative to a drive's current folder, or a colon further in: not absolute.
  EXPECT_FALSE(ValidMoveTarget("C:p\\x.bsp", "C:p\\"));
  EXPECT_FALSE(ValidMoveTarget("ab:\\p\\x.bsp", "ab:\\p\\"));
#endif
}

MirrorLines Lines() {
  MirrorLines lines;
  lines.host = {"dl.example", "dl2.example:8443", "dl.example:9295"};
  lines.https = {false, true, false};
  lines.primary_host = "maps.example";
  lines.secondary_host = "maps2.example";
  return lines;
}

TEST(MirrorRewriteTest, SelectedLineTakesBothMirrorHostsAndItsScheme) {
  const std::string url = "http://maps.example/ze/ze_a.bsp.bz2";
  // us2 with its https flag: https, with that line's host and port.
  EXPECT_EQ(RewriteForMirror(url, {false, true, false}, Lines()),
            "https://dl2.example:8443/ze/ze_a.bsp.bz2");
  EXPECT_EQ(RewriteForMirror("http://maps2.example/x.bsp", {true, false, false}, Lines()),
            "http://dl.example/x.bsp");
  EXPECT_EQ(RewriteForMirror(url, {false, false, true}, Lines()),
            "http://dl.example:9295/ze/ze_a.bsp.bz2");
  // No line selected: the URL as listed.
  EXPECT_EQ(RewriteForMirror(url, {false, false, false}, Lines()), url);
  // Another host is left alone; empty mirror host names are not looked for.
  MirrorLines blank = Lines();
  blank.primary_host.clear();
  blank.secondary_host.clear();
  EXPECT_EQ(RewriteForMirror("http://other.example/x.bsp", {true, false, false}, blank),
            "http://other.example/x.bsp");
  // A line whose host contains the mirror's name is not rewritten again.
  MirrorLines nested = Lines();
  nested.host[0] = "maps.example.cdn";
  EXPECT_EQ(RewriteForMirror(url, {true, false, false}, nested),
            "http://maps.example.cdn/ze/ze_a.bsp.bz2");
}

TEST(MirrorRewriteTest, RadiosPairWithTheLines) {
  Controls controls;
  controls.SetChecked(names::kMirror3, true);  // 节点3 = us2
  EXPECT_EQ(SelectedMirrorLines(controls), (std::array<bool, 3>{false, true, false}));
  controls.SetChecked(names::kMirror2, true);  // 节点2 = telecom
  EXPECT_EQ(SelectedMirrorLines(controls), (std::array<bool, 3>{false, false, true}));
}

HttpTransferInfo Info(int code, std::int64_t body, std::int64_t length) {
  HttpTransferInfo info;
  info.curl_code = code;
  info.body_bytes = body;
  info.content_length = length;
  if (code != CURLE_OK) info.curl_error = "boom";
  return info;
}

TEST(TransferVerdictTest, OnlyAWholeFileWithStatus200IsComplete) {
  EXPECT_TRUE(JudgeTransfer(200, Info(CURLE_OK, 10, 10), 10, "application/octet-stream").complete);
  EXPECT_TRUE(JudgeTransfer(200, Info(CURLE_OK, 0, 0), 0, "").complete);   // a 0-byte file
  EXPECT_TRUE(JudgeTransfer(200, Info(CURLE_OK, 7, -1), 7, "").complete);  // no length announced
  auto cut = JudgeTransfer(200, Info(CURLE_PARTIAL_FILE, 5, 10), 5, "");
  EXPECT_FALSE(cut.complete);
  EXPECT_EQ(cut.reason, "cut short: 5 of 10 bytes (boom)");
  // A short body that libcurl let through is still short.
  EXPECT_FALSE(JudgeTransfer(200, Info(CURLE_OK, 5, 10), 5, "").complete);
  // A compressed body: the announced length counts the bytes on the wire, not the decoded ones.
  EXPECT_TRUE(JudgeTransfer(200, Info(CURLE_OK, 159, 160), 160, "text/plain").complete);
  EXPECT_EQ(JudgeTransfer(404, Info(CURLE_OK, 9, 9), 9, "text/html").reason, "HTTP status 404");
  EXPECT_EQ(JudgeTransfer(0, Info(CURLE_COULDNT_CONNECT, 0, -1), 0, "").reason, "no answer: boom");
  auto slow = JudgeTransfer(200, Info(CURLE_OPERATION_TIMEDOUT, 5, -1), 5, "");
  EXPECT_FALSE(slow.complete);
  EXPECT_EQ(slow.reason, "transfer failed: boom");
  EXPECT_FALSE(JudgeTransfer(200, Info(CURLE_OK, 9, 9), 9, "text/html; charset=utf-8").complete);
  EXPECT_EQ(JudgeTransfer(200, Info(CURLE_ABORTED_BY_CALLBACK, 9, 90), 9, "").reason,
            "cancelled: the program is closing");
}

TEST(ResumeRuleTest, RangeAnswerAndRecordDecideWhetherAPartialContinues) {
  EXPECT_TRUE(RangeAnswerFits("bytes 1000-51784/51785", 1000, 51785));
  EXPECT_FALSE(RangeAnswerFits("bytes 0-51784/51785", 1000, 51785));     // from the start
  EXPECT_FALSE(RangeAnswerFits("bytes 1000-59999/60000", 1000, 51785));  // another file
  EXPECT_FALSE(RangeAnswerFits("bytes 1000-2000/51785", 1000, 51785));   // a piece only
  EXPECT_FALSE(RangeAnswerFits("bytes */51785", 1000, 51785));

  test::TempDir dir;
  const std::string temp = dir.file("m.bsp.tmp");
  test::spit(temp, std::string(10, 'x'));
  // A weak ETag names equal content, not bytes; a line break would forge a header.
  EXPECT_FALSE(WriteResumeRecord(temp, {"http://m/x.bsp", 100, "W/\"weak\""}));
  EXPECT_FALSE(WriteResumeRecord(temp, {"http://m/x.bsp", 100, "\"a\"\r\nX: y"}));
  EXPECT_EQ(ResumableBytes(temp), 0);
  ASSERT_TRUE(WriteResumeRecord(temp, {"http://m/x.bsp", 100, "\"abc\""}));
  EXPECT_EQ(ResumableBytes(temp), 10);
  EXPECT_EQ(ReadResumeRecord(temp)->url, "http://m/x.bsp");
  test::spit(temp, std::string(100, 'x'));
  EXPECT_EQ(ResumableBytes(temp), 0);  // nothing left to fetch: not a partial file
  test::spit(ResumeRecordPath(temp), "http://m/x.bsp\n-5\n\"abc\"\n");
  EXPECT_FALSE(ReadResumeRecord(temp).has_value());
  ForgetPartial(temp);
  EXPECT_FALSE(platform::file_exists(temp) || platform::file_exists(ResumeRecordPath(temp)));
}

}  // namespace
}  // namespace brindle
