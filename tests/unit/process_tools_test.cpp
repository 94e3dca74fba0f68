// Process look-up, children and the desktop tools, against real child processes and fake desktop
// tools placed first on PATH.
#include "foundation/process_tools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "foundation/encoding.h"
#include "platform/platform.h"
#include "support/path_text.h"
#include "support/running_copy.h"
#include "support/system_only.h"
#include "support/temp_dir.h"
#include "tools/tools_feature.h"
#include "view/control_names.h"
#include "view/test_ports.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using test::RunningCopy;
using test::TempDir;

bool contains(const std::vector<int>& ids, int pid) {
  return std::find(ids.begin(), ids.end(), pid) != ids.end();
}

#ifndef _WIN32
// Puts a folder of fake desktop tools first on PATH for the life of the object.
class FakeTools {
 public:
  explicit FakeTools(const TempDir& temp) : bin_(temp.path() / "fakebin") {
    fs::create_directories(bin_);
    const char* old = std::getenv("PATH");
    old_path_ = old ? old : "";
    ::setenv("PATH", (bin_.string() + ":" + old_path_).c_str(), 1);
  }
  ~FakeTools() { ::setenv("PATH", old_path_.c_str(), 1); }
  FakeTools(const FakeTools&) = delete;
  FakeTools& operator=(const FakeTools&) = delete;

  // A tool that writes its arguments, one a line, to `<name>.args` and exits with `code`.
  fs::path Add(const std::string& name, int code = 0, const std::string& extra = "") {
    const fs::path args = bin_ / (name + ".args");
    test::write_script(bin_ / name, extra + "printf '%s\\n' \"$@\" > '" + args.string() +
                                        ".tmp' && mv '" + args.string() + ".tmp' '" +
                                        args.string() + "'\nexit " + std::to_string(code));
    return args;
  }
  // Leaves only the fake folder and the shell's own on PATH, so real desktop tools are not found.
  void Isolate() { ::setenv("PATH", (bin_.string() + ":/bin:/usr/bin").c_str(), 1); }

 private:
  fs::path bin_;
  std::string old_path_;
};
#endif

TEST(FindProcessIds, MatchesTheExecutableNameWithAsciiCaseRules) {
  TempDir temp;
  RunningCopy first(temp.path() / "a" / "BrindleProbe");
  RunningCopy second(temp.path() / "b" / "BrindleProbe");
  ASSERT_TRUE(first.started() && second.started());

  const ProcessIdList exact = FindProcessIds("BrindleProbe", true);
  EXPECT_EQ(exact.count, static_cast<int>(exact.ids.size()));
  EXPECT_TRUE(contains(exact.ids, first.pid()));
  EXPECT_TRUE(contains(exact.ids, second.pid()));

  const ProcessIdList folded = FindProcessIds("bRINDLEpROBE", false);
  EXPECT_TRUE(contains(folded.ids, first.pid()));
  EXPECT_TRUE(contains(folded.ids, second.pid()));

  EXPECT_EQ(FindProcessIds("brindleprobe", true).count, 0);
  // Whole names only: neither a prefix nor a longer name matches.
  EXPECT_EQ(FindProcessIds("BrindleProb", false).count, 0);
  EXPECT_EQ(FindProcessIds("BrindleProbe2", false).count, 0);

  second.Stop();
  const ProcessIdList after = FindProcessIds("BrindleProbe", true);
  EXPECT_TRUE(contains(after.ids, first.pid()));
  EXPECT_FALSE(contains(after.ids, second.pid()));
}

TEST(FindProcessIds, NamesLongerThanTheKernelShortNameStillMatch) {
  TempDir temp;
  RunningCopy child(temp.path() / "BrindleVeryLongProbeName");
  ASSERT_TRUE(child.started());
  EXPECT_TRUE(contains(FindProcessIds("brindleverylongprobename", false).ids, child.pid()));
  EXPECT_EQ(FindProcessId("BrindleVeryLongProbeName"), child.pid());
  EXPECT_EQ(FindProcessId("BrindleNoSuchProgram"), 0);
}

