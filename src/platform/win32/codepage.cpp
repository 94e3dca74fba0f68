// Code pages 936 and 65001 through the system's own converters, with flags 0 as the contract
// says: an invalid sequence decodes to U+FFFD and a character the target lacks becomes "?".
#include <algorithm>
#include <climits>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace brindle::platform {
namespace {

bool known(unsigned code_page) { return code_page == kCodePageGbk || code_page == kCodePageUtf8; }
bool known_target(unsigned code_page) {
  return known(code_page) || code_page == kCodePageGbkKeepingAll;
}

// The system converters count in int; longer texts go in pieces that end on a character
// boundary.
constexpr std::size_t kChunk = std::size_t{1} << 28;

bool convert_piece(const char* bytes, std::size_t n, unsigned code_page, std::wstring& out) {
  if (n == 0) return true;
  const int in = static_cast<int>(n);
  const int need = ::MultiByteToWideChar(code_page, 0, bytes, in, nullptr, 0);
  if (need <= 0) return false;
  const std::size_t at = out.size();
  out.resize(at + static_cast<std::size_t>(need));
  const int got = ::MultiByteToWideChar(code_page, 0, bytes, in, out.data() + at, need);
  out.resize(at + static_cast<std::size_t>(got > 0 ? got : 0));
  return got > 0;
}

// GB18030's four-byte form at p (four bytes available): lead, digit, lead, digit.
bool four_byte_form(const unsigned char* p) {
  const auto lead = [](unsigned b) { return b >= 0x81 && b <= 0xFE; };
  const auto digit = [](unsigned b) { return b >= 0x30 && b <= 0x39; };
  return lead(p[0]) && digit(p[1]) && lead(p[2]) && digit(p[3]);
}

// GBK: the system sees only well-formed runs. A lead byte without a valid trail byte becomes
// U+FFFD by itself, so the byte after it (often ASCII) survives; left to the system, what
// happens to that byte differs between Windows versions and Wine.
bool append_gbk(std::string_view bytes, std::wstring& out) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  std::size_t run = 0;
  std::size_t i = 0;
  while (i < n) {
    const unsigned b = p[i];
    if (b < 0x81 || b == 0xFF) {  // one byte (0x80 is the euro sign, 0xFF a private-use one)
      ++i;
    } else if (i + 1 < n && p[i + 1] >= 0x40 && p[i + 1] <= 0xFE && p[i + 1] != 0x7F) {
      i += 2;
    } else if (i + 3 < n && four_byte_form(p + i)) {
      // A character GBK lacks, kept in its GB18030 form; one that form does not name is lost
      // whole as one U+FFFD.
      if (!convert_piece(bytes.data() + run, i - run, kCodePageGbk, out)) return false;
      std::wstring one;
      if (!convert_piece(bytes.data() + i, 4, kCodePageGbkKeepingAll, one) || one.empty()) {
        one = L"\xFFFD";
      }
      out += one;
      run = i += 4;
      continue;
    } else {
      if (!convert_piece(bytes.data() + run, i - run, kCodePageGbk, out)) return false;
      out.push_back(L'\xFFFD');
      run = ++i;
      continue;
    }
    if (i - run >= kChunk) {
      if (!convert_piece(bytes.data() + run, i - run, kCodePageGbk, out)) return false;
      run = i;
    }
  }
  return convert_piece(bytes.data() + run, n - run, kCodePageGbk, out);
}

// Length of the well-formed UTF-8 character at p[0..n) (n > 0), or 0 when it is ill-formed;
// then `bad` is the length of its maximal ill-formed prefix (at least 1), which becomes one U+FFFD.
std::size_t utf8_char(const unsigned char* p, std::size_t n, std::size_t& bad) {
  const unsigned b = p[0];
  if (b < 0x80) return 1;
  std::size_t length = 0;
  unsigned low = 0x80, high = 0xBF;  // the range of the second byte
  if (b >= 0xC2 && b <= 0xDF) {
    length = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3;
    if (b == 0xE0) low = 0xA0;   // no overlong forms
    if (b == 0xED) high = 0x9F;  // no surrogates
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4;
    if (b == 0xF0) low = 0x90;
    if (b == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    bad = 1;
    return 0;
  }
  std::size_t i = 1;
  for (; i < length && i < n; ++i) {
    const unsigned c = p[i];
    const bool fits = i == 1 ? (c >= low && c <= high) : (c >= 0x80 && c <= 0xBF);
    if (!fits) break;
  }
  if (i == length) return length;
  bad = i;
  return 0;
}

// UTF-8: the system sees only well-formed runs, and each maximal ill-formed prefix becomes one
// U+FFFD here; Wine's decoder counts some of them differently from Windows.
bool append_utf8(std::string_view bytes, std::wstring& out) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  std::size_t run = 0;
  std::size_t i = 0;
  while (i < n) {
    std::size_t bad = 0;
    const std::size_t length = utf8_char(p + i, n - i, bad);
    if (length > 0) {
      i += length;
      if (i - run >= kChunk) {
        if (!convert_piece(bytes.data() + run, i - run, kCodePageUtf8, out)) return false;
        run = i;
      }
      continue;
    }
    if (!convert_piece(bytes.data() + run, i - run, kCodePageUtf8, out)) return false;
    out.push_back(L'\xFFFD');
    i += bad;
    run = i;
  }
  return convert_piece(bytes.data() + run, n - run, kCodePageUtf8, out);
}

