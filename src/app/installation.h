// Where the games are installed: found from the running game every tick of the game-detection
// clock, or chosen by hand in a file dialog; validated with files every installation has, kept
// in the settings file and in the state's game paths, and checked before map work and joins.
#pragma once

#include <string>
#include <string_view>

namespace brindle {

class Core;
class Window;
struct AppState;

// The games' executable names and the folders around them, per system. Directory parts keep
// their separators so they can be matched and appended as they stand.
struct GameNames {
  std::string_view cs2_exe;
  std::string_view cs2_bin_suffix;  // the CS2 executable's folder below the installation
  std::string_view cs2_map_suffix;  // what replaces it for the map folder
  std::string_view csgo_exe;
  std::string_view csgo_map_subdir;  // below the CS:GO folder
  char separator;
  // What the file dialogs that pick an executable by hand offer (UTF-8 here, GBK on screen):
  // Linux executables have no extension, so there the filter names the game's own executable.
  std::string_view csgo_filter_utf8;
  std::string_view cs2_filter_utf8;
  // What the path-wrong boxes name: the executable to pick and where Steam puts the game.
  std::string_view steam_games_hint_utf8;  // Steam's game folder, ending in "/"
  std::string_view csgo_hint_tail_utf8;    // below the game's folder
  std::string_view cs2_hint_tail_utf8;
  // Windows takes every occurrence of the executable name out of a path; elsewhere executables
  // carry no extension and the name can be part of a folder name ("/home/cs2fan/"), so only
  // whole path components go.
  bool strip_whole_components;
};
inline constexpr GameNames kWindowsGameNames{.cs2_exe = "cs2.exe",
                                             .cs2_bin_suffix = "\\game\\bin\\win64\\",
                                             .cs2_map_suffix = "\\game\\csgo\\maps\\",
                                             .csgo_exe = "csgo.exe",
                                             .csgo_map_subdir = "csgo\\maps\\",
                                             .separator = '\\',
                                             .csgo_filter_utf8 = "应用程序(*.exe)",
                                             .cs2_filter_utf8 = "应用程序(*.exe)",
                                             .steam_games_hint_utf8 = "盘:/Steam/steamapps/common/",
                                             .csgo_hint_tail_utf8 = "csgo",
                                             .cs2_hint_tail_utf8 = "game/bin/win64/cs2.exe",
                                             .strip_whole_components = false};
inline constexpr GameNames kLinuxGameNames{
    .cs2_exe = "cs2",
    .cs2_bin_suffix = "/game/bin/linuxsteamrt64/",
    .cs2_map_suffix = "/game/csgo/maps/",
    .csgo_exe = "csgo_linux64",
    .csgo_map_subdir = "csgo/maps/",
    .separator = '/',
    .csgo_filter_utf8 = "应用程序(csgo_linux64)",
    .cs2_filter_utf8 = "应用程序(cs2)",
    .steam_games_hint_utf8 = "~/.local/share/Steam/steamapps/common/",
    .csgo_hint_tail_utf8 = "csgo_linux64",
    .cs2_hint_tail_utf8 = "game/bin/linuxsteamrt64/cs2",
    .strip_whole_components = true};
#ifdef _WIN32
inline constexpr const GameNames& kGameNames = kWindowsGameNames;
#else
inline constexpr const GameNames& kGameNames = kLinuxGameNames;
#endif
inline constexpr std::string_view kCs2ExeName = kGameNames.cs2_exe;
inline constexpr std::string_view kCs2BinSuffix = kGameNames.cs2_bin_suffix;
inline constexpr std::string_view kCs2MapSuffix = kGameNames.cs2_map_suffix;
inline constexpr std::string_view kCsgoExeName = kGameNames.csgo_exe;
inline constexpr std::string_view kCsgoMapSubdir = kGameNames.csgo_map_subdir;
// Files every installation has.
inline constexpr std::string_view kCsgoAppIdFile = "steam_appid.txt";
inline constexpr std::string_view kCsgoReferenceMap = "de_dust2.bsp";
inline constexpr std::string_view kCs2ReferenceMap = "de_dust2.vpk";

// The folder of an executable path: every occurrence of `exe_name` removed (exact case), anywhere
// or as whole components as `names` says.
std::string StripExeName(const std::string& path, std::string_view exe_name,
                         const GameNames& names = kGameNames);

// The CS2 map folder of a CS2 executable folder: the bin suffix replaced by the map suffix
// (letter case ignored).
std::string Cs2MapDirFor(const std::string& cs2_dir, const GameNames& names = kGameNames);

// The map folder of a CS2 executable folder: the standard one (Cs2MapDirFor) when it holds the
// reference map; otherwise the first folder that does, looking in "game/csgo/maps/" and
// "csgo/maps/" of the executable's folder and of up to four folders above it, so an installation
// whose folders are named otherwise is found when it holds the game. The standard one when none
// does.
std::string FindCs2MapDir(const std::string& cs2_dir, const GameNames& names = kGameNames);

// True when `candidate` (a folder ending in a separator) holds the CS:GO reference files:
// steam_appid.txt, or else csgo/maps/de_dust2.bsp.
bool IsCsgoFolder(const std::string& candidate);

// One tick of the game-detection clock: CS2 first unless chosen by hand, then CS:GO unless chosen
// by hand; a game found stops the clock. Runs on the UI thread.
void DetectGames(Core& core);

// Handlers of the two buttons that pick a game executable by hand.
void ChooseCsgoExecutable(Core& core);
void ChooseCs2Executable(Core& core);

// What the buttons do with the chosen executable path (GBK), for callers that have the path
// without a dialog (brindle-cli): validated, stored in memory and in the settings file, shown in
// the path label, chosen-by-hand set. False when the folder fails the check; nothing is written
// then (the CS2 folders in memory still follow the choice, as the button's do). The texts of the
// path-wrong boxes the buttons show after a refusal are given too. `stored`, when given, tells
// whether every key reached the settings file (the choice holds for this run either way).
bool SetCsgoExecutable(Core& core, const std::string& path, bool* stored = nullptr);
bool SetCs2Executable(Core& core, const std::string& path, bool* stored = nullptr);
std::string CsgoPathWrongText(const GameNames& names = kGameNames);
std::string Cs2PathWrongText(const GameNames& names = kGameNames);
// The text of the box after a failed installation check.
std::string InstallationWrongText(const GameNames& names = kGameNames);

// The installation check before map work and joins: for a CS2 target the CS2 reference map must
// exist, otherwise the CS:GO one. A failure only returns false; the caller tells the person.
bool CheckInstallation(const AppState& state);

// The message box shown after a failed installation check.
void ShowPathWrongDialog(Window& window);

// Binds the two choice buttons and the game-detection clock of the core's window to the handlers
// above.
void BindInstallation(Core& core);

}  // namespace brindle
