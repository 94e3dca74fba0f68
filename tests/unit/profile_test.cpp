#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "foundation/encoding.h"
#include "foundation/settings_file.h"
#include "platform/platform.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

using platform::profile_read;
using platform::profile_write;
using test::slurp;
using test::spit;
using test::TempDir;

class ProfileTest : public ::testing::Test {
 protected:
  std::string read(const std::string& key, std::size_t buffer = 10240) {
    return profile_read("Configs", key, "<none>", ini_, buffer);
  }
  std::string contents() { return slurp(ini_); }
  void write_contents(const std::string& bytes) { spit(ini_, bytes); }

  TempDir dir_;
  std::string ini_ = dir_.file("Config2.ini");
};

TEST_F(ProfileTest, ReadsCrlfAndLfFilesAlike) {
  for (const char* eol : {"\r\n", "\n"}) {
    write_contents(std::string("[Other]") + eol + "CSGOPath=wrong" + eol + "[Configs]" + eol +
                   "CSGOPath=D:\\Games\\csgo\\" + eol + "GameLuncherMode=3" + eol);
    EXPECT_EQ(read("CSGOPath"), "D:\\Games\\csgo\\");
    EXPECT_EQ(read("GameLuncherMode"), "3");
    EXPECT_EQ(read("Missing"), "<none>");
  }
}

// Lines end at LF only, as in the Windows profile functions; a lone CR is blank space inside a
// line. A CR-only file is one line: its keys are absent, and writing keeps every byte of it.
TEST_F(ProfileTest, CrOnlyLineEndsAreNoLineEnds) {
  const std::string cr_only = "[Configs]\rCSGOPath=C:\\old\\\rGameLuncherMode=2\r";
  write_contents(cr_only);
  EXPECT_EQ(read("CSGOPath"), "<none>");
  EXPECT_EQ(read("GameLuncherMode"), "<none>");

  ASSERT_TRUE(profile_write("Configs", "GameLuncherMode", "4", ini_));
  EXPECT_EQ(contents(), cr_only + "\r\nGameLuncherMode=4\r\n");
  EXPECT_EQ(read("GameLuncherMode"), "4");
  EXPECT_EQ(read("CSGOPath"), "<none>");
}

TEST_F(ProfileTest, StrayCrInsideALineIsBlank) {
  write_contents("[Configs]\r\r\nA=1\r\r\nB\r=2\r\nC=x\ry\r\n");
  EXPECT_EQ(read("A"), "1");     // a CR before the line ending is trimmed like a blank
  EXPECT_EQ(read("B"), "2");     // and between a name and "="
  EXPECT_EQ(read("C"), "x\ry");  // inside a value it stays
  ASSERT_TRUE(profile_write("Configs", "A", "5", ini_));
  EXPECT_EQ(contents(), "[Configs]\r\r\nA=5\r\nB\r=2\r\nC=x\ry\r\n");
}

TEST_F(ProfileTest, NamesIgnoreCaseAndValuesAreTrimmed) {
  write_contents(
      "[configs]\r\n  csgopath  =  C:\\x\\  \r\nQuoted=\" spaced \"\r\nHalf=\"x\r\n"
      "Empty=\r\n; Comment=1\r\nBare\r\n");
  EXPECT_EQ(read("CSGOPath"), "C:\\x\\");
  EXPECT_EQ(read("Quoted"), " spaced ");  // one pair of enclosing quotes is dropped
  EXPECT_EQ(read("Half"), "\"x");
  EXPECT_EQ(read("Empty"), "");  // present but empty is not absent
  EXPECT_EQ(read("; Comment"), "<none>");
  EXPECT_EQ(read("Bare"), "<none>");  // a word without "=" is no key
  EXPECT_EQ(profile_read("CONFIGS", "csgoPATH", "", ini_), "C:\\x\\");
}

TEST_F(ProfileTest, ChineseNamesCompareByCharacterNotByFoldedTrailBytes) {
  // Two characters whose GBK forms differ only in the case of the trail byte (0xC5 0x41 and
  // 0xC5 0x61): folding bytes blindly would make them one key.
  write_contents("[Configs]\r\n\xC5\x41=upper\r\n\xC5\x61=lower\r\n");
  EXPECT_EQ(read("\xC5\x61"), "lower");
  EXPECT_EQ(read("\xC5\x41"), "upper");
}

