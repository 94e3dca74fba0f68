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
// Characters GBK lacks may be kept in GB18030's four-byte form (kCodePageGbkKeepingAll): those
// beyond the BMP by GB18030's formula, those in the BMP through glibc's GB18030 table, built once
// when first needed.
// UTF-8 is decoded and encoded by hand: it is simpler than iconv's error reporting and lets
// invalid input become U+FFFD per maximal ill-formed subsequence, as Windows does.
#include <iconv.h>

#include <algorithm>
#include <array>
#include <bit>
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

constexpr bool valid_trail(unsigned b) { return b >= kTrailFirst && b <= kTrailLast && b != 0x7F; }
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

// The unit itself, or 0 for one no character a code may stand for (a surrogate, U+FFFD, ASCII).
char16_t usable(char16_t c) {
  return (c >= 0xD800 && c <= 0xDFFF) || c == kReplacement || c < 0x80 ? 0 : c;
}

// One character through `cd` (to UTF-16LE): its code unit, or 0 when it gives none, more than
// one, or one that is no character a code may stand for.
char16_t iconv_one(iconv_t cd, char* in, std::size_t length) {
  unsigned char out[8];
  char* in_ptr = in;
  std::size_t in_left = length;
  char* out_ptr = reinterpret_cast<char*>(out);
  std::size_t out_left = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  const std::size_t rc = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
  if (rc == static_cast<std::size_t>(-1) || in_left != 0 || sizeof out - out_left != 2) return 0;
  return usable(static_cast<char16_t>(out[0] | out[1] << 8));
}

// Each of `count` codes of `width` bytes (one after another at `codes`) through `cd`: its code
// unit to units[k], 0 when it gives none. All in one call (a call costs far more than a
// character; every program start builds the tables); when they do not all come out one unit
// each, code by code.
void iconv_each(iconv_t cd, char* codes, std::size_t count, std::size_t width, char16_t* units) {
  char* in_ptr = codes;
  std::size_t in_left = count * width;
  char* out_ptr = reinterpret_cast<char*>(units);
  std::size_t out_left = count * 2;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  const std::size_t rc = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
  const bool whole = rc != static_cast<std::size_t>(-1) && in_left == 0 && out_left == 0;
  for (std::size_t k = 0; k < count; ++k) {
    if (whole) {
      unsigned char bytes[2];
      std::memcpy(bytes, units + k, 2);
      units[k] = usable(static_cast<char16_t>(bytes[0] | bytes[1] << 8));
    } else {
      units[k] = iconv_one(cd, codes + k * width, width);
    }
  }
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
        if (c >= 0x80 && encode_[c] == 0)
          encode_[c] = static_cast<std::uint16_t>(lead << 8 | trail);
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
  // Each lead's pairs go through the converter together.
  void fill_from_iconv() {
    iconv_t cd = iconv_open("UTF-16LE", "CP936");
    if (cd == reinterpret_cast<iconv_t>(-1)) return;  // only the private-use slots then
    std::array<char, 2 * (kTrailLast - kTrailFirst + 1)> pairs{};
    std::array<char16_t, kTrailLast - kTrailFirst + 1> units{};
    for (unsigned lead = kLeadFirst; lead <= kLeadLast; ++lead) {
      std::size_t count = 0;
      for (unsigned trail = kTrailFirst; trail <= kTrailLast; ++trail) {
        if (!valid_trail(trail)) continue;
        pairs[2 * count] = static_cast<char>(lead);
        pairs[2 * count + 1] = static_cast<char>(trail);
        ++count;
      }
      iconv_each(cd, pairs.data(), count, 2, units.data());
      for (std::size_t k = 0; k < count; ++k) {
        const auto trail = static_cast<unsigned char>(pairs[2 * k + 1]);
        const char16_t c = units[k];
        if (c != 0) decode_[slot_of(lead, trail)] = c;
      }
    }
    iconv_close(cd);
  }

  std::array<char16_t, kSlotCount> decode_{};
  std::array<std::uint16_t, 0x10000> encode_{};
};

