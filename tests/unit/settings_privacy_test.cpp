// The settings file holds the login tokens: it is readable by its owner only, from the moment it
// is created, and an older file readable by others is tightened at its next change. Other files
// written atomically keep the permissions they had.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "foundation/settings_file.h"
#include "platform/platform.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;

unsigned Mode(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return 07777;
  return st.st_mode & 0777;
}

TEST(SettingsPrivacy, CreatedOwnerOnly) {
  test::TempDir dir;
  const std::string path = dir.file("Config2.ini");
  const mode_t old_mask = ::umask(0);  // even a permissive umask gives no one else access
  const bool written = WriteSetting(path, "Login_Qinum", "ABC");
  ::umask(old_mask);
  ASSERT_TRUE(written);
  EXPECT_EQ(Mode(path), 0600u);
  EXPECT_EQ(ReadSetting(path, "Login_Qinum"), "ABC");
}

TEST(SettingsPrivacy, AnOlderOpenFileIsTightenedAtItsNextChange) {
  test::TempDir dir;
  const std::string path = dir.file("Config2.ini");
  test::spit(path, "[Configs]\r\nCSGOPath=/games/\r\n");
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                            fs::perms::others_read);
  ASSERT_EQ(Mode(path), 0644u);
  ASSERT_TRUE(WriteSetting(path, "Login_Dypw", "0"));
  EXPECT_EQ(Mode(path), 0600u);
  EXPECT_EQ(ReadSetting(path, "CSGOPath"), "/games/");
}

TEST(SettingsPrivacy, OtherFilesKeepTheirPermissions) {
  test::TempDir dir;
  const std::string path = dir.file("my_favorite.json");
  test::spit(path, "[]");
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_TRUE(platform::write_file_atomic(path, "[{\"ip\":\"192.0.2.1:27015\"}]"));
  EXPECT_EQ(Mode(path), 0640u);
}

}  // namespace
}  // namespace brindle
