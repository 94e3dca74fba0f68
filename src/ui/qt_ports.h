// The person and clock ports on Qt: notices, message boxes, file dialogs, the clipboard and the
// embedded browsers go to the main window; named clocks are QTimers on the GUI thread.
//
// Anything may be called from any thread. A question asked from a worker (message box, file
// dialog) is posted to the GUI thread and the worker waits for the answer; at shutdown every
// waiting worker is released with "closed" so nothing hangs on a window that is gone.
#pragma once

#include <QObject>
#include <QPointer>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "view/ports.h"

class QTimer;

namespace brindle::ui {

class MainWindow;

class QtPorts final : public QObject, public PersonPort, public ClockPort {
  Q_OBJECT
 public:
  // Construct on the GUI thread, after the QApplication. The design's clocks exist from here on
  // as stopped QTimers named after them.
  explicit QtPorts(QObject* parent = nullptr);
  ~QtPorts() override;

  // The window that shows notices and browsers and owns the boxes. Until one is attached,
  // notices are dropped and boxes have no owner.
  void AttachWindow(MainWindow* window);

  // Releases every worker waiting for an answer (boxes answer -1, file dialogs nothing) and
  // answers later questions the same way at once. Clocks stop.
  void Shutdown();
  bool ShuttingDown() const;

  // The timer behind a clock, nullptr before the clock was first named. GUI thread.
  QTimer* Timer(const std::string& name) const;
  // Questions posted by workers and not answered yet.
  int PendingQuestions() const;

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
  struct Question;
  struct Clock {
    QTimer* timer = nullptr;  // GUI thread only
    std::shared_ptr<Handler> handler;
    bool running = false;
    bool firing = false;
    std::int64_t period_ms = 0;
  };

  // Runs `ask` on the GUI thread and returns its answer, or `refused` once shutting down.
  template <typename R>
  R Ask(std::function<R()> ask, R refused);
  // Brings the QTimer in line with the clock's wanted state. GUI thread.
  void SyncClock(const std::string& name);
  void Fire(const std::string& name);
  // Runs `work` on the GUI thread: at once when already there, else posted.
  void OnGui(std::function<void()> work);
  // Runs the oldest posted work. Each item gets its own turn of the event loop, so work posted
  // while an earlier item waits (a box, a delay) still runs inside that wait.
  Q_INVOKABLE void RunPosted();

  QPointer<MainWindow> window_;

  // Work for the GUI thread. Handed over under our own lock rather than inside Qt's event, so
  // the hand-over is plain to see for race checkers too.
  std::mutex posted_mutex_;
  std::deque<std::function<void()>> posted_;
  bool run_scheduled_ = false;

  mutable std::mutex clocks_mutex_;
  std::map<std::string, Clock> clocks_;

  mutable std::mutex questions_mutex_;
  bool shutting_down_ = false;
  std::uint64_t next_question_ = 0;
  std::map<std::uint64_t, std::shared_ptr<Question>> questions_;
};

}  // namespace brindle::ui
