#include "ui/web_engine.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <cstdio>

#include "platform/platform.h"

#if defined(BRINDLE_WEB_ENGINE) && defined(__SANITIZE_ADDRESS__)
// The engine (Chromium inside Qt WebEngine, not built for the sanitizer) frees some objects
// through a base of another size and keeps a few allocations until the process ends. Neither is
// ours. Any program that prepares the engine (the window, the window's tests) gets these
// defaults; ASAN_OPTIONS and LSAN_OPTIONS still add to them.
extern "C" const char* __asan_default_options() { return "new_delete_type_mismatch=0"; }
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libQt6WebEngineCore.so.6\n"
         "leak:libfontconfig.so.1\n";
}
#endif

namespace brindle::ui {

bool WebEngineBuilt() {
#ifdef BRINDLE_WEB_ENGINE
  return true;
#else
  return false;
#endif
}

std::string PrepareWebEngine() {
#ifdef BRINDLE_WEB_ENGINE
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  // The engine writes its graphics set-up as information at every start.
  if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES")) {
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
  }
  std::string said;
  if (platform::running_as_root() && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    said = "brindle: running as root: the embedded browser runs without Chromium's sandbox\n";
    std::fputs(said.c_str(), stderr);
  }
  return said;
#else
  return {};
#endif
}

}  // namespace brindle::ui
