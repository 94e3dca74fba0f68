// The forum account against brindle-sim over HTTPS with the real libcurl: the login window, the
// login request and its answers, the automatic login from stored tokens on this machine and on
// another, the logout, the avatar, the daily reward, the cloud favourites with a real login, and
// the TLS check of the login. Browsers are never opened: the feature's opener records the page.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "account/account_feature.h"
#include "account/daily_reward.h"
#include "account/forum_login.h"
#include "account/stored_token.h"
#include "app/endpoints.h"
#include "foundation/encoding.h"
#include "foundation/http_settings.h"
#include "foundation/settings_file.h"
#include "servers/favourites.h"
#include "servers/favourites_cloud.h"
#include "support/core_fixture.h"
#include "support/sim_admin.h"
#include "support/sim_process.h"
#include "support/system_only.h"
#include "view/control_names.h"
#include "view/list_model.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using test::SimRequest;
using test::SimReset;
using test::SimSet;

const std::string kMachine = "0123456789abcdef0123456789abcdef";
const std::string kName = "brindle-tester";
const std::string kCode = "secure-4242";
const std::string kAuth = "auth1001x7f3c9e2d";

class AccountTest : public test::SharedSimSuite {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_->running()) << sim_->error();
    for (const char* path : {"/test/login/answer", "/test/avatar", "/test/reward"}) {
      ASSERT_TRUE(SimReset(*sim_, path)) << path;
    }
    tls_ = http_settings();
    Attach(fx_, kMachine);
    // The logged-out captions main-window creation sets.
    controls().SetCaption(names::kSignIn, gbk("登录"));
    controls().SetCaption(names::kUserName, gbk("请登录"));
    account_ = fx_.core().FindFeature<AccountFeature>();
    fx_.state().initialised = true;
  }
  void TearDown() override {
    fx_.StopWorkers();
    set_http_settings(tls_);
  }

  // A core of the program on the sim: endpoints, machine identity and the account feature.
  void Attach(test::CoreFixture& fx, const std::string& machine) {
    ASSERT_TRUE(LoadEndpointsFile(sim_->endpoints_file(), fx.state()));
    fx.state().machine_id = machine;
    auto feature = std::make_unique<AccountFeature>();
    feature->SetUrlOpener([this](const std::string& url) {
      std::lock_guard lock(mutex_);
      opened_.push_back(url);
    });
    fx.core().AddFeature(std::move(feature));
  }

  std::int64_t Logins() { return std::stoll("0" + SimRequest(*sim_, "GET", "/test/login/count")); }
  std::string Setting(const std::string& key) { return ReadSetting(fx_.SettingsPath(), key); }
  Controls& controls() { return fx_.controls(); }

  void Submit(const std::string& name, const std::string& code) {
    controls().SetCaption(names::kLoginUserBox, name);
    controls().SetCaption(names::kLoginCodeBox, code);
    ASSERT_TRUE(fx_.window().Activate(names::kLoginButton));
    ASSERT_TRUE(fx_.WaitForWorkers());
  }
  void LogIn(test::CoreFixture& fx, const std::string& name = kName,
             const std::string& code = kCode) {
    ASSERT_TRUE(ForumLogin(fx.core(), name, code, false));
  }

  // Every text the person was shown: status lines, notices, boxes.
  std::vector<std::string> Shown(test::CoreFixture& fx) {
    std::vector<std::string> all = fx.test_window().Statuses();
    for (const auto& n : fx.ports().Notices()) all.push_back(n);
    for (const auto& b : fx.ports().Boxes()) {
      all.push_back(b.title);
      all.push_back(b.text);
    }
    return all;
  }
  void ExpectNoSecretShown(test::CoreFixture& fx) {
    for (const std::string& text : Shown(fx)) {
      for (const std::string& secret : {kCode, kAuth, std::string("ue-1001")}) {
        EXPECT_EQ(text.find(secret), std::string::npos) << gbk_to_utf8(text);
      }
    }
  }

  HttpSettings tls_;
  test::CoreFixture fx_;
  AccountFeature* account_ = nullptr;
  std::mutex mutex_;
  std::vector<std::string> opened_;
};

