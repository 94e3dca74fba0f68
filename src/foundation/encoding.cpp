#include "foundation/encoding.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace brindle {
namespace {

constexpr unsigned kCalgMd5 = 0x8003;
constexpr char kUpperHex[] = "0123456789ABCDEF";

// A text is read up to its first NUL, as a C string would be.
std::string_view up_to_nul(std::string_view s) { return s.substr(0, s.find('\0')); }

Bytes to_utf16le(std::u16string_view wide) {
  Bytes out(wide.size() * 2, '\0');
  char* p = out.data();
  for (char16_t c : wide) {
    *p++ = static_cast<char>(c & 0xFF);
    *p++ = static_cast<char>(c >> 8);
  }
  return out;
}

// UTF-16LE bytes up to the first zero code unit, as lstrlenW would measure them. An odd last
// byte pairs with a zero byte, as it does in the zero-padded copy.
std::u16string from_utf16le(std::string_view bytes) {
  std::u16string wide((bytes.size() + 1) / 2, u'\0');
  std::size_t units = 0;
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    unsigned low = static_cast<unsigned char>(bytes[i]);
    unsigned high = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
    char16_t c = static_cast<char16_t>(low | high << 8);
    if (c == 0) break;
    wide[units++] = c;
  }
  wide.resize(units);
  return wide;
}

// Decodes a C-string prefix; empty when it is empty or the code page is unknown.
std::u16string wide_of_text(std::string_view bytes, unsigned code_page) {
  std::string_view text = up_to_nul(bytes);
  if (text.empty()) return {};
  return platform::multibyte_to_wide(text, code_page);
}

}  // namespace

Bytes multibyte_to_utf16(std::string_view bytes, unsigned code_page) {
  try {
    std::u16string wide = wide_of_text(bytes, code_page);
    if (wide.empty()) return {};
    Bytes out = to_utf16le(wide);
    out.append(2, '\0');
    return out;
  } catch (...) {
    return {};
  }
}

std::string utf16_to_multibyte(std::string_view utf16le, unsigned code_page) {
  try {
    std::u16string wide = from_utf16le(utf16le);
    if (wide.empty()) return {};
    std::string out = platform::wide_to_multibyte(wide, code_page);
    return std::string(up_to_nul(out));
  } catch (...) {
    return {};
  }
}

std::string utf16_to_gbk(std::string_view utf16le) {
  return utf16_to_multibyte(utf16le, platform::kCodePageGbk);
}

std::string utf8_to_gbk(std::string_view utf8) {
  // The same result as utf16_to_gbk(multibyte_to_utf16(utf8, 65001)) in one pass: the decoded
  // prefix holds no zero unit, so nothing is cut on the way back.
  return platform::convert_code_page(up_to_nul(utf8), platform::kCodePageUtf8,
                                     platform::kCodePageGbk);
}

std::string utf8_to_gbk_counted(std::string_view utf8) {
  return platform::convert_code_page(utf8, platform::kCodePageUtf8, platform::kCodePageGbk);
}

std::string utf8_to_gbk_keeping_all(std::string_view utf8) {
  return platform::convert_code_page(utf8, platform::kCodePageUtf8,
                                     platform::kCodePageGbkKeepingAll);
}

Bytes gbk_to_utf16(std::string_view gbk) {
  try {
    // An empty text still converts: to the empty wide string, its terminator alone.
    Bytes out = to_utf16le(wide_of_text(gbk, platform::kCodePageGbk));
    out.append(2, '\0');
    return out;
  } catch (...) {
    return {};
  }
}

Bytes gbk_to_utf8(std::string_view gbk) {
  // utf16_to_multibyte(multibyte_to_utf16(gbk, 936), 65001) in one pass, as above.
  return platform::convert_code_page(up_to_nul(gbk), platform::kCodePageGbk,
                                     platform::kCodePageUtf8);
}

std::u16string gbk_to_u16(std::string_view gbk) {
  try {
    return wide_of_text(gbk, platform::kCodePageGbk);
  } catch (...) {
    return {};
  }
}

std::string u16_to_gbk(std::u16string_view wide) {
  try {
    return platform::wide_to_multibyte(wide.substr(0, wide.find(u'\0')), platform::kCodePageGbk);
  } catch (...) {
    return {};
  }
}

