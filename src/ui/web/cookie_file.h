// The embedded browser's cookie file, qdata/miniblink/cookies.dat: one cookie a line in its
// Set-Cookie form with every attribute ("name=value; expires=…; domain=…; path=/; HttpOnly").
// A domain without a leading dot marks a cookie of that host only. Session cookies are kept too,
// so a forum login outlives a restart of the program; deleting the file logs the pages out.
#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkCookie>
#include <QUrl>

namespace brindle::ui {

inline constexpr const char* kCookieFileName = "cookies.dat";
// A larger file is not ours (or not sane): it is ignored rather than read.
inline constexpr qint64 kCookieFileLimit = 1 << 20;

QByteArray WriteCookieFile(const QList<QNetworkCookie>& cookies);
// Lines that are not a cookie with a name and a domain are skipped; so is anything past the
// limit.
QList<QNetworkCookie> ReadCookieFile(const QByteArray& bytes);

// The page a cookie is handed back to the engine for: https on its host, so Secure cookies are
// accepted. A host-only cookie loses its domain attribute, which would otherwise widen it to the
// host's subdomains.
QUrl CookieOrigin(const QNetworkCookie& cookie);
QNetworkCookie CookieForOrigin(QNetworkCookie cookie);

}  // namespace brindle::ui
