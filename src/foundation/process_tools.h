// Process and shell utilities shared by the tools page and the features that look for the game,
// the Steam client or the extractor.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace brindle {

// The Steam clients' executable names, per system. Steam China is a Windows client only; the
// Linux name keeps the lookups uniform but no such client is ever expected to run there.
struct SteamClientNames {
  std::string_view steam;
  std::string_view steam_china;
  char separator;
  bool steam_china_exists;  // the Steam China client can run on this system
};
inline constexpr SteamClientNames kWindowsSteamNames{"steam.exe", "steamchina.exe", '\\', true};
inline constexpr SteamClientNames kLinuxSteamNames{"steam", "steamchina", '/', false};
#ifdef _WIN32
inline constexpr const SteamClientNames& kSteamNames = kWindowsSteamNames;
#else
inline constexpr const SteamClientNames& kSteamNames = kLinuxSteamNames;
#endif
inline constexpr std::string_view kSteamExeName = kSteamNames.steam;
inline constexpr std::string_view kSteamChinaExeName = kSteamNames.steam_china;

// Ids of the running processes whose executable file name matches `exe_name` (GBK). Without
// `case_sensitive` only the letters A-Z and a-z match their other case; every other character,
// non-ASCII letters included, must be the same. `count` is the number of ids, or -1 (with no
// ids) when the process table cannot be read.
struct ProcessIdList {
  std::vector<int> ids;
  int count = 0;
};
[[nodiscard]] ProcessIdList FindProcessIds(const std::string& exe_name, bool case_sensitive);

// The first running process whose executable name equals `exe_name` regardless of case; 0 when
// there is none.
[[nodiscard]] int FindProcessId(const std::string& exe_name);

// Full path (GBK) of a process's executable; empty when it cannot be read.
[[nodiscard]] std::string ProcessImagePath(int pid);

// Starts a program with administrator rights; see platform::run_elevated.
[[nodiscard]] bool RunElevated(const std::string& file, const std::string& parameters, int wait_ms);
// Opens a URL in the default browser; the outcome is not reported.
void OpenUrl(const std::string& url);
// Whether some program of the desktop opens URLs of `scheme`; see platform::has_url_handler.
[[nodiscard]] bool HasUrlHandler(const std::string& scheme);
// The scheme of a URL ("steam" of "steam://connect/..."), lower case; empty when it has none.
[[nodiscard]] std::string UrlScheme(const std::string& url);
// Shows the file selected in its folder; false when it does not exist or nothing could show it.
[[nodiscard]] bool ShowInFolder(const std::string& path, bool edit_name);

// The Steam client's "bin" folder from its running process: the executable path of the first
// running Steam client (the global client before the China one) with its executable name
// replaced by "bin" (exact case). Empty when neither client runs.
[[nodiscard]] std::string FindSteamBinFolder();
// That folder for one client's executable path: every separator + `exe_name` (exact case, on
// character boundaries) replaced by separator + "bin".
[[nodiscard]] std::string SteamBinFolderOf(const std::string& image_path, std::string_view exe_name,
                                           char separator);

}  // namespace brindle
