// MD5 through the system's cryptography API (CNG). The algorithm provider is opened once and
// shared: BCrypt handles may be used from several threads at once.

#include <string>
#include <string_view>

#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace brindle::platform {
namespace {

BCRYPT_ALG_HANDLE md5_provider() {
  static const BCRYPT_ALG_HANDLE provider = [] {
    BCRYPT_ALG_HANDLE handle = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&handle, BCRYPT_MD5_ALGORITHM, nullptr, 0)))
      return BCRYPT_ALG_HANDLE{nullptr};
    return handle;
  }();
  return provider;
}

}  // namespace

std::string md5_digest(std::string_view bytes) {
  BCRYPT_ALG_HANDLE provider = md5_provider();
  if (provider == nullptr) return {};
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (!BCRYPT_SUCCESS(::BCryptCreateHash(provider, &hash, nullptr, 0, nullptr, 0, 0))) return {};
  bool ok = true;
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t left = bytes.size();
  while (ok && left > 0) {
    const ULONG piece = left > 0x40000000 ? 0x40000000UL : static_cast<ULONG>(left);
    ok = BCRYPT_SUCCESS(::BCryptHashData(hash, const_cast<PUCHAR>(data), piece, 0));
    data += piece;
    left -= piece;
  }
  unsigned char digest[16];
  ok = ok && BCRYPT_SUCCESS(::BCryptFinishHash(hash, digest, sizeof digest, 0));
  ::BCryptDestroyHash(hash);
  if (!ok) return {};
  return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

}  // namespace brindle::platform
