// Process entry of the windowed program: the Qt application, the ports, the window model and the
// main window, then the program core's start-up, then the event loop until the window closes.
//
// --exit-after-init quits as soon as the main window is up and initialised (benchmarks, smoke
// tests). Every other argument is the core's (--program-dir DIR, --endpoints FILE).
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "app/core.h"
#include "app/endpoints.h"
#include "program/features.h"
#include "ui/main_window.h"
#include "ui/qt_ports.h"
#include "ui/qt_text.h"
#include "ui/style.h"
#include "ui/translations.h"
#include "ui/web_engine.h"
#include "view/window.h"

namespace {

bool TakeFlag(int& argc, char** argv, const char* flag) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], flag) == 0) {
      for (int k = i; k + 1 < argc; ++k) argv[k] = argv[k + 1];
      --argc;
      return true;
    }
  }
  return false;
}

// Quits the application once the window has painted its first frame and `ready` holds.
class ExitWhenReady : public QObject {
 public:
  ExitWhenReady(QWidget* window, std::function<bool()> ready)
      : QObject(window), ready_(std::move(ready)) {
    window->installEventFilter(this);
    poll_.setInterval(5);
    connect(&poll_, &QTimer::timeout, this, &ExitWhenReady::Check);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !painted_) {
      painted_ = true;
      // Leave the paint first; quit from the loop.
      QTimer::singleShot(0, this, &ExitWhenReady::Check);
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  void Check() {
    if (painted_ && ready_()) {
      QCoreApplication::quit();
    } else if (!poll_.isActive()) {
      poll_.start();
    }
  }
  std::function<bool()> ready_;
  QTimer poll_;
  bool painted_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  const bool exit_after_init = TakeFlag(argc, argv, "--exit-after-init");

  // The forum page's browser engine is set up before the application exists (it starts later,
  // when the page is first shown).
  brindle::ui::PrepareWebEngine();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("brindle"));
  brindle::ui::ApplyStyle(app);
  (void)brindle::ui::LoadQtTranslations(app);  // without the files Qt's texts stay English

  brindle::ui::QtPorts ports;
  brindle::Window window(ports, ports);
  brindle::ui::MainWindow main_window;
  ports.AttachWindow(&main_window);
  brindle::AppState state;
  main_window.Bind(window, [&state] { return state.initialised.load(); });

  // ---- Program core start-up -------------------------------------------------------------------
  brindle::CommandLine command_line = brindle::ParseCommandLine(argc, argv);
  if (!command_line.error.empty()) {
    std::fprintf(stderr, "brindle: %s\n", command_line.error.c_str());
    return 2;
  }
  brindle::Core core(state, window);
  int exit_code = 0;
  if (!brindle::StartProgram(core, command_line, exit_code)) {
    // A missing component was reported in a message box (or the endpoints file is unreadable).
    ports.Shutdown();
    main_window.Unbind();
    return exit_code;
  }
  const bool core_started = true;
  // The folders exist now: the browsers keep their profile under the program folder.
  main_window.SetProgramFolder(brindle::ui::FromGbk(state.program_dir));
  // ----------------------------------------------------------------------------------------------

  main_window.show();
  if (exit_after_init) {
    new ExitWhenReady(&main_window,
                      [core_started, &state] { return !core_started || state.initialised.load(); });
  }
  const int rc = QApplication::exec();
  // Workers may be waiting on a question to the person: the ports answer them before the core
  // joins its workers.
  ports.Shutdown();
  core.workers().StopAndJoin();
  main_window.Unbind();
  return rc;
}
