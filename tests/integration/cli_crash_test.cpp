// brindle-cli killed with SIGKILL at random moments while it changes the favourites, the settings
// and the map name dictionary, and many of it changing one file at once: every file still reads,
// and every change a run confirmed (exit 0) before a kill is still there. Real child processes on
// a real program folder; the dictionary comes from brindle-sim. The random moments come from a
// fixed seed (BRINDLE_CRASH_SEED changes it), so a failure can be replayed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "foundation/json_document.h"
#include "foundation/settings_file.h"
#include "platform/platform.h"
#include "servers/favourites.h"
#include "support/child_process.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;

// Bytes of a favourites file the program cannot show; they must come through every change.
const std::string kForeignHead =
    "[\n  {\"ip\": \"no-port-here\", \"typeid\": \"7\"},\n"
    "  {\"ip\": \"192.0.2.200:27015\", \"typeid\": \"3\", \"note\": {\"by\": \"hand\"}},\n"
    "  {\"ip\": 35e299, \"port\": {}}";
const std::string kForeignTail = "\n]\n";

// The CS2 program folder below the game, and the separator the program ends its paths with.
#ifdef _WIN32
constexpr const char* kCs2BinFolder = "win64";
#else
constexpr const char* kCs2BinFolder = "linuxsteamrt64";
#endif
const std::string kSep(1, platform::path_separator());

class CliCrashTest : public test::SharedSimSuite {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_->running()) << sim_->error();
    fs::create_directories(dir_.path() / "qdata");
    const char* seed = std::getenv("BRINDLE_CRASH_SEED");
    seed_ = seed != nullptr ? static_cast<unsigned>(std::strtoul(seed, nullptr, 10)) : 20261207u;
    random_.seed(seed_);
  }

  std::vector<std::string> Argv(const std::vector<std::string>& args) const {
    std::vector<std::string> argv = {BRINDLE_CLI_PATH, "--program-dir", dir_.path().string(),
                                     "--endpoints", sim_->endpoints_file()};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  }

  // Runs brindle-cli to its end, or kills it with SIGKILL after kill_after_ms. The exit code
  // (128 + 9 for a killed run).
  int RunOrKill(const std::vector<std::string>& args, std::int64_t kill_after_ms) {
    const platform::ProcessHandle child =
        platform::spawn_process(Argv(args), other_dir_.path().string(), true);
    EXPECT_NE(child, platform::kInvalidProcess);
    if (child == platform::kInvalidProcess) return -1;
    int code = -1;
    if (platform::wait_process(child, kill_after_ms, code) == platform::WaitOutcome::kExited) {
      return code;
    }
    (void)platform::kill_process(child);  // it may have ended just now: the wait tells
    EXPECT_EQ(platform::wait_process(child, 60000, code), platform::WaitOutcome::kExited);
    return code;
  }

  // How long one unkilled run of the command takes here (sanitizers make it slow); the kills
  // fall anywhere from the start to well past that (later runs may be slower than the first).
  std::int64_t TimeOneRun(const std::vector<std::string>& args) {
    const std::int64_t start = platform::monotonic_ms();
    EXPECT_EQ(RunOrKill(args, 60000), 0);
    return std::max<std::int64_t>(platform::monotonic_ms() - start, 20);
  }
  // Every fifth round runs to its end, so a loaded machine (every run slower than the first)
  // still confirms changes to check.
  std::int64_t KillMoment(std::int64_t run_ms, int round) {
    if (round % 5 == 4) return 60000;
    return std::uniform_int_distribution<std::int64_t>(0, run_ms * 8 / 5)(random_);
  }

  std::string Qdata(const std::string& name) const {
    return (dir_.path() / "qdata" / name).string();
  }

  // The temporary files atomic writes left in qdata.
  std::vector<std::string> TempFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_.path() / "qdata")) {
      const std::string name = entry.path().filename().string();
      if (name.find(".tmp-") != std::string::npos) names.push_back(name);
    }
    return names;
  }

  test::TempDir dir_;
  test::TempDir other_dir_;
  unsigned seed_ = 0;
  std::mt19937 random_;
};

