#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "foundation/encoding.h"
#include "view/control_names.h"
#include "view/controls.h"

namespace brindle {
namespace {

TEST(ControlNames, TableHoldsEveryNamedControlOnceWithItsPage) {
  std::set<std::string> seen;
  for (const names::ControlInfo& info : names::controls()) {
    EXPECT_TRUE(seen.insert(info.name).second) << "duplicate " << info.name;
  }
  for (const char* name : names::kMapGroupButtons) {
    ASSERT_NE(names::find_control(name), nullptr) << name;
    EXPECT_EQ(names::find_control(name)->page, names::kDownloadPage);
  }
  for (const char* name : names::kCategoryButtons) {
    ASSERT_NE(names::find_control(name), nullptr) << name;
    EXPECT_EQ(names::find_control(name)->page, names::kServerPage);
  }
  EXPECT_EQ(names::find_control("下载资源_ZE15")->caption, std::string("越狱"));
  EXPECT_EQ(names::find_control("服务器列表_ZE13")->caption, std::string("其他"));
  EXPECT_EQ(names::find_control(names::kFavouritesList)->kind, names::ControlKind::kList);
  EXPECT_EQ(names::find_control(names::kForumBrowser)->page, names::kForumPage);
  EXPECT_EQ(names::find_control(names::kAddServerConfirm)->parent,
            std::string(names::kAddServerWindow));
  EXPECT_EQ(names::find_control("下载资源_ZE0"), nullptr);
  EXPECT_EQ(names::find_control(""), nullptr);
}

TEST(ControlNames, ClocksCarryTheirPeriods) {
  EXPECT_EQ(names::clock_period_ms(names::kClockGameDetect), 1500);
  EXPECT_EQ(names::clock_period_ms(names::kClockQueue), 2000);
  EXPECT_EQ(names::clock_period_ms(names::kClockMove), 3000);
  EXPECT_EQ(names::clock_period_ms(names::kClockProgress), 1000);
  EXPECT_EQ(names::clock_period_ms(names::kClockPreDownload), 15000);
  for (const names::ClockInfo& clock : names::clocks()) EXPECT_GT(clock.period_ms, 0) << clock.name;
  EXPECT_EQ(names::clock_period_ms("no such clock"), 0);
  EXPECT_EQ(names::menu_action(names::kServerList, names::kMenuCopyAddress),
            std::string("服务器列表_EX/复制地址"));
}

TEST(Controls, StartWithDesignCaptionsInGbk) {
  Controls controls;
  EXPECT_EQ(controls.Caption(names::kStartDownload), gbk("开始下载"));
  EXPECT_EQ(controls.Caption(names::kClearQueue), gbk("清理下载队列"));
  EXPECT_EQ(controls.Caption(names::kProductTitle), gbk("Brindle 3.6 测试版"));
  EXPECT_EQ(controls.Caption(names::kVacFix), gbk("VAC修复(需要管理员权限)"));
  EXPECT_TRUE(controls.Enabled(names::kStartDownload));
  EXPECT_TRUE(controls.Visible(names::kStartDownload));
  // Windows that open on demand start hidden.
  EXPECT_FALSE(controls.Visible(names::kLoginWindow));
  EXPECT_FALSE(controls.Visible(names::kAddServerWindow));
  EXPECT_FALSE(controls.Visible(names::kPlayerPanel));
  EXPECT_FALSE(controls.Visible(names::kNoticePanel));
  EXPECT_EQ(controls.Value(names::kPages), names::kDownloadPage);
}

TEST(Controls, UnknownNamesAreRefusedAndReadAsDefaults) {
  Controls controls;
  EXPECT_FALSE(controls.SetCaption("节点4", "x"));
  EXPECT_FALSE(controls.Has("节点4"));
  EXPECT_EQ(controls.Get("节点4"), ControlState{});
  EXPECT_TRUE(controls.Add("节点4", names::ControlKind::kRadio, "n4", names::kMirrorGroup));
  EXPECT_FALSE(controls.Add("节点4", names::ControlKind::kRadio, "again"));
  EXPECT_EQ(controls.Caption("节点4"), "n4");
  EXPECT_EQ(controls.RadioGroup("节点4"), names::kMirrorGroup);
}

TEST(Controls, CheckingARadioClearsItsGroupOnly) {
  Controls controls;
  std::vector<std::pair<std::string, bool>> events;
  controls.SetObserver([&](const std::string& name, const ControlState& state) {
    events.emplace_back(name, state.checked);
  });
  ASSERT_TRUE(controls.SetChecked(names::kMirror1, true));
  ASSERT_TRUE(controls.SetChecked(names::kLaunchSteam, true));
  ASSERT_TRUE(controls.SetChecked(names::kRegionWorld, true));
  events.clear();

  ASSERT_TRUE(controls.SetChecked(names::kMirror3, true));
  EXPECT_FALSE(controls.Checked(names::kMirror1));
  EXPECT_TRUE(controls.Checked(names::kMirror3));
  EXPECT_EQ(controls.CheckedInGroup(names::kMirrorGroup), names::kMirror3);
  // The other groups are untouched.
  EXPECT_TRUE(controls.Checked(names::kLaunchSteam));
  EXPECT_TRUE(controls.Checked(names::kRegionWorld));
  // The newly checked one is reported first, then the one it cleared.
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0], std::make_pair(std::string(names::kMirror3), true));
  EXPECT_EQ(events[1], std::make_pair(std::string(names::kMirror1), false));