TEST(FindProcessIds, NonAsciiLettersMustMatchExactly) {
  TempDir temp;
  // Cyrillic capital Zhe: GBK has both cases, but only A-Z are folded.
  RunningCopy cyrillic(temp.path() / test::Utf8Path("ProbeЖ"));
  // 丄 is 0x81 0x41 in GBK and 乤 is 0x81 0x61: folding bytes would make them equal.
  RunningCopy chinese(temp.path() / test::Utf8Path("Trail丄"));
  ASSERT_TRUE(cyrillic.started() && chinese.started());

  EXPECT_TRUE(contains(FindProcessIds(gbk("PROBEЖ"), false).ids, cyrillic.pid()));
  EXPECT_EQ(FindProcessIds(gbk("probeж"), false).count, 0);
  EXPECT_TRUE(contains(FindProcessIds(gbk("trail丄"), false).ids, chinese.pid()));
  EXPECT_EQ(FindProcessIds(gbk("Trail乤"), false).count, 0);
}

TEST(ProcessImagePath, GivesTheExecutablePathInGbk) {
  TempDir temp;
  const fs::path exe = temp.path() / test::Utf8Path("游戏 目录") / "BrindleProbe";
  RunningCopy child(exe);
  ASSERT_TRUE(child.started());
  const std::string expected = test::GbkText(exe);
  ASSERT_NE(expected.find(gbk("游戏 目录")), std::string::npos);
  EXPECT_EQ(ProcessImagePath(child.pid()), expected);

  // A removed executable keeps its path, without the kernel's "(deleted)" mark. (Windows keeps
  // the file of a running program; the path is the same either way.)
  std::error_code removed;
  fs::remove(exe, removed);
#ifndef _WIN32
  ASSERT_FALSE(removed) << removed.message();
#endif
  EXPECT_EQ(ProcessImagePath(child.pid()), expected);

  const int gone = child.pid();
  child.Stop();
  EXPECT_EQ(ProcessImagePath(gone), "");
  EXPECT_EQ(ProcessImagePath(0), "");
  EXPECT_EQ(ProcessImagePath(-5), "");
}

TEST(ChildProcess, ReportsExitCodesTimeoutsAndTheWorkingFolder) {
  BRINDLE_POSIX_ONLY("the children are the POSIX shell and sleep");
#ifndef _WIN32
  TempDir temp;
  int code = -1;
  platform::ProcessHandle child =
      platform::spawn_process({"sh", "-c", "pwd > where; exit 7"}, temp.dir(), true);
  ASSERT_NE(child, platform::kInvalidProcess);
  EXPECT_EQ(platform::wait_process(child, -1, code), platform::WaitOutcome::kExited);
  EXPECT_EQ(code, 7);
  EXPECT_EQ(test::slurp(temp.path() / "where"), fs::canonical(temp.path()).string() + "\n");

  child = platform::spawn_process({"sh", "-c", "exec sleep 600"}, "", true);
  ASSERT_NE(child, platform::kInvalidProcess);
  EXPECT_EQ(platform::wait_process(child, 1, code), platform::WaitOutcome::kTimedOut);
  EXPECT_TRUE(platform::kill_process(child));
  EXPECT_EQ(platform::wait_process(child, 60000, code), platform::WaitOutcome::kExited);
  EXPECT_EQ(code, 128 + 9);

  EXPECT_EQ(platform::spawn_process({temp.file("missing-program")}, "", true),
            platform::kInvalidProcess);
  EXPECT_EQ(platform::spawn_process({}, "", true), platform::kInvalidProcess);
#endif
}

TEST(OpenUrl, HandsTheUrlToTheDesktopOpenerUnchanged) {
  BRINDLE_POSIX_ONLY("a fake xdg-open on PATH stands for the desktop");
#ifndef _WIN32
  TempDir temp;
  FakeTools tools(temp);
  const fs::path args = tools.Add("xdg-open");
  const std::string url = "https://forum.example/plugin.php?id=a:b&x=$(echo no)";
  OpenUrl(url);
  ASSERT_TRUE(test::wait_for_file(args));
  EXPECT_EQ(test::slurp(args), url + "\n");
#endif
}

