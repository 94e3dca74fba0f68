#include "foundation/encoding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <random>
#include <set>
#include <string>

#include "platform/gbk_text.h"
#include "platform/platform.h"
#include "support/system_only.h"

namespace brindle {
namespace {

// An independent reading of standard Base64 (RFC 4648, padded), for the encoder's round trip.
bool DecodeBase64(const std::string& text, std::string& out) {
  static const std::string kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  if (text.size() % 4 != 0) return false;
  out.clear();
  for (std::size_t i = 0; i < text.size(); i += 4) {
    std::uint32_t group = 0;
    int padding = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const char c = text[i + k];
      std::size_t value = 0;
      if (c == '=' && i + 4 == text.size() && k >= 2) {
        ++padding;
      } else if (padding > 0 || (value = kAlphabet.find(c)) == std::string::npos) {
        return false;
      }
      group = group << 6 | static_cast<std::uint32_t>(c == '=' ? 0 : value);
    }
    for (int b = 0; b < 3 - padding; ++b) out.push_back(static_cast<char>(group >> (16 - 8 * b)));
  }
  return true;
}

using platform::kCodePageGbk;
using platform::kCodePageGbkKeepingAll;
using platform::kCodePageUtf8;
using platform::multibyte_to_wide;
using platform::wide_to_multibyte;
using namespace std::string_literals;

std::string pair_bytes(unsigned lead, unsigned trail) {
  return {static_cast<char>(lead), static_cast<char>(trail)};
}

template <typename F>
void for_each_double_byte_slot(F f) {
  for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
    for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail != 0x7F) f(lead, trail);
    }
  }
}

// ---- Code page 936 as Windows defines it ------------------------------------------------------

// Windows assigns every one of the 23,940 double-byte slots: the user-defined rows to
// U+E000-U+E765 and the remaining unassigned slots to U+E766-U+E864. So nothing is left out of
// the round trip; the fingerprint pins the whole table to the reference cp936 mapping.
TEST(CodePage936, EveryDoubleByteSlotMatchesTheWindowsTable) {
  std::uint64_t fingerprint = 0xcbf29ce484222325ULL;  // FNV-1a over the UTF-16LE of each slot
  std::set<char16_t> seen;
  int slots = 0;
  for_each_double_byte_slot([&](unsigned lead, unsigned trail) {
    std::u16string wide = multibyte_to_wide(pair_bytes(lead, trail), kCodePageGbk);
    ASSERT_EQ(wide.size(), 1u) << std::hex << lead << trail;
    for (unsigned byte : {wide[0] & 0xFFu, static_cast<unsigned>(wide[0] >> 8)}) {
      fingerprint = (fingerprint ^ byte) * 0x100000001b3ULL;
    }
    seen.insert(wide[0]);
    ++slots;
  });
  EXPECT_EQ(slots, 23940);
  EXPECT_EQ(seen.size(), 23940u) << "two slots share a character";
  EXPECT_EQ(seen.count(0xFFFD), 0u);
  EXPECT_EQ(fingerprint, 0x7e34dbca8adb9989ULL);
}

// Where two long byte strings differ, as a short message instead of a dump of both.
std::string first_difference(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  if (i == a.size() && i == b.size()) return "";
  char where[96];
  std::snprintf(where, sizeof where, "first difference at byte %zu of %zu/%zu", i, a.size(),
                b.size());
  return where;
}

TEST(CodePage936, Utf8ToGbkToUtf8RoundTripsEverySlot) {
  std::string all_gbk;
  std::string all_utf8;
  for_each_double_byte_slot([&](unsigned lead, unsigned trail) {
    std::string gbk_pair = pair_bytes(lead, trail);
    all_gbk += gbk_pair;
    all_utf8 += wide_to_multibyte(multibyte_to_wide(gbk_pair, kCodePageGbk), kCodePageUtf8);
  });
  EXPECT_EQ(first_difference(utf8_to_gbk(all_utf8), all_gbk), "");
  EXPECT_EQ(first_difference(gbk_to_utf8(all_gbk), all_utf8), "");
}