std::string url_encode(std::string_view text, bool keep_unreserved, bool as_utf8) {
  try {
    const std::string input = as_utf8 ? gbk_to_utf8(text) : std::string(up_to_nul(text));
    std::string out;
    out.reserve(3 * input.size() + 1);
    for (char ch : input) {
      unsigned char c = static_cast<unsigned char>(ch);
      if (c == 0) continue;
      const bool unreserved = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
                              (c >= 'a' && c <= 'z') || c == '\'' || c == '(' || c == ')' ||
                              c == '*' || c == '-' || c == '.' || c == '_';
      if (keep_unreserved && unreserved) {
        out.push_back(ch);
      } else if (c == ' ') {
        out.push_back('+');
      } else {
        out.push_back('%');
        out.push_back(kUpperHex[c >> 4]);
        out.push_back(kUpperHex[c & 0x0F]);
      }
    }
    return out;
  } catch (...) {
    return {};
  }
}

std::string url_query_value(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c >= 0x7F || c == '&' || c == '#') {
      out.push_back('%');
      out.push_back(kUpperHex[c >> 4]);
      out.push_back(kUpperHex[c & 0x0F]);
    } else {
      out.push_back(ch);
    }
  }
  return out;
}

std::string hex_encode(std::string_view bytes) {
  try {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char ch : bytes) {
      unsigned char c = static_cast<unsigned char>(ch);
      out.push_back(kUpperHex[c >> 4]);
      out.push_back(kUpperHex[c & 0x0F]);
    }
    return out;
  } catch (...) {
    return {};
  }
}

Bytes hex_decode(std::string_view text) {
  try {
    const std::string_view input = up_to_nul(text);
    Bytes out;
    out.reserve(input.size() / 2);
    // Each pair goes through sscanf("%x") as it always has, with its quirks: a hexadecimal
    // first character is enough ("0g" is 0), and blanks or a sign in front are accepted.
    for (std::size_t i = 0; i + 2 <= input.size(); i += 2) {
      const char pair[3] = {input[i], input[i + 1], '\0'};
      unsigned int value = 0;
      if (std::sscanf(pair, "%x", &value) == 1) out.push_back(static_cast<char>(value & 0xFF));
    }
    return out;
  } catch (...) {
    return {};
  }
}

std::string base64_encode(std::string_view bytes) {
  try {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    auto byte_at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
      const std::uint32_t group =
          (std::uint32_t{byte_at(i)} << 16) | (std::uint32_t{byte_at(i + 1)} << 8) | byte_at(i + 2);
      out.push_back(kDigits[(group >> 18) & 63]);
      out.push_back(kDigits[(group >> 12) & 63]);
      out.push_back(kDigits[(group >> 6) & 63]);
      out.push_back(kDigits[group & 63]);
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
      std::uint32_t group = std::uint32_t{byte_at(i)} << 16;
      if (rest == 2) group |= std::uint32_t{byte_at(i + 1)} << 8;
      out.push_back(kDigits[(group >> 18) & 63]);
      out.push_back(kDigits[(group >> 12) & 63]);
      out.push_back(rest == 2 ? kDigits[(group >> 6) & 63] : '=');
      out.push_back('=');
    }
    return out;
  } catch (...) {
    return {};
  }
}

std::string crypto_hash(std::string_view bytes, unsigned algorithm_id, unsigned hash_length) {
  try {
    if (algorithm_id != kCalgMd5) return {};
    const std::string digest = platform::md5_digest(bytes);
    // A buffer too small for the digest makes the hash read fail, as it does with CryptoAPI.
    if (digest.empty() || hash_length < digest.size()) return {};
    return hex_encode(digest);
  } catch (...) {
    return {};
  }
}

std::string md5_hex(std::string_view bytes, bool upper, bool short_form) {
  std::string hex = crypto_hash(bytes, kCalgMd5, 16);
  if (!upper) {
    for (char& c : hex) {
      if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
    }
  }
  if (short_form && hex.size() == 32) return hex.substr(8, 16);
  return hex;
}

}  // namespace brindle