void append_wide(std::string_view bytes, unsigned code_page, std::wstring& out) {
  const bool ok = code_page == kCodePageGbk ? append_gbk(bytes, out) : append_utf8(bytes, out);
  if (!ok) out.clear();
}

std::string narrow_raw(std::wstring_view wide, unsigned code_page) {
  std::string out;
  std::size_t pos = 0;
  while (pos < wide.size()) {
    std::size_t n = std::min(wide.size() - pos, kChunk);
    // Never split a surrogate pair between pieces.
    if (pos + n < wide.size() && n > 1 && wide[pos + n - 1] >= 0xD800 &&
        wide[pos + n - 1] <= 0xDBFF)
      --n;
    const int in = static_cast<int>(n);
    const int need =
        ::WideCharToMultiByte(code_page, 0, wide.data() + pos, in, nullptr, 0, nullptr, nullptr);
    if (need <= 0) return {};
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(need));
    const int got = ::WideCharToMultiByte(code_page, 0, wide.data() + pos, in, out.data() + at,
                                          need, nullptr, nullptr);
    out.resize(at + static_cast<std::size_t>(got > 0 ? got : 0));
    pos += n;
  }
  return out;
}

// GBK with the characters it lacks in GB18030's four-byte form: the system's GBK first, and for
// each character it had to replace, the system's GB18030 (whose two-byte codes differ from
// Windows' GBK in a few places, so it is asked only for those).
std::string narrow_keeping_all(std::wstring_view wide) {
  BOOL replaced = FALSE;
  const int in = static_cast<int>(std::min(wide.size(), kChunk));
  if (in == static_cast<int>(wide.size())) {
    const int need =
        ::WideCharToMultiByte(kCodePageGbk, 0, wide.data(), in, nullptr, 0, nullptr, &replaced);
    if (need <= 0 && in > 0) return {};
    if (!replaced) return narrow_raw(wide, kCodePageGbk);
  }
  std::string out;
  std::string piece(4, '\0');
  for (std::size_t i = 0; i < wide.size();) {
    const wchar_t c = wide[i];
    const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
                      wide[i + 1] <= 0xDFFF;
    const int units = pair ? 2 : 1;
    BOOL lacked = pair;  // nothing beyond the BMP is in GBK
    int got = 0;
    if (!pair) {
      got = ::WideCharToMultiByte(kCodePageGbk, 0, wide.data() + i, 1, piece.data(), 4, nullptr,
                                  &lacked);
    }
    const bool lone = !pair && c >= 0xD800 && c <= 0xDFFF;
    if (lacked && !lone && c != 0xFFFD) {
      got = ::WideCharToMultiByte(kCodePageGbkKeepingAll, 0, wide.data() + i, units, piece.data(),
                                  4, nullptr, nullptr);
      if (got != 4) {
        piece[0] = '?';
        got = 1;
      }
    } else if (lacked) {
      piece[0] = '?';
      got = 1;
    }
    out.append(piece.data(), static_cast<std::size_t>(got > 0 ? got : 0));
    i += static_cast<std::size_t>(units);
  }
  return out;
}

// A character beyond the BMP is one character GBK lacks, so one "?", where the system writes one
// per surrogate. Lone surrogates stay for the system: one "?" each.
std::string narrow(std::wstring_view wide, unsigned code_page) {
  if (code_page == kCodePageGbkKeepingAll) return narrow_keeping_all(wide);
  const bool pairs =
      code_page == kCodePageGbk &&
      std::any_of(wide.begin(), wide.end(), [](wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; });
  if (!pairs) return narrow_raw(wide, code_page);
  std::wstring folded;
  folded.reserve(wide.size());
  for (std::size_t i = 0; i < wide.size(); ++i) {
    const wchar_t c = wide[i];
    const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
                      wide[i + 1] <= 0xDFFF;
    folded.push_back(pair ? L'?' : c);
    if (pair) ++i;
  }
  return narrow_raw(folded, code_page);
}

}  // namespace

namespace win {

std::wstring to_wide(std::string_view gbk) {
  std::wstring out;
  append_wide(gbk, kCodePageGbk, out);
  return out;
}

std::string from_wide(std::wstring_view wide) { return narrow(wide, kCodePageGbk); }
std::string utf8_from_wide(std::wstring_view wide) { return narrow(wide, kCodePageUtf8); }

}  // namespace win

std::u16string multibyte_to_wide(std::string_view bytes, unsigned code_page) {
  if (!known(code_page)) return {};
  try {
    std::wstring wide;
    append_wide(bytes, code_page, wide);
    return std::u16string(wide.begin(), wide.end());
  } catch (...) {
    return {};
  }
}

std::string wide_to_multibyte(std::u16string_view wide, unsigned code_page) {
  if (!known_target(code_page)) return {};
  try {
    return narrow(std::wstring_view(reinterpret_cast<const wchar_t*>(wide.data()), wide.size()),
                  code_page);
  } catch (...) {
    return {};
  }
}

std::string convert_code_page(std::string_view bytes, unsigned from_code_page,
                              unsigned to_code_page) {
  if (!known(from_code_page) || !known_target(to_code_page)) return {};
  try {
    // Through UTF-16, which is what the system converters offer; ASCII needs no conversion.
    bool ascii = true;
    for (char c : bytes) {
      if (static_cast<unsigned char>(c) >= 0x80) {
        ascii = false;
        break;
      }
    }
    if (ascii) return std::string(bytes);
    std::wstring wide;
    append_wide(bytes, from_code_page, wide);
    return narrow(wide, to_code_page);
  } catch (...) {
    return {};
  }
}

}  // namespace brindle::platform
