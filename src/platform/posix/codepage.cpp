// Code pages 936 (GBK as Windows defines it) and 65001 (UTF-8) without Windows.
//
// GBK goes through two tables built once: 23,940 double-byte slots to UTF-16 and the reverse
// 64 Ki table. glibc's CP936 agrees with Windows on every slot it maps, but leaves 2,150 slots
// and the single byte 0xFF unmapped where Windows assigns private-use characters:
//   - the three user-defined areas AAA1-AFFE, F8A1-FEFE and A140-A7A0 get U+E000-U+E765 in
//     that order, row by row;
//   - 255 further slots (listed in kWindowsPrivateRanges) get U+E766-U+E864 in code order;
//   - 0xFF is U+F8F5, 0x80 is the euro sign.
// Those are filled in here so a text survives GBK -> UTF-16 -> GBK exactly as on Windows.
// UTF-8 is decoded and encoded by hand: it is simpler than iconv's error reporting and lets
// invalid input become U+FFFD per maximal ill-formed subsequence, as Windows does.
#include <iconv.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace brindle::platform {
namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr unsigned kLeadFirst = 0x81;
constexpr unsigned kLeadLast = 0xFE;
constexpr unsigned kTrailFirst = 0x40;
constexpr unsigned kTrailLast = 0xFE;
constexpr unsigned kTrailCount = kTrailLast - kTrailFirst + 1;  // 0x7F included, never valid
constexpr std::size_t kSlotCount = (kLeadLast - kLeadFirst + 1) * kTrailCount;

struct CodeRange {
  std::uint16_t first;
  std::uint16_t last;
};

// Double-byte slots outside the user-defined areas that Windows maps to U+E766 onwards.
constexpr CodeRange kWindowsPrivateRanges[] = {
    {0xA2AB, 0xA2B0}, {0xA2E3, 0xA2E4}, {0xA2EF, 0xA2F0}, {0xA2FD, 0xA2FE}, {0xA4F4, 0xA4FE},
    {0xA5F7, 0xA5FE}, {0xA6B9, 0xA6C0}, {0xA6D9, 0xA6DF}, {0xA6EC, 0xA6ED}, {0xA6F3, 0xA6F3},
    {0xA6F6, 0xA6FE}, {0xA7C2, 0xA7D0}, {0xA7F2, 0xA7FE}, {0xA896, 0xA8A0}, {0xA8BC, 0xA8BC},
    {0xA8BF, 0xA8BF}, {0xA8C1, 0xA8C4}, {0xA8EA, 0xA8FE}, {0xA958, 0xA958}, {0xA95B, 0xA95B},
    {0xA95D, 0xA95F}, {0xA989, 0xA995}, {0xA997, 0xA9A3}, {0xA9F0, 0xA9FE}, {0xD7FA, 0xD7FE},
    {0xFE50, 0xFEA0},
};

constexpr bool valid_lead(unsigned b) { return b >= kLeadFirst && b <= kLeadLast; }
constexpr bool valid_trail(unsigned b) {
  return b >= kTrailFirst && b <= kTrailLast && b != 0x7F;
}
constexpr std::size_t slot_of(unsigned lead, unsigned trail) {
  return (lead - kLeadFirst) * kTrailCount + (trail - kTrailFirst);
}

// Windows' private-use assignment for the user-defined areas; 0 outside them.
char16_t user_defined_char(unsigned lead, unsigned trail) {
  if (lead >= 0xAA && lead <= 0xAF && trail >= 0xA1)
    return static_cast<char16_t>(0xE000 + (lead - 0xAA) * 94 + (trail - 0xA1));
  if (lead >= 0xF8 && lead <= 0xFE && trail >= 0xA1)
    return static_cast<char16_t>(0xE234 + (lead - 0xF8) * 94 + (trail - 0xA1));
  if (lead >= 0xA1 && lead <= 0xA7 && trail <= 0xA0)
    return static_cast<char16_t>(0xE4C6 + (lead - 0xA1) * 96 + (trail - 0x40) -
                                 (trail > 0x7F ? 1 : 0));
  return 0;
}

