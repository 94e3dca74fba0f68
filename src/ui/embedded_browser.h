// An embedded web browser of the window (浏览框EX1, 浏览框EX2). The engine (Qt WebEngine, loaded
// as a module by the BrowserHost) starts only when the browser is on screen and has been asked
// for a page, so a program that never shows the forum page never pays for it; until then the
// browser remembers the page and the user agent it was given. Without an engine the browser shows
// the fallback that offers the page to the system's browser.
#pragma once

#include <QUrl>
#include <QWidget>

namespace brindle::ui {

class BrowserHost;
class BrowserPlaceholder;

class EmbeddedBrowser : public QWidget {
  Q_OBJECT
 public:
  EmbeddedBrowser(const QString& heading, QWidget* parent = nullptr);
  ~EmbeddedBrowser() override;

  // Where the engine comes from; set before the browser starts.
  void SetHost(BrowserHost* host) { host_ = host; }
  // This browser's agent is also the profile's (the forum browser: pages read it from script).
  void SetAgentIsProfiles(bool yes) { agent_is_profiles_ = yes; }

  void Navigate(const QUrl& url);
  // Every request of this browser carries `agent`.
  void SetUserAgent(const QString& agent);
  QUrl RequestedUrl() const { return requested_; }
  QString UserAgent() const { return agent_; }

  // The engine's view (a QWebEngineView): nullptr until the browser started.
  QWidget* View() const { return view_; }
  bool HasEngine() const { return view_ != nullptr; }
  // The fallback, shown when there is no engine; else nullptr.
  BrowserPlaceholder* Placeholder() const { return placeholder_; }

  // Ends the engine's page; the engine may go after this.
  void Stop();

 signals:
  void EngineStarted();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void StartIfWanted();
  void ShowStandIn();

  BrowserHost* host_ = nullptr;
  QString heading_;
  BrowserPlaceholder* placeholder_ = nullptr;
  QWidget* view_ = nullptr;
  QUrl requested_;
  QString agent_;
  bool agent_is_profiles_ = false;
};

}  // namespace brindle::ui
