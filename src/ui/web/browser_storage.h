// The one browser profile both embedded browsers share. With a folder (the program folder's
// qdata/miniblink/) the profile keeps its local storage, history and HTTP cache there, and its
// cookies in cookies.dat there (cookie_file.h), written at every change; without one nothing is
// kept. Chromium's own cookie database is not used, so the file is the whole truth: a file
// deleted while the program runs (what the account's logout does) empties the live cookie store
// too, and the open pages are logged out at their next request.
//
// The profile is made on first use, so a window that never shows a page never starts the engine.
// GUI thread only.
#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkCookie>
#include <QObject>
#include <QString>

class QFileSystemWatcher;
class QWebEngineProfile;

namespace brindle::ui {

class BrowserStorage : public QObject {
  Q_OBJECT
 public:
  explicit BrowserStorage(QObject* parent = nullptr);
  ~BrowserStorage() override;

  // Where the profile lives; takes effect when the profile is made (a later change is ignored:
  // the engine cannot move a live profile).
  void SetFolder(const QString& folder);
  QString Folder() const { return folder_; }
  QString CookieFilePath() const;

  // The user agent of the profile: the one pages see in navigator.userAgent and that requests
  // carry unless their browser sets its own.
  void SetUserAgent(const QString& agent);

  // The profile, made on first call. Every page made on it must be gone before this object.
  QWebEngineProfile* Profile();
  bool ProfileMade() const { return profile_ != nullptr; }

  // The cookies as the file holds them after the last change.
  const QList<QNetworkCookie>& Cookies() const { return cookies_; }

 signals:
  // The cookie file was written (or removed because the store became empty).
  void CookieFileSaved();
  // The cookie file vanished from outside and the live store was emptied.
  void CookiesCleared();

 private:
  void Load();
  void OnCookieAdded(const QNetworkCookie& cookie);
  void OnCookieRemoved(const QNetworkCookie& cookie);
  void OnFolderChanged();
  void ScheduleSave();
  Q_INVOKABLE void Save();
  void Watch();

  QString folder_;
  QString agent_;
  QWebEngineProfile* profile_ = nullptr;
  QFileSystemWatcher* watcher_ = nullptr;
  QList<QNetworkCookie> cookies_;
  QByteArray saved_;         // the file's bytes as last read or written
  bool file_known_ = false;  // the file exists because we read or wrote it
  bool save_scheduled_ = false;
};

}  // namespace brindle::ui