class GbkTables {
 public:
  GbkTables() {
    fill_from_iconv();
    char16_t next_private = 0xE766;
    for (const CodeRange& range : kWindowsPrivateRanges) {
      for (unsigned code = range.first; code <= range.last; ++code) {
        if (!valid_trail(code & 0xFF)) continue;
        decode_[slot_of(code >> 8, code & 0xFF)] = next_private++;
      }
    }
    for (unsigned lead = kLeadFirst; lead <= kLeadLast; ++lead) {
      for (unsigned trail = kTrailFirst; trail <= kTrailLast; ++trail) {
        if (!valid_trail(trail)) continue;
        if (char16_t c = user_defined_char(lead, trail)) decode_[slot_of(lead, trail)] = c;
      }
    }
    for (unsigned lead = kLeadFirst; lead <= kLeadLast; ++lead) {
      for (unsigned trail = kTrailFirst; trail <= kTrailLast; ++trail) {
        if (!valid_trail(trail)) continue;
        char16_t c = decode_[slot_of(lead, trail)];
        // The table is one to one; should a library ever give two slots the same character,
        // the first keeps the reverse mapping so encoding stays deterministic.
        if (c >= 0x80 && encode_[c] == 0) encode_[c] = static_cast<std::uint16_t>(lead << 8 | trail);
      }
    }
    encode_[0x20AC] = 0x80;
    encode_[0xF8F5] = 0xFF;
  }

  // U+FFFD when the pair is not a valid slot.
  char16_t decode_pair(unsigned lead, unsigned trail) const {
    if (!valid_trail(trail)) return kReplacement;
    char16_t c = decode_[slot_of(lead, trail)];
    return c ? c : kReplacement;
  }
  // 0 when GBK lacks the character; otherwise one byte (< 0x100) or a lead/trail pair.
  std::uint16_t encode(char16_t c) const { return encode_[c]; }

 private:
  void fill_from_iconv() {
    iconv_t cd = iconv_open("UTF-16LE", "CP936");
    if (cd == reinterpret_cast<iconv_t>(-1)) return;  // only the private-use slots then
    for (unsigned lead = kLeadFirst; lead <= kLeadLast; ++lead) {
      for (unsigned trail = kTrailFirst; trail <= kTrailLast; ++trail) {
        if (!valid_trail(trail)) continue;
        char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        unsigned char out[8];
        char* in_ptr = in;
        std::size_t in_left = 2;
        char* out_ptr = reinterpret_cast<char*>(out);
        std::size_t out_left = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        std::size_t rc = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
        if (rc == static_cast<std::size_t>(-1) || in_left != 0 || sizeof out - out_left != 2)
          continue;
        char16_t c = static_cast<char16_t>(out[0] | out[1] << 8);
        // Surrogates and U+FFFD are not characters a slot may stand for.
        if ((c >= 0xD800 && c <= 0xDFFF) || c == kReplacement || c < 0x80) continue;
        decode_[slot_of(lead, trail)] = c;
      }
    }
    iconv_close(cd);
  }

  std::array<char16_t, kSlotCount> decode_{};
  std::array<std::uint16_t, 0x10000> encode_{};
};

const GbkTables& gbk_tables() {
  static const auto tables = std::make_unique<const GbkTables>();
  return *tables;
}

// Copies the run of ASCII bytes starting at `i` (eight at a time where possible) and returns
// the index of the first byte that is not ASCII.
std::size_t widen_ascii_run(std::string_view in, std::size_t i, std::u16string& out) {
  const std::size_t n = in.size();
  while (i + 8 <= n) {
    std::uint64_t word;
    std::memcpy(&word, in.data() + i, 8);
    if (word & 0x8080808080808080ULL) break;
    for (int k = 0; k < 8; ++k) out.push_back(static_cast<char16_t>(in[i + k]));
    i += 8;
  }
  while (i < n && static_cast<unsigned char>(in[i]) < 0x80) out.push_back(static_cast<char16_t>(in[i++]));
  return i;
}

std::u16string decode_gbk(std::string_view in) {
  const GbkTables& tables = gbk_tables();
  std::u16string out;
  out.reserve(in.size());
  std::size_t i = 0;
  const std::size_t n = in.size();
  while (i < n) {
    i = widen_ascii_run(in, i, out);
    if (i >= n) break;
    unsigned b = static_cast<unsigned char>(in[i]);
    if (b == 0x80) {
      out.push_back(0x20AC);
      ++i;
    } else if (b == 0xFF) {
      out.push_back(0xF8F5);
      ++i;
    } else if (i + 1 < n && valid_trail(static_cast<unsigned char>(in[i + 1]))) {
      out.push_back(tables.decode_pair(b, static_cast<unsigned char>(in[i + 1])));
      i += 2;
    } else {
      // A lead byte without a usable trail byte: only the lead is lost, so an ASCII byte
      // after it survives.
      out.push_back(kReplacement);
      ++i;
    }
  }
  return out;
}

