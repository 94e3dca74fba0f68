// The embedded browser's engine (Qt WebEngine) as the window sees it. The engine is a module of
// its own (libbrindle_web.so) that the window loads when a browser first shows a page, so the
// program's start never loads Chromium; this header is all the window knows of it, and it needs
// only Qt Core and Widgets. GUI thread only.
#pragma once

#include <QString>
#include <QUrl>
#include <functional>

class QObject;
class QWidget;

namespace brindle::ui {

// What the HTTP client trusts, handed to the engine so both check certificates alike.
struct BrowserTrust {
  QString ca_file;  // PEM of extra certificates to trust; empty: none
  bool tls_verify = true;
};

class BrowserEngine {
 public:
  virtual ~BrowserEngine() = default;

  // The profile both browsers share (web/browser_storage.h): its folder and the agent pages read
  // from script. Set the folder before the first view.
  virtual void SetFolder(const QString& folder) = 0;
  virtual void SetProfileAgent(const QString& agent) = 0;
  // Asked whenever a certificate does not verify.
  virtual void SetTrust(std::function<BrowserTrust()> trust) = 0;
  // The profile's QObject (a BrowserStorage), nullptr before the first view.
  virtual QObject* Storage() = 0;

  // A view (a QWebEngineView) whose requests carry `agent`; the profile is made with the first.
  virtual QWidget* CreateView(QWidget* parent, const QString& agent) = 0;
  virtual void Load(QWidget* view, const QUrl& url) = 0;
  virtual void SetAgent(QWidget* view, const QString& agent) = 0;
};

}  // namespace brindle::ui

// The module's one entry point: a new engine, owned by the caller.
extern "C" brindle::ui::BrowserEngine* brindle_create_browser_engine();
inline constexpr const char* kBrowserEngineEntry = "brindle_create_browser_engine";
