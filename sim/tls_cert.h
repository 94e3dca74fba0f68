// A self-signed certificate made at start for 127.0.0.1 and localhost. It is its own CA: clients
// that trust the written PEM file verify the sim's HTTPS listener like any real host.
#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <string>

namespace brindle::sim {

class SelfSignedCert {
 public:
  SelfSignedCert() = default;
  ~SelfSignedCert();
  SelfSignedCert(const SelfSignedCert&) = delete;
  SelfSignedCert& operator=(const SelfSignedCert&) = delete;

  // Generates a P-256 key and a certificate valid from an hour ago for 30 days.
  bool generate(std::string& error);
  bool write_pem(const std::string& path, std::string& error) const;

  X509* certificate() const { return cert_; }
  EVP_PKEY* key() const { return key_; }

 private:
  X509* cert_ = nullptr;
  EVP_PKEY* key_ = nullptr;
};

}  // namespace brindle::sim
