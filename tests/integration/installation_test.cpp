// Finding the games: real game-named child processes started from fake installation folders laid
// out as this system's games are, the detection clock on the test ports, manual choices through
// scripted file dialogs, and the settings file on disk. The rules that differ by system are
// checked as data for both systems.
#include "app/installation.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

#include "app/app_state.h"
#include "foundation/encoding.h"
#include "foundation/settings_file.h"
#include "support/core_fixture.h"
#include "support/path_text.h"
#include "support/running_copy.h"
#include "support/temp_dir.h"
#include "view/control_names.h"
#include "view/test_ports.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using test::RunningCopy;
using test::TempDir;

const std::string kWrongTitle = gbk("您的路径设置似乎不正确!");

class InstallationTest : public ::testing::Test {
 protected:
  InstallationTest() {
    state().initialised = true;
    BindInstallation(f_.core());
    window().StartClock(names::kClockGameDetect);
  }

  AppState& state() { return f_.state(); }
  void SetGame(const GamePaths& paths) {
    std::lock_guard lock(state().mutex);
    state().game = paths;
  }
  GamePaths Game() {
    std::lock_guard lock(state().mutex);
    return state().game;
  }

  Window& window() { return f_.window(); }
  TestPorts& ports() { return f_.ports(); }
  std::string settings() const { return f_.SettingsPath(); }
  std::string Setting(const std::string& key) const { return ReadSetting(settings(), key); }
  std::string PathLabel() { return window().controls().Caption(names::kGamePathLabel); }
  bool Detecting() { return ports().ClockRunning(names::kClockGameDetect); }
  void Tick() { ports().Advance(1500); }

  // A CS2 installation: the executable in <root> + the bin suffix and, with the reference map,
  // <root> + the map suffix + de_dust2.vpk. Gives the executable.
  fs::path Cs2Install(const fs::path& root, bool with_map) {
    fs::create_directories(Cs2Maps(root));
    fs::create_directories(Cs2Bin(root));
    if (with_map) test::spit(Cs2Maps(root) / kCs2ReferenceMap, "vpk");
    return Cs2Bin(root) / kCs2ExeName;
  }
  static fs::path Cs2Bin(const fs::path& root) { return root / Below(kCs2BinSuffix); }
  static fs::path Cs2Maps(const fs::path& root) { return root / Below(kCs2MapSuffix); }
  // A legacy CS:GO folder with its executable beside steam_appid.txt (when asked for).
  fs::path CsgoInstall(const fs::path& root, bool with_app_id) {
    fs::create_directories(root);
    if (with_app_id) test::spit(root / kCsgoAppIdFile, "730");
    return root / kCsgoExeName;
  }
  static fs::path CsgoMaps(const fs::path& root) { return root / Below(kCsgoMapSubdir); }
  // A folder part of the game names ("\\game\\bin\\win64\\", "csgo/maps/") as a relative path.
  static fs::path Below(std::string_view part) {
    fs::path out;
    std::size_t start = 0;
    while (start < part.size()) {
      std::size_t end = part.find(kGameNames.separator, start);
      if (end == std::string_view::npos) end = part.size();
      if (end > start) out /= std::string(part.substr(start, end - start));
      start = end + 1;
    }
    return out;
  }
  // A folder as the program writes it: GBK, with the system's separator last.
  static std::string Dir(const fs::path& folder) {
    return test::GbkText(folder) + kGameNames.separator;
  }
  // The four keys of one game hold `dir` and its map folder, both copies alike.
  void ExpectStored(const std::string& prefix, const std::string& dir, const std::string& map_dir) {
    EXPECT_EQ(Setting(prefix + "Path"), dir);
    EXPECT_EQ(Setting(prefix + "PathCMD"), dir);
    EXPECT_EQ(Setting(prefix + "MapPath"), map_dir);
    EXPECT_EQ(Setting(prefix + "MapPathCMD"), map_dir);
  }

  test::ProcessNameLock names_lock_;
  test::CoreFixture f_;
};

TEST_F(InstallationTest, RunningCs2IsFoundAndStored) {
  const fs::path root = f_.dir().path() / "Steam Library" / "Counter-Strike Global Offensive";
  RunningCopy game(Cs2Install(root, false));
  ASSERT_TRUE(game.started());
  const std::string label = PathLabel();

  Tick();
  const GamePaths paths = Game();
  EXPECT_EQ(paths.cs2_dir, Dir(Cs2Bin(root)));
  EXPECT_EQ(paths.cs2_dir_copy, paths.cs2_dir);
  EXPECT_EQ(paths.cs2_map_dir, Dir(Cs2Maps(root)));
  EXPECT_EQ(paths.cs2_map_dir_copy, paths.cs2_map_dir);
  // Accepted without the reference map, and the path label is left to CS:GO.
  EXPECT_FALSE(Detecting());
  EXPECT_EQ(PathLabel(), label);
  ExpectStored("CS2", paths.cs2_dir, paths.cs2_map_dir);
  EXPECT_EQ(Setting("CS2Path_manual_operation"), "");
  EXPECT_EQ(Setting("CSGOPath"), "");
}

