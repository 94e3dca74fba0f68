#include "ui/web/cookie_file.h"

namespace brindle::ui {

QByteArray WriteCookieFile(const QList<QNetworkCookie>& cookies) {
  QByteArray out;
  for (const QNetworkCookie& cookie : cookies) {
    QByteArray line = cookie.toRawForm(QNetworkCookie::Full);
    // A value may not carry a line break into the file (the engine never makes one).
    if (line.contains('\n') || line.contains('\r')) continue;
    out += line;
    out += '\n';
  }
  return out;
}

QList<QNetworkCookie> ReadCookieFile(const QByteArray& bytes) {
  QList<QNetworkCookie> cookies;
  if (bytes.size() > kCookieFileLimit) return cookies;
  for (const QByteArray& raw : bytes.split('\n')) {
    const QByteArray line = raw.trimmed();
    if (line.isEmpty()) continue;
    // One line is one cookie; anything a line parses into beyond the first is not ours.
    const QList<QNetworkCookie> parsed = QNetworkCookie::parseCookies(line);
    if (parsed.size() != 1) continue;
    const QNetworkCookie& cookie = parsed.front();
    const QString host =
        cookie.domain().startsWith(QLatin1Char('.')) ? cookie.domain().mid(1) : cookie.domain();
    if (cookie.name().isEmpty() || host.isEmpty() || !CookieOrigin(cookie).isValid()) continue;
    cookies.append(cookie);
  }
  return cookies;
}

QUrl CookieOrigin(const QNetworkCookie& cookie) {
  QString host = cookie.domain();
  if (host.startsWith(QLatin1Char('.'))) host.remove(0, 1);
  QUrl url;
  url.setScheme(QStringLiteral("https"));
  url.setHost(host, QUrl::StrictMode);
  url.setPath(QStringLiteral("/"));
  return url.isValid() && !url.host().isEmpty() ? url : QUrl();
}

QNetworkCookie CookieForOrigin(QNetworkCookie cookie) {
  if (!cookie.domain().startsWith(QLatin1Char('.'))) cookie.setDomain(QString());
  return cookie;
}

}  // namespace brindle::ui