TEST_F(CliCrashTest, TwentyConcurrentAddsAreAllKept) {
  test::spit(Qdata("my_favorite.json"), kForeignHead + kForeignTail);
  constexpr int kAdds = 20;
  std::vector<test::ChildRun> runs(kAdds);
  std::vector<std::thread> threads;
  for (int i = 0; i < kAdds; ++i) {
    threads.emplace_back([&, i] {
      runs[i] = test::RunChild(
          Argv({"favourites", "add", "198.51.100." + std::to_string(i + 1) + ":27015"}),
          other_dir_.path().string());
    });
  }
  for (std::thread& t : threads) t.join();
  for (int i = 0; i < kAdds; ++i) {
    EXPECT_EQ(runs[i].exit_code, 0) << runs[i].err;
    EXPECT_EQ(runs[i].out.rfind("added ", 0), 0u) << runs[i].out;
  }
  const std::string text = test::slurp(Qdata("my_favorite.json"));
  std::vector<FavouriteEntry> entries;
  ASSERT_TRUE(ReadFavouriteEntries(text, entries)) << text;
  std::set<std::string> listed;
  for (const FavouriteEntry& e : entries) listed.insert(e.ip);
  for (int i = 0; i < kAdds; ++i) {
    EXPECT_TRUE(listed.count("198.51.100." + std::to_string(i + 1) + ":27015")) << i;
  }
  EXPECT_EQ(entries.size(), kAdds + 1u);  // and the one foreign entry the list shows
  EXPECT_EQ(text.rfind(kForeignHead, 0), 0u) << text;
  EXPECT_TRUE(platform::file_exists(Qdata("my_favorite.json.lock")));
}

TEST_F(CliCrashTest, SettingsWrittenByConcurrentProgramsKeepEveryKey) {
  // Two games chosen by several programs at once: each writes its own keys one by one; without
  // the lock one program's key vanishes under another's rewrite of the file.
  const fs::path csgo = dir_.path() / "csgo-game";
  const fs::path cs2 = dir_.path() / "cs2-game";
  fs::create_directories(csgo / "csgo" / "maps");
  test::spit(csgo / "csgo" / "maps" / "de_dust2.bsp", "map");
  fs::create_directories(cs2 / "game" / "bin" / kCs2BinFolder);
  fs::create_directories(cs2 / "game" / "csgo" / "maps");
  test::spit(cs2 / "game" / "csgo" / "maps" / "de_dust2.vpk", "map");
  const std::string settings = Qdata("Config2.ini");
  test::spit(settings, "[Configs]\nhideUn7z=1\n");

  std::vector<test::ChildRun> runs(8);
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&, i] {
      const bool is_cs2 = i % 2 == 1;
      runs[i] = test::RunChild(
          Argv({"game", is_cs2 ? "cs2" : "csgo",
                is_cs2 ? (cs2 / "game" / "bin" / kCs2BinFolder).string() : csgo.string()}),
          other_dir_.path().string());
    });
  }
  for (std::thread& t : threads) t.join();
  for (const test::ChildRun& run : runs) EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(ReadSetting(settings, "hideUn7z"), "1");
  EXPECT_EQ(ReadSetting(settings, "CSGOPath"), csgo.string() + kSep);
  EXPECT_EQ(ReadSetting(settings, "CSGOPath_manual_operation"), "1");
  EXPECT_EQ(ReadSetting(settings, "CS2Path"),
            (cs2 / "game" / "bin" / kCs2BinFolder).string() + kSep);
  EXPECT_EQ(ReadSetting(settings, "CS2Path_manual_operation"), "1");
}

