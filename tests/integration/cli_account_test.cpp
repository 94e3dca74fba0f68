// brindle-cli's account commands as real child processes against brindle-sim: a login kept in the
// program folder makes later calls logged in, the output never carries a secret, and the version
// command reports the check.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/settings_file.h"
#include "support/child_process.h"
#include "support/extractor_files.h"
#include "support/sim_admin.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;

#ifndef BRINDLE_CLI_PATH
#define BRINDLE_CLI_PATH ""
#endif

struct CliRun {
  int code = -1;
  std::string out;
  std::string err;
};

class CliAccountTest : public test::SharedSimSuite {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_->running()) << sim_->error();
    ASSERT_TRUE(test::SimReset(*sim_, "/test/version"));
    ASSERT_TRUE(test::SimReset(*sim_, "/test/reward"));
    ASSERT_TRUE(test::SimReset(*sim_, "/test/login/answer"));
    test::InstallPlaceholderExtractor(dir_.path() / "program" / "qdata" / "7zip");
  }

  CliRun Cli(std::vector<std::string> args, const std::string& stdin_file = {}) {
    std::vector<std::string> argv = {cli_, "--program-dir", (dir_.path() / "program").string(),
                                     "--endpoints", sim_->endpoints_file()};
    argv.insert(argv.end(), args.begin(), args.end());
    const test::ChildRun child = test::RunChild(argv, {}, 60000, stdin_file);
    CliRun run{child.exit_code, child.out, child.err};
    // Nothing a command prints may carry the code, the forum token or the stored tokens.
    for (const std::string& secret :
         {std::string("secure-4242"), std::string("auth1001x7f3c9e2d"), std::string("ue-1001")}) {
      EXPECT_EQ(run.out.find(secret), std::string::npos) << run.out;
      EXPECT_EQ(run.err.find(secret), std::string::npos) << run.err;
    }
    return run;
  }
  std::string Settings() const {
    return (dir_.path() / "program" / "qdata" / "Config2.ini").string();
  }

  std::string cli_ = BRINDLE_CLI_PATH;
  test::TempDir dir_;
};

TEST_F(CliAccountTest, LoginStaysUntilLogout) {
  CliRun r = Cli({"whoami"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "not logged in\n");

  r = Cli({"login", "brindle-tester", "wrong-code"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("用户或密码不正确?"), std::string::npos) << r.err;
  r = Cli({"login", "abc", "secure-4242"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("您输入的用户名长度不正确"), std::string::npos) << r.err;

  r = Cli({"login", " brindle-tester ", "secure-4242"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("uid            1001"), std::string::npos) << r.out;
#ifndef _WIN32  // POSIX file modes
  struct stat st;
  ASSERT_EQ(::stat(Settings().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
#endif

  // A later call is logged in through the stored tokens, as the window's start-up is.
  r = Cli({"--json", "whoami"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "{\n  \"logged_in\": true,\n  \"uid\": \"1001\",\n  \"username\": \"布林德测试员\",\n"
            "  \"steamid64\": \"76561198000001001\",\n  \"steamid32\": \"STEAM_1:1:500\",\n"
            "  \"steamaccountid\": 1001\n}\n");

  r = Cli({"reward"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "签到成功! 获得 5 金币 已连续签到 1 天\n");
  r = Cli({"reward"});
  EXPECT_EQ(r.out, "您今天已经签到过了 明天再来吧\n");

  r = Cli({"logout"});
  EXPECT_EQ(r.code, 0) << r.err;
  for (const char* key : {"AutoLoginDiscuz", "LuncherLoginType", "Login_Qinum", "Login_Dypw"}) {
    EXPECT_EQ(ReadSetting(Settings(), key), "0") << key;
  }
  r = Cli({"whoami"});
  EXPECT_EQ(r.code, 1);
  r = Cli({"reward"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("请先登录"), std::string::npos) << r.err;
}

TEST_F(CliAccountTest, CodeFromStandardInputOrAFile) {
  const std::string code_file = (dir_.path() / "code.txt").string();
  test::spit(code_file, "secure-4242\r\nnext line\n");
  CliRun r = Cli({"login", "brindle-tester"}, code_file);  // standard input
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("uid            1001"), std::string::npos) << r.out;
  ASSERT_EQ(Cli({"logout"}).code, 0);
  r = Cli({"login", "brindle-tester", "--code-file", code_file});
  ASSERT_EQ(r.code, 0) << r.err;
  r = Cli({"login", "brindle-tester"});  // nothing on standard input: no code
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("您输入的密码长度不正确"), std::string::npos) << r.err;
  r = Cli({"login", "--help"});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("visible to other users"), std::string::npos) << r.out;
  r = Cli({"query", "-h"});  // a command's usage, not a server named "-h"
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out.rfind("usage: brindle-cli query ", 0), 0u) << r.out;
}

TEST_F(CliAccountTest, AYesWithoutTokensAndARewardErrorPageFail) {
  ASSERT_TRUE(test::SimSet(*sim_, "/test/login/answer",
                           R"({"userdata":{"isLogin":"true","uid":"1001","username":"x",)"
                           R"("user_auth":"auth1001x7f3c9e2d"}})"));
  CliRun r = Cli({"login", "brindle-tester", "secure-4242"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("no tokens"), std::string::npos) << r.err;
  EXPECT_EQ(Cli({"whoami"}).code, 1) << "nothing was kept";

  ASSERT_TRUE(test::SimReset(*sim_, "/test/login/answer"));
  ASSERT_EQ(Cli({"login", "brindle-tester", "secure-4242"}).code, 0);
  ASSERT_TRUE(test::SimSet(*sim_, "/test/reward?status=500", ""));
  r = Cli({"reward"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("status 500"), std::string::npos) << r.err;
}

TEST_F(CliAccountTest, VersionReportsTheCheck) {
  CliRun r = Cli({"version"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "local 10070 newest 10070\n");
  ASSERT_TRUE(test::SimSet(*sim_, "/test/version", "10071abc"));
  r = Cli({"--json", "version"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"answer\": \"10071abc\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"newer\": true"), std::string::npos) << r.out;
  ASSERT_TRUE(test::SimSet(*sim_, "/test/version", ""));
  r = Cli({"version"});
  EXPECT_EQ(r.code, 1);
}

}  // namespace
}  // namespace brindle
