#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "foundation/encoding.h"
#include "view/control_names.h"
#include "view/test_ports.h"
#include "view/window.h"

namespace brindle {
namespace {

constexpr std::int64_t kStart = 1700000000;  // a whole second: expiry arithmetic stays exact

TEST(Window, StatusClearsWhenItExpires) {
  TestWindow t(kStart);
  Window& w = t.window();
  w.ShowStatus("loading", 5);
  EXPECT_EQ(w.controls().Caption(names::kStatusLine), "loading");
  EXPECT_EQ(w.StatusExpiry(), kStart + 5);
  EXPECT_TRUE(t.ports().ClockRunning(names::kClockStatusClear));

  t.ports().Advance(4999);
  EXPECT_EQ(w.controls().Caption(names::kStatusLine), "loading");
  t.ports().Advance(1);
  EXPECT_EQ(w.controls().Caption(names::kStatusLine), "");
  // Nothing left to clear: the clock rests until the next status.
  t.ports().Advance(1000);
  EXPECT_FALSE(t.ports().ClockRunning(names::kClockStatusClear));
  EXPECT_EQ(t.Statuses(), (std::vector<std::string>{"loading", ""}));
}

TEST(Window, NewerStatusGetsItsOwnLifetime) {
  TestWindow t(kStart);
  Window& w = t.window();
  w.ShowStatus("first");  // default 5 s
  t.ports().Advance(3000);
  w.ShowStatus("second", 10);  // expires at start + 13
  t.ports().Advance(9000);     // start + 12
  EXPECT_EQ(w.controls().Caption(names::kStatusLine), "second");
  t.ports().Advance(1000);
  EXPECT_EQ(w.controls().Caption(names::kStatusLine), "");

  // A zero lifetime goes at the next tick; a cleared status stays cleared.
  w.ShowStatus("flash", 0);
  t.ports().Advance(1000);
  EXPECT_EQ(w.controls().Caption(names::kStatusLine), "");
  w.ShowStatus("gone", 60);
  w.ClearStatus();
  t.ports().Advance(2000);
  EXPECT_FALSE(t.ports().ClockRunning(names::kClockStatusClear));
}

TEST(Window, StatusFromWorkerIsClearedByTheUiClock) {
  TestWindow t(kStart);
  std::thread worker([&] { t.window().ShowStatus(gbk("查询玩家情况-> 1.2.3.4:27015"), 2); });
  worker.join();
  t.ports().Advance(2000);
  EXPECT_EQ(t.window().controls().Caption(names::kStatusLine), "");
}

TEST(Window, RequireInitialisedShowsTheNoticeOnlyWhenNotReady) {
  TestWindow t;
  EXPECT_FALSE(t.window().RequireInitialised(false));
  EXPECT_TRUE(t.window().RequireInitialised(true));
  EXPECT_EQ(t.ports().Notices(), (std::vector<std::string>{gbk("正在初始化...")}));
}

TEST(Window, PumpDelayKeepsClocksAndPostedWorkRunning) {
  TestWindow t;
  Window& w = t.window();
  std::vector<std::int64_t> ticks;
  t.ports().BindClock(names::kClockGameDetect, [&] { ticks.push_back(t.ports().NowMs()); });
  w.StartClock(names::kClockGameDetect);
  bool posted_ran = false;
  t.ports().Post([&] { posted_ran = true; });

  EXPECT_TRUE(w.PumpDelay(4, 1));  // 4 s
  EXPECT_EQ(t.ports().NowMs(), 4000);
  EXPECT_TRUE(posted_ran);
  EXPECT_EQ(ticks, (std::vector<std::int64_t>{1500, 3000}));

  EXPECT_TRUE(w.PumpDelay(1500, 0));
  EXPECT_EQ(t.ports().NowMs(), 5500);
  EXPECT_EQ(ticks.size(), 3u);
  EXPECT_TRUE(w.PumpDelay(0, 3));
  EXPECT_EQ(t.ports().NowMs(), 5500);

  EXPECT_FALSE(w.PumpDelay(1, 4));
  EXPECT_FALSE(w.PumpDelay(-1, 0));
  EXPECT_EQ(t.ports().NowMs(), 5500);
  EXPECT_EQ(pump_unit_ms(2), 60000);
  EXPECT_EQ(pump_unit_ms(3), 3600000);
}

TEST(Window, PumpDelayOnAWorkerWaitsForVirtualTime) {
  TestWindow t;
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    t.window().PumpDelay(2, 1);
    returned = true;
  });
  // The worker cannot return before virtual time passes; advancing releases it.
  while (t.ports().DelayedWorkers() == 0) std::this_thread::yield();
  t.ports().Advance(1000);
  EXPECT_FALSE(returned.load());
  t.ports().Advance(1000);
  worker.join();
  EXPECT_TRUE(returned.load());
}

