// Start-up of the application core on real folders with the scripted ports.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/actions.h"
#include "app/core.h"
#include "app/endpoints.h"
#include "foundation/encoding.h"
#include "foundation/settings_file.h"
#include "platform/platform.h"
#include "support/extractor_files.h"
#include "support/poll.h"
#include "support/temp_dir.h"
#include "view/test_ports.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cl_.program_dir = dir_.path().string();
    ASSERT_TRUE(core_.Prepare(cl_));
  }
  void InstallExtractor() { test::InstallPlaceholderExtractor(dir_.path() / "qdata" / "7zip"); }
  void WriteSettings(const std::string& key, const std::string& value) {
    fs::create_directories(dir_.path() / "qdata");
    ASSERT_TRUE(WriteSetting((dir_.path() / "qdata" / "Config2.ini").string(), key, value));
  }
  Controls& controls() { return tw_.window().controls(); }

  test::TempDir dir_;
  CommandLine cl_;
  TestWindow tw_;
  AppState state_;
  Core core_{state_, tw_.window()};
};

TEST_F(StartupTest, MissingExtractorShowsTheMessageAndStops) {
  EXPECT_FALSE(core_.OnMainWindowCreated());
  auto boxes = tw_.ports().Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, gbk("程序不完整! 软件目录下 qdata/7zip/q_unbz2.exe 未找到 请登录 ") +
                               "bbs.brindle.example" + gbk(" 重下载"));
  // Folders are made before the check, the clocks are not started after it.
  EXPECT_TRUE(fs::is_directory(dir_.path() / "download" / "data"));
  EXPECT_FALSE(tw_.ports().ClockRunning(names::kClockGameDetect));
}

TEST_F(StartupTest, ACoreThatInstallsNothingStartsWithoutTheExtractor) {
  core_.require_components = false;  // brindle-cli's commands other than installing ones
  EXPECT_TRUE(core_.OnMainWindowCreated());
  EXPECT_TRUE(tw_.ports().Boxes().empty());
  EXPECT_TRUE(tw_.ports().ClockRunning(names::kClockGameDetect));
}

TEST_F(StartupTest, FoldersMadeOnceCacheEmptiedSubfoldersKept) {
  InstallExtractor();
  fs::create_directories(dir_.path() / "download" / "data" / "keep");
  test::spit(dir_.path() / "download" / "note.txt", "mine");
  const fs::path data = dir_.path() / "download" / "data";
  for (const char* name : {"a.cfg", "b.td", "c.bsp.tmp", "d"}) test::spit(data / name, "x");
  test::spit(data / "keep" / "inner.bsp", "x");
  // Partial downloads: one that can continue stays with its record; one already whole goes.
  test::spit(data / "e.bsp.tmp", "12345");
  test::spit(data / "e.bsp.tmp.resume", "http://m/e.bsp\n100\n\"v1\"\n");
  test::spit(data / "f.bsp.tmp", "12345");
  test::spit(data / "f.bsp.tmp.resume", "http://m/f.bsp\n5\n\"v1\"\n");

  ASSERT_TRUE(core_.OnMainWindowCreated());
  EXPECT_EQ(test::slurp(dir_.path() / "download" / "note.txt"), "mine");
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(data)) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"e.bsp.tmp", "e.bsp.tmp.resume", "keep"}));
  EXPECT_TRUE(fs::exists(dir_.path() / "download" / "data" / "keep" / "inner.bsp"));
  const std::string sep(1, platform::path_separator());
  EXPECT_EQ(state_.download_cache_dir,
            dir_.path().string() + sep + "download" + sep + "data" + sep);
  EXPECT_EQ(state_.machine_id.size(), 32u);
}

TEST_F(StartupTest, NoSettingsFileKeepsDesignStateAndLooksForTheGame) {
  InstallExtractor();
  ASSERT_TRUE(core_.OnMainWindowCreated());
  EXPECT_FALSE(fs::exists(dir_.path() / "qdata" / "Config2.ini"));
  EXPECT_TRUE(controls().Checked(names::kLaunchAuto));
  EXPECT_FALSE(controls().Checked(names::kRegionChina));
  EXPECT_FALSE(controls().Checked(names::kRegionWorld));
  EXPECT_TRUE(state_.game.csgo_dir.empty());
  EXPECT_TRUE(tw_.ports().ClockRunning(names::kClockGameDetect));
  EXPECT_EQ(controls().Caption(names::kUserName), gbk("请登录"));
  EXPECT_EQ(controls().Caption(names::kStatusLine), gbk("加载中..."));
}

