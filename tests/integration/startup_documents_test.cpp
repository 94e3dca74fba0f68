// The whole start-up of the program on test ports against brindle-sim: the version check on its
// own worker, the remote configuration and then the automatic login on the initialisation
// thread, and a restart on the same machine that stays logged in.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "account/account_feature.h"
#include "account/forum_login.h"
#include "app/endpoints.h"
#include "app/remote_config.h"
#include "app/version_check.h"
#include "foundation/encoding.h"
#include "foundation/http_settings.h"
#include "program/features.h"
#include "support/core_fixture.h"
#include "support/sim_admin.h"
#include "support/sim_process.h"
#include "view/control_names.h"

namespace brindle {
namespace {

using test::SimRequest;
using test::SimReset;
using test::SimSet;

// One program started the way the window program starts it, up to the end of the
// initialisation thread.
class Program {
 public:
  Program(const test::SimProcess& sim, const std::string& program_dir = {}) {
    fx_.InstallExtractor();
    CommandLine cl;
    cl.program_dir = program_dir.empty() ? fx_.dir().path().string() : program_dir;
    cl.endpoints_file = sim.endpoints_file();
    int exit_code = -1;
    started_ = StartProgram(fx_.core(), cl, exit_code);
    if (auto* version = fx_.core().FindFeature<VersionCheckFeature>()) {
      version->SetUrlOpener([this](const std::string& url) {
        std::lock_guard lock(mutex_);
        opened_.push_back(url);
      });
    }
  }
  ~Program() { set_http_settings(HttpSettings{}); }

  // Fires the start-up clock and waits for the initialisation thread (and the version check,
  // unless it waits on a box).
  bool Start(bool expect_box = false) {
    fx_.ports().Advance(names::clock_period_ms(names::kClockStartup));
    auto* account = fx_.core().FindFeature<AccountFeature>();
    auto* version = fx_.core().FindFeature<VersionCheckFeature>();
    if (account == nullptr || version == nullptr) return false;
    if (!account->WaitForAutoLogin(std::chrono::seconds(60))) return false;
    // The live query's receive thread stays; the version check ends (unless its box waits).
    return expect_box || test::Eventually([&] { return version->finished(); });
  }
  test::CoreFixture& fx() { return fx_; }
  Controls& controls() { return fx_.controls(); }
  bool started() const { return started_; }
  std::vector<std::string> Opened() {
    std::lock_guard lock(mutex_);
    return opened_;
  }

 private:
  test::CoreFixture fx_;
  bool started_ = false;
  std::mutex mutex_;
  std::vector<std::string> opened_;
};

class StartupDocumentsTest : public test::SharedSimSuite {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_->running()) << sim_->error();
    for (const char* path : {"/test/resconfig", "/test/version", "/test/login/answer"}) {
      ASSERT_TRUE(SimReset(*sim_, path)) << path;
    }
  }
};

TEST_F(StartupDocumentsTest, FeaturesRunInStartUpOrder) {
  Program p(*sim_);
  ASSERT_TRUE(p.started());
  std::vector<std::string> order;
  for (const auto& feature : p.fx().core().features()) order.push_back(feature->name());
  auto at = [&](const char* name) {
    return std::find(order.begin(), order.end(), name) - order.begin();
  };
  EXPECT_LT(at("map-dictionary"), at("remote-configuration"));
  EXPECT_LT(at("remote-configuration"), at("account"));
  EXPECT_LT(at("version-check"), at("query-engine"));
  EXPECT_LT(at("account"), static_cast<long>(order.size()));
}

TEST_F(StartupDocumentsTest, DefaultsOfTheSimChangeNothing) {
  Program p(*sim_);
  ASSERT_TRUE(p.started());
  const std::string selected = p.controls().CheckedInGroup(names::kMirrorGroup);
  const auto hosts = p.fx().state().mirror_host;
  ASSERT_TRUE(p.Start());
  EXPECT_EQ(p.controls().CheckedInGroup(names::kMirrorGroup), selected);
  EXPECT_EQ(p.fx().state().mirror_host, hosts);
  EXPECT_TRUE(p.fx().ports().Boxes().empty());
  EXPECT_EQ(p.controls().Caption(names::kProductTitle), gbk("Brindle 3.6 测试版"));
  EXPECT_EQ(p.controls().Caption(names::kSignIn), gbk("登录"));
}

TEST_F(StartupDocumentsTest, RemoteConfigurationBeforeTheAutomaticLogin) {
  // A first run logs in and keeps the tokens.
  Program first(*sim_);
  ASSERT_TRUE(first.started());
  ASSERT_TRUE(first.Start());
  ASSERT_TRUE(ForumLogin(first.fx().core(), "brindle-tester", "secure-4242", false));
  first.fx().core().ReleaseProgramFolder();  // the first program has ended

  // The next start: the document moves the mirror selection and names a user agent, and the
  // automatic login that follows already sends that agent.
  ASSERT_TRUE(SimSet(*sim_, "/test/resconfig",
                     R"([{"servername":"us1","buttonDisable":1},{"servername":"us2","select":1,)"
                     R"("ishttps":1},{"UserAgentRequest":"BrindleRemoteAgent/2"}])"));
  Program again(*sim_, first.fx().dir().path().string());
  ASSERT_TRUE(again.started());
  ASSERT_TRUE(again.Start());
  EXPECT_EQ(again.controls().CheckedInGroup(names::kMirrorGroup), names::kMirror3);
  EXPECT_FALSE(again.controls().Enabled(names::kMirror1));
  EXPECT_TRUE(again.fx().state().mirror_https[1]);
  EXPECT_EQ(SimRequest(*sim_, "GET", "/test/login/agent"), "BrindleRemoteAgent/2");
  EXPECT_EQ(CurrentLogin(again.fx().state()).uid, "1001");
  EXPECT_EQ(again.controls().Caption(names::kSignIn), gbk("注销"));
  EXPECT_EQ(again.controls().Caption(names::kUserName), gbk("布林德测试员"));
  auto* config = again.fx().core().FindFeature<RemoteConfigurationFeature>();
  ASSERT_NE(config, nullptr);
  EXPECT_EQ(config->last().objects, 3);
}

