// brindle-cli's game and maps commands as real child processes against brindle-sim: choosing the
// game by hand, the check's rows as JSON, downloads of URLs and of a whole group into the game
// with their results and exit status, and a program folder that another program owns.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "platform/platform.h"
#include "support/child_process.h"
#include "support/extractor_files.h"
#include "support/sim_admin.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using test::slurp;
using test::spit;

struct CliRun {
  int code = -1;
  std::string out;
  std::string err;
};

class MapsCliTest : public test::SharedSimSuite {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_->running()) << sim_->error();
    ASSERT_TRUE(test::SimReset(*sim_, "/test/resconfig"));
    ASSERT_TRUE(test::InstallRealExtractor(dir_.path() / "program" / "qdata" / "7zip"));
    game_ = dir_.path() / "game";
    fs::create_directories(game_ / "csgo" / "maps");
    spit(game_ / "steam_appid.txt", "730");
    spit(game_ / "csgo" / "maps" / "de_dust2.bsp", "official");
  }

  // brindle-cli with the program folder and the sim's endpoints, then `args`.
  CliRun Cli(const std::vector<std::string>& args) {
    std::vector<std::string> all = {BRINDLE_CLI_PATH, "--program-dir", Program(), "--endpoints",
                                    sim_->endpoints_file()};
    all.insert(all.end(), args.begin(), args.end());
    const test::ChildRun child = test::RunChild(all);
    return {child.exit_code, child.out, child.err};
  }
  std::string Program() const { return (dir_.path() / "program").string(); }
  std::string Mirror(const std::string& path) const { return sim_->http_url(path); }
  fs::path MapFile(const std::string& name) const { return game_ / "csgo" / "maps" / name; }
  void ChooseGame() { ASSERT_EQ(Cli({"game", "csgo", game_.string()}).code, 0); }

  test::TempDir dir_;
  fs::path game_;
};

TEST_F(MapsCliTest, GameChosenByHandIsKeptAndAWrongFolderRefused) {
  const CliRun ok = Cli({"--json", "game", "csgo", game_.string()});
  ASSERT_EQ(ok.code, 0) << ok.err;
  const auto j = nlohmann::json::parse(ok.out);
  const std::string sep(1, platform::path_separator());
  const std::string map_folder = game_.string() + sep + "csgo" + sep + "maps" + sep;
  EXPECT_EQ(j["folder"], game_.string() + sep);
  EXPECT_EQ(j["map_folder"], map_folder);
  const std::string settings = slurp(dir_.path() / "program" / "qdata" / "Config2.ini");
  EXPECT_NE(settings.find("CSGOPath_manual_operation=1"), std::string::npos);
  EXPECT_NE(settings.find("CSGOMapPath=" + map_folder), std::string::npos);

  const CliRun wrong = Cli({"game", "csgo", dir_.file("nowhere")});
  EXPECT_EQ(wrong.code, 1);
  EXPECT_NE(wrong.err.find("您的路径设置似乎不正确!"), std::string::npos);
  const CliRun cs2 = Cli({"game", "cs2", dir_.file("nowhere/cs2")});
  EXPECT_EQ(cs2.code, 1);
  EXPECT_NE(cs2.err.find("de_dust2.vpk"), std::string::npos);
  EXPECT_EQ(Cli({"game", "quake", "x"}).code, 2);
}

TEST_F(MapsCliTest, CheckPrintsTheRowsAndTheSummary) {
  const CliRun cache = Cli({"--json", "maps", "check", "ttt"});
  ASSERT_EQ(cache.code, 0) << cache.err;
  const auto rows = nlohmann::json::parse(cache.out);
  ASSERT_GE(rows.size(), 1u);
  for (const auto& row : rows) {
    EXPECT_EQ(row["status"], "没有下载[未选择地图检查]");
    EXPECT_FALSE(row["map"].get<std::string>().empty());
    EXPECT_EQ(row["url"].get<std::string>().rfind("http://", 0), 0u);
    EXPECT_TRUE(row.contains("cn_name"));
  }
  EXPECT_EQ(cache.err, "找到可下载地图 0个\n");

  ChooseGame();
  const CliRun game = Cli({"--json", "maps", "check", "TTT", "--into-game"});  // a caption works
  ASSERT_EQ(game.code, 0) << game.err;
  EXPECT_EQ(nlohmann::json::parse(game.out)[0]["status"], "需要下载");
  EXPECT_EQ(game.err, "找到可下载地图 " + std::to_string(rows.size()) + "个\n");
  EXPECT_EQ(Cli({"maps", "check", "nosuchgroup"}).code, 2);
}