  // Unchecking leaves the group empty; a check box has no group.
  ASSERT_TRUE(controls.SetChecked(names::kMirror3, false));
  EXPECT_EQ(controls.CheckedInGroup(names::kMirrorGroup), "");
  ASSERT_TRUE(controls.SetChecked(names::kAutoExtract, true));
  EXPECT_EQ(controls.CheckedInGroup(names::kNoGroup), "");
  EXPECT_EQ(controls.GroupMembers(names::kLaunchModeGroup).size(), 5u);
}

TEST(Controls, ObserverSeesOnlyRealChanges) {
  Controls controls;
  int calls = 0;
  controls.SetObserver([&](const std::string&, const ControlState&) { ++calls; });
  controls.SetEnabled(names::kStartDownload, true);  // already enabled
  controls.SetCaption(names::kStartDownload, controls.Caption(names::kStartDownload));
  EXPECT_EQ(calls, 0);
  controls.SetEnabled(names::kStartDownload, false);
  controls.SetImage(names::kAvatar, std::string("\x89PNG\0\x01", 6));
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(controls.Image(names::kAvatar).size(), 6u);  // bytes with NUL kept
  controls.SetObserver(nullptr);
  controls.SetEnabled(names::kStartDownload, true);
  EXPECT_EQ(calls, 2);
}

TEST(Controls, ObserverMayChangeControlsItself) {
  Controls controls;
  controls.SetObserver([&](const std::string& name, const ControlState& state) {
    if (name == names::kPreDownloadSwitch && state.checked) {
      controls.SetCaption(names::kStatusLine, "on");
    }
  });
  controls.SetChecked(names::kPreDownloadSwitch, true);
  EXPECT_EQ(controls.Caption(names::kStatusLine), "on");
}

// Writers on several threads; the observer's view of each control must end at the control's
// final state, which only holds when notifications come in the order the changes were made.
TEST(Controls, ConcurrentWritersNotifyInChangeOrder) {
  Controls controls;
  std::mutex mutex;
  std::map<std::string, ControlState> seen;
  controls.SetObserver([&](const std::string& name, const ControlState& state) {
    std::lock_guard<std::mutex> lock(mutex);
    seen[name] = state;
  });
  const std::vector<std::string> targets = {names::kMirror1, names::kMirror2, names::kMirror3,
                                            names::kStatusLine};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 500; ++i) {
        controls.SetChecked(targets[static_cast<std::size_t>((t + i) % 3)], true);
        controls.SetCaption(names::kStatusLine, std::to_string(t * 1000 + i));
        controls.SetEnabled(targets[static_cast<std::size_t>(t)], i % 2 == 0);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  int checked = 0;
  for (const char* radio : {names::kMirror1, names::kMirror2, names::kMirror3}) {
    checked += controls.Checked(radio) ? 1 : 0;
  }
  EXPECT_EQ(checked, 1);
  for (const std::string& name : targets) {
    EXPECT_EQ(seen[name], controls.Get(name)) << name;
  }
}

}  // namespace
}  // namespace brindle