TEST(CodePage936, KnownMappingsWhereLibrariesDisagree) {
  struct Case {
    std::string gbk;
    char16_t wide;
  } cases[] = {
      {"\x80", 0x20AC},      // the euro sign is the single byte 0x80
      {"\xFF", 0xF8F5},      // a private-use character, not an error
      {"\xA1\xA4", 0x00B7},  // middle dot, not the katakana one
      {"\xA1\xAA", 0x2014},  // em dash
      {"\xA8\x44", 0x2015},  // horizontal bar
      {"\xA2\xE3", 0xE76C},  // private use on Windows; GB18030 puts the euro here
      {"\xA6\xD9", 0xE78D},  // GB18030-2005 moved this one to U+FE10, Windows did not
      {"\xAA\xA1", 0xE000},  // first user-defined slot of each area
      {"\xF8\xA1", 0xE234}, {"\xA1\x40", 0xE4C6}, {"\xA7\xA0", 0xE765},  // last user-defined slot
      {"\xA2\xAB", 0xE766},  // first of the other unassigned slots
      {"\xFE\xA0", 0xE864},  // and the last
      {"\xB5\xD8", u'地'},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(multibyte_to_wide(c.gbk, kCodePageGbk), std::u16string(1, c.wide)) << c.gbk;
    EXPECT_EQ(wide_to_multibyte(std::u16string(1, c.wide), kCodePageGbk), c.gbk);
  }
  // A2E3 and 0x80 must not both claim the euro sign on the way back.
  EXPECT_EQ(wide_to_multibyte(u"\u20AC", kCodePageGbk), "\x80");
}

TEST(CodePage936, AsciiAndNulAreThemselves) {
  std::string ascii;
  for (int c = 0; c < 0x80; ++c) ascii.push_back(static_cast<char>(c));
  std::u16string wide = multibyte_to_wide(ascii, kCodePageGbk);
  ASSERT_EQ(wide.size(), 0x80u);
  for (int c = 0; c < 0x80; ++c) EXPECT_EQ(wide[static_cast<std::size_t>(c)], c);
  EXPECT_EQ(wide_to_multibyte(wide, kCodePageGbk), ascii);
  EXPECT_EQ(wide_to_multibyte(wide, kCodePageUtf8), ascii);
}

TEST(CodePage936, InvalidSequencesBecomeReplacementCharacters) {
  // A lead byte without a valid trail loses only itself: what follows is decoded on its own.
  EXPECT_EQ(multibyte_to_wide("\x81", kCodePageGbk), u"\uFFFD");
  EXPECT_EQ(multibyte_to_wide("\xB5\x30", kCodePageGbk), u"\uFFFD0");
  EXPECT_EQ(multibyte_to_wide("\xB5\x7F", kCodePageGbk), u"\uFFFD\x7F");
  EXPECT_EQ(multibyte_to_wide("\xB5\xFF", kCodePageGbk), u"\uFFFD\uF8F5");
  EXPECT_EQ(multibyte_to_wide("a\xB5\xD8\xB5", kCodePageGbk), u"a地\uFFFD");
  EXPECT_EQ(multibyte_to_wide("\xB5\0"s, kCodePageGbk), u"\uFFFD\0"s);
}

TEST(CodePage936, CharactersOutsideGbkBecomeOneQuestionMarkEach) {
  EXPECT_EQ(wide_to_multibyte(u"a\U0001F600b", kCodePageGbk), "a?b");  // a surrogate pair
  EXPECT_EQ(wide_to_multibyte(u"\u0E01\u0E02", kCodePageGbk), "??");   // Thai
  EXPECT_EQ(wide_to_multibyte(u"\xD800x"s, kCodePageGbk), "?x");       // lone high surrogate
  EXPECT_EQ(wide_to_multibyte(u"\xDC00"s, kCodePageGbk), "?");         // lone low surrogate
  EXPECT_EQ(wide_to_multibyte(u"\uFFFD", kCodePageGbk), "?");
}

TEST(CodePage936, NamesKeepWhatGbkLacksInTheFourByteForm) {
  BRINDLE_NOT_UNDER_WINE(test::kGb18030UnderWine);
  // An emoji, Hangul and Thai beside a Chinese character and the euro sign, which GBK has.
  const std::u16string name = u"a\U0001F600\uAC00\u0E01\u5730\u20AC";
  const std::string kept = wide_to_multibyte(name, kCodePageGbkKeepingAll);
  EXPECT_EQ(kept, "a\x94\x39\xFC\x36\x82\x37\xCF\x35\x81\x32\xCE\x39\xB5\xD8\x80");
  EXPECT_EQ(multibyte_to_wide(kept, kCodePageGbk), name);
  const std::string utf8 = wide_to_multibyte(name, kCodePageUtf8);
  EXPECT_EQ(utf8_to_gbk_keeping_all(utf8), kept);
  EXPECT_EQ(gbk_to_utf8(kept), utf8);
  EXPECT_EQ(utf8_to_gbk(utf8), "a???\xB5\xD8\x80");  // the files' conversion is unchanged
  // A four-byte form is one character to GBK-aware code.
  EXPECT_EQ(GbkCharLength(kept, 1), 4u);
  EXPECT_EQ(GbkFind(kept, "9"), std::string::npos);
  // No character at all stays "?".
  EXPECT_EQ(wide_to_multibyte(u"\uFFFD\xD800"s, kCodePageGbkKeepingAll), "??");
}