TEST(RunElevated, PassesTheFileAndOneParameterAndReportsRefusal) {
  BRINDLE_POSIX_ONLY("a fake pkexec on PATH stands for the elevation prompt");
#ifndef _WIN32
  TempDir temp;
  FakeTools tools(temp);
  const fs::path script = temp.path() / "repair tool.sh";
  test::write_script(script, "exit 0");
  const fs::path args = tools.Add("pkexec");
  EXPECT_TRUE(RunElevated(script.string(), "/steam dir/bin", 60000));
  EXPECT_EQ(test::slurp(args), script.string() + "\n/steam dir/bin\n");

  // Not waited for: the start is only handed over.
  fs::remove(args);
  EXPECT_TRUE(RunElevated(script.string(), "", 0));
  ASSERT_TRUE(test::wait_for_file(args));
  EXPECT_EQ(test::slurp(args), script.string() + "\n");

  tools.Add("pkexec", 126);  // the person dismissed the prompt
  EXPECT_FALSE(RunElevated(script.string(), "x", 60000));
  EXPECT_FALSE(RunElevated(temp.file("no-such-script"), "", 60000));

  // A prompt left open past the wait is ended; the start itself was accepted.
  tools.Add("pkexec", 0, "exec sleep 600\n");
  EXPECT_TRUE(RunElevated(script.string(), "", 1));
#endif
}

TEST(ShowInFolder, AsksTheFileManagerToSelectTheItemElseOpensTheFolder) {
  BRINDLE_POSIX_ONLY("fake dbus-send and xdg-open on PATH stand for the file manager");
#ifndef _WIN32
  TempDir temp;
  FakeTools tools(temp);
  tools.Isolate();
  const fs::path item = temp.path() / "maps, new" / "de_dust2 x.bsp";
  fs::create_directories(item.parent_path());
  test::spit(item, "x");
  const std::string item_gbk = utf8_to_gbk(item.string());

  EXPECT_FALSE(ShowInFolder(utf8_to_gbk((temp.path() / "missing.bsp").string()), false));

  const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  const std::string old_bus = bus ? bus : "";
  ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", 1);
  const fs::path bus_args = tools.Add("dbus-send");
  EXPECT_TRUE(ShowInFolder(item_gbk, true));
  const std::string sent = test::slurp(bus_args);
  const std::string uri =
      "file://" + fs::canonical(temp.path()).string() + "/maps%2C%20new/de_dust2%20x.bsp";
  EXPECT_NE(sent.find("org.freedesktop.FileManager1.ShowItems\n"), std::string::npos) << sent;
  EXPECT_NE(sent.find("array:string:" + uri + "\n"), std::string::npos) << sent;

  // No file manager answers: the folder opens without a selection.
  tools.Add("dbus-send", 1);
  const fs::path open_args = tools.Add("xdg-open");
  EXPECT_TRUE(ShowInFolder(item_gbk, false));
  ASSERT_TRUE(test::wait_for_file(open_args));
  EXPECT_EQ(test::slurp(open_args), fs::canonical(item.parent_path()).string() + "\n");

  if (old_bus.empty()) {
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
  } else {
    ::setenv("DBUS_SESSION_BUS_ADDRESS", old_bus.c_str(), 1);
  }
#endif
}

class SteamToolsTest : public ::testing::Test {
 protected:
  test::ProcessNameLock names_lock_;
  TempDir temp_;
  TestWindow test_window_;
  Window& window() { return test_window_.window(); }
  TestPorts& ports() { return test_window_.ports(); }
};

TEST_F(SteamToolsTest, BinFolderComesFromTheGlobalClientFirst) {
  EXPECT_EQ(FindSteamBinFolder(), "");
  RunningCopy china(temp_.path() / "china" / std::string(kSteamChinaExeName));
  ASSERT_TRUE(china.started());
  EXPECT_EQ(FindSteamBinFolder(), test::GbkText(temp_.path() / "china" / "bin"));
  RunningCopy global(temp_.path() / "global" / std::string(kSteamExeName));
  ASSERT_TRUE(global.started());
  EXPECT_EQ(FindSteamBinFolder(), test::GbkText(temp_.path() / "global" / "bin"));
}

