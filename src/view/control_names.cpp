#include "view/control_names.h"

#include <algorithm>

namespace brindle::names {

namespace {

using K = ControlKind;
constexpr int F = kFramePage;

constexpr ControlInfo kTable[] = {
    // Frame, navigation and shared areas.
    {kCloseMain, K::kButton, "", F, kNoGroup, ""},
    {kMinimiseMain, K::kButton, "", F, kNoGroup, ""},
    {kNavDownload, K::kButton, "", F, kNoGroup, ""},
    {kNavDownloadLabel, K::kLabel, "资源下载", F, kNoGroup, ""},
    {kNavServers, K::kButton, "", F, kNoGroup, ""},
    {kNavServersLabel, K::kLabel, "服务器", F, kNoGroup, ""},
    {kNavFavourites, K::kButton, "", F, kNoGroup, ""},
    {kNavFavouritesLabel, K::kLabel, "我的收藏", F, kNoGroup, ""},
    {kNavForum, K::kButton, "", F, kNoGroup, ""},
    {kNavForumLabel, K::kLabel, "论坛", F, kNoGroup, ""},
    {kNavTools, K::kButton, "", F, kNoGroup, ""},
    {kNavToolsLabel, K::kLabel, "工具", F, kNoGroup, ""},
    {kPages, K::kPageContainer, "", F, kNoGroup, ""},
    {kAvatar, K::kPicture, "", F, kNoGroup, ""},
    {kUserName, K::kLabel, "", F, kNoGroup, ""},
    {kSignIn, K::kButton, "注销", F, kNoGroup, ""},
    {kProductTitle, K::kLabel, "Brindle 3.6 测试版", F, kNoGroup, ""},
    {kStatusLine, K::kLabel, "", F, kNoGroup, ""},
    {kNoticePanel, K::kPanel, "", F, kNoGroup, ""},

    // Download page.
    {kDownloadTitle, K::kLabel, "资源下载", kDownloadPage, kNoGroup, ""},
    {kDownloadSubtitle, K::kLabel, "材质与地图(仅CSGO)", kDownloadPage, kNoGroup, ""},
    {"下载资源_ZE1", K::kButton, "僵尸逃跑", kDownloadPage, kNoGroup, ""},
    {"下载资源_ZE2", K::kButton, "娱乐对抗", kDownloadPage, kNoGroup, ""},
    {"下载资源_ZE3", K::kButton, "TTT", kDownloadPage, kNoGroup, ""},
    {"下载资源_ZE4", K::kButton, "KZ", kDownloadPage, kNoGroup, ""},
    {"下载资源_ZE5", K::kButton, "BHOP", kDownloadPage, kNoGroup, ""},
    {"下载资源_ZE6", K::kButton, "SURF", kDownloadPage, kNoGroup, ""},
    {"下载资源_ZE7", K::kButton, "躲猫猫", kDownloadPage, kNoGroup, ""},
    {"下载资源_ZE8", K::kButton, "刀战", kDownloadPage, kNoGroup, ""},
    {"下载资源_ZE9", K::kButton, "AWP", kDownloadPage, kNoGroup, ""},
    {"下载资源_ZE10", K::kButton, "混战", kDownloadPage, kNoGroup, ""},
    {"下载资源_ZE11", K::kButton, "其他", kDownloadPage, kNoGroup, ""},
    {"下载资源_ZE12", K::kButton, "HG饥饿", kDownloadPage, kNoGroup, ""},
    {"下载资源_ZE13", K::kButton, "DR死跑", kDownloadPage, kNoGroup, ""},
    {"下载资源_ZE14", K::kButton, "ZM感染", kDownloadPage, kNoGroup, ""},
    {"下载资源_ZE15", K::kButton, "越狱", kDownloadPage, kNoGroup, ""},
    {kPatch, K::kButton, "材质补丁", kDownloadPage, kNoGroup, ""},
    {kResourceList, K::kList, "", kDownloadPage, kNoGroup, ""},
    {kDownloadQueue, K::kList, "", kDownloadPage, kNoGroup, ""},
    {kExtractQueue, K::kList, "", kDownloadPage, kNoGroup, ""},
    {kStartDownload, K::kButton, "开始下载", kDownloadPage, kNoGroup, ""},
    {kClearQueue, K::kButton, "清理下载队列", kDownloadPage, kNoGroup, ""},
    {kCancelDownloads, K::kButton, "取消全部下载", kDownloadPage, kNoGroup, ""},
    {kAutoExtract, K::kCheck, "自动解压至游戏", kDownloadPage, kNoGroup, ""},
    {kDownloadSummary, K::kLabel, "", kDownloadPage, kNoGroup, ""},
    {kSearchLabel, K::kLabel, "搜索资源", kDownloadPage, kNoGroup, ""},
    {kSearchBox, K::kEdit, "", kDownloadPage, kNoGroup, ""},
    {kSearchButton, K::kButton, "搜索", kDownloadPage, kNoGroup, ""},
    {kMirror1, K::kRadio, "节点1", kDownloadPage, kMirrorGroup, ""},
    {kMirror2, K::kRadio, "节点2", kDownloadPage, kMirrorGroup, ""},
    {kMirror3, K::kRadio, "节点3", kDownloadPage, kMirrorGroup, ""},
    {kGamePathLabel, K::kLabel, "游戏路径配置:", kDownloadPage, kNoGroup, ""},
    {kChooseCsgo, K::kButton, "设置路径CSGO", kDownloadPage, kNoGroup, ""},
    {kChooseCs2, K::kButton, "设置路径CS2", kDownloadPage, kNoGroup, ""},
    {kCsgoFileDialog, K::kFileDialog, "", F, kNoGroup, ""},
    {kCs2FileDialog, K::kFileDialog, "", F, kNoGroup, ""},
    {kPreDownloadLabel, K::kLabel, "预热下载:", kDownloadPage, kNoGroup, ""},
    {kPreDownloadSwitch, K::kSlideSwitch, "", kDownloadPage, kNoGroup, ""},
    {kLog, K::kEdit, "", kDownloadPage, kNoGroup, ""},

    // Launch options: group boxes of the main window, on no particular page.
    {kLaunchModeLabel, K::kLabel, "游戏启动方案:", F, kNoGroup, ""},
    {kLaunchAuto, K::kRadio, "自动", F, kLaunchModeGroup, ""},
    {kLaunchSteam, K::kRadio, "Steam协议", F, kLaunchModeGroup, ""},
    {kLaunchSteamRunAppid, K::kRadio, "SteamRunAppid", F, kLaunchModeGroup, ""},
    {kLaunchSteamChina, K::kRadio, "蒸汽中国", F, kLaunchModeGroup, ""},
    {kLaunchCs2, K::kRadio, "CS2", F, kLaunchModeGroup, ""},
    {kRegionLabel, K::kLabel, "国服/国际:", F, kNoGroup, ""},
    {kRegionChina, K::kRadio, "国服", F, kRegionGroup, ""},
    {kRegionWorld, K::kRadio, "国际", F, kRegionGroup, ""},

    // Server page.
    {kServerTitle, K::kLabel, "服务器列表", kServerPage, kNoGroup, ""},
    {kAllServers, K::kButton, "全部服务器", kServerPage, kNoGroup, ""},
    {"服务器列表_ZE", K::kButton, "僵尸逃跑", kServerPage, kNoGroup, ""},
    {"服务器列表_ZE1", K::kButton, "娱乐对抗 | 闯关", kServerPage, kNoGroup, ""},
    {"服务器列表_ZE2", K::kButton, "躲猫猫", kServerPage, kNoGroup, ""},
    {"服务器列表_ZE3", K::kButton, "KZ | SURF | BHOP", kServerPage, kNoGroup, ""},
    {"服务器列表_ZE4", K::kButton, "刀战35HP", kServerPage, kNoGroup, ""},
    {"服务器列表_ZE5", K::kButton, "TTT | 越狱", kServerPage, kNoGroup, ""},
    {"服务器列表_ZE6", K::kButton, "娱乐综合", kServerPage, kNoGroup, ""},
    {"服务器列表_ZE7", K::kButton, "竞技综合", kServerPage, kNoGroup, ""},
    {"服务器列表_ZE8", K::kButton, "混战", kServerPage, kNoGroup, ""},
    {"服务器列表_ZE9", K::kButton, "死斗 | 死亡", kServerPage, kNoGroup, ""},
    {"服务器列表_ZE10", K::kButton, "AWP 狙击", kServerPage, kNoGroup, ""},
    {"服务器列表_ZE11", K::kButton, "1V1", kServerPage, kNoGroup, ""},
    {"服务器列表_ZE12", K::kButton, "挂机", kServerPage, kNoGroup, ""},
    {"服务器列表_ZE13", K::kButton, "其他", kServerPage, kNoGroup, ""},
    {kServerList, K::kList, "", kServerPage, kNoGroup, ""},
    {kServerListEmpty, K::kLabel, "", kServerPage, kNoGroup, ""},
    {kServerFilter, K::kEdit, "", kServerPage, kNoGroup, ""},

    // Favourites page.
    {kFavouritesTitle, K::kLabel, "我的收藏", kFavouritesPage, kNoGroup, ""},
    {kRefreshFavourites, K::kButton, "刷新全部", kFavouritesPage, kNoGroup, ""},
    {kBackupFavourites, K::kButton, "备份收藏到云端", kFavouritesPage, kNoGroup, ""},
    {kRestoreFavourites, K::kButton, "从云端下载收藏", kFavouritesPage, kNoGroup, ""},
    {kAddServer, K::kButton, "添加服务器", kFavouritesPage, kNoGroup, ""},
    {kFavouritesList, K::kList, "", kFavouritesPage, kNoGroup, ""},
    {kFavouritesFilter, K::kEdit, "", kFavouritesPage, kNoGroup, ""},
    {kPlayerPanel, K::kPanel, "", kFavouritesPage, kNoGroup, ""},
    {kPlayerPanelLabel, K::kLabel, "玩家信息表单:", kFavouritesPage, kNoGroup, ""},
    {kPlayerList, K::kList, "", kFavouritesPage, kNoGroup, ""},
    {kClosePlayerPanel, K::kButton, "", kFavouritesPage, kNoGroup, ""},

    // Forum page.
    {kForumBrowser, K::kBrowser, "", kForumPage, kNoGroup, ""},
    {kSecondBrowser, K::kBrowser, "", kForumPage, kNoGroup, ""},
    {kForumTitle, K::kLabel, "论坛", kForumPage, kNoGroup, ""},
    {kSignInTitle, K::kLabel, "签到", kForumPage, kNoGroup, ""},
    {kMusicTitle, K::kLabel, "网易云音乐", kForumPage, kNoGroup, ""},

    // Tools page.
    {kToolsTitle, K::kLabel, "工具集", kToolsPage, kNoGroup, ""},
    {kVacFix, K::kButton, "VAC修复(需要管理员权限)", kToolsPage, kNoGroup, ""},
    {kKeyBindTitle, K::kLabel, "按键绑定", kToolsPage, kNoGroup, ""},
    {kBindKeys, K::kButton, "功能按键绑定", kToolsPage, kNoGroup, ""},
    {kBindKeysForum, K::kButton, "", kToolsPage, kNoGroup, ""},
    {kUpdateDictionary, K::kButton, "更新地图翻译", kToolsPage, kNoGroup, ""},

    // Login window; its title gets the forum's host name appended at run time.
    {kLoginWindow, K::kDialog, "登录到 ", F, kNoGroup, ""},
    {kLoginUserLabel, K::kLabel, "用户名/QQ/SteamID:", F, kNoGroup, kLoginWindow},
    {kLoginUserBox, K::kEdit, "", F, kNoGroup, kLoginWindow},
    {kLoginCodeLabel, K::kLabel, "安全代码:", F, kNoGroup, kLoginWindow},
    {kLoginCodeBox, K::kEdit, "", F, kNoGroup, kLoginWindow},
    {kLoginSecureCodePage, K::kButton, "前往论坛查看/设置安全代码", F, kNoGroup, kLoginWindow},
    {kLoginButton, K::kButton, "登录", F, kNoGroup, kLoginWindow},

    // Add-server window.
    {kAddServerWindow, K::kDialog, "添加服务器到收藏", F, kNoGroup, ""},
    {kAddServerLabel, K::kLabel, "服务器地址:", F, kNoGroup, kAddServerWindow},
    {kAddServerBox, K::kEdit, "", F, kNoGroup, kAddServerWindow},
    {kAddServerConfirm, K::kButton, "确认添加", F, kNoGroup, kAddServerWindow},
};

// Periods the design leaves open are ours: the start-up clock fires shortly after the window
// exists, the status line is checked every second, the extraction queue every second.
constexpr ClockInfo kClocks[] = {
    {kClockStartup, 10, true},        {kClockGameDetect, 1500, false},
    {kClockStatusClear, 1000, false}, {kClockQueue, 2000, false},
    {kClockMove, 3000, false},        {kClockProgress, 1000, false},
    {kClockExtract, 1000, false},     {kClockPreDownload, 15000, false},
};

}  // namespace

std::string menu_action(std::string_view list, std::string_view item) {
  std::string out(list);
  out += '/';
  out += item;
  return out;
}

std::span<const ClockInfo> clocks() { return kClocks; }

std::int64_t clock_period_ms(std::string_view name) {
  for (const ClockInfo& c : kClocks) {
    if (name == c.name) return c.period_ms;
  }
  return 0;
}

std::span<const ControlInfo> controls() { return kTable; }

const ControlInfo* find_control(std::string_view name) {
  const auto it = std::find_if(std::begin(kTable), std::end(kTable),
                               [&](const ControlInfo& c) { return name == c.name; });
  return it == std::end(kTable) ? nullptr : &*it;
}

}  // namespace brindle::names
