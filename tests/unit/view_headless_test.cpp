#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/encoding.h"
#include "platform/platform.h"
#include "view/headless_ports.h"
#include "view/window.h"

namespace brindle {
namespace {

// Waits (real time, generously) for a flag another thread sets; a safety net, not a timing check.
bool WaitFor(const std::atomic<bool>& flag) {
  for (int i = 0; i < 30000 && !flag.load(); ++i) platform::sleep_ms(1);
  return flag.load();
}

TEST(HeadlessPorts, PumpDelayReturnsAfterAtLeastTheTime) {
  HeadlessPorts ports;
  Window window(ports, ports);
  std::int64_t elapsed_ui = 0;
  window.RunOnUi([&] {
    const std::int64_t start = ports.NowMs();
    window.PumpDelay(150, 0);
    elapsed_ui = ports.NowMs() - start;
  });
  EXPECT_GE(elapsed_ui, 150);

  const std::int64_t start = ports.NowMs();
  EXPECT_TRUE(window.PumpDelay(120, 0));  // on this (non-UI) thread it simply waits
  EXPECT_GE(ports.NowMs() - start, 120);
}

// While the UI thread sits in a long PumpDelay, posted work and clocks still run on it.
TEST(HeadlessPorts, UiThreadStaysResponsiveDuringPumpDelay) {
  HeadlessPorts ports;
  Window window(ports, ports);
  std::atomic<bool> entered{false};
  std::atomic<bool> delay_returned{false};
  std::atomic<bool> ticked{false};
  std::atomic<bool> tick_on_ui{false};
  ports.BindClock(names::kClockProgress, [&] {
    tick_on_ui = ports.OnUiThread();
    ticked = true;
  });
  ports.Post([&] {
    entered = true;
    window.PumpDelay(10, 2);  // ten minutes: only Stop ends it early
    delay_returned = true;
  });
  ASSERT_TRUE(WaitFor(entered));

  bool ran_on_ui = false;
  window.RunOnUi([&] { ran_on_ui = ports.OnUiThread(); });
  EXPECT_TRUE(ran_on_ui);
  EXPECT_FALSE(delay_returned.load());

  ports.StartClock(names::kClockProgress, 10);
  ASSERT_TRUE(WaitFor(ticked));
  EXPECT_TRUE(tick_on_ui.load());
  EXPECT_FALSE(delay_returned.load());

  ports.Stop();  // ends the delay and the loop
  EXPECT_TRUE(delay_returned.load());
}

TEST(HeadlessPorts, StopRunsWhatWasPostedAndDropsTheRest) {
  std::vector<int> order;
  std::mutex mutex;
  {
    HeadlessPorts ports;
    Window window(ports, ports);
    std::atomic<bool> release{false};
    ports.Post([&] { WaitFor(release); });  // keep the loop busy while more is queued
    for (int i = 0; i < 5; ++i) {
      ports.Post([&, i] {
        std::lock_guard<std::mutex> lock(mutex);
        order.push_back(i);
      });
    }
    release = true;
    ports.Stop();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
    ports.Post([&] { order.push_back(99); });
    // Waiting for dropped work must not hang.
    bool ran = false;
    window.RunOnUi([&] { ran = true; });
    EXPECT_FALSE(ran);
    ports.Stop();  // again: harmless
  }
  EXPECT_EQ(order.size(), 5u);
}

TEST(HeadlessPorts, MessageBoxesAnswerFromTheHook) {
  HeadlessPorts plain;
  EXPECT_EQ(plain.MessageBox("t", "x", "a&&b"), -1);
  EXPECT_EQ(plain.OpenFileDialog({}), std::nullopt);

  std::vector<std::string> seen_buttons;
  HeadlessPorts::Hooks hooks;
  hooks.answer = [&](const std::string&, const std::string& text,
                     const std::vector<std::string>& buttons) {
    seen_buttons = buttons;
    return text == "far" ? 7 : 1;
  };
  std::vector<std::string> notices;
  hooks.on_notice = [&](const std::string& text) { notices.push_back(text); };
  HeadlessPorts ports(hooks);
  Window window(ports, ports);
  EXPECT_EQ(window.MessageBox("", "near", gbk("继续&&取消")), 1);
  EXPECT_EQ(seen_buttons, (std::vector<std::string>{gbk("继续"), gbk("取消")}));
  EXPECT_EQ(window.MessageBox("", "far", "a&&b"), -1);  // no such button: closed
  window.RequireInitialised(false);
  EXPECT_EQ(notices, (std::vector<std::string>{gbk("正在初始化...")}));
  EXPECT_EQ(ports.LastNotice(), gbk("正在初始化..."));
  window.person().SetClipboardText("1.2.3.4:27015");
  EXPECT_EQ(ports.ClipboardText(), "1.2.3.4:27015");
}

}  // namespace
}  // namespace brindle