TEST_F(SteamToolsTest, OtherLetterCaseLeavesTheExecutablePath) {
  const fs::path exe = temp_.path() / ("S" + std::string(kSteamExeName.substr(1)));
  RunningCopy client(exe);
  ASSERT_TRUE(client.started());
  EXPECT_EQ(FindSteamBinFolder(), test::GbkText(exe));
}

TEST_F(SteamToolsTest, RepairAsksFirstThenLooksForSteam) {
  BRINDLE_POSIX_ONLY(
      "the Linux answer to a running client; Windows would start the script elevated");
#ifndef _WIN32
  ports().ScriptAnswer(1);  // 取消
  RunSteamRepair(window(), temp_.dir());
  ASSERT_EQ(ports().Boxes().size(), 1u);
  EXPECT_EQ(ports().Boxes()[0].title, "");
  EXPECT_EQ(ports().Boxes()[0].text,
            gbk("这将运行百度贴吧提供的脚本进行修复 是否继续? \r\n同时您必须确认Steam已运行"));
  EXPECT_EQ(ports().Boxes()[0].buttons, gbk("继续&&取消"));
  EXPECT_TRUE(ports().Notices().empty());

  ports().ScriptAnswer(0);
  RunSteamRepair(window(), temp_.dir());
  ASSERT_EQ(ports().Notices().size(), 1u);
  EXPECT_EQ(ports().Notices()[0], gbk("未找到Steam进程"));

  // With Steam running the Windows script is not started here; the person is told why.
  FakeTools tools(temp_);
  const fs::path elevated = tools.Add("pkexec");
  RunningCopy client(temp_.path() / "steam");
  ASSERT_TRUE(client.started());
  ports().ScriptAnswer(0);
  RunSteamRepair(window(), temp_.dir());
  ASSERT_EQ(ports().Notices().size(), 2u);
  EXPECT_EQ(ports().Notices()[1], gbk("修复脚本仅适用于Windows版Steam"));
  EXPECT_FALSE(fs::exists(elevated));
#endif
}

TEST_F(SteamToolsTest, KeyBinderOpensTheChosenBrowser) {
#ifndef _WIN32
  FakeTools tools(temp_);
  const fs::path opened = tools.Add("xdg-open");
#endif
  const std::string forum = "https://forum.example";
  const std::string page = forum + "/plugin.php?id=tarn_csgo_command_binder:main";
  int forum_switches = 0;
  const auto switch_page = [&] { ++forum_switches; };

  ports().ScriptAnswer(2);  // 取消
  OpenKeyBinder(window(), forum, true, switch_page);
  ASSERT_EQ(ports().Boxes().size(), 1u);
  EXPECT_EQ(ports().Boxes()[0].text, gbk("访问方式选择 \r\n本机浏览器:使用自己的浏览器 窗口更大"));
  EXPECT_EQ(ports().Boxes()[0].buttons, gbk("本机浏览器&&内置浏览器&&取消"));
  EXPECT_TRUE(ports().Navigations().empty());
  EXPECT_EQ(forum_switches, 0);

  ports().ScriptAnswer(1);
  OpenKeyBinder(window(), forum, false, switch_page);
  EXPECT_EQ(forum_switches, 0);
  ports().ScriptAnswer(1);
  OpenKeyBinder(window(), forum, true, switch_page);
  EXPECT_EQ(forum_switches, 1);
  const auto navigations = ports().Navigations();
  ASSERT_EQ(navigations.size(), 2u);
  EXPECT_EQ(navigations[1], std::make_pair(std::string(names::kForumBrowser), page));

#ifndef _WIN32  // the system browser: a fake xdg-open
  ports().ScriptAnswer(0);
  OpenKeyBinder(window(), forum, true, switch_page);
  ASSERT_TRUE(test::wait_for_file(opened));
  EXPECT_EQ(test::slurp(opened), page + "\n");
  EXPECT_EQ(forum_switches, 1);
#endif
}

}  // namespace
}  // namespace brindle