// ---- UTF-8 -------------------------------------------------------------------------------------

TEST(CodePageUtf8, DecodesAllLengthsAndSurrogatePairs) {
  EXPECT_EQ(multibyte_to_wide("A\xC3\xA9\xE5\x9C\xB0\xF0\x9F\x98\x80", kCodePageUtf8),
            u"Aé地\U0001F600");
  EXPECT_EQ(wide_to_multibyte(u"Aé地\U0001F600", kCodePageUtf8),
            "A\xC3\xA9\xE5\x9C\xB0\xF0\x9F\x98\x80");
  EXPECT_EQ(multibyte_to_wide("\xF4\x8F\xBF\xBF", kCodePageUtf8), u"\U0010FFFF");
}

TEST(CodePageUtf8, EachMaximalInvalidPrefixBecomesOneReplacement) {
  struct Case {
    std::string utf8;
    std::u16string wide;
  } cases[] = {
      {"\xC0\xAF", u"\uFFFD\uFFFD"},  // overlong lead, stray continuation
      {"\xE5\x9C", u"\uFFFD"},        // cut short at the end
      {"\xE5\x9C"
       "A",
       u"\uFFFDA"},                                       // cut short before ASCII
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // an encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},            // overlong three-byte form
      {"\xF0\x9F\x98", u"\uFFFD"},
      {"\x80\xBF", u"\uFFFD\uFFFD"},
      {"\xFE\xFF", u"\uFFFD\uFFFD"},
  };
  for (const Case& c : cases) EXPECT_EQ(multibyte_to_wide(c.utf8, kCodePageUtf8), c.wide);
  // A lone surrogate cannot be written as UTF-8; Windows writes U+FFFD instead.
  EXPECT_EQ(wide_to_multibyte(u"a\xD800"s, kCodePageUtf8), "a\xEF\xBF\xBD");
}

TEST(CodePages, UnknownCodePageGivesEmptyResult) {
  EXPECT_TRUE(multibyte_to_wide("abc", 1252).empty());
  EXPECT_TRUE(wide_to_multibyte(u"abc", 1252).empty());
  EXPECT_TRUE(multibyte_to_utf16("abc", 1252).empty());
  EXPECT_TRUE(platform::convert_code_page("abc", 1252, kCodePageGbk).empty());
  EXPECT_TRUE(platform::convert_code_page("abc", kCodePageGbk, 1252).empty());
}

TEST(CodePages, RandomBytesNeverBreakTheConverters) {
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    // Random bytes mixed with whole characters of both code pages, so valid and broken
    // sequences meet at every position.
    static const char* const pieces[] = {"\xE5\x9C\xB0", "\xF0\x9F\x98\x80", "\xB5\xD8",
                                         "\x80",         "\xC3\xA9",         "a",
                                         "\0",           "\x94\x39\xFC\x36"};
    std::string bytes;
    for (int k = static_cast<int>(random() % 40); k > 0; --k) {
      if (random() % 2) {
        bytes.push_back(static_cast<char>(random() & 0xFF));
      } else {
        const char* piece = pieces[random() % std::size(pieces)];
        bytes.append(piece, std::max<std::size_t>(1, std::strlen(piece)));
      }
    }
    for (unsigned cp : {kCodePageGbk, kCodePageUtf8}) {
      std::u16string wide = multibyte_to_wide(bytes, cp);
      EXPECT_LE(wide.size(), bytes.size());
      // Decoding never invents unpaired surrogates, so UTF-8 comes back without U+FFFD added.
      std::string utf8 = wide_to_multibyte(wide, kCodePageUtf8);
      EXPECT_EQ(multibyte_to_wide(utf8, kCodePageUtf8), wide);
      // The one-pass conversion agrees with the two steps it stands for.
      for (unsigned to : {kCodePageGbk, kCodePageUtf8, kCodePageGbkKeepingAll}) {
        EXPECT_EQ(platform::convert_code_page(bytes, cp, to), wide_to_multibyte(wide, to));
      }
    }
  }
}

