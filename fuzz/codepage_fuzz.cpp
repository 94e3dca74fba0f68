// The GBK and UTF-8 codecs (platform) and the program's conversions built on them (foundation).
// The input is read as GBK, as UTF-8 and as UTF-16 code units. Properties:
//   - convert_code_page is the two-step conversion through UTF-16, within its size bounds;
//   - text that decodes without a replacement character encodes back to the same bytes
//     (GBK -> UTF-16 -> GBK and UTF-8 -> UTF-16 -> UTF-8), but for a character GBK lacks, read
//     from GB18030's four-byte form: plain GBK writes it as "?";
//   - UTF-16 without lone surrogates survives UTF-8 and back; whatever GBK encoding gives is
//     valid GBK and survives its own round trip;
//   - the foundation's helpers agree with the platform functions.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/encoding.h"
#include "fuzz_check.h"
#include "platform/gbk_text.h"
#include "platform/platform.h"

namespace {

namespace platform = brindle::platform;
constexpr unsigned kGbk = platform::kCodePageGbk;
constexpr unsigned kUtf8 = platform::kCodePageUtf8;

bool HasReplacement(std::u16string_view wide) { return wide.find(u'\uFFFD') != wide.npos; }

// Whether the GBK text holds a character in GB18030's four-byte form.
bool HasFourByteForm(std::string_view gbk) {
  for (std::size_t i = 0; i < gbk.size();) {
    const std::size_t width = brindle::GbkCharLength(gbk, i);
    if (width == 4) return true;
    i += width;
  }
  return false;
}

bool HasLoneSurrogate(std::u16string_view w) {
  for (std::size_t i = 0; i < w.size(); ++i) {
    const char16_t c = w[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF) {
        ++i;
        continue;
      }
      return true;
    }
    if (c >= 0xDC00 && c <= 0xDFFF) return true;
  }
  return false;
}

void CheckBytes(std::string_view bytes, unsigned from) {
  const std::u16string wide = platform::multibyte_to_wide(bytes, from);
  FUZZ_CHECK(wide.size() <= bytes.size());
  for (unsigned to : {kGbk, kUtf8}) {
    const std::string two_step = platform::wide_to_multibyte(wide, to);
    const std::string one_step = platform::convert_code_page(bytes, from, to);
    FUZZ_CHECK(one_step == two_step);
    FUZZ_CHECK(one_step.size() <= bytes.size() * (to == kGbk ? 1 : 3));
    if (to == from && !HasReplacement(wide) && !(to == kGbk && HasFourByteForm(bytes))) {
      FUZZ_CHECK(one_step == bytes);
    }
  }
  FUZZ_CHECK(platform::multibyte_to_wide(bytes, 1252).empty());
  FUZZ_CHECK(platform::convert_code_page(bytes, from, 437).empty());
}

void CheckWide(std::u16string_view wide) {
  const std::string utf8 = platform::wide_to_multibyte(wide, kUtf8);
  const std::u16string back = platform::multibyte_to_wide(utf8, kUtf8);
  if (!HasLoneSurrogate(wide))
    FUZZ_CHECK(back == wide);
  else
    FUZZ_CHECK(back.size() == wide.size());  // each lone surrogate is one U+FFFD

  const std::string gbk = platform::wide_to_multibyte(wide, kGbk);
  FUZZ_CHECK(gbk.size() <= wide.size() * 2);
  const std::u16string decoded = platform::multibyte_to_wide(gbk, kGbk);
  FUZZ_CHECK(!HasReplacement(decoded));  // what the encoder writes is valid GBK
  FUZZ_CHECK(platform::wide_to_multibyte(decoded, kGbk) == gbk);
  FUZZ_CHECK(brindle::u16_to_gbk(wide) ==
             platform::wide_to_multibyte(wide.substr(0, wide.find(u'\0')), kGbk));
}

void CheckFoundation(std::string_view bytes) {
  const std::string_view text = bytes.substr(0, bytes.find('\0'));
  FUZZ_CHECK(brindle::utf8_to_gbk_counted(bytes) ==
             platform::convert_code_page(bytes, kUtf8, kGbk));
  FUZZ_CHECK(brindle::utf8_to_gbk(bytes) == platform::convert_code_page(text, kUtf8, kGbk));
  FUZZ_CHECK(brindle::gbk_to_u16(bytes) == platform::multibyte_to_wide(text, kGbk));
  const std::string utf8 = brindle::gbk_to_utf8(bytes);
  FUZZ_CHECK(utf8 == platform::convert_code_page(text, kGbk, kUtf8));
  // UTF-16LE with its terminating NUL unit, and back.
  const std::string utf16 = brindle::gbk_to_utf16(bytes);
  FUZZ_CHECK(utf16.empty() || (utf16.size() % 2 == 0 &&
                               utf16.substr(utf16.size() - 2) == std::string_view("\0\0", 2)));
  FUZZ_CHECK(brindle::utf16_to_gbk(utf16) == platform::convert_code_page(text, kGbk, kGbk));

  // The GBK byte rules: clipping never ends inside a character, searching finds only whole ones.
  for (std::size_t limit : {std::size_t{0}, std::size_t{1}, bytes.size() / 2, bytes.size()}) {
    const std::string_view clipped = brindle::GbkClip(bytes, limit);
    FUZZ_CHECK(clipped.size() <= limit && bytes.substr(0, clipped.size()) == clipped);
    // Short of the limit by less than a character: three bytes at most (a four-byte form).
    FUZZ_CHECK(clipped.size() + 3 >= std::min(limit, bytes.size()));
  }
  if (bytes.size() >= 2) {
    const std::string_view needle = bytes.substr(bytes.size() / 2, 2);
    const std::size_t at = brindle::GbkFindIgnoreCase(bytes, needle);
    if (at != std::string_view::npos) {
      FUZZ_CHECK(at + needle.size() <= bytes.size());
      FUZZ_CHECK(brindle::GbkEqualsIgnoreCase(bytes.substr(at, needle.size()), needle));
    }
    FUZZ_CHECK(brindle::GbkAsciiLower(bytes).size() == bytes.size());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CheckBytes(bytes, kGbk);
  CheckBytes(bytes, kUtf8);
  std::u16string wide(size / 2, u'\0');
  for (std::size_t i = 0; i < wide.size(); ++i)
    wide[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  CheckWide(wide);
  CheckFoundation(bytes);
  return 0;
}