// GB18030's four-byte codes b1 b2 b3 b4 (b1, b3 in 0x81-0xFE; b2, b4 digits) as one number.
constexpr std::uint32_t kFourByteBmpCount = 39420;        // 0x81308130 to 0x8431A439
constexpr std::uint32_t kFourByteSupplementary = 189000;  // the number of 0x90308130
constexpr bool digit(unsigned b) { return b >= 0x30 && b <= 0x39; }
constexpr std::uint32_t four_byte_number(unsigned b1, unsigned b2, unsigned b3, unsigned b4) {
  return (((b1 - 0x81) * 10 + (b2 - 0x30)) * 126 + (b3 - 0x81)) * 10 + (b4 - 0x30);
}

// The BMP part of GB18030's four-byte area, from glibc's converter.
class FourByteTable {
 public:
  // Through the converter a block of codes at a time.
  FourByteTable() {
    iconv_t cd = iconv_open("UTF-16LE", "GB18030");
    if (cd == reinterpret_cast<iconv_t>(-1)) return;  // then only what lies beyond the BMP
    constexpr std::uint32_t kBlock = 1260;
    std::array<char, 4 * kBlock> codes{};
    std::array<char16_t, kBlock> units{};
    for (std::uint32_t first = 0; first < kFourByteBmpCount; first += kBlock) {
      const std::uint32_t count = std::min(kBlock, kFourByteBmpCount - first);
      for (std::uint32_t k = 0; k < count; ++k) {
        const std::uint32_t number = first + k;
        codes[4 * k] = static_cast<char>(0x81 + number / 12600);
        codes[4 * k + 1] = static_cast<char>(0x30 + number / 1260 % 10);
        codes[4 * k + 2] = static_cast<char>(0x81 + number / 10 % 126);
        codes[4 * k + 3] = static_cast<char>(0x30 + number % 10);
      }
      iconv_each(cd, codes.data(), count, 4, units.data());
      for (std::uint32_t k = 0; k < count; ++k) {
        const char16_t c = units[k];
        if (c == 0) continue;
        decode_[first + k] = c;
        if (encode_[c] == 0) encode_[c] = first + k + 1;
      }
    }
    iconv_close(cd);
  }
  char16_t decode(std::uint32_t number) const { return decode_[number]; }  // 0 when none
  // The four-byte number plus one, 0 when GB18030 has no four-byte form for it.
  std::uint32_t encode(char16_t c) const { return encode_[c]; }

 private:
  std::array<char16_t, kFourByteBmpCount> decode_{};
  std::array<std::uint32_t, 0x10000> encode_{};
};

const FourByteTable& four_byte_table() {
  static const auto table = std::make_unique<const FourByteTable>();
  return *table;
}

// The code point of the four-byte form at p (four bytes available), or 0 when it stands for none.
std::uint32_t decode_four(const unsigned char* p) {
  if (!digit(p[1]) || p[2] < kLeadFirst || p[2] > kLeadLast || !digit(p[3])) return 0;
  const std::uint32_t number = four_byte_number(p[0], p[1], p[2], p[3]);
  if (number < kFourByteBmpCount) return four_byte_table().decode(number);
  if (number < kFourByteSupplementary) return 0;
  const std::uint32_t cp = number - kFourByteSupplementary + 0x10000;
  return cp <= 0x10FFFF ? cp : 0;
}

