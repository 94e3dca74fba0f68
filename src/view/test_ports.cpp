#include "view/test_ports.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <utility>

namespace brindle {

TestPorts::TestPorts(std::int64_t unix_start)
    : ui_thread_(std::this_thread::get_id()), unix_start_(unix_start) {}

TestPorts::~TestPorts() = default;

// ---- Time
// ----------------------------------------------------------------------------------------

void TestPorts::SetNow(std::int64_t now_ms) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    now_ms_ = std::max(now_ms_, now_ms);  // time never runs backwards, even after nested delays
  }
  changed_.notify_all();
}

bool TestPorts::RunOnePosted() {
  std::function<void()> job;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (work_.empty()) return false;
    job = std::move(work_.front());
    work_.pop_front();
  }
  job();
  return true;
}

void TestPorts::RunPending() {
  while (RunOnePosted()) {
  }
}

std::size_t TestPorts::PendingWork() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return work_.size();
}

void TestPorts::Advance(std::int64_t ms) {
  const std::int64_t target = NowMs() + std::max<std::int64_t>(0, ms);
  RunPending();
  while (auto tick = schedule_.TakeDue(target, false)) {
    SetNow(tick->due_ms);
    if (tick->handler && *tick->handler) (*tick->handler)();
    schedule_.Done(tick->name);
    RunPending();
  }
  SetNow(target);
  RunPending();
}

// ---- Message boxes
// -------------------------------------------------------------------------------

void TestPorts::ScriptAnswer(int index) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!waiting_.empty()) {
      std::shared_ptr<WaitingBox> box = waiting_.front();
      waiting_.pop_front();
      box->box.answer = index;
      box->box.scripted = true;
      box->answered = true;
      boxes_.push_back(box->box);
    } else {
      box_script_.push_back(index);
    }
  }
  changed_.notify_all();
}

void TestPorts::SetUnscriptedAnswer(int index) {
  std::lock_guard<std::mutex> lock(mutex_);
  unscripted_answer_ = index;
}

std::optional<TestPorts::AskedBox> TestPorts::WaitForWaitingBox(std::int64_t safety_ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!changed_.wait_for(lock, std::chrono::milliseconds(safety_ms),
                         [&] { return !waiting_.empty(); })) {
    return std::nullopt;
  }
  return waiting_.front()->box;
}

bool TestPorts::Answer(int index) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (waiting_.empty()) return false;
    std::shared_ptr<WaitingBox> box = waiting_.front();
    waiting_.pop_front();
    box->box.answer = index;
    box->box.scripted = true;
    box->answered = true;
    boxes_.push_back(box->box);
  }
  changed_.notify_all();
  return true;
}

std::vector<TestPorts::AskedBox> TestPorts::Boxes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return boxes_;
}

int TestPorts::MessageBox(const std::string& title, const std::string& text,
                          const std::string& buttons) {
  std::unique_lock<std::mutex> lock(mutex_);
  AskedBox asked{title, text, buttons, -1, false};
  if (!box_script_.empty()) {
    asked.answer = box_script_.front();
    asked.scripted = true;
    box_script_.pop_front();
    boxes_.push_back(asked);
    return asked.answer;
  }
  if (std::this_thread::get_id() == ui_thread_) {
    // Nobody else could answer: blocking here would hang the test.
    asked.answer = unscripted_answer_;
    boxes_.push_back(asked);
    return asked.answer;
  }
  auto waiting = std::make_shared<WaitingBox>();
  waiting->box = asked;
  waiting_.push_back(waiting);
  changed_.notify_all();
  changed_.wait(lock, [&] { return waiting->answered; });
  return waiting->box.answer;
}

// ---- File dialogs
// --------------------------------------------------------------------------------

void TestPorts::ScriptFile(std::optional<std::string> path) {
  std::lock_guard<std::mutex> lock(mutex_);
  file_script_.push_back(std::move(path));
}

std::vector<FileDialogRequest> TestPorts::FileDialogs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return file_dialogs_;
}

std::optional<std::string> TestPorts::OpenFileDialog(const FileDialogRequest& request) {
  std::lock_guard<std::mutex> lock(mutex_);
  file_dialogs_.push_back(request);
  if (file_script_.empty()) return std::nullopt;
  std::optional<std::string> path = std::move(file_script_.front());
  file_script_.pop_front();
  return path;
}

// ---- What the person saw
// -------------------------------------------------------------------------

void TestPorts::Notice(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  notices_.push_back(text);
}

std::vector<std::string> TestPorts::Notices() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return notices_;
}

void TestPorts::SetClipboardText(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  clipboard_ = text;
}

std::string TestPorts::Clipboard() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return clipboard_;
}

void TestPorts::Navigate(const std::string& browser, const std::string& url) {
  std::lock_guard<std::mutex> lock(mutex_);
  navigations_.emplace_back(browser, url);
}

std::vector<std::pair<std::string, std::string>> TestPorts::Navigations() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return navigations_;
}

void TestPorts::SetBrowserUserAgent(const std::string& browser, const std::string& user_agent) {
  std::lock_guard<std::mutex> lock(mutex_);
  user_agents_[browser] = user_agent;
}

std::string TestPorts::UserAgent(const std::string& browser) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = user_agents_.find(browser);
  return it == user_agents_.end() ? std::string() : it->second;
}

void TestPorts::ClearBrowserCookies() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++cookie_clears_;
}

int TestPorts::BrowserCookieClears() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return cookie_clears_;
}

// ---- Clock port
// ----------------------------------------------------------------------------------

void TestPorts::BindClock(const std::string& name, Handler handler) {
  schedule_.Bind(name, std::move(handler));
}

void TestPorts::StartClock(const std::string& name, std::int64_t period_ms) {
  schedule_.Start(name, period_ms, NowMs());
}

void TestPorts::StopClock(const std::string& name) { schedule_.Stop(name); }

bool TestPorts::ClockRunning(const std::string& name) const { return schedule_.Running(name); }

void TestPorts::Post(std::function<void()> work) {
  std::lock_guard<std::mutex> lock(mutex_);
  work_.push_back(std::move(work));
}

bool TestPorts::OnUiThread() const { return std::this_thread::get_id() == ui_thread_; }

std::int64_t TestPorts::NowMs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return now_ms_;
}

std::int64_t TestPorts::UnixSeconds() const { return unix_start_ + NowMs() / 1000; }

void TestPorts::Delay(std::int64_t ms) {
  if (OnUiThread()) {
    Advance(ms);
    return;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  const std::int64_t until = now_ms_ + std::max<std::int64_t>(0, ms);
  const auto mine = delay_deadlines_.insert(until);
  changed_.wait(lock, [&] { return now_ms_ >= until; });
  delay_deadlines_.erase(mine);
}

int TestPorts::DelayedWorkers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(
      std::distance(delay_deadlines_.upper_bound(now_ms_), delay_deadlines_.end()));
}

// ---- TestWindow
// ----------------------------------------------------------------------------------

TestWindow::TestWindow(std::int64_t unix_start) : ports_(unix_start), window_(ports_, ports_) {
  window_.controls().SetObserver([this](const std::string& name, const ControlState& state) {
    if (name != names::kStatusLine) return;
    std::lock_guard<std::mutex> lock(mutex_);
    statuses_.push_back(state.caption);
  });
}

std::vector<std::string> TestWindow::Statuses() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return statuses_;
}

}  // namespace brindle
