// Joining a server: the program never starts the game itself. It builds a steam:// (or
// steamchina://) URL for the launch mode and region chosen in the window and hands it to the
// desktop, whose registered handler (the Steam client) starts the game connected to the server.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace brindle {

class Controls;
class Window;
struct AppState;

// Steam application id of the game and the fixed Steam id the run-game URL carries.
inline constexpr std::string_view kGameAppId = "730";
inline constexpr std::string_view kJoinSteamId64 = "76561202255233023";

// The five launch modes (radio buttons GameRunOPT_Auto … GameRunOPT_CS2, settings value 1..5).
enum LaunchMode : int {
  kLaunchAutomatic = 1,
  kLaunchFollowSteam = 2,
  kLaunchRunGame = 3,
  kLaunchSteamChinaOnly = 4,
  kLaunchCs2RunGame = 5,
};

// The launch regions (GameRunOPT_RegionChina = 1, GameRunOPT_RegionWorld = 2); 0 = neither.
enum LaunchRegion : int {
  kRegionUnset = 0,
  kRegionPerfectWorld = 1,
  kRegionWorldwide = 2,
};

// Which Steam clients run at the moment of a join.
struct SteamClients {
  bool steam = false;
  bool steam_china = false;
};

// What a join does: the URL to open, and whether the window's region must switch to Perfect World
// (the automatic mode found only the Steam China client).
struct JoinPlan {
  std::string url;
  bool select_perfect_world = false;
};

// " -perfectworld", " -worldwide", or "" for neither.
std::string RegionFlag(int region);
// "steam://connect/" + address.
std::string PlainSteamJoinUrl(std::string_view address);
// "steam://" (or "steamchina://") + "rungame/730/76561202255233023/+connect " + address + flag.
std::string RunGameJoinUrl(bool steam_china, std::string_view address, int region);
// The URL for a launch mode and region. An unknown mode is taken as automatic. The region flag is
// the one of `region`, also when the automatic mode switches the window to Perfect World.
JoinPlan PlanJoin(int mode, int region, std::string_view address, SteamClients running);

// The launch mode and region the window's radio buttons show now (automatic when no mode is
// checked, kRegionUnset when no region is).
int LaunchModeIn(const Controls& controls);
int LaunchRegionIn(const Controls& controls);

// The Steam clients running now, from the process table. The Steam China client exists only on
// Windows; elsewhere it is never reported.
SteamClients RunningSteamClients();

// The two things a join needs from outside the program. Tests replace them (no real Steam client
// or browser is ever started by a test); an empty member means the real one: the desktop's URL
// opener and the process table.
struct JoinHooks {
  std::function<void(const std::string& url)> open_url;
  std::function<SteamClients()> steam_clients;
  // Whether a program handles URLs of a scheme ("steam", "steamchina").
  std::function<bool(const std::string& scheme)> url_handled;
};

// The box a join shows when no program takes steam:// (or steamchina://) links (GBK): it says
// that no Steam client was found and how to join by hand.
std::string NoSteamClientText(const std::string& address);
// Replaces the process's hooks and returns the previous ones. Any thread.
JoinHooks SetJoinHooks(JoinHooks hooks);

// Builds the URL for the window's launch mode and region and opens it, then shows
// "加入服务器->[命令]->" + URL in the status line. The automatic mode with only the Steam China
// client running selects the Perfect World region in the window. An empty address does nothing;
// one that IsValidServerAddress refuses shows the notice "服务器地址无效" and opens nothing.
// When no program handles the URL's scheme, nothing is opened: a box says so
// (NoSteamClientText). Returns the URL opened ("" when nothing was).
std::string JoinServer(Window& window, const std::string& address);

// Opens "steam://connect/" + address whatever the launch mode (servers of other games), then shows
// "加入服务器->[命令]->(非CSGO不受启动项关联 遵循Steam协议)" + URL. Empty address: nothing; an
// invalid one: the notice "服务器地址无效" as JoinServer.
std::string JoinPlainSteam(Window& window, const std::string& address);

// True when a favourite's game cell equals or contains "csgo", letter case ignored.
bool IsCsgoGame(std::string_view game_cell);
// A favourite's join: JoinServer for CS:GO servers, JoinPlainSteam for every other game (and for
// a row whose game is not known yet).
std::string JoinByGame(Window& window, const std::string& address, std::string_view game_cell);

// The server list's join: the installation check for the selected server's game first (a failure
// shows "由于csgo路径配置不正确 将不显示地图下载..." and never holds the join back), then
// JoinServer. An invalid address is refused before the check.
std::string JoinFromServerList(Window& window, const AppState& state, const std::string& address);

}  // namespace brindle