// Writes the four-byte form of `cp` (a character GBK lacks) and gives the end; nullptr when
// GB18030 has none for it.
char* encode_four(std::uint32_t cp, char* out) {
  std::uint32_t number = 0;
  if (cp >= 0x10000) {
    number = cp - 0x10000 + kFourByteSupplementary;
  } else {
    const std::uint32_t entry = four_byte_table().encode(static_cast<char16_t>(cp));
    if (entry == 0) return nullptr;
    number = entry - 1;
  }
  out[0] = static_cast<char>(0x81 + number / 12600);
  out[1] = static_cast<char>(0x30 + number / 1260 % 10);
  out[2] = static_cast<char>(0x81 + number / 10 % 126);
  out[3] = static_cast<char>(0x30 + number % 10);
  return out + 4;
}

const GbkTables& gbk_tables() {
  static const auto tables = std::make_unique<const GbkTables>();
  return *tables;
}

// ---- Conversion core --------------------------------------------------------------------------
//
// A decoder walks its input and hands each character (a code point, or a lone surrogate from
// UTF-16 input) to a sink, and whole ASCII runs at once. Sinks write through a raw pointer into
// a string sized beforehand to the largest possible result, which is trimmed at the end.

// Hands the run of ASCII bytes at p[i] to the sink, eight at a time where possible (fixed-size
// copies compile to single moves; runs between Chinese characters are short), and returns the
// index after it. The word that ends the run goes over whole too, the sink keeping only its
// ASCII part: every sink's buffer has at least as many units free as input bytes remain (each
// is sized to the most a character can take), so eight more are there to write.
template <typename Sink>
std::size_t copy_ascii_run(const unsigned char* p, std::size_t i, std::size_t n, Sink& sink) {
  while (i + 8 <= n) {
    std::uint64_t word;
    std::memcpy(&word, p + i, 8);
    const std::uint64_t high = word & 0x8080808080808080ULL;
    if (high != 0) {
      if constexpr (std::endian::native == std::endian::little) {
        // The first byte past ASCII is the lowest one with its top bit set.
        const auto ascii = static_cast<std::size_t>(std::countr_zero(high) / 8);
        sink.ascii8(p + i);
        sink.out -= 8 - ascii;
        return i + ascii;
      }
      break;
    }
    sink.ascii8(p + i);
    i += 8;
  }
  while (i < n && p[i] < 0x80) sink.put_ascii(p[i++]);
  return i;
}

std::size_t ascii_run(const char16_t* p, std::size_t n) {
  std::size_t i = 0;
  while (i + 4 <= n) {
    std::uint64_t word;
    std::memcpy(&word, p + i, 8);
    if (word & 0xFF80FF80FF80FF80ULL) break;
    i += 4;
  }
  while (i < n && p[i] < 0x80) ++i;
  return i;
}

