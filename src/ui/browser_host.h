// The window's side of the browser engine: finds and loads the engine module (libbrindle_web.so
// beside the program) the first time a browser needs it, and hands it the profile folder, the
// forum's user agent and the HTTP client's certificate settings. Without the module (a build
// without Qt WebEngine, or the file missing) the browsers fall back to a page offering the system
// browser. GUI thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

#include "ui/web/browser_engine.h"

namespace brindle::ui {

// The profile's folder under the program folder.
inline constexpr const char* kBrowserFolder = "qdata/miniblink";

class BrowserHost {
 public:
  BrowserHost();
  ~BrowserHost();
  BrowserHost(const BrowserHost&) = delete;
  BrowserHost& operator=(const BrowserHost&) = delete;

  // Where the profile lives; only before the engine made its profile.
  void SetFolder(const QString& folder);
  QString Folder() const { return folder_; }
  void SetProfileAgent(const QString& agent);
  // Where the module is looked for, in order (a file name without "lib" and ".so" works too).
  // Default: beside the program, then the build's own copy (for the build's tests).
  void SetModulePlaces(const QStringList& places) { places_ = places; }

  // The engine, loading the module on the first call; nullptr when there is none (Error() says
  // why). Later calls do not try again.
  BrowserEngine* Engine();
  // The engine if it was loaded already, without loading it.
  BrowserEngine* Loaded() const { return engine_.get(); }
  const QString& Error() const { return error_; }

 private:
  QString folder_;
  QString agent_;
  QStringList places_;
  std::unique_ptr<BrowserEngine> engine_;
  bool tried_ = false;
  QString error_;
};

}  // namespace brindle::ui
