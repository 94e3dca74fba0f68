// An embedded web browser of the window (浏览框EX1, 浏览框EX2). The engine (Qt WebEngine) starts
// only when the browser is on screen and has been asked for a page, so a program that never
// shows the forum page never pays for it; until then the browser remembers the page and the user
// agent it was given. A build without the engine shows the stand-in that offers the page to the
// system's browser.
#pragma once

#include <QUrl>
#include <QWidget>

class QWebEngineView;

namespace brindle::ui {

class BrowserPlaceholder;
class BrowserStorage;

class EmbeddedBrowser : public QWidget {
  Q_OBJECT
 public:
  EmbeddedBrowser(const QString& heading, QWidget* parent = nullptr);
  ~EmbeddedBrowser() override;

  // The profile the engine will use; set before the browser starts.
  void SetStorage(BrowserStorage* storage) { storage_ = storage; }
  // This browser's agent is also the profile's (the forum browser: pages read it from script).
  void SetAgentIsProfiles(bool yes) { agent_is_profiles_ = yes; }

  void Navigate(const QUrl& url);
  // Every request of this browser carries `agent`.
  void SetUserAgent(const QString& agent);
  QUrl RequestedUrl() const { return requested_; }
  QString UserAgent() const { return agent_; }

  // The engine's view: nullptr until the browser started (and always without the engine).
  QWebEngineView* View() const { return view_; }
  bool HasEngine() const { return view_ != nullptr; }
  // The stand-in of a build without the engine, else nullptr.
  BrowserPlaceholder* Placeholder() const { return placeholder_; }

  // Ends the engine's page; the storage may go after this.
  void Stop();

 signals:
  void EngineStarted();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void StartIfWanted();

  BrowserStorage* storage_ = nullptr;
  BrowserPlaceholder* placeholder_ = nullptr;
  QWebEngineView* view_ = nullptr;
  QUrl requested_;
  QString agent_;
  bool agent_is_profiles_ = false;
};

}  // namespace brindle::ui