constexpr bool high_surrogate(std::uint32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
constexpr bool low_surrogate(std::uint32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
constexpr bool continuation(unsigned b) { return (b & 0xC0) == 0x80; }

struct Utf16Sink {
  char16_t* out;
  void ascii8(const unsigned char* p) {
    for (int k = 0; k < 8; ++k) out[k] = p[k];
    out += 8;
  }
  void put_ascii(unsigned char c) { *out++ = c; }
  void put(std::uint32_t cp) {
    if (cp >= 0x10000) {
      cp -= 0x10000;
      *out++ = static_cast<char16_t>(0xD800 + (cp >> 10));
      *out++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      *out++ = static_cast<char16_t>(cp);
    }
  }
};

struct GbkSink {
  char* out;
  const GbkTables& tables;
  bool keep_all = false;  // characters GBK lacks in their four-byte form rather than "?"
  void ascii8(const unsigned char* p) {
    std::memcpy(out, p, 8);
    out += 8;
  }
  void put_ascii(unsigned char c) { *out++ = static_cast<char>(c); }
  void ascii(const char16_t* p, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k) out[k] = static_cast<char>(p[k]);
    out += n;
  }
  void put(std::uint32_t cp) {
    // Nothing outside the BMP is in GBK (a surrogate pair is one character, so one "?"), and a
    // lone surrogate is no character at all.
    std::uint16_t code = cp < 0x10000 && !high_surrogate(cp) && !low_surrogate(cp)
                             ? tables.encode(static_cast<char16_t>(cp))
                             : 0;
    if (cp < 0x80) {
      *out++ = static_cast<char>(cp);
    } else if (code == 0) {
      char* end = keep_all && !high_surrogate(cp) && !low_surrogate(cp) && cp != kReplacement
                      ? encode_four(cp, out)
                      : nullptr;
      if (end != nullptr) {
        out = end;
      } else {
        *out++ = '?';
      }
    } else if (code < 0x100) {
      *out++ = static_cast<char>(code);
    } else {
      out[0] = static_cast<char>(code >> 8);
      out[1] = static_cast<char>(code & 0xFF);
      out += 2;
    }
  }
};

struct Utf8Sink {
  char* out;
  void ascii8(const unsigned char* p) {
    std::memcpy(out, p, 8);
    out += 8;
  }
  void put_ascii(unsigned char c) { *out++ = static_cast<char>(c); }
  void ascii(const char16_t* p, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k) out[k] = static_cast<char>(p[k]);
    out += n;
  }
  void put(std::uint32_t cp) {
    if (high_surrogate(cp) || low_surrogate(cp)) cp = kReplacement;  // as Windows writes it
    if (cp < 0x80) {
      *out++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
      *out++ = static_cast<char>(0xC0 | cp >> 6);
      *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      *out++ = static_cast<char>(0xE0 | cp >> 12);
      *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      *out++ = static_cast<char>(0xF0 | cp >> 18);
      *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
};

template <typename Sink>
void decode_gbk(const unsigned char* p, std::size_t n, Sink& sink) {
  const GbkTables& tables = gbk_tables();
  std::size_t i = 0;
  while (i < n) {
    i = copy_ascii_run(p, i, n, sink);
    if (i >= n) break;
    unsigned b = p[i];
    if (b == 0x80) {
      sink.put(0x20AC);
      ++i;
    } else if (b == 0xFF) {
      sink.put(0xF8F5);
      ++i;
    } else if (i + 1 < n && valid_trail(p[i + 1])) {
      sink.put(tables.decode_pair(b, p[i + 1]));
      i += 2;
    } else if (std::uint32_t cp = i + 3 < n ? decode_four(p + i) : 0) {
      sink.put(cp);
      i += 4;
    } else {
      // A lead byte without a usable trail byte: only the lead is lost, so an ASCII byte
      // after it survives.
      sink.put(kReplacement);
      ++i;
    }
  }
}

template <typename Sink>
void decode_utf8(const unsigned char* p, std::size_t n, Sink& sink) {
  std::size_t i = 0;
  while (i < n) {
    i = copy_ascii_run(p, i, n, sink);
    if (i >= n) break;
    unsigned b0 = p[i];
    // Chinese text is almost all three-byte sequences: take a well-formed one in one step.
    if ((b0 & 0xF0) == 0xE0 && i + 2 < n && continuation(p[i + 1]) && continuation(p[i + 2])) {
      std::uint32_t cp = (b0 & 0x0Fu) << 12 | (p[i + 1] & 0x3Fu) << 6 | (p[i + 2] & 0x3Fu);
      if (cp >= 0x800 && !high_surrogate(cp) && !low_surrogate(cp)) {
        sink.put(cp);
        i += 3;
        continue;
      }
    }
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
      sink.put(kReplacement);
      ++i;
      continue;
    }
    std::uint32_t cp = b0 & (0x3Fu >> need);
    std::size_t j = i + 1;
    bool ok = true;
    for (int k = 0; k < need; ++k, ++j) {
      if (j >= n) {
        ok = false;
        break;
      }
      unsigned b = p[j];
      if (k == 0 ? (b < low || b > high) : !continuation(b)) {
        ok = false;
        break;
      }
      cp = cp << 6 | (b & 0x3F);
    }
    // The maximal ill-formed prefix becomes one U+FFFD; decoding resumes at the byte that
    // broke it.
    sink.put(ok ? cp : kReplacement);
    i = j;
  }
}

template <typename Sink>
void decode_utf16(const char16_t* p, std::size_t n, Sink& sink) {
  std::size_t i = 0;
  while (i < n) {
    std::size_t run = ascii_run(p + i, n - i);
    sink.ascii(p + i, run);
    i += run;
    if (i >= n) break;
    std::uint32_t c = p[i++];
    if (high_surrogate(c) && i < n && low_surrogate(p[i])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (p[i++] - 0xDC00u);
    }
    sink.put(c);  // a lone surrogate goes through for the sink to replace
  }
}

bool known(unsigned code_page) { return code_page == kCodePageGbk || code_page == kCodePageUtf8; }
bool known_target(unsigned code_page) {
  return known(code_page) || code_page == kCodePageGbkKeepingAll;
}
bool gbk_target(unsigned code_page) {
  return code_page == kCodePageGbk || code_page == kCodePageGbkKeepingAll;
}

template <typename Sink>
void decode_bytes(std::string_view bytes, unsigned code_page, Sink& sink) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  if (code_page == kCodePageGbk) {
    decode_gbk(p, bytes.size(), sink);
  } else {
    decode_utf8(p, bytes.size(), sink);
  }
}