TEST_F(AccountTest, SignInOpensTheWindowTitledForTheForumOnlyAfterStartUp) {
  fx_.state().initialised = false;
  fx_.window().Activate(names::kSignIn);
  EXPECT_FALSE(controls().Visible(names::kLoginWindow));
  EXPECT_EQ(fx_.ports().Notices(), std::vector<std::string>{gbk("正在初始化...")});

  fx_.state().initialised = true;
  fx_.window().Activate(names::kSignIn);
  EXPECT_TRUE(controls().Visible(names::kLoginWindow));
  EXPECT_EQ(controls().Caption(names::kLoginWindow),
            gbk("登录到 ") + HostOfUrl(fx_.state().forum_base_url));
  EXPECT_EQ(HostOfUrl(fx_.state().forum_base_url), sim_->https_base().substr(8));

  fx_.window().Activate(names::kLoginSecureCodePage);
  std::lock_guard lock(mutex_);
  EXPECT_EQ(opened_,
            std::vector<std::string>{fx_.state().forum_base_url +
                                     "/plugin.php?id=tarn_steam_openid:SoftLogin_getsecurecode"});
}

TEST_F(AccountTest, LoginFromTheWindow) {
  fx_.window().Activate(names::kSignIn);
  const std::string wide = "\xA1\xA1";
  Submit(" " + wide + kName + "\t", wide + kCode + " ");
  // The fields hold the trimmed texts; the window closed; no box.
  EXPECT_EQ(controls().Caption(names::kLoginUserBox), kName);
  EXPECT_EQ(controls().Caption(names::kLoginCodeBox), kCode);
  EXPECT_FALSE(controls().Visible(names::kLoginWindow));
  EXPECT_TRUE(controls().Enabled(names::kLoginButton));
  EXPECT_TRUE(fx_.ports().Boxes().empty());

  const LoginState login = CurrentLogin(fx_.state());
  EXPECT_EQ(login.uid, "1001");
  EXPECT_EQ(login.username, gbk("布林德测试员"));
  EXPECT_EQ(login.user_auth, kAuth);
  EXPECT_EQ(login.steamid64, "76561198000001001");
  EXPECT_EQ(login.steamid32, "STEAM_1:1:500");
  EXPECT_EQ(login.steamaccountid, 1001);
  EXPECT_EQ(controls().Caption(names::kUserName), gbk("布林德测试员"));
  EXPECT_EQ(controls().Caption(names::kSignIn), gbk("注销"));
  EXPECT_TRUE(LooksLikeImage(controls().Image(names::kAvatar)));

  // The request as the forum received it, and the two tokens kept bound to this machine.
  EXPECT_EQ(SimRequest(*sim_, "GET", "/test/login/last"),
            "user=" + base64_encode(kName) + "&securecode=" + base64_encode(kCode) +
                "&salt=" + kMachine + "&autologin=0");
  EXPECT_EQ(Setting("AutoLoginDiscuz"), "1");
  EXPECT_EQ(DecodeStoredToken(Setting("Login_Qinum"), kMachine), "ue-1001");
  EXPECT_EQ(DecodeStoredToken(Setting("Login_Dypw"), kMachine).rfind("pe-", 0), 0u);
  const std::string file = test::slurp(fx_.SettingsPath());
  EXPECT_EQ(file.find(kCode), std::string::npos);
  EXPECT_EQ(file.find("ue-1001"), std::string::npos);
#ifndef _WIN32  // POSIX file modes
  struct stat st;
  ASSERT_EQ(::stat(fx_.SettingsPath().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);  // it holds the tokens
#endif
  ExpectNoSecretShown(fx_);
}

TEST_F(AccountTest, TheForumPageOpensLoggedInOrOut) {
  fx_.state().initialised = true;
  fx_.controls().SetVisible(names::kSecondBrowser, true);
  fx_.core().ShowPage(names::kForumPage);
  const std::string start =
      fx_.state().forum_base_url + "/plugin.php?id=tarn_steam_openid:SoftLoginMainPage&auth=";
  ASSERT_FALSE(fx_.ports().Navigations().empty());
  EXPECT_EQ(fx_.ports().Navigations().back(),
            std::make_pair(std::string(names::kForumBrowser), start + "&uid="));
  EXPECT_EQ(fx_.ports().UserAgent(names::kForumBrowser),
            "TarnLoginLuncher HTTP Client 3.0 Build 10070");
  EXPECT_EQ(fx_.ports().UserAgent(names::kSecondBrowser), kSecondBrowserUserAgent);
  EXPECT_FALSE(controls().Visible(names::kSecondBrowser));
  EXPECT_TRUE(controls().Visible(names::kForumBrowser));

  LogIn(fx_);
  fx_.core().ShowPage(names::kForumPage);
  EXPECT_EQ(fx_.ports().Navigations().back().second, start + kAuth + "&uid=1001");
  ExpectNoSecretShown(fx_);  // the token goes to the page, never into a text shown
}

TEST_F(AccountTest, ANameWhoseBase64HoldsPlusIsSentAsItIs) {
  LogIn(fx_, gbk("红色>>玩家"), gbk("代码12345"));
  EXPECT_EQ(CurrentLogin(fx_.state()).uid, "1002");
  EXPECT_EQ(SimRequest(*sim_, "GET", "/test/login/last").rfind("user=uuzJqz4+zea80g==&", 0), 0u);
}

TEST_F(AccountTest, LengthRulesAndAWrongCode) {
  const std::int64_t before = Logins();
  fx_.window().Activate(names::kSignIn);
  Submit("abc", "12345");       // a 3-byte name
  Submit(gbk("玩家"), "1234");  // a 4-byte name passes, a 4-byte code does not
  auto boxes = fx_.ports().Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].title, gbk("长度不正确"));
  EXPECT_EQ(boxes[0].text, gbk("您输入的用户名长度不正确"));
  EXPECT_EQ(boxes[0].buttons, gbk("确定"));
  EXPECT_EQ(boxes[1].text, gbk("您输入的密码长度不正确"));
  EXPECT_EQ(Logins(), before);

  // Exactly 4 and 5 bytes are sent; the forum refuses them.
  fx_.ports().ScriptAnswer(0);
  Submit("abcd", "12345");
  EXPECT_EQ(Logins(), before + 1);
  boxes = fx_.ports().Boxes();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[2].title, gbk("登录失败"));
  EXPECT_EQ(boxes[2].text, gbk("用户或密码不正确?"));
  EXPECT_TRUE(controls().Visible(names::kLoginWindow));
  EXPECT_TRUE(controls().Enabled(names::kLoginButton));
  EXPECT_FALSE(IsLoggedIn(CurrentLogin(fx_.state())));
  EXPECT_EQ(controls().Caption(names::kUserName), gbk("请登录"));
  EXPECT_FALSE(fs::exists(fx_.SettingsPath()));  // nothing stored
}