TEST_F(MapsCliTest, DownloadOfUrlsReportsEachTaskAndFailsWhenOneFails) {
  ChooseGame();
  const std::string good = Mirror("/maps/awp_india.bsp.bz2");
  const std::string gone = Mirror("/maps/fault/status/404/awp_gone.bsp");
  const CliRun run = Cli({"--json", "maps", "download", "--into-game", "--url", good, gone});
  EXPECT_EQ(run.code, 1) << run.err;
  const auto results = nlohmann::json::parse(run.out);
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0]["name"], "awp_india.bsp.bz2");
  EXPECT_EQ(results[0]["url"], good);
  EXPECT_EQ(results[0]["result"], "installed");
  EXPECT_GT(results[0]["bytes"].get<std::int64_t>(), 0);
  EXPECT_EQ(results[1]["result"], "failed");
  EXPECT_EQ(results[1]["reason"], "HTTP status 404");
  EXPECT_EQ(results[1]["failure"], "下载失败：镜像上没有这个文件(404)");  // as the window says it
  EXPECT_EQ(results[1]["resumed"], false);
  EXPECT_EQ(fs::file_size(MapFile("awp_india.bsp")), 67344u);
  EXPECT_NE(run.err.find("已下载:1 已解压:1 待解压:0 下载失败:1"), std::string::npos) << run.err;

  // Without --into-game the file stays in the cache.
  const CliRun plain = Cli({"--json", "maps", "download", "--url", Mirror("/maps/awp_lego_2.bsp")});
  EXPECT_EQ(plain.code, 0) << plain.err;
  EXPECT_EQ(nlohmann::json::parse(plain.out)[0]["result"], "downloaded");
  EXPECT_FALSE(fs::exists(MapFile("awp_lego_2.bsp")));
}

TEST_F(MapsCliTest, ACutDownloadContinuesInTheNextRun) {
  const std::string url = Mirror("/maps/fault/cut/30000/35hp_2.bsp");
  const CliRun cut = Cli({"--json", "maps", "download", "--url", url});
  EXPECT_EQ(cut.code, 1);
  const auto first = nlohmann::json::parse(cut.out)[0];
  EXPECT_EQ(first["reason"].get<std::string>().rfind("cut short: 30000 of 51785 bytes", 0), 0u);
  EXPECT_EQ(first["failure"], "下载失败：连接中断,文件不完整");
  // A new run empties the cache at its start, but spares the partial file that can continue.
  const CliRun again = Cli({"--json", "maps", "download", "--url", url});
  ASSERT_EQ(again.code, 0) << again.err;
  const auto second = nlohmann::json::parse(again.out)[0];
  EXPECT_EQ(second["result"], "downloaded");
  EXPECT_EQ(second["resumed"], true);
  EXPECT_EQ(second["resumed_from"], 30000);
  EXPECT_EQ(second["bytes"], 51785 - 30000);
}

TEST_F(MapsCliTest, DownloadsTakeTheMirrorLinesOfTheRemoteConfiguration) {
  // The community moved us1 to a host where nothing listens and selects it.
  ASSERT_TRUE(test::SimSet(*sim_, "/test/resconfig",
                           R"([{"servername":"us1","select":1,"dladdress":"127.0.0.1:1"}])"));
  const std::string url = Mirror("/maps/awp_lego_2.bsp");
  const CliRun moved = Cli({"maps", "download", "--url", url});
  EXPECT_EQ(moved.code, 1);
  EXPECT_NE(moved.out.find("failed     awp_lego_2.bsp 0 bytes: 下载失败：无法连接下载服务器 ("),
            std::string::npos)
      << moved.out;
  // --line has the last word over the document's choice.
  const CliRun chosen = Cli({"maps", "download", "--line", "us2", "--url", url});
  ASSERT_TRUE(test::SimReset(*sim_, "/test/resconfig"));
  EXPECT_EQ(chosen.code, 0) << chosen.out << chosen.err;
}

TEST_F(MapsCliTest, DownloadOfAGroupInstallsEveryMissingMap) {
  ChooseGame();
  const CliRun run = Cli({"maps", "download", "--line", "us2", "--into-game", "35hp"});
  ASSERT_EQ(run.code, 0) << run.out << run.err;
  for (const char* map : {"35hp_2", "35hp_lego", "35hp_iceworld"}) {
    EXPECT_TRUE(fs::exists(MapFile(std::string(map) + ".bsp"))) << map;
    EXPECT_NE(run.out.find(std::string("installed  ") + map), std::string::npos) << run.out;
  }
  // Everything installed: a second check finds nothing missing.
  const CliRun check = Cli({"--json", "maps", "check", "35hp", "--into-game"});
  EXPECT_EQ(nlohmann::json::parse(check.out).size(), 0u);
  EXPECT_EQ(Cli({"maps", "download", "--line", "moon", "35hp"}).code, 2);
  EXPECT_EQ(Cli({"maps", "download"}).code, 2);
}

