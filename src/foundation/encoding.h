// Conversions between the program's GBK texts, UTF-8 from the network and UTF-16 for the window,
// and the small byte codecs (URL, hexadecimal, Base64, MD5). None of them fails loudly: an empty
// or unconvertible input gives an empty result, and characters GBK lacks become "?" (unless a
// name says they are kept).
#pragma once

#include <string>
#include <string_view>

namespace brindle {

// A byte array: counted, may hold NUL bytes. Texts are std::string holding GBK.
using Bytes = std::string;

Bytes multibyte_to_utf16(std::string_view bytes, unsigned code_page);  // NUL-terminated UTF-16LE
[[nodiscard]] std::string utf16_to_multibyte(std::string_view utf16le, unsigned code_page);
[[nodiscard]] std::string utf16_to_gbk(std::string_view utf16le);

[[nodiscard]] std::string utf8_to_gbk(std::string_view utf8);  // stops at the first NUL
[[nodiscard]] std::string utf8_to_gbk_counted(
    std::string_view utf8);  // NUL bytes are converted too
// As utf8_to_gbk_counted, but a character GBK lacks (an emoji, Hangul ...) keeps its GB18030
// four-byte form instead of becoming "?". For names the window shows as they came (server and
// player names); every conversion back from GBK reads those forms. Never for texts that go into
// the program's GBK files.
[[nodiscard]] std::string utf8_to_gbk_keeping_all(std::string_view utf8);
Bytes gbk_to_utf16(std::string_view gbk);  // NUL-terminated UTF-16LE
Bytes gbk_to_utf8(std::string_view gbk);

// Convenience at the edges: UTF-16 as code units (the window) and UTF-8 literals in source.
[[nodiscard]] std::u16string gbk_to_u16(std::string_view gbk);
[[nodiscard]] std::string u16_to_gbk(std::u16string_view wide);
// Chinese literals in source are UTF-8; this turns one into the program's GBK text.
inline std::string gbk(std::string_view utf8_literal) { return utf8_to_gbk_counted(utf8_literal); }

[[nodiscard]] std::string url_encode(std::string_view text, bool keep_unreserved, bool as_utf8);
// A value for a URL's query string as the services take their ids and tokens: bytes that would
// end the value or break the URL (controls, blanks, bytes above 0x7E, "&" and "#") become %XX;
// every other byte stays as it is, so a plain value is sent exactly as it was received.
[[nodiscard]] std::string url_query_value(std::string_view text);
[[nodiscard]] std::string hex_encode(std::string_view bytes);
Bytes hex_decode(std::string_view text);
[[nodiscard]] std::string base64_encode(std::string_view bytes);
// Only the MD5 algorithm id (0x8003) is known; any other gives the empty text.
[[nodiscard]] std::string crypto_hash(std::string_view bytes, unsigned algorithm_id,
                                      unsigned hash_length);
[[nodiscard]] std::string md5_hex(std::string_view bytes, bool upper = false,
                                  bool short_form = false);

}  // namespace brindle
