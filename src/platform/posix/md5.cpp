// MD5 through OpenSSL's EVP interface (the one that survives OpenSSL 3's deprecations).
#include <openssl/evp.h>

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace brindle::platform {

std::string md5_digest(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  // A provider without MD5 (a FIPS-only build) makes this fail: the empty result says so.
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr) != 1 ||
      length != 16) {
    return {};
  }
  return std::string(reinterpret_cast<const char*>(digest), length);
}

}  // namespace brindle::platform
