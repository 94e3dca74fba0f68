// The forum login: the Steam sign-in plug-in of the community's forum gives the program the
// forum user id and an authentication token, which the favourites cloud, the daily reward, the
// forum page and the pre-download send with their requests. The person's security code is never
// stored: after a login the two tokens the forum returns are kept scrambled and bound to this
// computer (stored_token.h), for the automatic login at the next start.
//
// Secrets (the security code, user_auth, the tokens) go into their requests and the settings file
// only: never into a status text, a notice, a log or printed output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/app_state.h"

namespace brindle {

class Controls;
class Core;

inline constexpr int kLoginTimeoutSeconds = 20;
// A login answer is a small JSON object; anything longer is no answer.
inline constexpr std::size_t kLoginAnswerMaxBytes = std::size_t{1} << 20;
// Forum avatars are small pictures; a longer body keeps the old picture.
inline constexpr std::size_t kAvatarMaxBytes = std::size_t{2} << 20;

// What the forum's plug-in answered when it said yes.
struct LoginAnswer {
  LoginState login;
  std::string username_encode;  // opaque tokens for the automatic login
  std::string password_encode;
};

// Reads the plug-in's answer (GBK text). A login when the text is JSON and userdata.isLogin is the
// text "true", whatever the other members hold: the uid and the token are made safe where they
// are used (URL-encoded in URLs), not judged here. Anything else is nullopt.
std::optional<LoginAnswer> ParseLoginAnswer(std::string_view gbk_text);
// Whether an answer that is no login is the forum saying no: JSON with a userdata.isLogin other
// than "true" ("false", "1"). A web page, an empty text or JSON without isLogin is no answer.
bool IsLoginRefusal(std::string_view gbk_text);

// forum_base_url + "/plugin.php?id=tarn_steam_openid:SoftLogin_postv2".
std::string LoginUrl(const std::string& forum_base_url);
// "user=" + Base64(name) + "&securecode=" + Base64(secret) + "&salt=" + machine_id +
// "&autologin=" + 0|1. Base64 keeps "+", "/" and "="; nothing is encoded further.
std::string LoginBody(std::string_view name, std::string_view secret, std::string_view machine_id,
                      bool autologin);
// forum_base_url + "/uc_server/avatar.php?uid=" + uid + "&size=big" (uid URL-encoded).
std::string AvatarUrl(const std::string& forum_base_url, const std::string& uid);

enum class LoginOutcome {
  kLoggedIn,
  kRefused,      // the forum said no (IsLoginRefusal), or the stored tokens did not decode
  kUnreachable,  // no whole answer arrived (network, time-out, error status, oversized answer)
  kNoAnswer,     // a whole answer that is neither a login nor a refusal (a maintenance page)
  kCancelled,    // the program is closing
};

// The login request. use_stored: name and secret are the two stored settings values, decoded
// first (either shorter than 2 bytes: kRefused without a request). On success the login state is
// set, the user name and "注销" are shown, the avatar is loaded and the two tokens are stored;
// an automatic login whose answer lacks a token keeps the stored ones (they just worked).
// Nothing of the login state changes otherwise. Blocks (20 s at most for the request).
LoginOutcome ForumLoginOutcome(Core& core, const std::string& name, const std::string& secret,
                               bool use_stored);
inline bool ForumLogin(Core& core, const std::string& name, const std::string& secret,
                       bool use_stored) {
  return ForumLoginOutcome(core, name, secret, use_stored) == LoginOutcome::kLoggedIn;
}

// The automatic login of the initialisation thread, from the stored tokens ("正在自动登录" while
// it runs). A refused login logs out (the four keys "0"). When the forum could not be reached,
// gave no login answer, or the program is closing, it ends logged out but keeps the stored
// tokens, so a start without the network or during forum maintenance does not forget the login.
// After a login, a stored PreDownloadEnable "1" switches the pre-download on. True when it ended
// logged in.
bool AutoLogin(Core& core);

// The sign-in button and the user-name label of a logged-out window: "登录" and "请登录".
void ShowLoggedOut(Controls& controls);

// Clears the login state (the Steam ids too), writes "0" to AutoLoginDiscuz, LuncherLoginType,
// Login_Qinum and Login_Dypw, shows "登录", "请登录" and the default avatar, empties the login
// window's security code, turns the pre-download switch and its clock off, deletes the
// embedded browser's cookie files (BrowserCookieFiles; missing ones are fine) and asks the browser
// port to forget its cookies, so the forum page is logged out too.
void Logout(Core& core);

// The embedded browser's cookie stores under the data folder that a logout deletes:
// miniblink/cookies.dat (the original browser's file), and the Chromium cookie database the Qt
// window's browser keeps in the same folder: miniblink/Cookies, miniblink/Cookies-journal,
// miniblink/Network/Cookies and miniblink/Network/Cookies-journal.
std::vector<std::string> BrowserCookieFiles(const std::string& data_dir);

// Fetches the logged-in user's avatar (20 s, at most kAvatarMaxBytes) and shows it in
// 左侧_头像图片. Only a whole answer with status 200 that starts like a PNG, JPEG, GIF, BMP or WebP
// picture replaces the picture; anything else keeps what it showed. False then, or when logged out.
bool LoadAvatar(Core& core);
bool LooksLikeImage(std::string_view bytes);

// The switch to the forum page: the forum browser gets the program's user agent (with
// local_version), the second browser its own and is hidden, and the forum browser opens the
// forum's start page with the login's auth and uid (empty texts when logged out). Returns the URL.
std::string OpenForumPage(Core& core);
inline constexpr const char* kSecondBrowserUserAgent =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/93.0.4577.63 Safari/537.36";

// The login state now (a copy taken under the state's lock), and whether it is a login (a uid
// whose leading digits read as a number above 0).
LoginState CurrentLogin(AppState& state);
bool IsLoggedIn(const LoginState& login);

}  // namespace brindle