TEST_F(ProfileTest, BomNoFinalNewlineAndDuplicateKeys) {
  write_contents("\xEF\xBB\xBF[Configs]\r\nA=first\r\nA=second\r\nName=地图");
  EXPECT_EQ(read("A"), "first");
  EXPECT_EQ(read("Name"), gbk("地图"));  // the BOM file is UTF-8: values come back as GBK
  write_contents("[Configs]\nA=1\n[Configs]\nA=2\nB=3");
  EXPECT_EQ(read("A"), "1");
  EXPECT_EQ(read("B"), "3");
}

TEST_F(ProfileTest, LongValuesAreCutToTheBuffer) {
  write_contents("[Configs]\r\nLong=" + std::string(20000, 'x') + "\r\nCn=" + gbk("地图地图") +
                 "\r\n");
  EXPECT_EQ(read("Long").size(), 10239u);
  EXPECT_EQ(read("Long", 5), "xxxx");
  EXPECT_EQ(read("Long", 1), "");
  EXPECT_EQ(read("Long", 0), "");
  // Never half a Chinese character.
  EXPECT_EQ(read("Cn", 4), gbk("地"));
  EXPECT_EQ(read("Cn", 5), gbk("地图"));
}

TEST_F(ProfileTest, UnreadableFilesGiveTheFallback) {
  EXPECT_EQ(read("A"), "<none>");  // no file at all
  EXPECT_EQ(profile_read("Configs", "A", "dflt", dir_.dir()), "dflt");
  EXPECT_EQ(profile_read("Configs", "", "dflt", ini_), "dflt");
  EXPECT_EQ(profile_read("Configs", "A", "long default", ini_, 5), "long");
}

TEST_F(ProfileTest, WriteCreatesFileAndSection) {
  ASSERT_TRUE(profile_write("Configs", "CSGOPath", "C:\\csgo\\", ini_));
  EXPECT_EQ(contents(), "[Configs]\r\nCSGOPath=C:\\csgo\\\r\n");
  ASSERT_TRUE(profile_write("Configs", "GameLuncherMode", "2", ini_));
  EXPECT_EQ(contents(), "[Configs]\r\nCSGOPath=C:\\csgo\\\r\nGameLuncherMode=2\r\n");
  EXPECT_EQ(read("GameLuncherMode"), "2");
}

TEST_F(ProfileTest, WriteReplacesInPlaceKeepingEverythingElse) {
  const std::string before =
      "; settings\n[Other]\nx = 1\n\n[Configs]\n  CSGOPath = old\nA=1\nA=2\n\n[Tail]\ny=2";
  write_contents(before);
  ASSERT_TRUE(profile_write("configs", "csgopath", "new", ini_));
  ASSERT_TRUE(profile_write("Configs", "a", "9", ini_));
  ASSERT_TRUE(profile_write("Configs", "Added", "v", ini_));
  ASSERT_TRUE(profile_write("Tail", "z", "3", ini_));
  EXPECT_EQ(contents(),
            "; settings\n[Other]\nx = 1\n\n[Configs]\n  CSGOPath=new\nA=9\nA=2\nAdded=v\n\n"
            "[Tail]\ny=2\nz=3\n");
}

TEST_F(ProfileTest, WriteKeepsCrlfAndAddsSectionAfterMissingFinalNewline) {
  write_contents("[Other]\r\nx=1");
  ASSERT_TRUE(profile_write("Configs", "K", "v", ini_));
  EXPECT_EQ(contents(), "[Other]\r\nx=1\r\n[Configs]\r\nK=v\r\n");
}

TEST_F(ProfileTest, WriteIntoBomFileStaysUtf8) {
  write_contents("\xEF\xBB\xBF[Configs]\nName=旧\nOther=😀\n");
  ASSERT_TRUE(profile_write("Configs", "Name", gbk("新地图"), ini_));
  EXPECT_EQ(contents(), "\xEF\xBB\xBF[Configs]\nName=新地图\nOther=😀\n");
  EXPECT_EQ(read("Name"), gbk("新地图"));
}