constexpr bool continuation(unsigned b) { return (b & 0xC0) == 0x80; }

std::u16string decode_utf8(std::string_view in) {
  std::u16string out;
  out.reserve(in.size());
  const std::size_t n = in.size();
  std::size_t i = 0;
  auto byte = [&](std::size_t k) { return static_cast<unsigned>(static_cast<unsigned char>(in[k])); };
  while (i < n) {
    i = widen_ascii_run(in, i, out);
    if (i >= n) break;
    unsigned b0 = byte(i);
    // Number of continuation bytes and the allowed range of the first one (which rules out
    // overlong forms, surrogates and values above U+10FFFF).
    int need = 0;
    unsigned low = 0x80, high = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
      need = 1;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      need = 2;
      if (b0 == 0xE0) low = 0xA0;
      if (b0 == 0xED) high = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      need = 3;
      if (b0 == 0xF0) low = 0x90;
      if (b0 == 0xF4) high = 0x8F;
    } else {
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    std::uint32_t cp = b0 & (0x3F >> need);
    std::size_t j = i + 1;
    bool ok = true;
    for (int k = 0; k < need; ++k, ++j) {
      if (j >= n) {
        ok = false;
        break;
      }
      unsigned b = byte(j);
      bool in_range = k == 0 ? (b >= low && b <= high) : continuation(b);
      if (!in_range) {
        ok = false;
        break;
      }
      cp = cp << 6 | (b & 0x3F);
    }
    if (!ok) {
      // The maximal ill-formed prefix becomes one U+FFFD; decoding resumes at the byte that
      // broke it.
      out.push_back(kReplacement);
      i = j;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i = j;
  }
  return out;
}

constexpr bool high_surrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
constexpr bool low_surrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Copies the run of ASCII code units starting at `i` and returns the index after it.
std::size_t narrow_ascii_run(std::u16string_view in, std::size_t i, std::string& out) {
  const std::size_t n = in.size();
  while (i + 4 <= n) {
    std::uint64_t word;
    std::memcpy(&word, in.data() + i, 8);
    if (word & 0xFF80FF80FF80FF80ULL) break;
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<char>(in[i + k]));
    i += 4;
  }
  while (i < n && in[i] < 0x80) out.push_back(static_cast<char>(in[i++]));
  return i;
}

std::string encode_gbk(std::u16string_view in) {
  const GbkTables& tables = gbk_tables();
  std::string out;
  out.reserve(in.size() * 2);
  const std::size_t n = in.size();
  std::size_t i = 0;
  while (i < n) {
    i = narrow_ascii_run(in, i, out);
    if (i >= n) break;
    char16_t c = in[i];
    if (high_surrogate(c) && i + 1 < n && low_surrogate(in[i + 1])) {
      // Nothing outside the BMP is in GBK; the pair is one character, so one "?".
      out.push_back('?');
      i += 2;
      continue;
    }
    ++i;
    std::uint16_t code = tables.encode(c);
    if (code == 0) {
      out.push_back('?');
    } else if (code < 0x100) {
      out.push_back(static_cast<char>(code));
    } else {
      out.push_back(static_cast<char>(code >> 8));
      out.push_back(static_cast<char>(code & 0xFF));
    }
  }
  return out;
}

std::string encode_utf8(std::u16string_view in) {
  std::string out;
  out.reserve(in.size() * 3);
  const std::size_t n = in.size();
  std::size_t i = 0;
  while (i < n) {
    i = narrow_ascii_run(in, i, out);
    if (i >= n) break;
    std::uint32_t cp = in[i++];
    if (high_surrogate(static_cast<char16_t>(cp)) && i < n && low_surrogate(in[i])) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i++] - 0xDC00);
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;  // a lone surrogate, as Windows writes it
    }
    if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | cp >> 6));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | cp >> 12));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | cp >> 18));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    }
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
  return out;
}

}  // namespace

std::u16string multibyte_to_wide(std::string_view bytes, unsigned code_page) {
  try {
    if (code_page == kCodePageGbk) return decode_gbk(bytes);
    if (code_page == kCodePageUtf8) return decode_utf8(bytes);
  } catch (...) {  // out of memory: the documented empty result
  }
  return {};
}

std::string wide_to_multibyte(std::u16string_view wide, unsigned code_page) {
  try {
    if (code_page == kCodePageGbk) return encode_gbk(wide);
    if (code_page == kCodePageUtf8) return encode_utf8(wide);
  } catch (...) {
  }
  return {};
}

}  // namespace brindle::platform
