#include "ui/web/browser_storage.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QSaveFile>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>

#include "ui/web/cookie_file.h"

namespace brindle::ui {

BrowserStorage::BrowserStorage(QObject* parent) : QObject(parent) {}

BrowserStorage::~BrowserStorage() {
  // A change the engine reported in this last turn still reaches the file.
  if (save_scheduled_) Save();
  delete profile_;
}

void BrowserStorage::SetFolder(const QString& folder) {
  if (profile_ == nullptr) folder_ = folder;
}

QString BrowserStorage::CookieFilePath() const {
  return folder_.isEmpty() ? QString()
                           : folder_ + QLatin1Char('/') + QLatin1String(kCookieFileName);
}

void BrowserStorage::SetUserAgent(const QString& agent) {
  agent_ = agent;
  if (profile_ != nullptr && !agent.isEmpty()) profile_->setHttpUserAgent(agent);
}

QWebEngineProfile* BrowserStorage::Profile() {
  if (profile_ != nullptr) return profile_;
  if (folder_.isEmpty()) {
    profile_ = new QWebEngineProfile(this);  // off the record
  } else {
    QDir().mkpath(folder_);
    profile_ = new QWebEngineProfile(QStringLiteral("brindle"), this);
    profile_->setPersistentStoragePath(folder_);
    profile_->setCachePath(folder_ + QStringLiteral("/cache"));
    // Cookies live in our file only (see the header).
    profile_->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
  }
  if (!agent_.isEmpty()) profile_->setHttpUserAgent(agent_);
  QWebEngineCookieStore* store = profile_->cookieStore();
  connect(store, &QWebEngineCookieStore::cookieAdded, this, &BrowserStorage::OnCookieAdded);
  connect(store, &QWebEngineCookieStore::cookieRemoved, this, &BrowserStorage::OnCookieRemoved);
  if (!folder_.isEmpty()) {
    Load();
    Watch();
  }
  return profile_;
}

void BrowserStorage::Load() {
  QFile file(CookieFilePath());
  if (!file.exists()) return;
  file_known_ = true;
  if (file.size() > kCookieFileLimit || !file.open(QIODevice::ReadOnly)) return;
  saved_ = file.read(kCookieFileLimit + 1);
  cookies_ = ReadCookieFile(saved_);
  for (const QNetworkCookie& cookie : cookies_) {
    profile_->cookieStore()->setCookie(CookieForOrigin(cookie), CookieOrigin(cookie));
  }
}

void BrowserStorage::Watch() {
  if (watcher_ == nullptr) {
    watcher_ = new QFileSystemWatcher(this);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this,
            &BrowserStorage::OnFolderChanged);
  }
  // A folder removed and made again is a new folder to the watcher.
  if (!watcher_->directories().contains(folder_)) watcher_->addPath(folder_);
}

void BrowserStorage::OnCookieAdded(const QNetworkCookie& cookie) {
  for (QNetworkCookie& kept : cookies_) {
    if (kept.hasSameIdentifier(cookie)) {
      kept = cookie;
      ScheduleSave();
      return;
    }
  }
  cookies_.append(cookie);
  ScheduleSave();
}

void BrowserStorage::OnCookieRemoved(const QNetworkCookie& cookie) {
  const auto removed = cookies_.removeIf(
      [&cookie](const QNetworkCookie& kept) { return kept.hasSameIdentifier(cookie); });
  if (removed > 0) ScheduleSave();
}

void BrowserStorage::OnFolderChanged() {
  if (!file_known_ || QFile::exists(CookieFilePath())) return;
  // The file was deleted by someone else: a logout. The pages follow at their next request.
  file_known_ = false;
  saved_.clear();
  cookies_.clear();
  if (profile_ != nullptr) profile_->cookieStore()->deleteAllCookies();
  emit CookiesCleared();
}

void BrowserStorage::ScheduleSave() {
  if (folder_.isEmpty() || save_scheduled_) return;
  // The engine reports a page's cookies one by one; one write takes them all.
  save_scheduled_ = true;
  QMetaObject::invokeMethod(this, "Save", Qt::QueuedConnection);
}

void BrowserStorage::Save() {
  save_scheduled_ = false;
  const QDateTime now = QDateTime::currentDateTimeUtc();
  cookies_.removeIf([&now](const QNetworkCookie& c) {
    return !c.isSessionCookie() && c.expirationDate() <= now;
  });
  const QString path = CookieFilePath();
  if (cookies_.isEmpty()) {
    if (QFile::exists(path) && file_known_) QFile::remove(path);
    file_known_ = false;
    saved_.clear();
    emit CookieFileSaved();
    return;
  }
  const QByteArray bytes = WriteCookieFile(cookies_);
  if (file_known_ && bytes == saved_ && QFile::exists(path)) return;
  QDir().mkpath(folder_);
  QSaveFile file(path);
  // The forum's login cookies are as good as a password: only the owner reads them.
  if (!file.open(QIODevice::WriteOnly) ||
      !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
      file.write(bytes) != bytes.size() || !file.commit()) {
    return;  // the cookies stay in memory; the next change tries again
  }
  saved_ = bytes;
  file_known_ = true;
  Watch();
  emit CookieFileSaved();
}

}  // namespace brindle::ui
