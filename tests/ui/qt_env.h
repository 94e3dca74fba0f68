// One offscreen QApplication for a UI test program, styled and prepared for the browser engine as
// the real program is.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>

#include "ui/style.h"
#include "ui/web_engine.h"

#if defined(__SANITIZE_THREAD__)
// Qt here is not built with ThreadSanitizer: its futex-based locks, event queue and thread pool
// hand over data in ways the checker cannot see. Ignore what Qt's own code does; our code's
// accesses stay checked (cross-thread hand-overs of ours go through std::mutex). The browser
// engine (Chromium) is the same, and larger: its threads use libraries of their own (libevent,
// libudev) and run the inline string code compiled into our test program, so everything it
// calls from its own code is ignored as a whole.
extern "C" const char* __tsan_default_options() { return "ignore_noninstrumented_modules=1"; }
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libQt6Core.so.6\n"
         "called_from_lib:libQt6Gui.so.6\n"
         "called_from_lib:libQt6Widgets.so.6\n"
         "race_top:libQt6Core.so.6\n"
         "race_top:libQt6Gui.so.6\n"
         "race_top:libQt6Widgets.so.6\n"
         "called_from_lib:libQt6WebEngineCore.so.6\n"
         "called_from_lib:libQt6WebEngineWidgets.so.6\n"
         "race:libQt6WebEngineCore.so.6\n"
         "deadlock:libQt6WebEngineCore.so.6\n"
         "thread:libQt6WebEngineCore.so.6\n"
         "signal:libQt6WebEngineCore.so.6\n";
}
#endif

namespace brindle::test {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
#ifdef _WIN32
    // Wine hands no QT_ variable of the Unix environment to a Windows program: the scripts that
    // run these tests under Wine name them with a BRINDLE_ prefix instead.
    for (const char* name : {"QT_QPA_PLATFORM", "QT_QPA_FONTDIR"}) {
      const QByteArray given = qgetenv((QByteArray("BRINDLE_") + name).constData());
      if (!given.isEmpty()) qputenv(name, given);
    }
#endif
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ui::PrepareWebEngine();
    static int argc = 1;
    static char name[] = "brindle-ui-test";
    static char* argv[] = {name, nullptr};
    app_ = new QApplication(argc, argv);
    ui::ApplyStyle(*app_);
  }
  void TearDown() override {
    delete app_;
    app_ = nullptr;
  }

 private:
  QApplication* app_ = nullptr;
};

inline ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

// Runs the event loop until `done` holds; false if it never does within `limit_ms` (a guard
// against a hang, not a timing assertion).
template <typename Pred>
bool ProcessUntil(Pred done, int limit_ms = 10000) {
  QElapsedTimer elapsed;
  elapsed.start();
  while (!done()) {
    if (elapsed.elapsed() > limit_ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

}  // namespace brindle::test