TEST_F(InstallationTest, RunningCsgoIsFoundBesideItsAppIdFile) {
  const fs::path root = f_.dir().path() / "csgo";
  RunningCopy game(CsgoInstall(root, true));
  ASSERT_TRUE(game.started());

  Tick();
  const GamePaths paths = Game();
  EXPECT_EQ(paths.csgo_dir, Dir(root));
  EXPECT_EQ(paths.csgo_dir_copy, Dir(root));
  EXPECT_EQ(paths.csgo_map_dir, Dir(CsgoMaps(root)));
  EXPECT_EQ(paths.csgo_map_dir_copy, Dir(CsgoMaps(root)));
  EXPECT_EQ(PathLabel(), gbk("游戏路径:") + Dir(root));
  EXPECT_FALSE(Detecting());
  ExpectStored("CSGO", Dir(root), Dir(CsgoMaps(root)));
  EXPECT_EQ(Setting("CS2Path"), "");
}

TEST_F(InstallationTest, CsgoFolderWithoutReferenceFilesIsIgnoredUntilItHasTheMap) {
  const fs::path root = f_.dir().path() / "not-yet";
  RunningCopy game(CsgoInstall(root, false));
  ASSERT_TRUE(game.started());

  Tick();
  Tick();
  EXPECT_TRUE(Detecting());
  EXPECT_EQ(Game().csgo_dir, "");
  EXPECT_FALSE(fs::exists(settings()));

  // The official map alone is enough.
  fs::create_directories(CsgoMaps(root));
  test::spit(CsgoMaps(root) / kCsgoReferenceMap, "bsp");
  Tick();
  EXPECT_EQ(Game().csgo_dir, Dir(root));
  EXPECT_FALSE(Detecting());
}

TEST_F(InstallationTest, OneTickFindsBothGames) {
  RunningCopy cs2(Cs2Install(f_.dir().path() / "cs2-root", true));
  RunningCopy csgo(CsgoInstall(f_.dir().path() / "csgo-root", true));
  ASSERT_TRUE(cs2.started() && csgo.started());
  Tick();
  EXPECT_EQ(Game().cs2_dir, Dir(Cs2Bin(f_.dir().path() / "cs2-root")));
  EXPECT_EQ(Game().csgo_dir, Dir(f_.dir().path() / "csgo-root"));
  EXPECT_FALSE(Detecting());
}

TEST_F(InstallationTest, NothingRunningOrBothChosenByHandLeavesEverythingAlone) {
  Tick();
  EXPECT_TRUE(Detecting());
  EXPECT_FALSE(fs::exists(settings()));

  GamePaths manual;
  manual.cs2_manual = 1;
  manual.csgo_manual = 1;
  manual.cs2_dir = "/chosen/cs2/";
  manual.csgo_dir = "/chosen/csgo/";
  SetGame(manual);
  RunningCopy cs2(Cs2Install(f_.dir().path() / "cs2-root", true));
  RunningCopy csgo(CsgoInstall(f_.dir().path() / "csgo-root", true));
  ASSERT_TRUE(cs2.started() && csgo.started());
  for (int i = 0; i < 3; ++i) Tick();
  EXPECT_TRUE(Detecting());
  EXPECT_EQ(Game().cs2_dir, "/chosen/cs2/");
  EXPECT_EQ(Game().csgo_dir, "/chosen/csgo/");
  EXPECT_FALSE(fs::exists(settings()));
}

