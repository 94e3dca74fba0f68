#include "view/headless_ports.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "platform/platform.h"

namespace brindle {

HeadlessPorts::HeadlessPorts() : HeadlessPorts(Hooks{}) {}

HeadlessPorts::HeadlessPorts(Hooks hooks) : hooks_(std::move(hooks)) {
  std::lock_guard<std::mutex> lock(mutex_);
  thread_ = std::thread([this] { Loop(); });
  loop_id_ = thread_.get_id();
}

HeadlessPorts::~HeadlessPorts() { Stop(); }

void HeadlessPorts::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    ++wakes_;
  }
  wake_.notify_all();
  if (OnUiThread()) return;
  if (thread_.joinable()) thread_.join();
}

void HeadlessPorts::Wake() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++wakes_;
  }
  wake_.notify_all();
}

void HeadlessPorts::Loop() {
  {
    // The constructor publishes loop_id_ under the lock; wait for it before running anything.
    std::lock_guard<std::mutex> lock(mutex_);
  }
  RunUntil(std::nullopt);
  // Stopping: finish what was posted before Stop, then leave.
  while (true) {
    std::function<void()> job;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (work_.empty()) return;
      job = std::move(work_.front());
      work_.pop_front();
    }
    job();
  }
}

void HeadlessPorts::RunUntil(std::optional<std::int64_t> deadline_ms) {
  while (true) {
    std::function<void()> job;
    std::uint64_t seen = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) return;
      if (deadline_ms && NowMs() >= *deadline_ms) return;
      seen = wakes_;
      if (!work_.empty()) {
        job = std::move(work_.front());
        work_.pop_front();
      }
    }
    if (job) {
      job();
      continue;
    }
    if (auto tick = schedule_.TakeDue(NowMs(), true)) {
      if (tick->handler && *tick->handler) (*tick->handler)();
      schedule_.Done(tick->name);
      continue;
    }
    std::optional<std::int64_t> until = schedule_.NextDue();
    if (deadline_ms) until = until ? std::min(*until, *deadline_ms) : *deadline_ms;
    std::unique_lock<std::mutex> lock(mutex_);
    const auto woken = [&] { return wakes_ != seen || stopping_ || !work_.empty(); };
    if (until) {
      const std::int64_t wait_ms = std::max<std::int64_t>(0, *until - NowMs());
      wake_.wait_for(lock, std::chrono::milliseconds(wait_ms), woken);
    } else {
      wake_.wait(lock, woken);
    }
  }
}

std::string HeadlessPorts::ClipboardText() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return clipboard_;
}

std::string HeadlessPorts::LastNotice() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return last_notice_;
}

void HeadlessPorts::Notice(const std::string& text) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    last_notice_ = text;
  }
  if (hooks_.on_notice) hooks_.on_notice(text);
}

int HeadlessPorts::MessageBox(const std::string& title, const std::string& text,
                              const std::string& buttons) {
  const std::vector<std::string> list = split_buttons(buttons);
  const int answer = hooks_.answer ? hooks_.answer(title, text, list) : hooks_.default_answer;
  // An answer naming no button counts as closing the box.
  return answer >= 0 && answer < static_cast<int>(list.size()) ? answer : -1;
}

std::optional<std::string> HeadlessPorts::OpenFileDialog(const FileDialogRequest& request) {
  if (!hooks_.choose_file) return std::nullopt;
  return hooks_.choose_file(request);
}

void HeadlessPorts::SetClipboardText(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  clipboard_ = text;
}

void HeadlessPorts::Navigate(const std::string& browser, const std::string& url) {
  if (hooks_.on_navigate) hooks_.on_navigate(browser, url);
}

void HeadlessPorts::SetBrowserUserAgent(const std::string&, const std::string&) {}

void HeadlessPorts::BindClock(const std::string& name, Handler handler) {
  schedule_.Bind(name, std::move(handler));
  Wake();
}

void HeadlessPorts::StartClock(const std::string& name, std::int64_t period_ms) {
  schedule_.Start(name, period_ms, NowMs());
  Wake();
}

void HeadlessPorts::StopClock(const std::string& name) {
  schedule_.Stop(name);
  Wake();
}

bool HeadlessPorts::ClockRunning(const std::string& name) const { return schedule_.Running(name); }

void HeadlessPorts::Post(std::function<void()> work) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) return;  // dropped: nothing will run it any more
    work_.push_back(std::move(work));
    ++wakes_;
  }
  wake_.notify_all();
}

bool HeadlessPorts::OnUiThread() const { return std::this_thread::get_id() == loop_id_; }

std::int64_t HeadlessPorts::NowMs() const { return platform::monotonic_ms(); }

std::int64_t HeadlessPorts::UnixSeconds() const {
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

void HeadlessPorts::Delay(std::int64_t ms) {
  const std::int64_t deadline = NowMs() + std::max<std::int64_t>(0, ms);
  if (OnUiThread()) {
    RunUntil(deadline);
    return;
  }
  // A worker just waits; stopping the ports ends the wait early so shutdown never hangs.
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    const std::int64_t left = deadline - NowMs();
    if (left <= 0) return;
    wake_.wait_for(lock, std::chrono::milliseconds(left));
  }
}

}  // namespace brindle