TEST_F(StartupDocumentsTest, AnUnreadableDocumentKeepsTheDefaults) {
  for (const char* document :
       {"<html>维护中</html>", "[{\"servername\":\"us2\",\"select\":1}", ""}) {
    ASSERT_TRUE(SimSet(*sim_, "/test/resconfig", document));
    Program p(*sim_);
    ASSERT_TRUE(p.started());
    const std::string selected = p.controls().CheckedInGroup(names::kMirrorGroup);
    ASSERT_TRUE(p.Start());
    EXPECT_EQ(p.controls().CheckedInGroup(names::kMirrorGroup), selected) << document;
    EXPECT_TRUE(p.fx().ports().Boxes().empty());
    EXPECT_TRUE(p.fx().ports().Notices().empty());
  }
}

TEST_F(StartupDocumentsTest, ANewerVersionIsAnnounced) {
  ASSERT_TRUE(SimSet(*sim_, "/test/version", "10071abc"));
  Program p(*sim_);
  ASSERT_TRUE(p.started());
  ASSERT_TRUE(p.Start(/*expect_box=*/true));
  auto box = p.fx().ports().WaitForWaitingBox();
  ASSERT_TRUE(box);
  EXPECT_EQ(box->title, gbk("版本已过期"));
  EXPECT_EQ(box->text, gbk("版本已过期 请更新 为了保证正常使用 强烈建议您升级 "));
  EXPECT_EQ(box->buttons, gbk("前往下载最新版本&&暂不更新"));
  // The status line repeats the raw answer, letters included; the title says it too.
  const auto statuses = p.fx().test_window().Statuses();
  EXPECT_NE(std::find(statuses.begin(), statuses.end(),
                      gbk("软件版本过期 最新版本号是:10071abc本机:10070")),
            statuses.end());
  EXPECT_EQ(p.controls().Caption(names::kProductTitle), gbk("软件需要更新"));
  ASSERT_TRUE(p.fx().ports().Answer(0));
  ASSERT_TRUE(test::Eventually(
      [&] { return p.fx().core().FindFeature<VersionCheckFeature>()->finished(); }));
  EXPECT_EQ(p.Opened(), std::vector<std::string>{p.fx().state().forum_base_url +
                                                 "/forum.php?mod=viewthread&tid=9"});
}

TEST_F(StartupDocumentsTest, AnswersThatAreNoNewerVersionShowNothing) {
  for (const std::string& answer :
       {std::string("10070"), std::string("9999"), std::string(""), std::string("abc"),
        std::string("v10071"), std::string(5000, '9')}) {
    ASSERT_TRUE(SimSet(*sim_, "/test/version", answer));
    Program p(*sim_);
    ASSERT_TRUE(p.started());
    const VersionAnswer result = CheckVersion(p.fx().core());
    EXPECT_FALSE(result.newer()) << answer.substr(0, 20);
    EXPECT_TRUE(p.fx().ports().Boxes().empty());
    EXPECT_EQ(p.controls().Caption(names::kProductTitle), gbk("Brindle 3.6 测试版"));
  }
}

TEST_F(StartupDocumentsTest, ARefusedOfferOpensNothingAndTheLineStaysOneLine) {
  ASSERT_TRUE(SimSet(*sim_, "/test/version", "10080\r\n<b>x</b>"));
  Program p(*sim_);
  ASSERT_TRUE(p.started());
  p.fx().ports().ScriptAnswer(1);
  const VersionAnswer result = CheckVersion(p.fx().core(), [](const std::string&) { FAIL(); });
  EXPECT_TRUE(result.newer());
  EXPECT_EQ(result.newest, 10080);
  EXPECT_EQ(p.controls().Caption(names::kStatusLine),
            gbk("软件版本过期 最新版本号是:10080<b>x</b>本机:10070"));
}

// The command-line switches of brindle-sim give the same documents from its start.
TEST(StartupDocumentsSwitches, MoveMirrorAndNewerVersion) {
  (void)http_global_init();
  test::SimProcess sim({"--resconfig-move-mirror", "--newer-version"});
  ASSERT_TRUE(sim.running()) << sim.error();
  Program p(sim);
  ASSERT_TRUE(p.started());
  p.fx().ports().ScriptAnswer(1);  // the version box: not now
  ASSERT_TRUE(p.Start());
  EXPECT_EQ(p.controls().CheckedInGroup(names::kMirrorGroup), names::kMirror3);
  EXPECT_FALSE(p.controls().Enabled(names::kMirror1));
  EXPECT_EQ(p.controls().Caption(names::kProductTitle), gbk("软件需要更新"));
  EXPECT_TRUE(p.Opened().empty());
}

}  // namespace
}  // namespace brindle