// Runs a byte-writing sink over a decoder into a string of at most `bound` bytes.
template <typename Decode>
std::string encode_into(std::size_t bound, unsigned code_page, Decode decode) {
  std::string out(bound, '\0');
  char* end;
  if (gbk_target(code_page)) {
    GbkSink sink{out.data(), gbk_tables(), code_page == kCodePageGbkKeepingAll};
    decode(sink);
    end = sink.out;
  } else {
    Utf8Sink sink{out.data()};
    decode(sink);
    end = sink.out;
  }
  out.resize(static_cast<std::size_t>(end - out.data()));
  return out;
}

}  // namespace

std::u16string multibyte_to_wide(std::string_view bytes, unsigned code_page) {
  try {
    if (!known(code_page)) return {};
    // Every input byte gives at most one unit (four UTF-8 bytes give two).
    std::u16string out(bytes.size(), u'\0');
    Utf16Sink sink{out.data()};
    decode_bytes(bytes, code_page, sink);
    out.resize(static_cast<std::size_t>(sink.out - out.data()));
    return out;
  } catch (...) {  // out of memory: the documented empty result
    return {};
  }
}

std::string wide_to_multibyte(std::u16string_view wide, unsigned code_page) {
  try {
    if (!known_target(code_page)) return {};
    // At most two GBK bytes or three UTF-8 bytes a unit (a pair gives four); a four-byte form
    // may stand for one unit.
    const std::size_t bound = wide.size() * (code_page == kCodePageGbk    ? 2
                                             : code_page == kCodePageUtf8 ? 3
                                                                          : 4);
    return encode_into(bound, code_page,
                       [&](auto& sink) { decode_utf16(wide.data(), wide.size(), sink); });
  } catch (...) {
    return {};
  }
}

std::string convert_code_page(std::string_view bytes, unsigned from_code_page,
                              unsigned to_code_page) {
  try {
    if (!known(from_code_page) || !known_target(to_code_page)) return {};
    // Into GBK no character grows (an invalid byte becomes one "?"); into UTF-8 one byte may
    // become three (0x80, 0xFF or an invalid byte); a character GBK lacks, kept, takes four
    // bytes where UTF-8 had two at least.
    const std::size_t bound = bytes.size() * (to_code_page == kCodePageGbk    ? 1
                                              : to_code_page == kCodePageUtf8 ? 3
                                                                              : 2);
    return encode_into(bound, to_code_page,
                       [&](auto& sink) { decode_bytes(bytes, from_code_page, sink); });
  } catch (...) {
    return {};
  }
}

}  // namespace brindle::platform
