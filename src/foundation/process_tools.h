// Process and shell utilities shared by the tools page and the features that look for the game,
// the Steam client or the extractor.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace brindle {

// Executable names of the programs the companion looks for. Windows names stay with the Windows
// build; Linux has its own native names.
#ifdef _WIN32
inline constexpr std::string_view kSteamExeName = "steam.exe";
inline constexpr std::string_view kSteamChinaExeName = "steamchina.exe";
#else
inline constexpr std::string_view kSteamExeName = "steam";
inline constexpr std::string_view kSteamChinaExeName = "steamchina";
#endif

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
// Shows the file selected in its folder; false when it does not exist or nothing could show it.
[[nodiscard]] bool ShowInFolder(const std::string& path, bool edit_name);

// The Steam client's "bin" folder from its running process: the executable path of the first
// running Steam client (the global client before the China one) with its executable name
// replaced by "bin" (exact case). Empty when neither client runs.
[[nodiscard]] std::string FindSteamBinFolder();

}  // namespace brindle
