// Whether the desktop has a program for a kind of link, as the join and the security-code link
// ask before they open one: read from the desktop's own files in folders the test makes, with a
// stand-in xdg-open on the PATH. POSIX only (Windows asks its registry).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "account/login_window.h"
#include "foundation/encoding.h"
#include "platform/platform.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;

// Sets environment variables for one test and puts the old values back.
class ScopedEnv {
 public:
  void Set(const char* name, const std::string& value) {
    const char* old = std::getenv(name);
    saved_.push_back({name, old != nullptr, old != nullptr ? old : ""});
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->had) {
        ::setenv(it->name, it->value.c_str(), 1);
      } else {
        ::unsetenv(it->name);
      }
    }
  }

 private:
  struct Saved {
    const char* name;
    bool had;
    std::string value;
  };
  std::vector<Saved> saved_;
};

class UrlHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bin_ = dir_.path() / "bin";
    fs::create_directories(bin_);
    fs::create_directories(dir_.path() / "data" / "applications");
    fs::create_directories(dir_.path() / "config");
    env_.Set("PATH", bin_.string());
    env_.Set("HOME", dir_.path().string());
    env_.Set("XDG_DATA_HOME", (dir_.path() / "data").string());
    env_.Set("XDG_DATA_DIRS", (dir_.path() / "none").string());
    env_.Set("XDG_CONFIG_HOME", (dir_.path() / "config").string());
    env_.Set("XDG_CONFIG_DIRS", (dir_.path() / "none").string());
  }
  void InstallOpener() {
    test::spit(bin_ / "xdg-open", "#!/bin/sh\nexit 0\n");
    fs::permissions(bin_ / "xdg-open", fs::perms::owner_all);
  }

  test::TempDir dir_;
  fs::path bin_;
  ScopedEnv env_;
};

TEST_F(UrlHandlerTest, ADesktopEntryOrADefaultClaimsTheScheme) {
  test::spit(dir_.path() / "data" / "applications" / "steam.desktop",
             "[Desktop Entry]\nName=Steam\nExec=steam %U\nMimeType=x-scheme-handler/steam;\n");
  // Without xdg-open nothing can open a link, whatever the entries say.
  EXPECT_FALSE(platform::has_url_handler("steam"));
  InstallOpener();
  EXPECT_TRUE(platform::has_url_handler("steam"));
  EXPECT_FALSE(platform::has_url_handler("steamchina"));  // a longer scheme is another one
  EXPECT_FALSE(platform::has_url_handler("https"));
  test::spit(dir_.path() / "config" / "mimeapps.list",
             "[Default Applications]\nx-scheme-handler/https=firefox.desktop\n");
  EXPECT_TRUE(platform::has_url_handler("https"));
}

TEST_F(UrlHandlerTest, TheSecurityCodeLinkWithoutABrowserSaysSoInABox) {
  test::CoreFixture fx;
  fx.state().forum_base_url = "https://forum.example";
  OpenSecureCodePage(fx.core());
  const auto boxes = fx.ports().Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text.rfind(gbk("未检测到可以打开网页的浏览器"), 0), 0u);
  // The address to open by hand is on the clipboard and in the box.
  EXPECT_EQ(fx.ports().Clipboard().rfind("https://forum.example/plugin.php", 0), 0u);
  EXPECT_NE(boxes[0].text.find(fx.ports().Clipboard()), std::string::npos);
}

}  // namespace
}  // namespace brindle
