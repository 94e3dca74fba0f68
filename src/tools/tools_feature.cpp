#include "tools/tools_feature.h"

#include "app/core.h"
#include "foundation/encoding.h"
#include "foundation/process_tools.h"
#include "platform/platform.h"
#include "view/control_names.h"
#include "view/window.h"

namespace brindle {

std::string KeyBinderUrl(const std::string& forum_base_url) {
  return forum_base_url + "/plugin.php?id=tarn_csgo_command_binder:main";
}

void RunSteamRepair(Window& window, const std::string& program_dir) {
  const int answer = window.MessageBox(
      "", gbk("这将运行百度贴吧提供的脚本进行修复 是否继续? \r\n同时您必须确认Steam已运行"),
      gbk("继续&&取消"));
  if (answer != 0) return;
  const std::string bin_folder = FindSteamBinFolder();
  if (bin_folder.empty()) {
    window.ShowNotice(gbk("未找到Steam进程"));
    return;
  }
#ifdef _WIN32
  // A refused prompt or a missing script shows nothing, as the repair always has.
  (void)RunElevated(program_dir + "\\qdata\\tools\\vacfix.bat", bin_folder, 0);
#else
  // The community's repair script is a Windows batch file; there is nothing to run here.
  (void)program_dir;
  window.ShowNotice(gbk("修复脚本仅适用于Windows版Steam"));
#endif
}

void OpenKeyBinder(Window& window, const std::string& forum_base_url, bool switch_page,
                   const std::function<void()>& open_forum_page) {
  const int answer =
      window.MessageBox("", gbk("访问方式选择 \r\n本机浏览器:使用自己的浏览器 窗口更大"),
                        gbk("本机浏览器&&内置浏览器&&取消"));
  const std::string url = KeyBinderUrl(forum_base_url);
  if (answer == 0) {
    OpenUrl(url);
  } else if (answer == 1) {
    if (switch_page && open_forum_page) open_forum_page();
    window.person().Navigate(names::kForumBrowser, url);
  }
}

void ToolsFeature::Bind(Core& core) {
  Window& w = core.window();
  w.Bind(names::kVacFix, [&core] { RunSteamRepair(core.window(), core.state().program_dir); });
  auto key_binder = [&core](bool switch_page) {
    std::string forum;
    {
      std::lock_guard lock(core.state().mutex);
      forum = core.state().forum_base_url;
    }
    OpenKeyBinder(core.window(), forum, switch_page,
                  [&core] { core.window().Activate(names::kNavForum); });
  };
  w.Bind(names::kBindKeys, [key_binder] { key_binder(true); });
  w.Bind(names::kBindKeysForum, [key_binder] { key_binder(false); });
}

}  // namespace brindle
