#include "ui/browser_trust.h"

#include "foundation/http_settings.h"
#include "ui/qt_text.h"

namespace brindle::ui {

bool AcceptCertificate(const CertificateProblem& problem, const QList<QSslCertificate>& trusted,
                       bool tls_verify) {
  if (!problem.overridable) return false;
  if (!tls_verify) return true;
  if (!problem.unknown_authority) return false;
  for (const QSslCertificate& sent : problem.chain) {
    if (!sent.isNull() && trusted.contains(sent)) return true;
  }
  return false;
}

QList<QSslCertificate> ClientTrustedCertificates() {
  const std::string path = http_settings().ca_file;
  if (path.empty()) return {};
  return QSslCertificate::fromPath(FromGbk(path), QSsl::Pem);
}

bool ClientVerifiesTls() { return http_settings().tls_verify; }

}  // namespace brindle::ui
