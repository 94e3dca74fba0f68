// The GBK byte rules every layer shares: character boundaries, ASCII-only case folding.
#include "platform/gbk_text.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/encoding.h"

namespace brindle {
namespace {

// "刀" is 0xB5 0xB6; "车顶" is 0xB3 0xB5 0xB6 0xA5: a byte search for 刀 finds it across the two.
// Some characters have an ASCII trail byte: 0x87 0x5C ends in "\", 0x99 0x41 in "A".
TEST(GbkText, CharacterLengthNeedsAValidTrailByte) {
  const std::string text = gbk("车") + "a" + std::string("\x81\x20", 2) + std::string("\x81", 1);
  EXPECT_EQ(GbkCharLength(text, 0), 2u);
  EXPECT_EQ(GbkCharLength(text, 2), 1u);
  EXPECT_EQ(GbkCharLength(text, 3), 1u);  // 0x20 is no trail byte
  EXPECT_EQ(GbkCharLength(text, 5), 1u);  // a lead byte at the end stands alone
  EXPECT_EQ(GbkCharLength(std::string("\x81\x7F", 2), 0), 1u);
}

TEST(GbkText, FindsOnlyAtCharacterBoundaries) {
  const std::string roof = gbk("车顶");
  EXPECT_EQ(roof.find(gbk("刀")), 1u);  // the fault a byte search has
  EXPECT_EQ(GbkFind(roof, gbk("刀")), std::string_view::npos);
  EXPECT_EQ(GbkFind(gbk("大刀"), gbk("刀")), 2u);
  EXPECT_EQ(GbkFind(roof + gbk("刀"), gbk("刀")), 4u);  // past the false match to the real one
  EXPECT_EQ(GbkFind("abcabc", "c", 3), 5u);
  EXPECT_EQ(GbkFind("abc", "abcd"), std::string_view::npos);
  EXPECT_EQ(GbkFind("abc", "", 1), 1u);
  EXPECT_EQ(GbkFind("abc", "a", 4), std::string_view::npos);
}

TEST(GbkText, CaseFoldingLeavesTrailBytesAlone) {
  const std::string song("\x99\x41", 2);
  ASSERT_EQ(song[1], 'A');
  EXPECT_EQ(GbkAsciiLower("Ze_" + song + "X"), "ze_" + song + "x");
  EXPECT_FALSE(GbkEqualsIgnoreCase(song, std::string("\x99\x61", 2)));
  EXPECT_TRUE(GbkEqualsIgnoreCase("CSGO" + song, "csgo" + song));
  EXPECT_FALSE(GbkEqualsIgnoreCase("abc", "abcd"));
  EXPECT_EQ(GbkFindIgnoreCase("My_CsGo_Mod", "csgo"), 3u);
  EXPECT_FALSE(GbkContainsIgnoreCase(song, "a"));
  EXPECT_TRUE(GbkContainsIgnoreCase("x" + song + "a", "A"));
  // A trail byte that is a letter is part of its character: found by fuzzing, the search once
  // matched "\x99\x61" inside a text holding "\x99\x41".
  const std::string other("\x99\x61", 2);
  EXPECT_EQ(GbkFindIgnoreCase("==" + song + "x", other), std::string_view::npos);
  EXPECT_EQ(GbkFindIgnoreCase("==" + song + "x", "==" + other), std::string_view::npos);
  EXPECT_EQ(GbkFindIgnoreCase("==" + song + "X", song + "x"), 2u);
  EXPECT_EQ(GbkFindIgnoreCase("A" + song, "a" + song), 0u);
}

TEST(GbkText, EndsWithStartsOnABoundary) {
  EXPECT_TRUE(GbkEndsWithIgnoreCase("map.CFG", ".cfg"));
  EXPECT_FALSE(GbkEndsWithIgnoreCase("cfg", ".cfg"));
  const std::string slash_char("\x87\x5C", 2);
  ASSERT_EQ(slash_char[1], '\\');
  EXPECT_FALSE(GbkEndsWithIgnoreCase("dir" + slash_char, "\\"));
  EXPECT_TRUE(GbkEndsWithIgnoreCase("dir" + slash_char + "\\", "\\"));
}

TEST(GbkText, ClipNeverSplitsACharacter) {
  const std::string text = "ab" + gbk("车顶");
  EXPECT_EQ(GbkClip(text, 3), "ab");
  EXPECT_EQ(GbkClip(text, 4), "ab" + gbk("车"));
  EXPECT_EQ(GbkClip(text, 100), text);
}

}  // namespace
}  // namespace brindle
