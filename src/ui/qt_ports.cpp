#include "ui/qt_ports.h"

#include <QApplication>
#include <QClipboard>
#include <QEventLoop>
#include <QFileDialog>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <thread>

#include "ui/embedded_browser.h"
#include "ui/main_window.h"
#include "ui/message_box.h"
#include "ui/notice_window.h"
#include "ui/qt_text.h"
#include "ui/widgets.h"
#include "view/control_names.h"

namespace brindle::ui {

// One question a worker waits on. Answered once: by the GUI, or by Shutdown, whichever is first.
struct QtPorts::Question {
  std::mutex mutex;
  std::condition_variable cv;
  bool answered = false;
  std::function<void()> refuse;  // stores the refusal answer; set by Ask

  template <typename R>
  void Answer(std::optional<R>& slot, R value) {
    std::lock_guard lock(mutex);
    if (answered) return;
    slot = std::move(value);
    answered = true;
    cv.notify_all();
  }
};

QtPorts::QtPorts(QObject* parent) : QObject(parent) {
  for (const names::ClockInfo& info : names::clocks()) {
    auto* timer = new QTimer(this);
    timer->setObjectName(QString::fromUtf8(info.name));
    timer->setInterval(static_cast<int>(info.period_ms));
    const std::string name = info.name;
    connect(timer, &QTimer::timeout, this, [this, name] { Fire(name); });
    Clock clock;
    clock.timer = timer;
    clock.period_ms = info.period_ms;
    clocks_.emplace(name, std::move(clock));
  }
}

QtPorts::~QtPorts() { Shutdown(); }

void QtPorts::AttachWindow(MainWindow* window) { window_ = window; }

void QtPorts::Shutdown() {
  std::map<std::uint64_t, std::shared_ptr<Question>> waiting;
  {
    std::lock_guard lock(questions_mutex_);
    shutting_down_ = true;
    waiting.swap(questions_);
  }
  for (auto& [id, q] : waiting) q->refuse();
  if (OnUiThread()) {
    std::lock_guard lock(clocks_mutex_);
    for (auto& [name, clock] : clocks_) {
      clock.running = false;
      if (clock.timer != nullptr) clock.timer->stop();
    }
  }
}

bool QtPorts::ShuttingDown() const {
  std::lock_guard lock(questions_mutex_);
  return shutting_down_;
}

int QtPorts::PendingQuestions() const {
  std::lock_guard lock(questions_mutex_);
  return static_cast<int>(questions_.size());
}

template <typename R>
R QtPorts::Ask(std::function<R()> ask, R refused) {
  if (OnUiThread()) return ShuttingDown() ? refused : ask();
  auto question = std::make_shared<Question>();
  auto slot = std::make_shared<std::optional<R>>();
  question->refuse = [question_ptr = question.get(), slot, refused] {
    question_ptr->Answer(*slot, refused);
  };
  std::uint64_t id = 0;
  {
    std::lock_guard lock(questions_mutex_);
    if (shutting_down_) return refused;
    id = ++next_question_;
    questions_.emplace(id, question);
  }
  Post([this, question, slot, ask = std::move(ask), refused] {
    const bool closing = ShuttingDown();
    question->Answer(*slot, closing ? refused : ask());
  });
  R answer;
  {
    std::unique_lock lock(question->mutex);
    question->cv.wait(lock, [&] { return question->answered; });
    answer = **slot;
  }
  std::lock_guard lock(questions_mutex_);
  questions_.erase(id);
  return answer;
}

void QtPorts::OnGui(std::function<void()> work) {
  if (OnUiThread()) {
    work();
  } else {
    Post(std::move(work));
  }
}

void QtPorts::Notice(const std::string& text) {
  OnGui([this, text] {
    if (window_ != nullptr) window_->Notice()->Show(FromGbk(text));
  });
}

int QtPorts::MessageBox(const std::string& title, const std::string& text,
                        const std::string& buttons) {
  return Ask<int>(
      [this, title, text, buttons] {
        QStringList labels;
        for (const std::string& b : split_buttons(buttons)) labels << FromGbk(b);
        return RunMessageBox(window_, FromGbk(title), FromGbk(text), labels);
      },
      kMessageBoxClosed);
}

std::optional<std::string> QtPorts::OpenFileDialog(const FileDialogRequest& request) {
  return Ask<std::optional<std::string>>(
      [this, request]() -> std::optional<std::string> {
        QFileDialog dialog(window_, FromGbk(request.title));
        dialog.setObjectName(QString::fromUtf8(request.dialog.c_str()));
        dialog.setFileMode(QFileDialog::ExistingFile);
        if (!request.filter.empty()) dialog.setNameFilter(FromGbk(request.filter));
        if (!request.initial.empty()) dialog.selectFile(FromGbk(request.initial));
        CentreOver(&dialog, window_);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
          return std::nullopt;
        }
        return ToGbk(dialog.selectedFiles().front());
      },
      std::nullopt);
}

