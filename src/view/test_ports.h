// Ports for tests: a virtual clock the test advances by hand, message boxes and file dialogs that
// answer from a script, and a record of everything shown to the person. The thread that builds
// the ports is the UI thread; clocks and posted work run on it only inside Advance, RunPending
// or a Delay made there. No real time passes anywhere, so no test waits for a clock period.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "view/clock_schedule.h"
#include "view/ports.h"
#include "view/window.h"

namespace brindle {

class TestPorts final : public PersonPort, public ClockPort {
 public:
  struct AskedBox {
    std::string title, text, buttons;  // GBK, as asked
    int answer = -1;
    bool scripted = false;  // answered from the script (or by Answer) rather than the fallback
  };

  // The virtual clock starts at NowMs() == 0 and UnixSeconds() == unix_start.
  explicit TestPorts(std::int64_t unix_start = 1700000000);
  ~TestPorts() override;
  TestPorts(const TestPorts&) = delete;
  TestPorts& operator=(const TestPorts&) = delete;

  // ---- Time (call on the UI thread) ----
  // Moves the virtual clock forward by `ms`, firing due clocks in time order (each at its due
  // instant) and running posted work before and after each tick.
  void Advance(std::int64_t ms);
  // Runs posted work (including work posted by that work) until none is left.
  void RunPending();
  std::size_t PendingWork() const;

  // ---- Message boxes ----
  // Queues the answer of a future box (or of a worker's box already waiting).
  void ScriptAnswer(int index);
  // The answer of a box asked on the UI thread while the script is empty (default -1).
  void SetUnscriptedAnswer(int index);
  // Blocks the calling (test) thread until a worker waits on a box with no scripted answer, and
  // returns what it asked; nullopt after `safety_ms` of real time without one (a broken test,
  // not a timing assertion).
  std::optional<AskedBox> WaitForWaitingBox(std::int64_t safety_ms = 10000);
  // Answers the oldest waiting box; false when no box is waiting.
  bool Answer(int index);
  std::vector<AskedBox> Boxes() const;  // every box asked, in order, with its answer

  // ---- File dialogs ----
  // Queues the result of a future file dialog (nullopt = cancel). With an empty script dialogs
  // are cancelled.
  void ScriptFile(std::optional<std::string> path);
  std::vector<FileDialogRequest> FileDialogs() const;

  // ---- What the person saw ----
  std::vector<std::string> Notices() const;
  std::string Clipboard() const;
  std::vector<std::pair<std::string, std::string>> Navigations() const;  // (browser, url)
  std::string UserAgent(const std::string& browser) const;
  int BrowserCookieClears() const;  // how often ClearBrowserCookies was asked

  // PersonPort
  void Notice(const std::string& text) override;
  int MessageBox(const std::string& title, const std::string& text,
                 const std::string& buttons) override;
  std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override;
  void SetClipboardText(const std::string& text) override;
  void Navigate(const std::string& browser, const std::string& url) override;
  void SetBrowserUserAgent(const std::string& browser, const std::string& user_agent) override;
  void ClearBrowserCookies() override;

  // ClockPort
  void BindClock(const std::string& name, Handler handler) override;
  void StartClock(const std::string& name, std::int64_t period_ms) override;
  void StopClock(const std::string& name) override;
  bool ClockRunning(const std::string& name) const override;
  void Post(std::function<void()> work) override;
  bool OnUiThread() const override;
  std::int64_t NowMs() const override;
  std::int64_t UnixSeconds() const override;
  // On the UI thread: Advance(ms). Elsewhere: blocks until the test has advanced the virtual
  // clock by `ms` past the moment of the call.
  void Delay(std::int64_t ms) override;
  // Workers blocked in Delay whose time has not yet come, so a test can wait for a worker to
  // start waiting before it advances the clock. A worker the clock has released counts no more,
  // even before it has been scheduled to run on.
  int DelayedWorkers() const;

 private:
  struct WaitingBox {
    AskedBox box;
    bool answered = false;
  };
  bool RunOnePosted();
  void SetNow(std::int64_t now_ms);

  const std::thread::id ui_thread_;
  const std::int64_t unix_start_;
  ClockSchedule schedule_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;  // time moved, a box was asked or answered
  std::int64_t now_ms_ = 0;
  std::multiset<std::int64_t> delay_deadlines_;  // one per worker blocked in Delay
  std::deque<std::function<void()>> work_;
  std::deque<int> box_script_;
  int unscripted_answer_ = -1;
  std::deque<std::shared_ptr<WaitingBox>> waiting_;
  std::vector<AskedBox> boxes_;
  std::deque<std::optional<std::string>> file_script_;
  std::vector<FileDialogRequest> file_dialogs_;
  std::vector<std::string> notices_;
  std::string clipboard_;
  std::vector<std::pair<std::string, std::string>> navigations_;
  std::map<std::string, std::string> user_agents_;
  int cookie_clears_ = 0;
};

// A window on test ports that also keeps the history of the status line, for feature tests.
class TestWindow {
 public:
  explicit TestWindow(std::int64_t unix_start = 1700000000);
  TestPorts& ports() { return ports_; }
  Window& window() { return window_; }
  // Every text the status line has shown, in order (clears included as "").
  std::vector<std::string> Statuses() const;

 private:
  TestPorts ports_;
  mutable std::mutex mutex_;
  std::vector<std::string> statuses_;
  Window window_;  // last: its observer uses the members above
};

}  // namespace brindle