TEST_F(InstallationTest, ManualCsgoChoiceAcceptedWritesEverythingAndTheFlag) {
  const fs::path root = f_.dir().path() / "manual csgo";
  const fs::path exe = CsgoInstall(root, true);
  ports().ScriptFile(test::GbkText(exe));
  ASSERT_TRUE(window().Activate(names::kChooseCsgo));

  const auto dialogs = ports().FileDialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].dialog, names::kCsgoFileDialog);
  EXPECT_EQ(dialogs[0].filter, gbk(kGameNames.csgo_filter_utf8));
  EXPECT_EQ(dialogs[0].initial, "csgo");
  EXPECT_TRUE(ports().Boxes().empty());
  EXPECT_EQ(Game().csgo_dir, Dir(root));
  EXPECT_EQ(Game().csgo_manual, 1);
  ExpectStored("CSGO", Dir(root), Dir(CsgoMaps(root)));
  EXPECT_EQ(Setting("CSGOPath_manual_operation"), "1");
  EXPECT_EQ(PathLabel(), gbk("已配置路径:") + Dir(root));
  // A manual choice does not stop the clock; the flag makes its ticks do nothing for CS:GO.
  EXPECT_TRUE(Detecting());
}

TEST_F(InstallationTest, ManualCsgoChoiceRefusedOrCancelledChangesNothing) {
  ASSERT_TRUE(WriteSetting(settings(), "CSGOPath", "/old/"));
  const std::string before = test::slurp(settings());
  const std::string label = PathLabel();

  ports().ScriptFile(test::GbkText(CsgoInstall(f_.dir().path() / "empty", false)));
  window().Activate(names::kChooseCsgo);
  const auto boxes = ports().Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, kWrongTitle);
  EXPECT_EQ(boxes[0].text, CsgoPathWrongText());
  EXPECT_EQ(boxes[0].buttons, gbk("取消"));
  EXPECT_EQ(Game().csgo_dir, "");
  EXPECT_EQ(Game().csgo_manual, 0);

  ports().ScriptFile(std::nullopt);
  window().Activate(names::kChooseCsgo);
  EXPECT_EQ(ports().FileDialogs().size(), 2u);
  EXPECT_EQ(ports().Boxes().size(), 1u);

  EXPECT_EQ(test::slurp(settings()), before);
  EXPECT_EQ(PathLabel(), label);
}

TEST_F(InstallationTest, ManualCs2ChoiceAcceptedOrRefused) {
  ASSERT_TRUE(WriteSetting(settings(), "CS2Path", Dir(Cs2Bin(f_.dir().path() / "old"))));
  const std::string before = test::slurp(settings());

  // Refused: the settings keep the old folder, memory follows the rejected choice.
  const fs::path bad = Cs2Install(f_.dir().path() / "bad", false);
  ports().ScriptFile(test::GbkText(bad));
  window().Activate(names::kChooseCs2);
  ASSERT_EQ(ports().Boxes().size(), 1u);
  EXPECT_EQ(ports().Boxes()[0].title, kWrongTitle);
  EXPECT_EQ(ports().Boxes()[0].text, Cs2PathWrongText());
  EXPECT_EQ(test::slurp(settings()), before);
  EXPECT_EQ(Game().cs2_dir, Dir(Cs2Bin(f_.dir().path() / "bad")));
  EXPECT_EQ(Game().cs2_map_dir, Dir(Cs2Maps(f_.dir().path() / "bad")));
  EXPECT_EQ(Game().cs2_manual, 0);

  const fs::path good = Cs2Install(f_.dir().path() / "good", true);
  ports().ScriptFile(test::GbkText(good));
  window().Activate(names::kChooseCs2);
  const auto dialogs = ports().FileDialogs();
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(dialogs[1].dialog, names::kCs2FileDialog);
  EXPECT_EQ(dialogs[1].filter, gbk(kGameNames.cs2_filter_utf8));
  EXPECT_EQ(dialogs[1].initial, kCs2ExeName);
  EXPECT_EQ(ports().Boxes().size(), 1u);
  const std::string dir = Dir(Cs2Bin(f_.dir().path() / "good"));
  const std::string map_dir = Dir(Cs2Maps(f_.dir().path() / "good"));
  ExpectStored("CS2", dir, map_dir);
  EXPECT_EQ(Setting("CS2Path_manual_operation"), "1");
  EXPECT_EQ(Game().cs2_manual, 1);
  EXPECT_EQ(PathLabel(), gbk("已配置路径:") + dir);
}

TEST_F(InstallationTest, Cs2InFoldersNamedOtherwiseIsFoundWhereItHoldsTheGame) {
  // The executable outside the standard bin folder, and the game's folder itself chosen.
  const fs::path root = f_.dir().path() / "Spiele" / "CS2 beta";
  Cs2Install(root, true);
  const std::string maps = Dir(Cs2Maps(root));
  for (const fs::path& chosen : {root / "tools" / "linux" / kCs2ExeName, root / kCs2ExeName}) {
    SCOPED_TRACE(chosen.string());
    ports().ScriptFile(test::GbkText(chosen));
    window().Activate(names::kChooseCs2);
    EXPECT_TRUE(ports().Boxes().empty());
    EXPECT_EQ(Game().cs2_map_dir, maps);
    EXPECT_EQ(Setting("CS2MapPath"), maps);
  }
  // A folder without the game anywhere above it is still refused.
  ports().ScriptFile(test::GbkText(f_.dir().path() / "elsewhere" / kCs2ExeName));
  window().Activate(names::kChooseCs2);
  EXPECT_EQ(ports().Boxes().size(), 1u);
}

