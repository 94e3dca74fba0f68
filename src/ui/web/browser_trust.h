// Which certificate errors the embedded browser overrides. The engine checks certificates
// against the system's store only; the HTTP client's settings may name a CA file (a community
// with its own CA, brindle-sim on loopback) or turn checks off (tls_verify=0), and the window
// hands them over (BrowserTrust). The browser follows the same settings: an unknown authority is
// accepted when the server's chain holds a certificate of that file, and anything overridable is
// accepted when checks are off. Host names and dates are still checked with the CA file.
#pragma once

#include <QList>
#include <QSslCertificate>

namespace brindle::ui {

struct CertificateProblem {
  bool overridable = false;
  bool unknown_authority = false;  // the only problem a CA file can mend
  QList<QSslCertificate> chain;    // as the server sent it
};

bool AcceptCertificate(const CertificateProblem& problem, const QList<QSslCertificate>& trusted,
                       bool tls_verify);

// The certificates of a PEM file; empty when there is no such file or nothing readable in it.
QList<QSslCertificate> CertificatesOf(const QString& pem_file);

}  // namespace brindle::ui
