#include "foundation/terminal_text.h"

#include "foundation/encoding.h"

namespace brindle {
namespace {

constexpr char kHex[] = "0123456789abcdef";

void append_hex_escape(std::string& out, const char* prefix, unsigned value) {
  out += prefix;
  out.push_back(kHex[(value >> 4) & 15]);
  out.push_back(kHex[value & 15]);
}

// Length of the valid UTF-8 sequence at `pos` (1 to 4), or 0 when the bytes there are not one
// (overlong forms, surrogates and values past U+10FFFF included).
std::size_t utf8_sequence_length(std::string_view text, std::size_t pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  unsigned low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() - pos < length) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

}  // namespace

std::string terminal_text_utf8(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const auto c = static_cast<unsigned char>(utf8[pos]);
    const std::size_t length = utf8_sequence_length(utf8, pos);
    if (length == 0) {
      append_hex_escape(out, "\\x", c);
      ++pos;
      continue;
    }
    if (length == 1) {
      switch (c) {
        case '\n':
          out += "\\n";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\t':
          out += "\\t";
          break;
        case '\\':
          out += "\\\\";
          break;
        default:
          if (c < 0x20 || c == 0x7F) {
            append_hex_escape(out, "\\x", c);
          } else {
            out.push_back(static_cast<char>(c));
          }
      }
    } else if (c == 0xC2 && static_cast<unsigned char>(utf8[pos + 1]) <= 0x9F) {
      // U+0080..U+009F: C2 followed by 80..9F.
      append_hex_escape(out, "\\u00", static_cast<unsigned char>(utf8[pos + 1]));
    } else {
      out.append(utf8.substr(pos, length));
    }
    pos += length;
  }
  return out;
}

std::string gbk_to_terminal_text(std::string_view gbk) {
  return terminal_text_utf8(gbk_to_utf8(gbk));
}

std::string json_text_for_terminal(std::string_view json_utf8) {
  std::string out;
  out.reserve(json_utf8.size());
  for (std::size_t pos = 0; pos < json_utf8.size(); ++pos) {
    const auto c = static_cast<unsigned char>(json_utf8[pos]);
    if (c == 0x7F) {
      out += "\\u007f";
    } else if (c == 0xC2 && pos + 1 < json_utf8.size() &&
               static_cast<unsigned char>(json_utf8[pos + 1]) <= 0x9F &&
               static_cast<unsigned char>(json_utf8[pos + 1]) >= 0x80) {
      append_hex_escape(out, "\\u00", static_cast<unsigned char>(json_utf8[++pos]));
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

}  // namespace brindle