TEST_F(InstallationTest, PathBoxesNameThisSystemsProgramAndSteamFolder) {
  // Windows keeps its texts as they stand.
  EXPECT_EQ(CsgoPathWrongText(kWindowsGameNames),
            gbk(" 请选择 csgo.exe 经检测无法找到 de_dust2.bsp 地图 您的路径是否选择正确? "
                "Steam用户游戏在 \r\n盘:/Steam/steamapps/common/Counter-Strike Global "
                "Offensive/csgo"));
  EXPECT_EQ(Cs2PathWrongText(kWindowsGameNames),
            gbk(" 请选择 cs2.exe 经检测无法找到 de_dust2.vpk 地图 您的路径是否选择正确? "
                "Steam用户游戏在 \r\n盘:/Steam/steamapps/common/Counter-Strike Global "
                "Offensive/game/bin/win64/cs2.exe"));
  EXPECT_EQ(InstallationWrongText(kWindowsGameNames),
            gbk("请选择 csgo.exe 未能找到  您的路径是否选择正确? \r\n原因 软件无法找到官方地图 "
                "de_dust2.bsp"));
  // Linux names the programs its file dialog asks for, and where Steam keeps games there.
  EXPECT_EQ(Cs2PathWrongText(kLinuxGameNames),
            gbk(" 请选择 cs2 经检测无法找到 de_dust2.vpk 地图 您的路径是否选择正确? "
                "Steam用户游戏在 \r\n~/.local/share/Steam/steamapps/common/Counter-Strike Global "
                "Offensive/game/bin/linuxsteamrt64/cs2"));
  for (const std::string& text :
       {CsgoPathWrongText(kLinuxGameNames), InstallationWrongText(kLinuxGameNames)}) {
    EXPECT_NE(text.find("csgo_linux64"), std::string::npos) << text;
    EXPECT_EQ(text.find(".exe"), std::string::npos) << text;
    EXPECT_EQ(text.find("commo/"), std::string::npos) << text;
  }
}

TEST_F(InstallationTest, ChoosingBeforeStartUpOnlyShowsTheNotice) {
  state().initialised = false;
  ports().ScriptFile(test::GbkText(CsgoInstall(f_.dir().path() / "csgo", true)));
  window().Activate(names::kChooseCsgo);
  window().Activate(names::kChooseCs2);
  EXPECT_TRUE(ports().FileDialogs().empty());
  ASSERT_EQ(ports().Notices().size(), 2u);
  EXPECT_EQ(ports().Notices()[0], gbk("正在初始化..."));
  EXPECT_EQ(Game().csgo_dir, "");
}

TEST_F(InstallationTest, ExecutableNameIsRemovedAsThisSystemDoes) {
  // A folder named like the executable: both go on every system.
  const fs::path exe = CsgoInstall(f_.dir().path() / kCsgoExeName, false);
  test::spit(f_.dir().path() / kCsgoAppIdFile, "730");
  EXPECT_EQ(StripExeName(test::GbkText(exe), kCsgoExeName), f_.dir().dir() + kGameNames.separator);
  ports().ScriptFile(test::GbkText(exe));
  window().Activate(names::kChooseCsgo);
  EXPECT_TRUE(ports().Boxes().empty());
  EXPECT_EQ(Game().csgo_dir, f_.dir().dir() + kGameNames.separator);

  // The name inside a longer folder name: Linux keeps that folder; Windows takes the name out
  // of it too, leaving a folder that does not exist, and the choice is refused.
  const fs::path inside = f_.dir().path() / ("old_" + std::string(kCsgoExeName) + "_copy");
  ports().ScriptFile(test::GbkText(CsgoInstall(inside, true)));
  window().Activate(names::kChooseCsgo);
  if (kGameNames.strip_whole_components) {
    EXPECT_TRUE(ports().Boxes().empty());
    EXPECT_EQ(Game().csgo_dir, Dir(inside));
  } else {
    EXPECT_EQ(ports().Boxes().size(), 1u);
    EXPECT_EQ(Game().csgo_dir, f_.dir().dir() + kGameNames.separator);
  }
}