TEST_F(CliCrashTest, FavouritesKilledAtRandomMomentsKeepEveryConfirmedChange) {
  const std::string path = Qdata("my_favorite.json");
  test::spit(path, kForeignHead + kForeignTail);
  const std::int64_t run_ms = TimeOneRun({"favourites", "add", "203.0.113.250:27015"});
  std::set<std::string> present = {"203.0.113.250:27015"};  // confirmed and not removed since
  std::set<std::string> absent;                             // confirmed removed
  int kills = 0, confirmed = 0;
  constexpr int kRounds = 24;
  for (int round = 0; round < kRounds; ++round) {
    // Mostly adds of new addresses; every fourth round removes one that is known to be there.
    const bool remove = round % 4 == 3 && !present.empty();
    const std::string address =
        remove ? *present.begin() : "203.0.113." + std::to_string(round + 1) + ":27015";
    const int code =
        RunOrKill({"favourites", remove ? "remove" : "add", address}, KillMoment(run_ms, round));
    if (code == 0) {
      ++confirmed;
      (remove ? absent : present).insert(address);
      (remove ? present : absent).erase(address);
    } else {
      ASSERT_EQ(code, 128 + 9) << "round " << round << " seed " << seed_;
      ++kills;
      // Unconfirmed: either outcome is allowed, so the address is no longer known either way.
      present.erase(address);
      absent.erase(address);
    }
    const std::string text = test::slurp(path);
    std::vector<FavouriteEntry> entries;
    ASSERT_TRUE(ReadFavouriteEntries(text, entries)) << "round " << round << ": " << text;
    std::set<std::string> listed;
    for (const FavouriteEntry& e : entries) listed.insert(e.ip);
    for (const std::string& a : present) EXPECT_TRUE(listed.count(a)) << a << " round " << round;
    for (const std::string& a : absent) EXPECT_FALSE(listed.count(a)) << a << " round " << round;
    EXPECT_EQ(text.rfind(kForeignHead, 0), 0u) << "round " << round << ": " << text;
  }
  // Every generation of backup is a list that reads, never a broken or empty file.
  for (int n = 0; n < kFavouritesBackupGenerations; ++n) {
    const std::string backup = FavouritesBackupPath(path, n);
    if (!fs::exists(backup)) continue;
    std::vector<FavouriteEntry> entries;
    EXPECT_TRUE(ReadFavouriteEntries(test::slurp(backup), entries)) << backup;
    EXPECT_FALSE(entries.empty()) << backup;
  }
  // A kill in the middle of a write leaves a temporary file; the next start removes it.
  ASSERT_EQ(RunOrKill({"favourites", "list"}, 60000), 0);
  EXPECT_EQ(TempFiles(), std::vector<std::string>{});
  std::printf("favourites: seed %u, %d rounds, %d killed, %d confirmed, one run %lld ms\n", seed_,
              kRounds, kills, confirmed, static_cast<long long>(run_ms));
  EXPECT_GT(kills, 0);
  EXPECT_GT(confirmed, 0);
}

TEST_F(CliCrashTest, SettingsKilledAtRandomMomentsKeepEveryConfirmedChoice) {
  const std::string settings = Qdata("Config2.ini");
  test::spit(settings, "[Configs]\r\nhideUn7z=1\r\n");
  std::vector<std::string> folders;
  for (int i = 0; i < 4; ++i) {
    const fs::path game = dir_.path() / ("game-" + std::to_string(i));
    fs::create_directories(game / "csgo" / "maps");
    test::spit(game / "csgo" / "maps" / "de_dust2.bsp", "map");
    folders.push_back(game.string());
  }
  const std::int64_t run_ms = TimeOneRun({"game", "csgo", folders[0]});
  // The values CSGOPath may hold: the last confirmed one, or one of an unconfirmed run since.
  std::set<std::string> allowed = {folders[0] + kSep};
  int kills = 0, confirmed = 0;
  constexpr int kRounds = 16;
  for (int round = 0; round < kRounds; ++round) {
    const std::string& folder = folders[static_cast<std::size_t>(round) % folders.size()];
    const int code = RunOrKill({"game", "csgo", folder}, KillMoment(run_ms, round));
    if (code == 0) {
      ++confirmed;
      allowed = {folder + kSep};
    } else {
      ASSERT_EQ(code, 128 + 9) << "round " << round << " seed " << seed_;
      ++kills;
      allowed.insert(folder + kSep);
    }
    EXPECT_EQ(ReadSetting(settings, "hideUn7z"), "1") << "round " << round;
    EXPECT_TRUE(allowed.count(ReadSetting(settings, "CSGOPath")))
        << "round " << round << ": " << test::slurp(settings);
    if (code == 0) {
      EXPECT_EQ(ReadSetting(settings, "CSGOMapPath"),
                folder + kSep + "csgo" + kSep + "maps" + kSep);
      EXPECT_EQ(ReadSetting(settings, "CSGOPath_manual_operation"), "1");
    }
  }
  std::printf("settings: seed %u, %d rounds, %d killed, %d confirmed, one run %lld ms\n", seed_,
              kRounds, kills, confirmed, static_cast<long long>(run_ms));
  EXPECT_GT(kills, 0);
  EXPECT_GT(confirmed, 0);
}