// ---- Text conversions --------------------------------------------------------------------------

TEST(TextConversion, Utf8ToGbk) {
  EXPECT_EQ(utf8_to_gbk("僵尸逃跑服务器"),
            "\xBD\xA9\xCA\xAC\xCC\xD3\xC5\xDC\xB7\xFE\xCE\xF1\xC6\xF7");
  EXPECT_EQ(utf8_to_gbk("Ω€ #1"), "\xA6\xB8\x80 #1");
  EXPECT_EQ(utf8_to_gbk("ZE \xF0\x9F\x98\x80!"), "ZE ?!");
  EXPECT_EQ(utf8_to_gbk(""), "");
  EXPECT_EQ(utf8_to_gbk("\0abc"s), "");
}

TEST(TextConversion, OnlyTheCountedFormConvertsPastNul) {
  const std::string input = "地\0图"s;
  EXPECT_EQ(utf8_to_gbk(input), "\xB5\xD8");
  EXPECT_EQ(utf8_to_gbk_counted(input), "\xB5\xD8\0\xCD\xBC"s);
  EXPECT_EQ(utf8_to_gbk_counted(""), "");
  EXPECT_EQ(gbk("地图"), "\xB5\xD8\xCD\xBC");
}

TEST(TextConversion, Utf16FormsCarryTheirTerminator) {
  EXPECT_EQ(multibyte_to_utf16("A地", kCodePageUtf8), "A\0\x30\x57\0\0"s);
  EXPECT_EQ(multibyte_to_utf16("", kCodePageUtf8), "");
  EXPECT_EQ(multibyte_to_utf16("A\0B"s, kCodePageUtf8), "A\0\0\0"s);
  EXPECT_EQ(gbk_to_utf16("\xB5\xD8"), "\x30\x57\0\0"s);
  // An empty text is still a string: its terminator alone.
  EXPECT_EQ(gbk_to_utf16(""), "\0\0"s);
}

TEST(TextConversion, Utf16ToMultibyteReadsUpToTheFirstZeroUnit) {
  EXPECT_EQ(utf16_to_gbk("\x30\x57"
                         "A\0"s),
            "\xB5\xD8"
            "A");
  EXPECT_EQ(utf16_to_gbk("\x30\x57\0\0B\0"s), "\xB5\xD8");
  EXPECT_EQ(utf16_to_gbk("\0\0"s), "");
  EXPECT_EQ(utf16_to_gbk(""), "");
  // An odd last byte is a unit of its own, paired with the zero byte of the padding.
  EXPECT_EQ(utf16_to_gbk("A\0B"s), "AB");
  EXPECT_EQ(utf16_to_multibyte("\x30\x57"s, kCodePageUtf8), "地");
  EXPECT_EQ(utf16_to_multibyte("A\0"s, 1252), "");
}

TEST(TextConversion, GbkToUtf8AndU16) {
  EXPECT_EQ(gbk_to_utf8("\xB5\xD8\xCD\xBC-1"), "地图-1");
  EXPECT_EQ(gbk_to_utf8(""), "");
  EXPECT_EQ(gbk_to_utf8("\xB5\xD8\0\xCD\xBC"s), "地");
  EXPECT_EQ(gbk_to_u16("\xB5\xD8"
                       "a"),
            u"地a");
  EXPECT_EQ(u16_to_gbk(u"地a\U0001F600"),
            "\xB5\xD8"
            "a?");
}

// ---- Byte codecs -------------------------------------------------------------------------------

TEST(UrlEncode, BothForms) {
  EXPECT_EQ(url_encode("a ", false, false), "%61+");
  EXPECT_EQ(url_encode(gbk("地") + "a", true, true), "%E5%9C%B0a");
  EXPECT_EQ(url_encode(gbk("地") + "a", false, false), "%B5%D8%61");
  EXPECT_EQ(url_encode("'()*-._~!/ ", true, false), "'()*-._%7E%21%2F+");
  EXPECT_EQ(url_encode("Az09", false, true), "%41%7A%30%39");
  EXPECT_EQ(url_encode("", true, true), "");
  EXPECT_EQ(url_encode("ab\0cd"s, true, false), "ab");  // a text ends at its NUL
}

