#include "tls_cert.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include <cstdint>
#include <cstdio>
#include <memory>

namespace brindle::sim {
namespace {

std::string openssl_error(const char* what) {
  std::string text = what;
  unsigned long code = ERR_get_error();
  if (code != 0) {
    char buffer[256];
    ERR_error_string_n(code, buffer, sizeof buffer);
    text += ": ";
    text += buffer;
  }
  return text;
}

bool add_extension(X509* cert, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  if (ext == nullptr) return false;
  bool ok = X509_add_ext(cert, ext, -1) == 1;
  X509_EXTENSION_free(ext);
  return ok;
}

}  // namespace

SelfSignedCert::~SelfSignedCert() {
  X509_free(cert_);
  EVP_PKEY_free(key_);
}

bool SelfSignedCert::generate(std::string& error) {
  key_ = EVP_EC_gen("P-256");
  if (key_ == nullptr) {
    error = openssl_error("key generation failed");
    return false;
  }
  cert_ = X509_new();
  if (cert_ == nullptr) {
    error = openssl_error("X509_new failed");
    return false;
  }
  unsigned char serial[8];
  RAND_bytes(serial, sizeof serial);
  serial[0] &= 0x7F;  // a positive serial number
  std::uint64_t serial_value = 0;
  for (unsigned char byte : serial) serial_value = (serial_value << 8) | byte;

  auto* name = X509_get_subject_name(cert_);
  auto text = [](const char* s) { return reinterpret_cast<const unsigned char*>(s); };
  bool ok =
      X509_set_version(cert_, 2) == 1 &&
      ASN1_INTEGER_set_uint64(X509_get_serialNumber(cert_), serial_value) == 1 &&
      X509_gmtime_adj(X509_getm_notBefore(cert_), -3600) != nullptr &&
      X509_gmtime_adj(X509_getm_notAfter(cert_), 30L * 24 * 3600) != nullptr &&
      X509_set_pubkey(cert_, key_) == 1 &&
      X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, text("brindle-sim"), -1, -1, 0) == 1 &&
      X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, text("127.0.0.1"), -1, -1, 0) == 1 &&
      X509_set_issuer_name(cert_, name) == 1 &&
      add_extension(cert_, NID_basic_constraints, "critical,CA:TRUE") &&
      add_extension(cert_, NID_subject_key_identifier, "hash") &&
      add_extension(cert_, NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1") &&
      X509_sign(cert_, key_, EVP_sha256()) > 0;
  if (!ok) error = openssl_error("certificate creation failed");
  return ok;
}

bool SelfSignedCert::write_pem(const std::string& path, std::string& error) const {
  std::string temp = path + ".tmp";
  std::FILE* file = std::fopen(temp.c_str(), "wb");
  if (file == nullptr) {
    error = "cannot write " + temp;
    return false;
  }
  bool ok = PEM_write_X509(file, cert_) == 1;
  ok = std::fclose(file) == 0 && ok;
  if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) {
    std::remove(temp.c_str());
    error = "cannot write " + path;
  }
  return ok;
}

}  // namespace brindle::sim
