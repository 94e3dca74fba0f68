// The login window over the main window: its title, the two fields with their blank trimming and
// length rules, the security-code page button, and what a finished login does to the window.
// The sign-in button and the worker that sends the login are the account feature's
// (account_feature.h).
#pragma once

#include <string>
#include <string_view>

#include "app/url_opener.h"

namespace brindle {

class Core;
class Window;

// "登录到 " + the forum's host name.
std::string LoginWindowTitle(const std::string& forum_base_url);
// forum_base_url + "/plugin.php?id=tarn_steam_openid:SoftLogin_getsecurecode".
std::string SecureCodePageUrl(const std::string& forum_base_url);

// The text without the blanks at both ends: ASCII spaces and tabs and the full-width space
// (GBK A1 A1). Blanks a paste carries at the end would otherwise make a right code fail.
std::string TrimLoginField(std::string_view gbk_text);

// Length rules of the window, in bytes: a name of 4 or more, a code of 5 or more.
inline constexpr std::size_t kMinNameBytes = 4;
inline constexpr std::size_t kMinCodeBytes = 5;

// Trims the two fields and writes the trimmed texts back into them; then the length rules, with
// the box "长度不正确" ("您输入的用户名长度不正确" or "您输入的密码长度不正确", "确定"). True, with
// the two texts, when a login may be sent.
bool TakeLoginFields(Window& window, std::string& name, std::string& code);

// Shows the login window titled for the forum, its login button available.
void OpenLoginWindow(Core& core);

// After a login sent from the window: success writes AutoLoginDiscuz "1" and closes the window;
// failure shows the box "登录失败" / "用户或密码不正确?" and leaves the window open. Either way the
// login button is available again.
void FinishWindowLogin(Core& core, bool logged_in);

// Opens the forum page where a signed-in forum user finds the security code.
void OpenSecureCodePage(Core& core, const UrlOpener& open = {});

}  // namespace brindle