TEST_F(InstallationTest, CheckInstallationFollowsTheTargetGameAndNeverEndsTheProgram) {
  const fs::path cs2_root = f_.dir().path() / "cs2";
  Cs2Install(cs2_root, false);
  GamePaths paths;
  const fs::path csgo_maps = CsgoMaps(f_.dir().path() / "csgo");
  paths.cs2_map_dir = Dir(Cs2Maps(cs2_root));
  paths.csgo_map_dir = Dir(csgo_maps);
  fs::create_directories(csgo_maps);
  test::spit(csgo_maps / kCsgoReferenceMap, "bsp");

  paths.cs2_target = true;
  SetGame(paths);
  EXPECT_FALSE(CheckInstallation(state()));
  // The program is still here: the caller shows the path box and carries on.
  ShowPathWrongDialog(window());
  ASSERT_EQ(ports().Boxes().size(), 1u);
  EXPECT_EQ(ports().Boxes()[0].title, kWrongTitle);
  EXPECT_EQ(ports().Boxes()[0].text, InstallationWrongText());
  EXPECT_EQ(ports().Boxes()[0].buttons, gbk("取消"));

  test::spit(Cs2Maps(cs2_root) / kCs2ReferenceMap, "vpk");
  EXPECT_TRUE(CheckInstallation(state()));

  paths.cs2_target = false;
  SetGame(paths);
  EXPECT_TRUE(CheckInstallation(state()));
  fs::remove(csgo_maps / kCsgoReferenceMap);
  EXPECT_FALSE(CheckInstallation(state()));

  // An unknown folder is not the current directory.
  SetGame(GamePaths{});
  EXPECT_FALSE(CheckInstallation(state()));
}

// The per-system rules as data: each holds on every system.
TEST(InstallationRules, WindowsRemovesEveryOccurrenceOfTheExecutableName) {
  const GameNames& w = kWindowsGameNames;
  EXPECT_EQ(StripExeName("C:\\a\\csgo.exe\\csgo.exe", w.csgo_exe, w), "C:\\a\\\\");
  EXPECT_EQ(StripExeName("D:\\my csgo.exe fan\\csgo.exe", w.csgo_exe, w), "D:\\my  fan\\");
  EXPECT_EQ(StripExeName("D:\\g\\CSGO.EXE", w.csgo_exe, w), "D:\\g\\CSGO.EXE");
  // 乧 ends in the byte of "c": the name starting inside it is no name.
  EXPECT_EQ(StripExeName(gbk("D:\\乧s2.exe\\cs2.exe"), w.cs2_exe, w), gbk("D:\\乧s2.exe\\"));
  EXPECT_EQ(Cs2MapDirFor("C:\\S\\Game\\BIN\\Win64\\", w), "C:\\S\\game\\csgo\\maps\\");
  EXPECT_EQ(Cs2MapDirFor("C:\\S\\game\\bin\\linuxsteamrt64\\", w),
            "C:\\S\\game\\bin\\linuxsteamrt64\\");
  EXPECT_EQ(w.csgo_filter_utf8, "应用程序(*.exe)");
  EXPECT_EQ(w.cs2_filter_utf8, "应用程序(*.exe)");
}

TEST(InstallationRules, LinuxRemovesTheExecutableNameOnlyAsAWholeComponent) {
  const GameNames& l = kLinuxGameNames;
  EXPECT_EQ(StripExeName("/a/cs2/game/bin/linuxsteamrt64/cs2", l.cs2_exe, l),
            "/a//game/bin/linuxsteamrt64/");
  // Part of a folder name is not the executable.
  EXPECT_EQ(StripExeName("/home/cs2fan/my_cs2/game/bin/linuxsteamrt64/cs2", l.cs2_exe, l),
            "/home/cs2fan/my_cs2/game/bin/linuxsteamrt64/");
  EXPECT_EQ(StripExeName("/g/Cs2", l.cs2_exe, l), "/g/Cs2");
  EXPECT_EQ(StripExeName("/g/csgo_linux64/csgo_linux64", l.csgo_exe, l), "/g//");
  EXPECT_EQ(Cs2MapDirFor("/s/GAME/Bin/LinuxSteamRT64/", l), "/s/game/csgo/maps/");
  EXPECT_EQ(Cs2MapDirFor("/s/other/", l), "/s/other/");
  // Executables carry no extension: the filter names the game's own.
  EXPECT_EQ(l.csgo_filter_utf8, "应用程序(csgo_linux64)");
  EXPECT_EQ(l.cs2_filter_utf8, "应用程序(cs2)");
}

}  // namespace
}  // namespace brindle