TEST(Window, ClocksFireInTimeOrderAndRestartOnStart) {
  TestPorts ports;
  std::vector<std::string> fired;
  ports.BindClock("a", [&] { fired.push_back("a@" + std::to_string(ports.NowMs())); });
  ports.BindClock("b", [&] {
    fired.push_back("b@" + std::to_string(ports.NowMs()));
    ports.StopClock("b");  // one shot
  });
  ports.StartClock("a", 300);
  ports.StartClock("b", 500);
  ports.Advance(700);
  EXPECT_EQ(fired, (std::vector<std::string>{"a@300", "b@500", "a@600"}));
  ports.StartClock("a", 300);  // restart: the period counts from now (700)
  ports.Advance(350);
  EXPECT_EQ(fired.back(), "a@1000");
  ports.StartClock("a", 0);
  EXPECT_FALSE(ports.ClockRunning("a"));
  EXPECT_EQ(ports.UnixSeconds(), 1700000000 + 1);
}

TEST(Window, AClockDoesNotReenterItsOwnHandler) {
  TestWindow t;
  int depth = 0;
  int max_depth = 0;
  int calls = 0;
  t.ports().BindClock(names::kClockProgress, [&] {
    ++calls;
    max_depth = std::max(max_depth, ++depth);
    t.window().PumpDelay(2500, 0);  // longer than its own period
    --depth;
  });
  t.window().StartClock(names::kClockProgress);
  t.ports().Advance(1000);
  EXPECT_EQ(max_depth, 1);
  EXPECT_EQ(calls, 1);
}

TEST(Window, MessageBoxFromWorkerBlocksUntilAnswered) {
  TestWindow t;
  std::atomic<int> result{-2};
  std::thread worker([&] {
    result = t.window().MessageBox(gbk("版本已过期"), "text", gbk("前往下载最新版本&&暂不更新"));
  });
  const auto asked = t.ports().WaitForWaitingBox();
  ASSERT_TRUE(asked.has_value());
  EXPECT_EQ(asked->title, gbk("版本已过期"));
  EXPECT_EQ(result.load(), -2);  // still waiting for the person
  EXPECT_TRUE(t.ports().Answer(1));
  worker.join();
  EXPECT_EQ(result.load(), 1);
  EXPECT_FALSE(t.ports().Answer(0));  // nothing left waiting
  ASSERT_EQ(t.ports().Boxes().size(), 1u);
  EXPECT_EQ(t.ports().Boxes()[0].answer, 1);
}

TEST(Window, ScriptAnswersBoxesInOrderOnAnyThread) {
  TestWindow t;
  Window& w = t.window();
  t.ports().ScriptAnswer(2);
  EXPECT_EQ(w.MessageBox("", "q1", "a&&b&&c"), 2);
  // Unscripted on the UI thread: answered by the fallback, never blocks.
  EXPECT_EQ(w.MessageBox("", "q2", "a&&b"), -1);
  t.ports().SetUnscriptedAnswer(0);
  EXPECT_EQ(w.MessageBox("", "q3", "a"), 0);

  // A worker already waiting is answered by the next scripted answer.
  std::atomic<int> result{-2};
  std::thread worker([&] { result = w.MessageBox("", "q4", "x&&y"); });
  ASSERT_TRUE(t.ports().WaitForWaitingBox().has_value());
  t.ports().ScriptAnswer(1);
  worker.join();
  EXPECT_EQ(result.load(), 1);

  const auto boxes = t.ports().Boxes();
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_TRUE(boxes[0].scripted);
  EXPECT_FALSE(boxes[1].scripted);
  EXPECT_EQ(boxes[3].text, "q4");
}