TEST(UrlQueryValue, OnlyWhatBreaksTheUrlIsEncoded) {
  // Values the services hand out today go back byte for byte.
  EXPECT_EQ(url_query_value("76561198000001001"), "76561198000001001");
  EXPECT_EQ(url_query_value("a1+b/c=d%2B:?"), "a1+b/c=d%2B:?");
  EXPECT_EQ(url_query_value("1&data=2#x y\r\n"), "1%26data=2%23x%20y%0D%0A");
  EXPECT_EQ(url_query_value(gbk("地") + "\x7F"s + "\0"s), "%B5%D8%7F%00");
}

TEST(Hex, EncodeAndDecodeEveryByte) {
  std::string all;
  for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
  const std::string hex = hex_encode(all);
  ASSERT_EQ(hex.size(), 512u);
  EXPECT_EQ(hex.substr(0, 6), "000102");
  EXPECT_EQ(hex.substr(506), "FDFEFF");
  EXPECT_EQ(hex_decode(hex), all);
  EXPECT_EQ(hex_encode(""), "");
  EXPECT_EQ(hex_decode(""), "");
}

TEST(Hex, DecodeReadsPairsTheWayScanfDoes) {
  EXPECT_EQ(hex_decode("abCD"), "\xAB\xCD");
  EXPECT_EQ(hex_decode("ABC"), "\xAB");   // the odd last character is ignored
  EXPECT_EQ(hex_decode("0g41"), "\0A"s);  // a hexadecimal first character suffices
  EXPECT_EQ(hex_decode("g041"), "A");     // a pair that starts badly gives nothing
  EXPECT_EQ(hex_decode("zz"), "");
  EXPECT_EQ(hex_decode("A"), "");
  EXPECT_EQ(hex_decode("41\0"
                       "42"s),
            "A");  // a text ends at its NUL
  // scanf's own leniency: leading blanks, a sign and a bare "0x" are read too.
  EXPECT_EQ(hex_decode(" 5-10x"), "\x05\xFF\x00"s);
}

TEST(Base64, Rfc4648Vectors) {
  EXPECT_EQ(base64_encode(""), "");
  EXPECT_EQ(base64_encode("f"), "Zg==");
  EXPECT_EQ(base64_encode("fo"), "Zm8=");
  EXPECT_EQ(base64_encode("foo"), "Zm9v");
  EXPECT_EQ(base64_encode("foob"), "Zm9vYg==");
  EXPECT_EQ(base64_encode("fooba"), "Zm9vYmE=");
  EXPECT_EQ(base64_encode("foobar"), "Zm9vYmFy");
  EXPECT_EQ(base64_encode("\0\xFF\xFE"s), "AP/+");
}

TEST(Base64, LargeInputAcrossChunksDecodesBack) {
  std::mt19937 random(11);
  std::string bytes(3 * 1024 * 1024 + 2, '\0');  // past one internal chunk, with padding
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  const std::string text = base64_encode(bytes);
  ASSERT_EQ(text.size(), (bytes.size() + 2) / 3 * 4);
  EXPECT_EQ(text.find('\n'), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 1), "=");
  std::string decoded;
  ASSERT_TRUE(DecodeBase64(text, decoded));
  EXPECT_EQ(decoded, bytes);
}

TEST(Md5, Rfc1321Vectors) {
  EXPECT_EQ(md5_hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(md5_hex("a"), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(md5_hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(md5_hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(md5_hex("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(md5_hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "d174ab98d277d9f5a5611c2c9f419d9f");
  EXPECT_EQ(
      md5_hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
      "57edf4a22be3c955ac49da2e2107b67a");
  // Bytes, not a text: NUL bytes are hashed too.
  EXPECT_EQ(md5_hex("\0"s), "93b885adfe0da089cdf634904fd59f71");
  EXPECT_EQ(md5_hex("a\0b"s), "70350f6027bce3713f6b76473084309b");
}

TEST(Md5, UpperAndShortForms) {
  EXPECT_EQ(md5_hex("abc", true, false), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(md5_hex("abc", false, true), "3cd24fb0d6963f7d");
  EXPECT_EQ(md5_hex("abc", true, true), "3CD24FB0D6963F7D");
}

TEST(Md5, CryptoHashRefusesWhatCryptoApiWould) {
  EXPECT_EQ(crypto_hash("abc", 0x8003, 16), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(crypto_hash("abc", 0x8004, 20), "");  // SHA-1 is not offered
  EXPECT_EQ(crypto_hash("abc", 0x8003, 8), "");   // buffer too small for the digest
}

}  // namespace
}  // namespace brindle