TEST_F(AccountTest, AnswersThatAreNoLoginChangeNothing) {
  // The last one is a yes, behind more blanks than any login answer has.
  const std::string yes = R"({"userdata":{"isLogin":"true","uid":"5","user_auth":"t"}})";
  const std::string huge = "?pad=" + std::to_string(kLoginAnswerMaxBytes);
  for (const auto& [query, answer] : std::vector<std::pair<std::string, std::string>>{
           {"", "<html><body>论坛维护中</body></html>"},
           {"", ""},
           {"", R"({"userdata":{"uid":"5","user_auth":"t"}})"},
           {"", R"({"userdata":{"isLogin":"1","uid":"5","user_auth":"t"}})"},
           {huge, yes}}) {
    ASSERT_TRUE(SimSet(*sim_, "/test/login/answer" + query, answer));
    EXPECT_FALSE(ForumLogin(fx_.core(), kName, kCode, false)) << answer.substr(0, 80);
    EXPECT_EQ(CurrentLogin(fx_.state()).uid, "");
    EXPECT_EQ(Setting("Login_Qinum"), "");
    EXPECT_EQ(controls().Caption(names::kSignIn), gbk("登录"));
  }
  EXPECT_EQ(ForumLoginOutcome(fx_.core(), kName, kCode, false), LoginOutcome::kUnreachable)
      << "an oversized answer is no answer";
}