TEST(Window, SplitButtonsKeepsIndicesOfTheList) {
  EXPECT_EQ(split_buttons(gbk("继续&&取消")), (std::vector<std::string>{gbk("继续"), gbk("取消")}));
  EXPECT_EQ(split_buttons(gbk("继续查找&&取消&&开始下载(de_dust2)")).size(), 3u);
  EXPECT_EQ(split_buttons(""), (std::vector<std::string>{gbk("确定")}));
  EXPECT_EQ(split_buttons("a&&&&b"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(split_buttons("a&b"), (std::vector<std::string>{"a&b"}));
}

TEST(Window, PersonPortsAreRecorded) {
  TestWindow t;
  t.ports().ScriptFile(std::string("/games/csgo.exe"));
  FileDialogRequest request{names::kCsgoFileDialog, "", gbk(names::kExecutableFilter), "csgo"};
  EXPECT_EQ(t.ports().OpenFileDialog(request), std::optional<std::string>("/games/csgo.exe"));
  EXPECT_EQ(t.ports().OpenFileDialog(request), std::nullopt);  // unscripted: cancelled
  EXPECT_EQ(t.ports().FileDialogs().size(), 2u);
  t.window().person().SetClipboardText("1.2.3.4:27015");
  EXPECT_EQ(t.ports().Clipboard(), "1.2.3.4:27015");
  t.window().person().SetBrowserUserAgent(names::kForumBrowser, "ua");
  t.window().person().Navigate(names::kForumBrowser, "https://forum.test/");
  EXPECT_EQ(t.ports().UserAgent(names::kForumBrowser), "ua");
  ASSERT_EQ(t.ports().Navigations().size(), 1u);
  EXPECT_EQ(t.ports().Navigations()[0].second, "https://forum.test/");
}

TEST(Window, ListsPagesAndActions) {
  TestWindow t;
  Window& w = t.window();
  EXPECT_EQ(w.list(names::kServerList), &w.server_list());
  EXPECT_EQ(w.list(names::kExtractQueue), &w.extract_queue());
  EXPECT_EQ(w.list(names::kStartDownload), nullptr);
  EXPECT_EQ(w.favourites().ColumnCount(), 10);

  EXPECT_TRUE(w.SelectPage(names::kForumPage));
  EXPECT_EQ(w.CurrentPage(), names::kForumPage);
  EXPECT_FALSE(w.SelectPage(names::kPageCount));
  EXPECT_EQ(w.CurrentPage(), names::kForumPage);

  int joins = 0;
  const std::string join = names::menu_action(names::kFavouritesList, names::kMenuJoin);
  w.Bind(join, [&] { ++joins; });
  EXPECT_TRUE(w.Activate(join));
  EXPECT_FALSE(w.Activate(names::kStartDownload));
  EXPECT_EQ(joins, 1);
  w.Bind(join, nullptr);
  EXPECT_FALSE(w.HasAction(join));
}

TEST(Window, RunOnUiFromAWorkerRunsOnTheUiThread) {
  TestWindow t;
  std::atomic<bool> on_ui{false};
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    t.window().RunOnUi([&] { on_ui = t.ports().OnUiThread(); });
    returned = true;
  });
  while (t.ports().PendingWork() == 0) std::this_thread::yield();
  EXPECT_FALSE(returned.load());
  t.ports().RunPending();
  worker.join();
  EXPECT_TRUE(on_ui.load());
  bool inline_ran = false;
  t.window().RunOnUi([&] { inline_ran = true; });
  EXPECT_TRUE(inline_ran);
}

}  // namespace
}  // namespace brindle
