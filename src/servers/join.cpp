#include "servers/join.h"

#include <memory>
#include <mutex>

#include "app/app_state.h"
#include "app/installation.h"
#include "foundation/encoding.h"
#include "foundation/process_tools.h"
#include "platform/gbk_text.h"
#include "servers/server_address.h"
#include "view/controls.h"
#include "view/window.h"

namespace brindle {

namespace {

std::mutex& hooks_mutex() {
  static std::mutex mutex;
  return mutex;
}

JoinHooks& hooks() {
  static JoinHooks installed;
  return installed;
}

void OpenWithHooks(const std::string& url) {
  std::function<void(const std::string&)> open;
  {
    std::lock_guard lock(hooks_mutex());
    open = hooks().open_url;
  }
  if (open) {
    open(url);
  } else {
    OpenUrl(url);  // the desktop's handler; whether it managed is not reported
  }
}

bool UrlHandledWithHooks(const std::string& url) {
  std::function<bool(const std::string&)> handled;
  {
    std::lock_guard lock(hooks_mutex());
    handled = hooks().url_handled;
    // An opener of the caller's own takes every URL.
    if (!handled && hooks().open_url) return true;
  }
  const std::string scheme = UrlScheme(url);
  return handled ? handled(scheme) : HasUrlHandler(scheme);
}

// Opens a join URL when a Steam client takes it; otherwise a box says that none was found.
bool OpenJoinUrl(Window& window, const std::string& url, const std::string& address) {
  if (!UrlHandledWithHooks(url)) {
    window.ShowStatus(gbk("未检测到Steam客户端"));
    window.MessageBox(gbk("无法加入服务器"), NoSteamClientText(address), gbk("确定"));
    return false;
  }
  OpenWithHooks(url);
  return true;
}

SteamClients SteamClientsWithHooks() {
  std::function<SteamClients()> probe;
  {
    std::lock_guard lock(hooks_mutex());
    probe = hooks().steam_clients;
  }
  return probe ? probe() : RunningSteamClients();
}

// The address goes into a URL whose rest the game reads as its command line: anything but a
// plain host:port is refused with a notice.
bool Refused(Window& window, const std::string& address) {
  if (IsValidServerAddress(address)) return false;
  window.ShowNotice(gbk(kInvalidServerAddressMessage));
  return true;
}

bool Running(std::string_view exe_name) {
  return FindProcessIds(std::string(exe_name), false).count > 0;
}

}  // namespace

std::string RegionFlag(int region) {
  switch (region) {
    case kRegionPerfectWorld:
      return " -perfectworld";
    case kRegionWorldwide:
      return " -worldwide";
    default:
      return "";
  }
}

std::string PlainSteamJoinUrl(std::string_view address) {
  return "steam://connect/" + std::string(address);
}

std::string RunGameJoinUrl(bool steam_china, std::string_view address, int region) {
  std::string url = steam_china ? "steamchina://" : "steam://";
  url += "rungame/";
  url += kGameAppId;
  url += "/";
  url += kJoinSteamId64;
  url += "/+connect ";
  url += address;
  url += RegionFlag(region);
  return url;
}

JoinPlan PlanJoin(int mode, int region, std::string_view address, SteamClients running) {
  JoinPlan plan;
  switch (mode) {
    case kLaunchFollowSteam:
      plan.url = PlainSteamJoinUrl(address);
      break;
    case kLaunchRunGame:
    case kLaunchCs2RunGame:
      plan.url = RunGameJoinUrl(false, address, region);
      break;
    case kLaunchSteamChinaOnly:
      plan.url = RunGameJoinUrl(true, address, region);
      break;
    default:  // automatic: follow whichever client runs
      if (running.steam) {
        plan.url = PlainSteamJoinUrl(address);
      } else if (running.steam_china) {
        // The flag stays the one chosen before the switch.
        plan.url = RunGameJoinUrl(true, address, region);
        plan.select_perfect_world = true;
      } else {
        plan.url = RunGameJoinUrl(false, address, region);
      }
      break;
  }
  return plan;
}

int LaunchModeIn(const Controls& controls) {
  const std::pair<const char*, int> options[] = {
      {names::kLaunchSteam, kLaunchFollowSteam},
      {names::kLaunchSteamRunAppid, kLaunchRunGame},
      {names::kLaunchSteamChina, kLaunchSteamChinaOnly},
      {names::kLaunchCs2, kLaunchCs2RunGame},
  };
  for (const auto& [name, mode] : options) {
    if (controls.Checked(name)) return mode;
  }
  return kLaunchAutomatic;
}

int LaunchRegionIn(const Controls& controls) {
  if (controls.Checked(names::kRegionWorld)) return kRegionWorldwide;
  if (controls.Checked(names::kRegionChina)) return kRegionPerfectWorld;
  return kRegionUnset;
}

SteamClients RunningSteamClients() {
  SteamClients running;
  running.steam = Running(kSteamExeName);
  running.steam_china = kSteamNames.steam_china_exists && Running(kSteamChinaExeName);
  return running;
}

JoinHooks SetJoinHooks(JoinHooks replacement) {
  std::lock_guard lock(hooks_mutex());
  JoinHooks previous = std::move(hooks());
  hooks() = std::move(replacement);
  return previous;
}

std::string JoinServer(Window& window, const std::string& address) {
  if (address.empty() || Refused(window, address)) return {};
  Controls& controls = window.controls();
  const int mode = LaunchModeIn(controls);
  const int region = LaunchRegionIn(controls);
  // The process table is only looked at when the mode depends on it.
  const SteamClients running = mode == kLaunchAutomatic ? SteamClientsWithHooks() : SteamClients{};
  JoinPlan plan = PlanJoin(mode, region, address, running);
  if (plan.select_perfect_world) controls.SetChecked(names::kRegionChina, true);
  if (!OpenJoinUrl(window, plan.url, address)) return {};
  window.ShowStatus(gbk("加入服务器->[命令]->") + plan.url);
  return plan.url;
}

std::string JoinPlainSteam(Window& window, const std::string& address) {
  if (address.empty() || Refused(window, address)) return {};
  const std::string url = PlainSteamJoinUrl(address);
  if (!OpenJoinUrl(window, url, address)) return {};
  window.ShowStatus(gbk("加入服务器->[命令]->(非CSGO不受启动项关联 遵循Steam协议)") + url);
  return url;
}

std::string NoSteamClientText(const std::string& address) {
  return gbk("未检测到Steam客户端,无法通过steam://链接启动游戏并加入服务器 ") + address +
         gbk("。请安装并登录Steam(或蒸汽平台)后再试,也可以启动游戏后在控制台输入 connect ") +
         address + gbk(" 手动加入。");
}

bool IsCsgoGame(std::string_view game_cell) { return GbkContainsIgnoreCase(game_cell, "csgo"); }

std::string JoinByGame(Window& window, const std::string& address, std::string_view game_cell) {
  return IsCsgoGame(game_cell) ? JoinServer(window, address) : JoinPlainSteam(window, address);
}

std::string JoinFromServerList(Window& window, const AppState& state, const std::string& address) {
  if (address.empty() || Refused(window, address)) return {};
  if (!CheckInstallation(state)) {
    window.ShowStatus(gbk("由于csgo路径配置不正确 将不显示地图下载..."));
  }
  return JoinServer(window, address);
}

}  // namespace brindle