TEST_F(AccountTest, AutomaticLoginOnThisMachineAndNotOnAnother) {
  LogIn(fx_);
  const std::string settings = test::slurp(fx_.SettingsPath());

  // The same machine, after a restart: logged in from the tokens, pre-download switched on.
  test::CoreFixture again;
  Attach(again, kMachine);
  test::spit(again.SettingsPath(), settings);
  ASSERT_TRUE(WriteSetting(again.SettingsPath(), "PreDownloadEnable", "1"));
  EXPECT_TRUE(AutoLogin(again.core()));
  EXPECT_EQ(CurrentLogin(again.state()).uid, "1001");
  EXPECT_EQ(again.controls().Caption(names::kSignIn), gbk("注销"));
  EXPECT_TRUE(again.ports().ClockRunning(names::kClockPreDownload));
  EXPECT_TRUE(again.controls().Checked(names::kPreDownloadSwitch));
  EXPECT_EQ(again.controls().Caption(names::kStatusLine), gbk("已开启预热下载..."));
  EXPECT_EQ(SimRequest(*sim_, "GET", "/test/login/last").substr(0, 5), "user=");
  EXPECT_NE(SimRequest(*sim_, "GET", "/test/login/last").find("&autologin=1"), std::string::npos);
  ExpectNoSecretShown(again);

  // Another machine: the tokens do not decode, nothing is sent, the program ends logged out
  // with the four keys "0".
  test::CoreFixture other;
  Attach(other, "ffffffffffffffffffffffffffffffff");
  test::spit(other.SettingsPath(), settings);
  const std::int64_t before = Logins();
  EXPECT_FALSE(AutoLogin(other.core()));
  EXPECT_EQ(Logins(), before);
  for (const char* key : {"AutoLoginDiscuz", "LuncherLoginType", "Login_Qinum", "Login_Dypw"}) {
    EXPECT_EQ(ReadSetting(other.SettingsPath(), key), "0") << key;
  }
  EXPECT_EQ(other.controls().Caption(names::kSignIn), gbk("登录"));
  EXPECT_EQ(other.controls().Caption(names::kUserName), gbk("请登录"));

  // And the next start there: the "0" values fail their check the same way.
  EXPECT_FALSE(AutoLogin(other.core()));
  EXPECT_EQ(Logins(), before);
  EXPECT_EQ(ReadSetting(other.SettingsPath(), "Login_Qinum"), "0");
}

TEST_F(AccountTest, AutomaticLoginTheForumRefusesLogsOut) {
  LogIn(fx_);
  fx_.state().login = LoginState{};
  ASSERT_TRUE(SimSet(*sim_, "/test/login/answer", R"({"userdata":{"isLogin":"false"}})"));
  EXPECT_FALSE(AutoLogin(fx_.core()));
  EXPECT_EQ(Setting("Login_Qinum"), "0");
  EXPECT_EQ(Setting("Login_Dypw"), "0");
}

TEST_F(AccountTest, AutomaticLoginWithoutTheForumKeepsTheTokens) {
  LogIn(fx_);
  const std::string qinum = Setting("Login_Qinum");
  fx_.state().login = LoginState{};
  fx_.state().forum_base_url = "https://127.0.0.1:1/forum";  // nothing listens there
  EXPECT_FALSE(AutoLogin(fx_.core()));
  EXPECT_EQ(Setting("Login_Qinum"), qinum);
  EXPECT_EQ(controls().Caption(names::kSignIn), gbk("登录"));
  EXPECT_EQ(controls().Caption(names::kUserName), gbk("请登录"));
  EXPECT_FALSE(IsLoggedIn(CurrentLogin(fx_.state())));
}

