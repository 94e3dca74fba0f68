// brindle-cli killed with SIGKILL at random moments while it downloads and installs maps from
// brindle-sim with the real extractor: a map in the game is always whole or absent, never
// half-written; the extractor never outlives the program; the next run removes the staging
// folders a killed one left. The moments come from a fixed seed (BRINDLE_CRASH_SEED changes it).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/child_process.h"
#include "support/extractor_files.h"
#include "support/sim_process.h"
#include "support/system_only.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;

class MapsCrashTest : public test::SharedSimSuite {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_->running()) << sim_->error();
    game_ = dir_.path() / "game";
    fs::create_directories(game_ / "csgo" / "maps");
    test::spit(game_ / "steam_appid.txt", "730");
    test::spit(game_ / "csgo" / "maps" / "de_dust2.bsp", "official");
    const char* seed = std::getenv("BRINDLE_CRASH_SEED");
    random_.seed(seed != nullptr ? static_cast<unsigned>(std::strtoul(seed, nullptr, 10))
                                 : 20261208u);
  }

  // Starts brindle-cli with the program folder and the sim's endpoints, then `args`.
  platform::ProcessHandle Start(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {BRINDLE_CLI_PATH, "--program-dir", Program(), "--endpoints",
                                     sim_->endpoints_file()};
    argv.insert(argv.end(), args.begin(), args.end());
    return platform::spawn_process(argv, dir_.path().string(), true);
  }
  // Runs it to its end, or kills it after kill_after_ms; the exit code (137 when killed).
  int RunOrKill(const std::vector<std::string>& args, std::int64_t kill_after_ms) {
    const platform::ProcessHandle child = Start(args);
    EXPECT_NE(child, platform::kInvalidProcess);
    int code = -1;
    if (platform::wait_process(child, kill_after_ms, code) == platform::WaitOutcome::kExited) {
      return code;
    }
    (void)platform::kill_process(child);
    EXPECT_EQ(platform::wait_process(child, 60000, code), platform::WaitOutcome::kExited);
    return code;
  }
  std::string Program() const { return (dir_.path() / "program").string(); }
  fs::path Maps() const { return game_ / "csgo" / "maps"; }
  std::vector<std::string> Staging(const fs::path& folder) const {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind(".q_unbz2-", 0) == 0) found.push_back(name);
    }
    return found;
  }

  test::TempDir dir_;
  fs::path game_;
  std::mt19937 random_;
};

