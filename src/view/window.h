// The main window as the features see it: its controls, its lists, the person and the clock, and
// the small helpers every feature uses (status line, notice, message box, pump delay, the
// start-up guard, actions). Safe to use from any thread unless a member says otherwise.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "view/control_names.h"
#include "view/controls.h"
#include "view/list_model.h"
#include "view/ports.h"

namespace brindle {

class Window {
 public:
  using Action = std::function<void()>;

  // Builds the controls and the six lists. The ports must outlive the window. Binds the status
  // clearing clock (names::kClockStatusClear) to this window; destroy the window on the UI thread
  // or after the clock port has stopped, so that handler is not running meanwhile.
  Window(PersonPort& person, ClockPort& clock);
  ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  Controls& controls() { return controls_; }
  PersonPort& person() { return person_; }
  ClockPort& clock() { return clock_; }

  // The lists by design name; nullptr for a name that is not a list of the window.
  ListModel* list(std::string_view name);
  ListModel& server_list() { return server_list_; }        // 服务器列表_EX
  ListModel& favourites() { return favourites_; }          // 服务器收藏列表_EX1
  ListModel& players() { return players_; }                // 玩家列表信息显示_EX
  ListModel& resources() { return resources_; }            // 资源下载列表框_EX1
  ListModel& download_queue() { return download_queue_; }  // 资源下载列表框_EX2
  ListModel& extract_queue() { return extract_queue_; }    // 解压队列列表框_EX

  // Puts `text` into the status line and marks it to expire at now + `seconds` (whole seconds
  // since 1970); the status clearing clock empties an expired line. seconds <= 0 expires at the
  // next tick of that clock. The line changes under the window's status lock, so a controls
  // observer must not call ShowStatus itself.
  void ShowStatus(const std::string& text, int seconds = 5);
  void ClearStatus();
  std::int64_t StatusExpiry() const;  // 0 when no status has been shown

  void ShowNotice(const std::string& text);
  int MessageBox(const std::string& title, const std::string& text, const std::string& buttons);

  // Waits `count` units (0 ms, 1 s, 2 min, 3 h) keeping the window responsive. Returns false,
  // at once, for an unknown unit or a negative count; very long waits are capped at 2^31 ms.
  bool PumpDelay(std::int64_t count, int unit);

  // The guard at the top of user actions that need start-up to be complete: true when
  // `initialised`; otherwise shows the notice "正在初始化..." and returns false.
  bool RequireInitialised(bool initialised);

  // The page container's current page (names::kDownloadPage …); selecting changes
  // names::kPages' value. Out-of-range pages are ignored (false).
  bool SelectPage(int page);
  int CurrentPage() const;

  // User actions by name: a control name ("开始下载资源"), or "<list>/<menu item>" for a context
  // menu command (names::menu_action). The window (Qt, CLI, a test) calls Activate when the person
  // acts; features Bind the handlers. Activate runs the handler on the calling thread, which
  // should be the UI thread; false when nothing is bound.
  void Bind(const std::string& action, Action handler);
  bool Activate(std::string_view action);
  bool HasAction(std::string_view action) const;

  // Asked on the UI thread before the window closes: false keeps it open. One guard; nullptr
  // removes it.
  void SetCloseGuard(std::function<bool()> guard);
  bool MayClose();

  // Runs `work` on the UI thread and waits for it: inline when already there, else posted.
  void RunOnUi(const std::function<void()>& work);

  // Starts a clock with its design period (names::clock_period_ms); Start with an explicit period
  // and Stop go straight to the clock port.
  void StartClock(const std::string& name);

 private:
  void OnStatusClock();

  PersonPort& person_;
  ClockPort& clock_;
  Controls controls_;
  ListModel server_list_;
  ListModel favourites_;
  ListModel players_;
  ListModel resources_;
  ListModel download_queue_;
  ListModel extract_queue_;

  mutable std::mutex status_mutex_;  // status text and expiry change together
  std::int64_t status_expiry_ = 0;

  std::mutex close_guard_mutex_;
  std::shared_ptr<std::function<bool()>> close_guard_;

  mutable std::mutex actions_mutex_;
  std::map<std::string, std::shared_ptr<Action>, std::less<>> actions_;
};

// Milliseconds of one PumpDelay unit (1, 1000, 60000, 3600000); 0 for an unknown unit.
std::int64_t pump_unit_ms(int unit);

}  // namespace brindle
