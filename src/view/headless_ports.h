// Ports for running without a window (brindle-cli): a loop thread stands in for the UI thread,
// running posted work and clocks in real time; message boxes are answered by a callback or a
// fixed answer; file dialogs are cancelled unless a callback chooses.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "view/clock_schedule.h"
#include "view/ports.h"

namespace brindle {

class HeadlessPorts final : public PersonPort, public ClockPort {
 public:
  // Every hook is optional and runs on the thread that asked (a worker or the loop thread).
  struct Hooks {
    // Answers a message box; without it every box gets `default_answer`.
    std::function<int(const std::string& title, const std::string& text,
                      const std::vector<std::string>& buttons)>
        answer;
    int default_answer = -1;  // "closed without pressing a button"
    std::function<void(const std::string& text)> on_notice;
    std::function<void(const std::string& browser, const std::string& url)> on_navigate;
    std::function<std::optional<std::string>(const FileDialogRequest&)> choose_file;
  };

  HeadlessPorts();  // starts the loop thread
  explicit HeadlessPorts(Hooks hooks);
  ~HeadlessPorts() override;  // Stop()
  HeadlessPorts(const HeadlessPorts&) = delete;
  HeadlessPorts& operator=(const HeadlessPorts&) = delete;

  // Runs the work already posted, then ends the loop thread; work posted afterwards is dropped
  // and clocks no longer fire. Must not be called from the loop thread itself (it then only asks
  // the loop to end and returns). Idempotent.
  void Stop();

  std::string ClipboardText() const;
  std::string LastNotice() const;

  // PersonPort
  void Notice(const std::string& text) override;
  int MessageBox(const std::string& title, const std::string& text,
                 const std::string& buttons) override;
  std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override;
  void SetClipboardText(const std::string& text) override;
  void Navigate(const std::string& browser, const std::string& url) override;
  void SetBrowserUserAgent(const std::string& browser, const std::string& user_agent) override;

  // ClockPort
  void BindClock(const std::string& name, Handler handler) override;
  void StartClock(const std::string& name, std::int64_t period_ms) override;
  void StopClock(const std::string& name) override;
  bool ClockRunning(const std::string& name) const override;
  void Post(std::function<void()> work) override;
  bool OnUiThread() const override;
  std::int64_t NowMs() const override;
  std::int64_t UnixSeconds() const override;
  void Delay(std::int64_t ms) override;

 private:
  void Loop();
  // Runs posted work and due clocks until `deadline_ms` (or until stopped when nullopt).
  void RunUntil(std::optional<std::int64_t> deadline_ms);
  void Wake();

  const Hooks hooks_;
  ClockSchedule schedule_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> work_;
  bool stopping_ = false;
  std::uint64_t wakes_ = 0;  // bumped by every Wake so a sleeping loop rechecks
  std::string clipboard_;
  std::string last_notice_;

  std::thread thread_;
  std::thread::id loop_id_;
};

}  // namespace brindle
