// brindle-cli run from a folder its user may not write, as a package installs it: the program
// folder moves to the user's data folder, a named one still wins, a writable folder stays the
// program folder, and maps install with the system's 7-Zip when the program folder has no
// extractor of its own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/sim_admin.h"
#include "support/sim_process.h"
#include "support/system_only.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using test::ChildRun;

#ifndef _WIN32
// Sets an environment variable for the children of one test and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};
#endif

class InstalledProgramTest : public test::SharedSimSuite {
 protected:
  void SetUp() override {
    BRINDLE_POSIX_ONLY("a folder nobody may write is made with POSIX permissions");
    ASSERT_TRUE(sim_->running()) << sim_->error();
    ASSERT_TRUE(test::SimReset(*sim_, "/test/resconfig"));
    fs::create_directories(installed_);
    fs::copy_file(BRINDLE_CLI_PATH, installed_ / "brindle-cli");
    fs::permissions(installed_, fs::perms::owner_read | fs::perms::owner_exec |
                                    fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    fs::create_directories(tools_);
    fs::create_directories(game_ / "csgo" / "maps");
    test::spit(game_ / "steam_appid.txt", "730");
    test::spit(game_ / "csgo" / "maps" / "de_dust2.bsp", "official");
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(installed_, fs::perms::owner_all, fs::perm_options::add, ignored);
  }

  // The installed brindle-cli (or `program`) with the sim's endpoints, then `args`.
  ChildRun Cli(const std::vector<std::string>& args, const fs::path& program = {}) {
    std::vector<std::string> all = {
        (program.empty() ? installed_ / "brindle-cli" : program).string(), "--endpoints",
        sim_->endpoints_file()};
    all.insert(all.end(), args.begin(), args.end());
    return test::RunChild(all, dir_.path().string());
  }
  static std::string ProgramDir(const ChildRun& info) {
    return nlohmann::json::parse(info.out)["program_dir"].get<std::string>();
  }

  test::TempDir dir_;
  fs::path installed_ = dir_.path() / "usr" / "bin";
  fs::path data_home_ = dir_.path() / "home" / ".local" / "share";  // none of it exists yet
  fs::path tools_ = dir_.path() / "tools";                          // PATH: no 7zz at first
  fs::path game_ = dir_.path() / "game";
};

TEST_F(InstalledProgramTest, KeepsItsFilesInTheUsersDataFolderUnlessAFolderIsNamed) {
#ifndef _WIN32
  ScopedEnv data_home("XDG_DATA_HOME", data_home_.string());
  const ChildRun info = Cli({"--json", "info"});
  ASSERT_EQ(info.exit_code, 0) << info.err;
  const fs::path program = data_home_ / "brindle";
  EXPECT_EQ(ProgramDir(info), program.string());
  EXPECT_TRUE(fs::is_directory(program / "qdata"));
  EXPECT_TRUE(fs::is_directory(program / "download" / "data"));
  EXPECT_EQ(std::distance(fs::directory_iterator(installed_), fs::directory_iterator()), 1);

  const fs::path named = dir_.path() / "named";
  fs::create_directories(named);
  const ChildRun chosen = Cli({"--program-dir", named.string(), "--json", "info"});
  ASSERT_EQ(chosen.exit_code, 0) << chosen.err;
  EXPECT_EQ(ProgramDir(chosen), named.string());

  // A copy in a folder its user may write is portable, as every build folder is.
  const fs::path portable = dir_.path() / "portable";
  fs::create_directories(portable);
  fs::copy_file(BRINDLE_CLI_PATH, portable / "brindle-cli");
  const ChildRun beside = Cli({"--json", "info"}, portable / "brindle-cli");
  ASSERT_EQ(beside.exit_code, 0) << beside.err;
  EXPECT_EQ(ProgramDir(beside), portable.string());
  EXPECT_TRUE(fs::is_directory(portable / "qdata"));
#endif
}

TEST_F(InstalledProgramTest, InstallsMapsWithTheSystemsExtractor) {
#ifndef _WIN32
  ScopedEnv data_home("XDG_DATA_HOME", data_home_.string());
  ScopedEnv path("PATH", tools_.string());
  ASSERT_EQ(Cli({"game", "csgo", game_.string()}).exit_code, 0);
  const std::vector<std::string> download = {"--json",   "maps",
                                             "download", "--into-game",
                                             "--url",    sim_->http_url("/maps/awp_india.bsp.bz2")};

  const ChildRun without = Cli(download);
  EXPECT_EQ(without.exit_code, 1);
  EXPECT_EQ(
      nlohmann::json::parse(without.out)[0]["failure"].get<std::string>().rfind("解压失败", 0), 0u)
      << without.out;

  fs::create_symlink("/usr/bin/7zz", tools_ / "7zz");
  const ChildRun with = Cli(download);
  ASSERT_EQ(with.exit_code, 0) << with.err;
  EXPECT_EQ(nlohmann::json::parse(with.out)[0]["result"], "installed");
  EXPECT_EQ(fs::file_size(game_ / "csgo" / "maps" / "awp_india.bsp"), 67344u);
  EXPECT_FALSE(fs::exists(data_home_ / "brindle" / "qdata" / "7zip"));
#endif
}

}  // namespace
}  // namespace brindle
