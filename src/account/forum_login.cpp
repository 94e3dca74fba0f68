#include "account/forum_login.h"

#include <limits>

#include "account/stored_token.h"
#include "app/core.h"
#include "foundation/encoding.h"
#include "foundation/http_client.h"
#include "foundation/json_document.h"
#include "foundation/settings_file.h"
#include "platform/platform.h"
#include "view/control_names.h"
#include "view/window.h"

namespace brindle {
namespace {

// Leading digits as a 64-bit number (0 when there are none), clamped rather than overflowing.
std::int64_t LeadingInt64(std::string_view text) {
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    if (value > (kMax - (c - '0')) / 10) return kMax;
    value = value * 10 + (c - '0');
  }
  return value;
}

struct Snapshot {
  std::string machine_id;
  std::string forum;
  std::string data_dir;
};

Snapshot Take(AppState& state) {
  std::lock_guard lock(state.mutex);
  return {state.machine_id, state.forum_base_url, state.data_dir};
}

bool StartsWith(std::string_view bytes, std::string_view prefix) {
  return bytes.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::optional<LoginAnswer> ParseLoginAnswer(std::string_view gbk_text) {
  JsonDocument doc;
  if (gbk_text.empty() || !doc.parse(gbk_text)) return std::nullopt;
  if (doc.get_value("userdata.isLogin") != "true") return std::nullopt;
  LoginAnswer answer;
  LoginState& login = answer.login;
  login.uid = doc.get_value("userdata.uid");
  login.user_auth = doc.get_value("userdata.user_auth");
  login.username = doc.get_value("userdata.username");
  login.steamid64 = doc.get_value("userdata.steamid64");
  login.steamid32 = doc.get_value("userdata.steamid32");
  login.steamaccountid = LeadingInt64(doc.get_value("userdata.steamaccountid"));
  answer.username_encode = doc.get_value("userdata.username_encode");
  answer.password_encode = doc.get_value("userdata.password_encode");
  return answer;
}

bool IsLoginRefusal(std::string_view gbk_text) {
  JsonDocument doc;
  if (gbk_text.empty() || !doc.parse(gbk_text)) return false;
  const std::string said = doc.get_value("userdata.isLogin");
  return !said.empty() && said != "true";
}

std::string LoginUrl(const std::string& forum_base_url) {
  return forum_base_url + "/plugin.php?id=tarn_steam_openid:SoftLogin_postv2";
}

std::string LoginBody(std::string_view name, std::string_view secret, std::string_view machine_id,
                      bool autologin) {
  std::string body = "user=" + base64_encode(name) + "&securecode=" + base64_encode(secret);
  body += "&salt=";
  body += machine_id;
  body += autologin ? "&autologin=1" : "&autologin=0";
  return body;
}

std::string AvatarUrl(const std::string& forum_base_url, const std::string& uid) {
  return forum_base_url + "/uc_server/avatar.php?uid=" + url_query_value(uid) + "&size=big";
}

LoginState CurrentLogin(AppState& state) {
  std::lock_guard lock(state.mutex);
  return state.login;
}

bool IsLoggedIn(const LoginState& login) { return TextToInt64(login.uid) > 0; }

LoginOutcome ForumLoginOutcome(Core& core, const std::string& name, const std::string& secret,
                               bool use_stored) {
  const Snapshot s = Take(core.state());
  std::string user = name;
  std::string code = secret;
  if (use_stored) {
    user = DecodeStoredToken(name, s.machine_id);
    code = DecodeStoredToken(secret, s.machine_id);
    if (user.size() < 2 || code.size() < 2) return LoginOutcome::kRefused;
  }
  HttpRequestArgs args;
  args.method = 1;
  args.body = LoginBody(user, code, s.machine_id, use_stored);
  args.timeout_seconds = kLoginTimeoutSeconds;
  args.max_body_bytes = kLoginAnswerMaxBytes;
  args.cancel = &core.workers().stop_flag();
  int status = 0;
  HttpTransferInfo info;
  const Bytes body = http_request(LoginUrl(s.forum), args, &status, &info);
  if (core.workers().Stopping()) return LoginOutcome::kCancelled;
  if (status != 200 || !info.complete()) return LoginOutcome::kUnreachable;
  const std::string text = utf8_to_gbk(body);
  const JsonStopScope stop(core.workers().stop_flag());
  std::optional<LoginAnswer> answer = ParseLoginAnswer(text);
  if (!answer) {
    const bool refused = IsLoginRefusal(text);
    // Closing: the parse may have ended early, so the answer says nothing.
    if (core.workers().Stopping()) return LoginOutcome::kCancelled;
    return refused ? LoginOutcome::kRefused : LoginOutcome::kNoAnswer;
  }

  {
    std::lock_guard lock(core.state().mutex);
    core.state().login = answer->login;
  }
  Controls& controls = core.window().controls();
  controls.SetCaption(names::kUserName, answer->login.username);
  controls.SetCaption(names::kSignIn, gbk("注销"));
  (void)LoadAvatar(core);  // a missing picture keeps the old one; the login stands
  // The tokens are stored as hexadecimal, so no answer can break the settings file. An automatic
  // login whose answer lacks them keeps the stored ones rather than forget a working login.
  if (!use_stored || (!answer->username_encode.empty() && !answer->password_encode.empty())) {
    core.WriteSetting("Login_Qinum", EncodeStoredToken(answer->username_encode, s.machine_id));
    core.WriteSetting("Login_Dypw", EncodeStoredToken(answer->password_encode, s.machine_id));
  }
  return LoginOutcome::kLoggedIn;
}

void ShowLoggedOut(Controls& controls) {
  controls.SetCaption(names::kSignIn, gbk("登录"));
  controls.SetCaption(names::kUserName, gbk("请登录"));
}

bool AutoLogin(Core& core) {
  const std::string name = core.ReadSetting("Login_Qinum");
  const std::string secret = core.ReadSetting("Login_Dypw");
  if (name.empty() || secret.empty()) return false;
  Window& window = core.window();
  Controls& controls = window.controls();
  controls.SetCaption(names::kSignIn, gbk("正在自动登录"));
  controls.SetCaption(names::kUserName, "...");
  switch (ForumLoginOutcome(core, name, secret, true)) {
    case LoginOutcome::kLoggedIn:
      break;
    case LoginOutcome::kRefused:
      Logout(core);
      return false;
    case LoginOutcome::kUnreachable:
    case LoginOutcome::kNoAnswer:
    case LoginOutcome::kCancelled:
      // Logged out for this run only: the tokens stay for the next start.
      ShowLoggedOut(controls);
      return false;
  }
  if (core.ReadSetting("PreDownloadEnable") == "1") {
    window.clock().StartClock(names::kClockPreDownload, 15000);
    controls.SetChecked(names::kPreDownloadSwitch, true);
    window.ShowStatus(gbk("已开启预热下载..."));
  }
  return true;
}

std::vector<std::string> BrowserCookieFiles(const std::string& data_dir) {
  const char sep = platform::path_separator();
  const std::string dir = data_dir + sep + "miniblink" + sep;
  return {dir + "cookies.dat", dir + "Cookies", dir + "Cookies-journal",
          dir + "Network" + sep + "Cookies", dir + "Network" + sep + "Cookies-journal"};
}

void Logout(Core& core) {
  const Snapshot s = Take(core.state());
  {
    std::lock_guard lock(core.state().mutex);
    core.state().login = LoginState{};
  }
  for (const char* key : {"AutoLoginDiscuz", "LuncherLoginType", "Login_Qinum", "Login_Dypw"}) {
    core.WriteSetting(key, "0");
  }
  Window& window = core.window();
  Controls& controls = window.controls();
  ShowLoggedOut(controls);
  controls.SetImage(names::kAvatar, std::string());
  // Nothing of the session stays in the window: the next person at the keyboard finds an empty
  // security code, and no pre-download runs for a player who is gone (the stored choice stays
  // for their next login).
  controls.SetCaption(names::kLoginCodeBox, std::string());
  controls.SetChecked(names::kPreDownloadSwitch, false);
  window.clock().StopClock(names::kClockPreDownload);
  if (!s.data_dir.empty()) {
    for (const std::string& file : BrowserCookieFiles(s.data_dir)) {
      (void)platform::delete_file(file);  // a file that is not there is already logged out
    }
  }
  window.person().ClearBrowserCookies();
}

bool LooksLikeImage(std::string_view bytes) {
  return StartsWith(bytes, "\x89PNG\r\n\x1A\n") || StartsWith(bytes, "\xFF\xD8\xFF") ||
         StartsWith(bytes, "GIF87a") || StartsWith(bytes, "GIF89a") ||
         (StartsWith(bytes, "BM") && bytes.size() > 26) ||
         (StartsWith(bytes, "RIFF") && bytes.size() > 12 && bytes.substr(8, 4) == "WEBP");
}

bool LoadAvatar(Core& core) {
  const LoginState login = CurrentLogin(core.state());
  if (!IsLoggedIn(login)) return false;
  const Snapshot s = Take(core.state());
  HttpRequestArgs args;
  args.timeout_seconds = kLoginTimeoutSeconds;
  args.max_body_bytes = kAvatarMaxBytes;
  args.cancel = &core.workers().stop_flag();
  int status = 0;
  HttpTransferInfo info;
  Bytes body = http_request(AvatarUrl(s.forum, login.uid), args, &status, &info);
  if (status != 200 || !info.complete() || !LooksLikeImage(body)) return false;
  core.window().controls().SetImage(names::kAvatar, std::move(body));
  return true;
}

std::string OpenForumPage(Core& core) {
  AppState& state = core.state();
  const LoginState login = CurrentLogin(state);
  std::string forum;
  int version = 0;
  {
    std::lock_guard lock(state.mutex);
    forum = state.forum_base_url;
    version = state.local_version;
  }
  PersonPort& person = core.window().person();
  person.SetBrowserUserAgent(names::kForumBrowser,
                             "TarnLoginLuncher HTTP Client 3.0 Build " + std::to_string(version));
  person.SetBrowserUserAgent(names::kSecondBrowser, kSecondBrowserUserAgent);
  core.window().controls().SetVisible(names::kSecondBrowser, false);
  core.window().controls().SetVisible(names::kForumBrowser, true);
  const std::string url = forum + "/plugin.php?id=tarn_steam_openid:SoftLoginMainPage&auth=" +
                          url_query_value(login.user_auth) + "&uid=" + url_query_value(login.uid);
  person.Navigate(names::kForumBrowser, url);
  return url;
}

}  // namespace brindle