TEST_F(StartupTest, StoredSettingsAreApplied) {
  InstallExtractor();
  WriteSettings("CSGOPath", "/games/csgo/");
  WriteSettings("CSGOMapPath", "/games/csgo/csgo/maps/");
  WriteSettings("CS2Path_manual_operation", "1abc");
  WriteSettings("GameLuncherMode", "3");
  WriteSettings("GameLuncherRegion", "2");
  ASSERT_TRUE(core_.OnMainWindowCreated());
  EXPECT_EQ(state_.game.csgo_dir, "/games/csgo/");
  EXPECT_EQ(state_.game.csgo_map_dir, "/games/csgo/csgo/maps/");
  EXPECT_EQ(state_.game.cs2_manual, 1);
  EXPECT_TRUE(controls().Checked(names::kLaunchSteamRunAppid));
  EXPECT_FALSE(controls().Checked(names::kLaunchAuto));
  EXPECT_TRUE(controls().Checked(names::kRegionWorld));
}

TEST_F(StartupTest, ChosenGamePathsShowAgainAfterARestart) {
  InstallExtractor();
  WriteSettings("CSGOPath", "/games/csgo/");
  WriteSettings("CS2Path", "/games/cs2/");
  ASSERT_TRUE(core_.OnMainWindowCreated());
  EXPECT_EQ(controls().Caption(names::kGamePathLabel),
            gbk("已配置路径:/games/csgo/\n已配置路径:/games/cs2/"));
}

TEST_F(StartupTest, UnknownLaunchModeLeavesTheFirstOption) {
  InstallExtractor();
  WriteSettings("GameLuncherMode", "9");
  WriteSettings("GameLuncherRegion", "1");
  ASSERT_TRUE(core_.OnMainWindowCreated());
  EXPECT_TRUE(controls().Checked(names::kLaunchAuto));
  EXPECT_TRUE(controls().Checked(names::kRegionChina));
}

TEST_F(StartupTest, OptionHandlersWriteTheirKeyAndSayWhat) {
  InstallExtractor();
  ASSERT_TRUE(core_.OnMainWindowCreated());
  core_.AddFeature(std::make_unique<CoreActions>());
  const char* texts[] = {"已切换自动模式", "遵循Steam", "直接启动并进入", "仅[蒸汽中国客户端]",
                         "CS2 直接启动并进入"};
  for (int mode = 1; mode <= 5; ++mode) {
    core_.OnLaunchModeChosen(mode);
    EXPECT_EQ(core_.ReadSetting("GameLuncherMode"), std::to_string(mode));
    EXPECT_EQ(controls().Caption(names::kStatusLine), gbk(texts[mode - 1]));
  }
  EXPECT_TRUE(tw_.window().Activate(names::kRegionWorld));
  EXPECT_EQ(core_.ReadSetting("GameLuncherRegion"), "2");
  EXPECT_TRUE(controls().Checked(names::kRegionWorld));
}

TEST_F(StartupTest, ExtractIntoGameSurvivesARestart) {
  InstallExtractor();
  ASSERT_TRUE(core_.OnMainWindowCreated());
  core_.AddFeature(std::make_unique<CoreActions>());
  // The window sets the box before it activates it, as a click does.
  const auto click = [&](Core& core, TestWindow& tw, bool on) {
    tw.window().controls().SetChecked(names::kAutoExtract, on);
    EXPECT_TRUE(tw.window().Activate(names::kAutoExtract));
    EXPECT_EQ(core.ReadSetting("AutoExtractToGame"), on ? "1" : "0");
  };
  click(core_, tw_, true);
  const auto restarted = [&](bool expected) {
    TestWindow tw;
    AppState state;
    Core core{state, tw.window()};
    ASSERT_TRUE(core.Prepare(cl_));
    ASSERT_TRUE(core.OnMainWindowCreated());
    EXPECT_EQ(tw.window().controls().Checked(names::kAutoExtract), expected);
  };
  core_.ReleaseProgramFolder();  // the next start owns the folder, as after an exit
  restarted(true);
  click(core_, tw_, false);
  restarted(false);
}

TEST_F(StartupTest, PreDownloadSwitchNeedsALogin) {
  InstallExtractor();
  ASSERT_TRUE(core_.OnMainWindowCreated());
  core_.OnPreDownloadSwitch(true);
  EXPECT_FALSE(controls().Checked(names::kPreDownloadSwitch));
  EXPECT_EQ(tw_.ports().Notices().back(), gbk("请登录"));
  EXPECT_TRUE(core_.ReadSetting("PreDownloadEnable").empty());

  state_.login.uid = "42";
  core_.OnPreDownloadSwitch(true);
  EXPECT_EQ(core_.ReadSetting("PreDownloadEnable"), "1");
  EXPECT_TRUE(tw_.ports().ClockRunning(names::kClockPreDownload));
  core_.OnPreDownloadSwitch(false);
  EXPECT_EQ(core_.ReadSetting("PreDownloadEnable"), "0");
  EXPECT_EQ(tw_.ports().Notices().back(), gbk("预热下载关闭.."));
  EXPECT_FALSE(tw_.ports().ClockRunning(names::kClockPreDownload));
}