TEST_F(MapsCrashTest, KilledInstallsLeaveNoBrokenMap) {
  // Wine does not end a job's processes when the killed program's handle goes: an extractor
  // stays behind, and the next run waits for it as for any running extractor.
  BRINDLE_NOT_UNDER_WINE("an extractor outlives its killed program (kill-on-close jobs)");
  ASSERT_TRUE(test::InstallRealExtractor(dir_.path() / "program" / "qdata" / "7zip"));
  ASSERT_EQ(RunOrKill({"game", "csgo", game_.string()}, 60000), 0);
  // A compressed map, a plain one and an archive, with the sizes the mirror gives them.
  const std::vector<std::pair<std::string, std::uintmax_t>> maps = {
      {"35hp_lego.bsp", 75993u}, {"hg_forest_b2.bsp", 592858u}, {"mg_warmup_arena.bsp", 0u}};
  const std::vector<std::string> args = {"maps",
                                         "download",
                                         "--into-game",
                                         "--url",
                                         sim_->http_url("/maps/35hp_lego.bsp.bz2"),
                                         "--url",
                                         sim_->http_url("/maps/hg_forest_b2.bsp"),
                                         "--url",
                                         sim_->http_url("/maps/mg_warmup_arena.zip")};
  const std::int64_t start = platform::monotonic_ms();
  std::vector<std::string> argv = {BRINDLE_CLI_PATH, "--program-dir", Program(), "--endpoints",
                                   sim_->endpoints_file()};
  argv.insert(argv.end(), args.begin(), args.end());
  const test::ChildRun first = test::RunChild(argv);
  ASSERT_EQ(first.exit_code, 0) << first.out << first.err;
  const std::int64_t run_ms = std::max<std::int64_t>(platform::monotonic_ms() - start, 50);
  std::uintmax_t arena = fs::file_size(Maps() / "mg_warmup_arena.bsp");

  constexpr int kRounds = 12;
  for (int round = 0; round < kRounds; ++round) {
    for (const auto& [map, size] : maps) fs::remove(Maps() / map);
    const std::int64_t kill_after =
        std::uniform_int_distribution<std::int64_t>(0, run_ms * 3 / 2)(random_);
    (void)RunOrKill(args, kill_after);
    for (const auto& [map, size] : maps) {
      const fs::path path = Maps() / map;
      if (!fs::exists(path)) continue;
      EXPECT_EQ(fs::file_size(path), size != 0 ? size : arena)
          << map << " after a kill at " << kill_after << " ms (round " << round << ")";
    }
  }
  // A whole run afterwards installs everything and clears what the killed ones left.
  ASSERT_EQ(RunOrKill(args, 120000), 0);
  for (const auto& [map, size] : maps) EXPECT_TRUE(fs::exists(Maps() / map)) << map;
  EXPECT_TRUE(Staging(Maps()).empty());
  EXPECT_TRUE(Staging(game_).empty());
}

TEST_F(MapsCrashTest, TheExtractorEndsWithItsProgram) {
  BRINDLE_POSIX_ONLY("the stand-in is a shell script that tells its process id");
  const fs::path seven_zip = dir_.path() / "program" / "qdata" / "7zip";
  ASSERT_TRUE(test::InstallRealExtractor(seven_zip));
  ASSERT_EQ(RunOrKill({"game", "csgo", game_.string()}, 60000), 0);
  // An extractor that never ends by itself.
  const fs::path pid_file = dir_.path() / "extractor.pid";
  fs::remove(test::ExtractorFile(seven_zip));
  test::spit(test::ExtractorFile(seven_zip),
             "#!/bin/sh\necho $$ > '" + pid_file.string() + "'\nwhile :; do sleep 1; done\n");
  fs::permissions(test::ExtractorFile(seven_zip), fs::perms::owner_all);
  const platform::ProcessHandle cli =
      Start({"maps", "download", "--into-game", "--url", sim_->http_url("/maps/35hp_2.bsp.bz2")});
  ASSERT_NE(cli, platform::kInvalidProcess);
  int extractor = 0;
  for (int i = 0; i < 600 && extractor == 0; ++i) {
    platform::sleep_ms(50);
    extractor = std::atoi(test::slurp(pid_file).c_str());
  }
  ASSERT_GT(extractor, 0) << "the extractor never started";
  EXPECT_EQ(Staging(Maps()).size(), 1u);
  int code = 0;
  ASSERT_TRUE(platform::kill_process(cli));
  ASSERT_EQ(platform::wait_process(cli, 60000, code), platform::WaitOutcome::kExited);
  bool ended = false;
  for (int i = 0; i < 200 && !ended; ++i) {
    ended = !platform::process_running(extractor);
    if (!ended) platform::sleep_ms(50);
  }
  EXPECT_TRUE(ended) << "the extractor outlived its program";

  // The next run's extraction removes the staging folder the killed one left.
  fs::remove(test::ExtractorFile(seven_zip));
  ASSERT_TRUE(test::InstallRealExtractor(seven_zip));
  ASSERT_EQ(RunOrKill({"maps", "download", "--into-game", "--url",
                       sim_->http_url("/maps/35hp_lego.bsp.bz2")},
                      120000),
            0);
  EXPECT_TRUE(Staging(Maps()).empty());
}

}  // namespace
}  // namespace brindle
