#include "ui/web/browser_trust.h"

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

QList<QSslCertificate> CertificatesOf(const QString& pem_file) {
  if (pem_file.isEmpty()) return {};
  return QSslCertificate::fromPath(pem_file, QSsl::Pem);
}

}  // namespace brindle::ui
