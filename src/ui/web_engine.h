// What the embedded browser needs from the process before the QApplication exists.
#pragma once

#include <string>

namespace brindle::ui {

// True when this build carries the web engine (Qt WebEngine); without it the browsers are
// fallbacks that offer their page to the system's browser.
bool WebEngineBuilt();

// Call once before the QApplication is created. Chromium refuses to start as root with its
// sandbox: only then the sandbox is turned off (QTWEBENGINE_DISABLE_SANDBOX), and a line on
// standard error says so; a sandbox setting made by the person is left alone. Also shares the
// OpenGL contexts as the engine wants and keeps the engine's start-up report out of the log
// unless QT_LOGGING_RULES asks for it. Returns the line written to standard error (empty if
// none). Does nothing in a build without the engine.
std::string PrepareWebEngine();

}  // namespace brindle::ui
