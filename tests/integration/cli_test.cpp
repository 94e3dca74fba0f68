// brindle-cli (and brindle-sim's help) as real child processes: every failure ends with a
// non-zero exit code and its message on standard error, results alone go to standard output,
// and the commands that install nothing work from a program folder without the extractor.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "sim/a2s_responder.h"
#include "support/child_process.h"
#include "support/extractor_files.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using test::ChildRun;

class CliTest : public test::SharedSimSuite {
 protected:
  void SetUp() override { ASSERT_TRUE(sim_->running()) << sim_->error(); }

  // brindle-cli on the test's program folder (empty: no qdata/7zip/q_unbz2) and the sim.
  ChildRun Cli(std::vector<std::string> args) {
    std::vector<std::string> argv = {BRINDLE_CLI_PATH, "--program-dir", dir_.path().string(),
                                     "--endpoints", sim_->endpoints_file()};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildRun run = test::RunChild(argv, other_dir_.path().string());
    EXPECT_TRUE(run.started);
    return run;
  }
  std::string FavouritesFile() const {
    return (dir_.path() / "qdata" / "my_favorite.json").string();
  }

  test::TempDir dir_;
  test::TempDir other_dir_;  // the working folder: not the program folder
};

TEST_F(CliTest, HelpIsNoFailure) {
  ChildRun cli = test::RunChild({BRINDLE_CLI_PATH, "--help"});
  EXPECT_EQ(cli.exit_code, 0);
  EXPECT_NE(cli.out.find("usage: brindle-cli"), std::string::npos);
  EXPECT_EQ(cli.err, "");
#ifndef _WIN32  // brindle-sim is a Linux program: Wine gives no exit status for it
  ChildRun sim = test::RunChild({BRINDLE_SIM_PATH, "--help"});
  EXPECT_EQ(sim.exit_code, 0);
  EXPECT_NE(sim.out.find("usage: brindle-sim"), std::string::npos);
  EXPECT_NE(sim.out.find("--a2s N"), std::string::npos);
  EXPECT_EQ(sim.err, "");
#endif
  // Without a command, or with an unknown one, it is a failure.
  EXPECT_EQ(test::RunChild({BRINDLE_CLI_PATH}).exit_code, 2);
  ChildRun unknown = test::RunChild({BRINDLE_CLI_PATH, "frobnicate"});
  EXPECT_EQ(unknown.exit_code, 2);
  EXPECT_EQ(unknown.out, "");
#ifndef _WIN32
  EXPECT_EQ(test::RunChild({BRINDLE_SIM_PATH, "--no-such-switch"}).exit_code, 2);
#endif
}

TEST_F(CliTest, CommandsThatInstallNothingNeedNoExtractor) {
  ASSERT_FALSE(fs::exists(test::ExtractorFile(dir_.path() / "qdata" / "7zip")));
  ChildRun info = Cli({"--json", "info"});
  EXPECT_EQ(info.exit_code, 0) << info.err;
  EXPECT_NE(info.out.find("\"program_dir\""), std::string::npos);
  EXPECT_EQ(info.err.find("q_unbz2"), std::string::npos);

  ChildRun join = Cli({"join", "--mode", "2", "--print", "192.0.2.1:27015"});
  EXPECT_EQ(join.exit_code, 0) << join.err;
  EXPECT_EQ(join.out, "steam://connect/192.0.2.1:27015\n");

  ChildRun servers = Cli({"servers"});
  EXPECT_EQ(servers.exit_code, 0) << servers.err;
  EXPECT_NE(servers.out.find("servers\n"), std::string::npos);
}

TEST_F(CliTest, AProgramFolderThatDoesNotExistIsSaidAndNothingIsMade) {
  const fs::path missing = dir_.path() / "no" / "such" / "folder";
  ChildRun run = test::RunChild({BRINDLE_CLI_PATH, "--program-dir", missing.string(), "info"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("does not exist"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir_.path() / "no"));
}

TEST_F(CliTest, JoinRefusesAnAddressCarryingLaunchOptions) {
  ChildRun run = Cli({"join", "--print", "192.0.2.1:27015 +exec autoexec"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("服务器地址无效"), std::string::npos);
}

TEST_F(CliTest, FavouritesFailuresGoToStandardError) {
  ChildRun added = Cli({"favourites", "add", "192.0.2.1:27015"});
  EXPECT_EQ(added.exit_code, 0) << added.err;
  EXPECT_EQ(added.out, "added 192.0.2.1:27015\n");
  EXPECT_EQ(added.err, "");
  const std::string file = test::slurp(FavouritesFile());

  struct Case {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"favourites", "add", "192.0.2.1:27015"}, "服务器已存在!"},
      {{"favourites", "add", "192.0.2.2:27015 +exec autoexec"}, "IP格式不合法!请检查!"},
      {{"favourites", "add", "192.0.2.2"}, "IP格式不合法!请检查!"},
      {{"favourites", "remove", "192.0.2.9:27015"}, "not-found"},
  };
  for (const Case& c : cases) {
    ChildRun run = Cli(c.args);
    EXPECT_EQ(run.exit_code, 1) << c.args.back();
    EXPECT_EQ(run.out, "") << c.args.back();
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
  EXPECT_EQ(test::slurp(FavouritesFile()), file);

  // Not a list (not JSON, or an object): said, and never written over.
  for (const std::string broken : {"{not json", "{\"ip\":\"192.0.2.1:27015\"}"}) {
    test::spit(FavouritesFile(), broken);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"favourites", "list"},
          std::vector<std::string>{"favourites", "add", "192.0.2.3:27015"},
          std::vector<std::string>{"favourites", "remove", "192.0.2.1:27015"}}) {
      ChildRun unreadable = Cli(args);
      EXPECT_EQ(unreadable.exit_code, 1) << broken << " " << args[1];
      EXPECT_EQ(unreadable.out, "");
      EXPECT_NE(unreadable.err.find("无法解析收藏夹文件"), std::string::npos) << unreadable.err;
    }
    EXPECT_EQ(test::slurp(FavouritesFile()), broken);
  }
}

TEST_F(CliTest, RefreshWithoutAnAnswerIsAFailure) {
  sim::A2sResponders servers;
  sim::A2sServer answering, silent;
  answering.name = "Answering";
  silent.silent = true;
  std::string error;
  ASSERT_TRUE(servers.Start({answering, silent}, &error)) << error;
  ASSERT_EQ(Cli({"favourites", "add", servers.Address(0)}).exit_code, 0);

  ChildRun all = Cli({"favourites", "refresh"});
  EXPECT_EQ(all.exit_code, 0) << all.err;
  EXPECT_NE(all.out.find("Answering"), std::string::npos);

  ASSERT_EQ(Cli({"favourites", "add", servers.Address(1)}).exit_code, 0);
  ChildRun some = Cli({"favourites", "refresh", "--wait-ms", "1500"});
  EXPECT_EQ(some.exit_code, 1);
  EXPECT_NE(some.out.find("Answering"), std::string::npos);  // what did answer is still shown
  EXPECT_EQ(some.err, "no answer from " + servers.Address(1) + "\n");
}

}  // namespace
}  // namespace brindle