void QtPorts::SetClipboardText(const std::string& text) {
  OnGui([text] {
    if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(FromGbk(text));
  });
}

void QtPorts::Navigate(const std::string& browser, const std::string& url) {
  OnGui([this, browser, url] {
    if (window_ == nullptr) return;
    if (auto* b = window_->ControlAs<EmbeddedBrowser>(browser)) {
      b->Navigate(QUrl(FromGbk(url)));
    }
  });
}

void QtPorts::SetBrowserUserAgent(const std::string& browser, const std::string& user_agent) {
  OnGui([this, browser, user_agent] {
    if (window_ == nullptr) return;
    if (auto* b = window_->ControlAs<EmbeddedBrowser>(browser)) {
      b->SetUserAgent(FromGbk(user_agent));
    }
  });
}

// ---- Clocks ---------------------------------------------------------------------------------

QTimer* QtPorts::Timer(const std::string& name) const {
  std::lock_guard lock(clocks_mutex_);
  const auto it = clocks_.find(name);
  return it == clocks_.end() ? nullptr : it->second.timer;
}

void QtPorts::BindClock(const std::string& name, Handler handler) {
  std::lock_guard lock(clocks_mutex_);
  Clock& clock = clocks_[name];
  clock.handler = handler ? std::make_shared<Handler>(std::move(handler)) : nullptr;
}

void QtPorts::StartClock(const std::string& name, std::int64_t period_ms) {
  {
    std::lock_guard lock(clocks_mutex_);
    Clock& clock = clocks_[name];
    clock.running = period_ms > 0;
    if (period_ms > 0) clock.period_ms = period_ms;
  }
  OnGui([this, name] { SyncClock(name); });
}

void QtPorts::StopClock(const std::string& name) {
  {
    std::lock_guard lock(clocks_mutex_);
    const auto it = clocks_.find(name);
    if (it == clocks_.end()) return;
    it->second.running = false;
  }
  OnGui([this, name] { SyncClock(name); });
}

bool QtPorts::ClockRunning(const std::string& name) const {
  std::lock_guard lock(clocks_mutex_);
  const auto it = clocks_.find(name);
  return it != clocks_.end() && it->second.running;
}

void QtPorts::SyncClock(const std::string& name) {
  QTimer* timer = nullptr;
  bool running = false;
  std::int64_t period = 0;
  {
    std::lock_guard lock(clocks_mutex_);
    Clock& clock = clocks_[name];
    if (clock.timer == nullptr) {
      clock.timer = new QTimer(this);
      clock.timer->setObjectName(QString::fromUtf8(name.c_str()));
      connect(clock.timer, &QTimer::timeout, this, [this, name] { Fire(name); });
    }
    timer = clock.timer;
    running = clock.running;
    period = clock.period_ms;
  }
  if (running) {
    // Restarting a running clock begins its period anew, as a toolkit timer does.
    timer->start(static_cast<int>(std::min<std::int64_t>(period, INT32_MAX)));
  } else {
    timer->stop();
  }
}

void QtPorts::Fire(const std::string& name) {
  std::shared_ptr<Handler> handler;
  {
    std::lock_guard lock(clocks_mutex_);
    const auto it = clocks_.find(name);
    if (it == clocks_.end()) return;
    Clock& clock = it->second;
    // A handler that waits (a box, a pump delay) runs the event loop; its clock must not fire
    // into it again.
    if (!clock.running || clock.firing || !clock.handler) return;
    clock.firing = true;
    handler = clock.handler;
  }
  (*handler)();
  std::lock_guard lock(clocks_mutex_);
  clocks_[name].firing = false;
}

void QtPorts::Post(std::function<void()> work) {
  {
    std::lock_guard lock(posted_mutex_);
    posted_.push_back(std::move(work));
    if (run_scheduled_) return;
    run_scheduled_ = true;
  }
  QMetaObject::invokeMethod(this, "RunPosted", Qt::QueuedConnection);
}

void QtPorts::RunPosted() {
  std::function<void()> work;
  bool more = false;
  {
    std::lock_guard lock(posted_mutex_);
    if (posted_.empty()) {
      run_scheduled_ = false;
      return;
    }
    work = std::move(posted_.front());
    posted_.pop_front();
    more = !posted_.empty();
    run_scheduled_ = more;
  }
  if (more) QMetaObject::invokeMethod(this, "RunPosted", Qt::QueuedConnection);
  work();
}

bool QtPorts::OnUiThread() const { return QThread::currentThread() == thread(); }

std::int64_t QtPorts::NowMs() const {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::int64_t QtPorts::UnixSeconds() const {
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

void QtPorts::Delay(std::int64_t ms) {
  if (ms <= 0) return;
  if (!OnUiThread()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return;
  }
  // The window keeps painting and clocks keep ticking while we wait.
  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(std::min<std::int64_t>(ms, INT32_MAX)), &loop,
                     &QEventLoop::quit);
  loop.exec();
}

}  // namespace brindle::ui
