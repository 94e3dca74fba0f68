#include "account/stored_token.h"

#include "foundation/encoding.h"

namespace brindle {

std::string StoredTokenCheck(std::string_view machine_id) {
  std::string check = md5_hex(machine_id, false, false).substr(2, kStoredTokenCheckLength);
  for (char& c : check) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return check;
}

std::string EncodeStoredToken(std::string_view token, std::string_view machine_id) {
  std::string masked(token);
  for (char& c : masked) c = static_cast<char>(static_cast<unsigned char>(c) ^ kStoredTokenMask);
  return hex_encode(masked) + StoredTokenCheck(machine_id);
}

std::string DecodeStoredToken(std::string_view stored, std::string_view machine_id) {
  if (stored.size() < kStoredTokenCheckLength) return {};
  const std::size_t body = stored.size() - kStoredTokenCheckLength;
  if (stored.substr(body) != StoredTokenCheck(machine_id)) return {};
  std::string token = hex_decode(stored.substr(0, body));
  for (char& c : token) c = static_cast<char>(static_cast<unsigned char>(c) ^ kStoredTokenMask);
  if (const std::size_t nul = token.find('\0'); nul != std::string::npos) token.resize(nul);
  return token;
}

}  // namespace brindle