TEST_F(AccountTest, AutomaticLoginKeepsTheTokensUnlessTheForumSaysNo) {
  LogIn(fx_);
  const std::string qinum = Setting("Login_Qinum");
  const std::string dypw = Setting("Login_Dypw");
  // A maintenance page is no refusal: logged out for this run, the login kept for the next.
  fx_.state().login = LoginState{};
  ASSERT_TRUE(SimSet(*sim_, "/test/login/answer", "<html><body>论坛维护中</body></html>"));
  EXPECT_FALSE(AutoLogin(fx_.core()));
  EXPECT_EQ(Setting("Login_Qinum"), qinum);
  EXPECT_EQ(Setting("Login_Dypw"), dypw);

  // A yes with an odd uid and token and no tokens is a login; the stored tokens stay, and the
  // token goes into URLs encoded so it adds no parameter of its own.
  ASSERT_TRUE(SimSet(*sim_, "/test/login/answer",
                     R"({"userdata":{"isLogin":"true","uid":"1001x","user_auth":"a&uid=2#b c"}})"));
  EXPECT_TRUE(AutoLogin(fx_.core()));
  EXPECT_EQ(CurrentLogin(fx_.state()).user_auth, "a&uid=2#b c");
  EXPECT_EQ(Setting("Login_Qinum"), qinum);
  EXPECT_EQ(Setting("Login_Dypw"), dypw);
  EXPECT_TRUE(OpenForumPage(fx_.core()).ends_with("&auth=a%26uid=2%23b%20c&uid=1001x"));
}

TEST_F(AccountTest, LogoutForgetsEverythingAndTheBrowserCookies) {
  LogIn(fx_);
  const fs::path miniblink = fs::path(fx_.state().data_dir) / "miniblink";
  fs::create_directories(miniblink / "Network");
  for (const char* name : {"cookies.dat", "Cookies", "Cookies-journal", "Network/Cookies"}) {
    test::spit(miniblink / name, "session=1");
  }
  test::spit(miniblink / "Local Storage.txt", "kept");
  // The code still in the login window and the pre-download running, as the person left them.
  controls().SetCaption(names::kLoginCodeBox, kCode);
  controls().SetChecked(names::kPreDownloadSwitch, true);
  fx_.window().clock().StartClock(names::kClockPreDownload, 15000);
  ASSERT_TRUE(WriteSetting(fx_.SettingsPath(), "PreDownloadEnable", "1"));

  fx_.window().Activate(names::kSignIn);  // logged in: the button logs out
  for (const char* name : {"cookies.dat", "Cookies", "Cookies-journal", "Network/Cookies"}) {
    EXPECT_FALSE(fs::exists(miniblink / name)) << name;
  }
  EXPECT_TRUE(fs::exists(miniblink / "Local Storage.txt"));
  EXPECT_EQ(fx_.ports().BrowserCookieClears(), 1);
  const LoginState login = CurrentLogin(fx_.state());
  EXPECT_EQ(login.uid + login.username + login.user_auth + login.steamid64, "");
  for (const char* key : {"AutoLoginDiscuz", "LuncherLoginType", "Login_Qinum", "Login_Dypw"}) {
    EXPECT_EQ(Setting(key), "0") << key;
  }
  EXPECT_EQ(controls().Caption(names::kSignIn), gbk("登录"));
  EXPECT_EQ(controls().Caption(names::kUserName), gbk("请登录"));
  EXPECT_EQ(controls().Image(names::kAvatar), "");
  EXPECT_FALSE(controls().Visible(names::kLoginWindow));
  EXPECT_EQ(controls().Caption(names::kLoginCodeBox), "");
  EXPECT_FALSE(controls().Checked(names::kPreDownloadSwitch));
  EXPECT_FALSE(fx_.ports().ClockRunning(names::kClockPreDownload));
  EXPECT_EQ(Setting("PreDownloadEnable"), "1");  // the player's choice for their next login

  // Again with no cookie file at all: no error, the same end.
  Logout(fx_.core());
  EXPECT_EQ(Setting("Login_Dypw"), "0");
}

TEST_F(AccountTest, AvatarThatIsNoPictureKeepsTheOldOne) {
  LogIn(fx_);
  const std::string picture = controls().Image(names::kAvatar);
  ASSERT_TRUE(LooksLikeImage(picture));
  for (const char* kind : {"html", "huge", "empty", "missing"}) {
    ASSERT_TRUE(SimSet(*sim_, std::string("/test/avatar?kind=") + kind));
    EXPECT_FALSE(LoadAvatar(fx_.core())) << kind;
    EXPECT_EQ(controls().Image(names::kAvatar), picture) << kind;
  }
  // Logged out there is nothing to fetch.
  Logout(fx_.core());
  EXPECT_FALSE(LoadAvatar(fx_.core()));
}

TEST_F(AccountTest, DailyReward) {
  const std::int64_t before = sim_->request_count("/forum/plugin.php");
  fx_.window().Activate(names::kSignInTitle);
  ASSERT_TRUE(fx_.WaitForWorkers());
  EXPECT_EQ(fx_.ports().Notices(), std::vector<std::string>{gbk("请先登录")});
  EXPECT_EQ(sim_->request_count("/forum/plugin.php"), before);

  LogIn(fx_);
  fx_.ports().ScriptAnswer(0);
  fx_.window().Activate(names::kSignInTitle);
  ASSERT_TRUE(fx_.WaitForWorkers());
  // A second claim sends the same request again; whatever the forum says is shown.
  const RewardAnswer second = ClaimDailyReward(fx_.core());
  const auto boxes = fx_.ports().Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, gbk("签到成功! 获得 5 金币 已连续签到 1 天"));
  EXPECT_EQ(boxes[0].buttons, gbk("确定"));
  EXPECT_EQ(second.text, gbk("您今天已经签到过了 明天再来吧"));
  EXPECT_EQ(boxes[1].text, second.text);
  ExpectNoSecretShown(fx_);

  // An error page is a failed request: its text is not shown as the forum's answer.
  ASSERT_TRUE(SimSet(*sim_, "/test/reward?status=500", ""));
  const RewardAnswer failed = ClaimDailyReward(fx_.core());
  EXPECT_EQ(failed.status, 500);
  EXPECT_EQ(failed.text, "");
  EXPECT_EQ(fx_.ports().Boxes().back().text, "");
}

TEST_F(AccountTest, CloudFavouritesWithARealLogin) {
  EXPECT_EQ(BackupFavourites(fx_.core()), BackupResult::kRefused);
  LogIn(fx_, gbk("红色>>玩家"), gbk("代码12345"));
  ListModel& list = fx_.window().favourites();
  for (const char* address : {"192.0.2.1:27015", "192.0.2.2:27016"}) {
    ListRow row(list.Columns().size());
    row[cols::kFavName] = address;
    row[cols::kFavAddress] = address;
    list.Append(row);
  }
  EXPECT_EQ(BackupFavourites(fx_.core()), BackupResult::kSent);
  EXPECT_EQ(fx_.ports().Notices().back(), gbk("备份成功 共2个服务器"));
  EXPECT_EQ(RestoreFavourites(fx_.core()), RestoreResult::kRestored);
  const std::string file = test::slurp(FavouritesPath(fx_.state()));
  EXPECT_NE(file.find("192.0.2.1:27015"), std::string::npos);
  EXPECT_NE(file.find("192.0.2.2:27016"), std::string::npos);
}

TEST_F(AccountTest, LoginGoesOverVerifiedTls) {
  BRINDLE_NOT_UNDER_WINE(
      "curl's Schannel leaves the check against the system store to Schannel, which Wine's does "
      "not make");
  ASSERT_EQ(fx_.state().forum_base_url.rfind("https://", 0), 0u);
  // Without the sim's certificate among the trusted ones the login does not go out.
  set_tls_ca_file("");
  EXPECT_EQ(ForumLoginOutcome(fx_.core(), kName, kCode, false), LoginOutcome::kUnreachable);
  // The community's opt-out still works.
  set_tls_verify(false);
  EXPECT_EQ(ForumLoginOutcome(fx_.core(), kName, kCode, false), LoginOutcome::kLoggedIn);
}

}  // namespace
}  // namespace brindle