TEST_F(MapsCliTest, AFolderOwnedByTheWindowIsReadButNotWritten) {
  // The window: holds the lock and has a download running in the cache.
  fs::create_directories(dir_.path() / "program" / "download" / "data");
  platform::FileHandle lock = platform::kInvalidFile;
  ASSERT_EQ(platform::lock_file(Program() + "/download/brindle.lock", lock),
            platform::LockOutcome::kTaken);
  const fs::path partial = dir_.path() / "program" / "download" / "data" / "ze_run.bsp.bz2.tmp";
  spit(partial, "the window's download");

  const CliRun refused = Cli({"maps", "download", "--url", Mirror("/maps/awp_india.bsp.bz2")});
  EXPECT_EQ(refused.code, 1);
  EXPECT_NE(refused.err.find("another Brindle program"), std::string::npos) << refused.err;
  const CliRun check = Cli({"--json", "maps", "check", "ttt"});
  EXPECT_EQ(check.code, 0) << check.err;
  EXPECT_EQ(slurp(partial), "the window's download");
  EXPECT_FALSE(fs::exists(dir_.path() / "program" / "download" / "data" / "awp_india.bsp.bz2"));
  platform::unlock_file(lock);

  // Once the window is gone the folder is the CLI's: its start empties the cache.
  EXPECT_EQ(Cli({"maps", "check", "ttt"}).code, 0);
  EXPECT_FALSE(fs::exists(partial));
}

TEST_F(MapsCliTest, PatchStatusAndUpdate) {
  ASSERT_TRUE(test::SimReset(*sim_, "/test/model_version"));
  ASSERT_TRUE(test::SimReset(*sim_, "/test/pifu"));
  EXPECT_EQ(Cli({"patch", "status"}).code, 1);  // no game yet
  ChooseGame();
  const CliRun before = Cli({"--json", "patch", "status"});
  ASSERT_EQ(before.code, 0) << before.err;
  EXPECT_EQ(nlohmann::json::parse(before.out)["state"], "not_installed");
  EXPECT_EQ(nlohmann::json::parse(before.out)["caption"], "材质补丁(未下载)");

  const CliRun plan = Cli({"--json", "patch", "update"});
  ASSERT_EQ(plan.code, 0) << plan.err;
  EXPECT_EQ(nlohmann::json::parse(plan.out)["archives"].size(), 2u);
  const fs::path version =
      game_ / "csgo" / "models" / "player" / "custom_player" / "2019x" / "model_version.ini";
  EXPECT_FALSE(fs::exists(version)) << "the plan fetches nothing";

  const CliRun update = Cli({"--json", "patch", "update", "--wait"});
  ASSERT_EQ(update.code, 0) << update.err;
  const auto j = nlohmann::json::parse(update.out);
  EXPECT_EQ(j["state"], "installed");
  EXPECT_EQ(j["local"], 20240315);
  ASSERT_EQ(j["tasks"].size(), 2u);
  EXPECT_EQ(j["tasks"][0]["result"], "installed");
  EXPECT_EQ(slurp(version), "20240315");

  const CliRun again = Cli({"patch", "update", "--wait"});
  EXPECT_EQ(again.code, 0) << again.err;
  EXPECT_NE(again.out.find("无需更新"), std::string::npos) << again.out;
  EXPECT_EQ(Cli({"patch", "frobnicate"}).code, 2);
}

TEST_F(MapsCliTest, PreDownloadOnceQueuesAndExplainsTheRest) {
  ChooseGame();
  EXPECT_EQ(Cli({"predownload", "once"}).code, 1);  // logged out
  ASSERT_EQ(Cli({"login", "brindle-tester", "secure-4242"}).code, 0);
  ASSERT_TRUE(test::SimSet(*sim_,
                           "/test/userinfo?steamid=76561198000001001&next=awp_lego_2"
                           "&nominate=35hp_2,zz_nowhere"));
  const CliRun run = Cli({"--json", "predownload", "once"});
  ASSERT_EQ(run.code, 0) << run.err;
  const auto j = nlohmann::json::parse(run.out);
  EXPECT_EQ(j["next_map"], "awp_lego_2");
  ASSERT_EQ(j["maps"].size(), 3u);
  EXPECT_EQ(j["maps"][0]["map"], "35hp_2");
  EXPECT_EQ(j["maps"][0]["result"], "queued");
  EXPECT_EQ(j["maps"][1]["result"], "not on the mirror");
  EXPECT_EQ(j["maps"][2]["result"], "queued");
  EXPECT_EQ(j["tasks"].size(), 2u);
  EXPECT_TRUE(fs::exists(MapFile("35hp_2.bsp")));
  EXPECT_TRUE(fs::exists(MapFile("awp_lego_2.bsp")));
  const CliRun text = Cli({"predownload", "once"});
  EXPECT_EQ(text.code, 0) << text.err;
  EXPECT_NE(text.out.find("already installed"), std::string::npos) << text.out;
  ASSERT_TRUE(test::SimReset(*sim_, "/test/userinfo"));
}

}  // namespace
}  // namespace brindle
