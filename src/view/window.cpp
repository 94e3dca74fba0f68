#include "view/window.h"

#include <condition_variable>
#include <limits>
#include <utility>

#include "foundation/encoding.h"

namespace brindle {

std::int64_t pump_unit_ms(int unit) {
  switch (unit) {
    case 0:
      return 1;
    case 1:
      return 1000;
    case 2:
      return 60000;
    case 3:
      return 3600000;
    default:
      return 0;
  }
}

Window::Window(PersonPort& person, ClockPort& clock)
    : person_(person),
      clock_(clock),
      server_list_(server_list_columns()),
      favourites_(favourites_columns()),
      players_(player_list_columns()),
      resources_(resource_list_columns()),
      download_queue_(download_queue_columns()),
      extract_queue_(extract_queue_columns()) {
  clock_.BindClock(names::kClockStatusClear, [this] { OnStatusClock(); });
}

Window::~Window() {
  clock_.StopClock(names::kClockStatusClear);
  clock_.BindClock(names::kClockStatusClear, nullptr);
}

ListModel* Window::list(std::string_view name) {
  if (name == names::kServerList) return &server_list_;
  if (name == names::kFavouritesList) return &favourites_;
  if (name == names::kPlayerList) return &players_;
  if (name == names::kResourceList) return &resources_;
  if (name == names::kDownloadQueue) return &download_queue_;
  if (name == names::kExtractQueue) return &extract_queue_;
  return nullptr;
}

void Window::ShowStatus(const std::string& text, int seconds) {
  {
    std::lock_guard<std::mutex> lock(status_mutex_);
    status_expiry_ = clock_.UnixSeconds() + seconds;
    controls_.SetCaption(names::kStatusLine, text);
  }
  if (!clock_.ClockRunning(names::kClockStatusClear)) StartClock(names::kClockStatusClear);
}

void Window::ClearStatus() {
  std::lock_guard<std::mutex> lock(status_mutex_);
  controls_.SetCaption(names::kStatusLine, std::string());
}

std::int64_t Window::StatusExpiry() const {
  std::lock_guard<std::mutex> lock(status_mutex_);
  return status_expiry_;
}

void Window::OnStatusClock() {
  bool empty = false;
  {
    std::lock_guard<std::mutex> lock(status_mutex_);
    if (controls_.Caption(names::kStatusLine).empty()) {
      empty = true;
    } else if (clock_.UnixSeconds() >= status_expiry_) {
      controls_.SetCaption(names::kStatusLine, std::string());
      empty = true;
    }
  }
  // Nothing left to clear: rest until the next ShowStatus starts the clock again. A status shown
  // by a worker in between finds the clock stopped and restarts it.
  if (empty) {
    clock_.StopClock(names::kClockStatusClear);
    std::lock_guard<std::mutex> lock(status_mutex_);
    if (!controls_.Caption(names::kStatusLine).empty()) StartClock(names::kClockStatusClear);
  }
}

void Window::ShowNotice(const std::string& text) { person_.Notice(text); }

int Window::MessageBox(const std::string& title, const std::string& text,
                       const std::string& buttons) {
  return person_.MessageBox(title, text, buttons);
}

bool Window::PumpDelay(std::int64_t count, int unit) {
  const std::int64_t unit_ms = pump_unit_ms(unit);
  if (unit_ms == 0 || count < 0) return false;
  constexpr std::int64_t kCap = std::int64_t{1} << 31;
  const std::int64_t ms = count > kCap / unit_ms ? kCap : count * unit_ms;
  clock_.Delay(ms);
  return true;
}

bool Window::RequireInitialised(bool initialised) {
  if (initialised) return true;
  ShowNotice(gbk("正在初始化..."));
  return false;
}

bool Window::SelectPage(int page) {
  if (page < 0 || page >= names::kPageCount) return false;
  controls_.SetValue(names::kPages, page);
  return true;
}

int Window::CurrentPage() const { return controls_.Value(names::kPages); }

void Window::Bind(const std::string& action, Action handler) {
  std::lock_guard<std::mutex> lock(actions_mutex_);
  if (handler) {
    actions_[action] = std::make_shared<Action>(std::move(handler));
  } else {
    actions_.erase(action);
  }
}

bool Window::Activate(std::string_view action) {
  std::shared_ptr<Action> handler;
  {
    std::lock_guard<std::mutex> lock(actions_mutex_);
    const auto it = actions_.find(action);
    if (it == actions_.end()) return false;
    handler = it->second;
  }
  (*handler)();
  return true;
}

bool Window::HasAction(std::string_view action) const {
  std::lock_guard<std::mutex> lock(actions_mutex_);
  return actions_.find(action) != actions_.end();
}

void Window::RunOnUi(const std::function<void()>& work) {
  if (clock_.OnUiThread()) {
    work();
    return;
  }
  struct Done {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
  };
  // Signals on destruction, so a port that drops the work (a stopped loop) still releases us.
  struct Signal {
    std::shared_ptr<Done> done;
    ~Signal() {
      std::lock_guard<std::mutex> lock(done->mutex);
      done->done = true;
      done->cv.notify_all();
    }
  };
  auto done = std::make_shared<Done>();
  auto signal = std::make_shared<Signal>();
  signal->done = done;
  clock_.Post([&work, signal]() mutable {
    work();
    signal.reset();
  });
  signal.reset();
  std::unique_lock<std::mutex> lock(done->mutex);
  done->cv.wait(lock, [&] { return done->done; });
}

void Window::StartClock(const std::string& name) {
  clock_.StartClock(name, names::clock_period_ms(name));
}

void Window::SetCloseGuard(std::function<bool()> guard) {
  std::lock_guard lock(close_guard_mutex_);
  close_guard_ = guard ? std::make_shared<std::function<bool()>>(std::move(guard)) : nullptr;
}

bool Window::MayClose() {
  std::shared_ptr<std::function<bool()>> guard;
  {
    std::lock_guard lock(close_guard_mutex_);
    guard = close_guard_;
  }
  return guard == nullptr || (*guard)();
}

}  // namespace brindle
