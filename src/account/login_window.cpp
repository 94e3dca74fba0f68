#include "account/login_window.h"

#include "app/app_state.h"
#include "app/core.h"
#include "foundation/encoding.h"
#include "platform/gbk_text.h"
#include "view/control_names.h"
#include "view/window.h"

namespace brindle {
namespace {

// Length of the blank at `pos`: 1 for a space or tab, 2 for the full-width space, 0 otherwise.
std::size_t BlankAt(std::string_view text, std::size_t pos) {
  const auto c = static_cast<unsigned char>(text[pos]);
  if (c == ' ' || c == '\t') return 1;
  if (c == 0xA1 && GbkCharLength(text, pos) == 2 &&
      static_cast<unsigned char>(text[pos + 1]) == 0xA1) {
    return 2;
  }
  return 0;
}

std::string ForumBase(Core& core) {
  std::lock_guard lock(core.state().mutex);
  return core.state().forum_base_url;
}

}  // namespace

std::string LoginWindowTitle(const std::string& forum_base_url) {
  return gbk("登录到 ") + HostOfUrl(forum_base_url);
}

std::string SecureCodePageUrl(const std::string& forum_base_url) {
  return forum_base_url + "/plugin.php?id=tarn_steam_openid:SoftLogin_getsecurecode";
}

std::string TrimLoginField(std::string_view text) {
  // Walk by characters, so a trail byte is never taken for half of a blank.
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t blank = BlankAt(text, start);
    if (blank == 0) break;
    start += blank;
  }
  std::size_t end = start;
  for (std::size_t pos = start; pos < text.size();) {
    const std::size_t blank = BlankAt(text, pos);
    const std::size_t length = blank != 0 ? blank : GbkCharLength(text, pos);
    pos += length;
    if (blank == 0) end = pos;
  }
  return std::string(text.substr(start, end - start));
}

bool TakeLoginFields(Window& window, std::string& name, std::string& code) {
  Controls& controls = window.controls();
  name = TrimLoginField(controls.Caption(names::kLoginUserBox));
  code = TrimLoginField(controls.Caption(names::kLoginCodeBox));
  controls.SetCaption(names::kLoginUserBox, name);
  controls.SetCaption(names::kLoginCodeBox, code);
  if (name.size() < kMinNameBytes) {
    window.MessageBox(gbk("长度不正确"), gbk("您输入的用户名长度不正确"), gbk("确定"));
    return false;
  }
  if (code.size() < kMinCodeBytes) {
    window.MessageBox(gbk("长度不正确"), gbk("您输入的密码长度不正确"), gbk("确定"));
    return false;
  }
  return true;
}

void OpenLoginWindow(Core& core) {
  Controls& controls = core.window().controls();
  controls.SetCaption(names::kLoginWindow, LoginWindowTitle(ForumBase(core)));
  controls.SetVisible(names::kLoginWindow, true);
}

void FinishWindowLogin(Core& core, bool logged_in) {
  Controls& controls = core.window().controls();
  if (logged_in) {
    core.WriteSetting("AutoLoginDiscuz", "1");
    controls.SetVisible(names::kLoginWindow, false);
  } else {
    core.window().MessageBox(gbk("登录失败"), gbk("用户或密码不正确?"), gbk("确定"));
  }
  controls.SetEnabled(names::kLoginButton, true);
}

void OpenSecureCodePage(Core& core, const UrlOpener& open) {
  const std::string url = SecureCodePageUrl(ForumBase(core));
  // Without a browser the click would do nothing at all: say so, with the address to copy.
  if (!open && !HasUrlHandler(UrlScheme(url))) {
    core.window().person().SetClipboardText(url);
    core.window().MessageBox(
        gbk("无法打开安全代码页面"),
        gbk("未检测到可以打开网页的浏览器,安全代码页面没有打开。页面地址已复制到剪贴板,"
            "请在浏览器中访问: ") +
            url,
        gbk("确定"));
    return;
  }
  OpenWith(open, url);
}

}  // namespace brindle