// Writes every call the core makes to it into a log that several features share.
class RecordingFeature final : public Feature {
 public:
  RecordingFeature(std::string tag, std::vector<std::string>& log, std::mutex& mutex)
      : tag_(std::move(tag)), log_(log), mutex_(mutex) {}
  const char* name() const override { return tag_.c_str(); }
  void Bind(Core&) override { Note("bind"); }
  void OnWindowCreated(Core&) override { Note("window"); }
  void OnStartup(Core&) override { Note("startup"); }
  void OnInitThread(Core&) override { Note("init"); }
  void OnPageShown(Core&, int page) override { Note("page" + std::to_string(page)); }

 private:
  void Note(const std::string& what) {
    std::lock_guard lock(mutex_);
    log_.push_back(tag_ + ":" + what);
  }
  std::string tag_;
  std::vector<std::string>& log_;
  std::mutex& mutex_;
};

TEST_F(StartupTest, FeaturesRunInRegistrationOrderAndPagesWaitForTheStartupClock) {
  InstallExtractor();
  std::vector<std::string> log;
  std::mutex mutex;
  auto Log = [&] {
    std::lock_guard lock(mutex);
    return log;
  };
  core_.AddFeature(std::make_unique<CoreActions>());
  core_.AddFeature(std::make_unique<RecordingFeature>("a", log, mutex));
  core_.AddFeature(std::make_unique<RecordingFeature>("b", log, mutex));
  EXPECT_EQ(core_.FindFeature<CoreActions>(), core_.features().front().get());
  ASSERT_TRUE(core_.OnMainWindowCreated());
  EXPECT_EQ(Log(), (std::vector<std::string>{"a:bind", "b:bind", "a:window", "b:window"}));

  EXPECT_TRUE(tw_.window().Activate(names::kNavServers));
  EXPECT_EQ(tw_.window().CurrentPage(), names::kDownloadPage);
  EXPECT_EQ(tw_.ports().Notices(), std::vector<std::string>{gbk("正在初始化...")});

  core_.OnStartupTimer();
  EXPECT_TRUE(state_.initialised);
  ASSERT_TRUE(test::Eventually([&] { return core_.workers().Running() == 0; }));
  // Both features hear every page switch: one does not replace the other.
  EXPECT_TRUE(tw_.window().Activate(names::kNavServers));
  EXPECT_EQ(tw_.window().CurrentPage(), names::kServerPage);
  EXPECT_EQ(Log(),
            (std::vector<std::string>{"a:bind", "b:bind", "a:window", "b:window", "a:startup",
                                      "b:startup", "a:init", "b:init", "a:page1", "b:page1"}));
  EXPECT_EQ(tw_.ports().Notices().size(), 1u);
}

TEST(SettingsFile, NoPathWhileTheDataFolderIsUnknown) {
  AppState state;
  EXPECT_EQ(SettingsFilePath(state), "");
  EXPECT_FALSE(WriteSetting(SettingsFilePath(state), "CSGOPath", "x"));
  EXPECT_EQ(ReadSetting(SettingsFilePath(state), "CSGOPath"), "");
  state.data_dir = "/nowhere/qdata";
  EXPECT_EQ(SettingsFilePath(state),
            "/nowhere/qdata" + std::string(1, platform::path_separator()) + "Config2.ini");
}

TEST(EndpointsFile, MissingKeysKeepDefaultsUnknownKeysIgnored) {
  test::TempDir dir;
  test::spit(dir.path() / "e.ini",
             "[endpoints]\r\nsoftware = http://127.0.0.1:5000\nmirror_telecom=127.0.0.1:5001\n"
             "bogus=1\n");
  AppState state;
  ApplyDefaultEndpoints(state);
  ASSERT_TRUE(LoadEndpointsFile(dir.file("e.ini"), state));
  EXPECT_EQ(state.software_base_url, "http://127.0.0.1:5000");
  EXPECT_EQ(state.mirror_host[2], "127.0.0.1:5001");
  EXPECT_EQ(state.forum_base_url, "https://bbs.brindle.example");
  EXPECT_FALSE(LoadEndpointsFile(dir.file("missing.ini"), state));
}

}  // namespace
}  // namespace brindle