TEST_F(CliCrashTest, DictionaryKilledAtRandomMomentsIsWholeOrAbsent) {
  const std::string path = Qdata("MapData.json");
  const std::int64_t run_ms = TimeOneRun({"dictionary", "update"});
  JsonDocument first;
  ASSERT_TRUE(first.parse(test::slurp(path)));
  const int names = first.count("");
  ASSERT_GT(names, 0);
  const std::string old_text =
      "[{\"mapname\":\"ze_kept\",\"cn_name\":\""
      "\xb1\xa3\xc1\xf4"
      "\"}]";
  int kills = 0, confirmed = 0;
  constexpr int kRounds = 16;
  for (int round = 0; round < kRounds; ++round) {
    // Each round starts from a file of its own, so a kill can be told from a success.
    test::spit(path, old_text);
    const int code = RunOrKill({"dictionary", "update"}, KillMoment(run_ms, round));
    const std::string text = test::slurp(path);
    JsonDocument doc;
    ASSERT_TRUE(doc.parse(text)) << "round " << round << ": " << text.substr(0, 200);
    if (code == 0) {
      ++confirmed;
      EXPECT_EQ(doc.count(""), names) << "round " << round;
    } else {
      ASSERT_EQ(code, 128 + 9) << "round " << round << " seed " << seed_;
      ++kills;
      EXPECT_TRUE(text == old_text || doc.count("") == names) << "round " << round;
    }
  }
  std::printf("dictionary: seed %u, %d rounds, %d killed, %d confirmed, one run %lld ms\n", seed_,
              kRounds, kills, confirmed, static_cast<long long>(run_ms));
  EXPECT_GT(kills, 0);
  EXPECT_GT(confirmed, 0);
}

TEST_F(CliCrashTest, TemporaryFilesOfDeadWritersGoAtTheNextStart) {
  // A writer that is gone: a child that has ended (brindle-cli without a command, on either
  // system; the temporary names are the same on both).
  const platform::ProcessHandle child =
      platform::spawn_process({BRINDLE_CLI_PATH}, other_dir_.path().string(), true);
  ASSERT_NE(child, platform::kInvalidProcess);
  const int dead_pid = platform::process_id(child);
  int code = -1;
  ASSERT_EQ(platform::wait_process(child, 60000, code), platform::WaitOutcome::kExited);
  const std::string dead = "my_favorite.json.tmp-" + std::to_string(dead_pid) + "-3";
  // A writer that runs: this test.
  const std::string live = "Config2.ini.tmp-" + std::to_string(::getpid()) + "-0";
  const std::string other = "notes.tmp-draft";  // not one of ours
  for (const std::string& name : {dead, live, other}) test::spit(Qdata(name), "partial");
  test::spit(Qdata("MapData.json.tmp-" + std::to_string(dead_pid) + "-0"), "partial");

  ASSERT_EQ(RunOrKill({"favourites", "list"}, 60000), 0);
  std::vector<std::string> left = TempFiles();
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{live, other}));
}

}  // namespace
}  // namespace brindle