TEST_F(ProfileTest, StoredBytesAreGbk) {
  ASSERT_TRUE(profile_write("Configs", "CS2Path", gbk("D:\\游戏\\"), ini_));
  EXPECT_EQ(contents(), "[Configs]\r\nCS2Path=" + gbk("D:\\游戏\\") + "\r\n");
}

TEST_F(ProfileTest, WriteRefusesWhatWouldBreakTheFile) {
  write_contents("[Configs]\r\nA=1\r\n");
  EXPECT_FALSE(profile_write("Configs", "A", "1\r\nLogin_Qinum=forged", ini_));
  EXPECT_FALSE(profile_write("Configs", "B=C", "1", ini_));
  EXPECT_FALSE(profile_write("Configs", "", "1", ini_));
  EXPECT_FALSE(profile_write("Con]figs", "A", "1", ini_));
  EXPECT_EQ(contents(), "[Configs]\r\nA=1\r\n");
}

TEST_F(ProfileTest, WriteFailsWithoutLosingAnything) {
  EXPECT_FALSE(profile_write("Configs", "A", "1", dir_.dir()));
  EXPECT_FALSE(profile_write("Configs", "A", "1", dir_.file("no/folder/Config2.ini")));
#ifndef _WIN32  // an unreadable file, by its POSIX mode
  if (::geteuid() == 0) return;  // root reads files whatever their mode
  write_contents("[Configs]\r\nKeep=me\r\n");
  ::chmod(ini_.c_str(), 0);
  EXPECT_EQ(read("Keep"), "<none>");
  EXPECT_FALSE(profile_write("Configs", "A", "1", ini_));
  ::chmod(ini_.c_str(), 0644);
  EXPECT_EQ(contents(), "[Configs]\r\nKeep=me\r\n");
#endif
}

TEST_F(ProfileTest, ConcurrentWritersLoseNoKey) {
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([this, t] {
      for (int i = 0; i < 20; ++i)
        (void)profile_write("Configs", "K" + std::to_string(t) + "_" + std::to_string(i), "v",
                            ini_);
    });
  }
  for (auto& w : writers) w.join();
  for (int t = 0; t < 4; ++t) {
    for (int i = 0; i < 20; ++i)
      EXPECT_EQ(read("K" + std::to_string(t) + "_" + std::to_string(i)), "v");
  }
}

// ---- The settings file on top ------------------------------------------------------------------

TEST(SettingsFile, ReadWriteAndIntegers) {
  TempDir dir;
  const std::string path = dir.file("Config2.ini");
  EXPECT_EQ(ReadSetting(path, "CSGOPath"), "");
  EXPECT_EQ(ReadSettingInt(path, "CS2_JoinNoTip"), 0);
  ASSERT_TRUE(WriteSetting(path, "Login_Qinum", "0"));
  ASSERT_TRUE(WriteSetting(path, "GameLuncherMode", " 5x"));
  ASSERT_TRUE(WriteSetting(path, "hideUn7z", "abc"));
  EXPECT_EQ(ReadSetting(path, "Login_Qinum"), "0");
  EXPECT_EQ(ReadSettingInt(path, "GameLuncherMode"), 5);
  EXPECT_EQ(ReadSettingInt(path, "hideUn7z"), 0);
  EXPECT_EQ(ReadSetting(path, "GameLuncherMode"), "5x");  // read back trimmed
}

TEST(SettingsFile, TextToInt) {
  EXPECT_EQ(TextToInt(""), 0);
  EXPECT_EQ(TextToInt("12ab"), 12);
  EXPECT_EQ(TextToInt("-7"), -7);
  EXPECT_EQ(TextToInt("+3"), 3);
  EXPECT_EQ(TextToInt("x1"), 0);
  EXPECT_EQ(TextToInt("99999999999999999999"), 2147483647);
  EXPECT_EQ(TextToInt("-99999999999999999999"), -2147483647 - 1);
}

}  // namespace
}  // namespace brindle
