// Process and shell utilities shared by the tools page and the features that look for the game,
// the Steam client or the extractor; and the two handlers of the tools page that act on the
// Steam side (repair script, key-binder page).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

class Window;

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
ProcessIdList FindProcessIds(const std::string& exe_name, bool case_sensitive);

// The first running process whose executable name equals `exe_name` regardless of case; 0 when
// there is none.
int FindProcessId(const std::string& exe_name);

// Full path (GBK) of a process's executable; empty when it cannot be read.
std::string ProcessImagePath(int pid);

// Starts a program with administrator rights; see platform::run_elevated.
bool RunElevated(const std::string& file, const std::string& parameters, int wait_ms);
// Opens a URL in the default browser; the outcome is not reported.
void OpenUrl(const std::string& url);
// Shows the file selected in its folder; false when it does not exist or nothing could show it.
bool ShowInFolder(const std::string& path, bool edit_name);

// The Steam client's "bin" folder from its running process: the executable path of the first
// running Steam client (the global client before the China one) with its executable name
// replaced by "bin" (exact case). Empty when neither client runs.
std::string FindSteamBinFolder();

// Key-binder page of the forum.
std::string KeyBinderUrl(const std::string& forum_base_url);

// Handler of the repair button. `program_dir` holds the repair script under qdata/tools/.
void RunSteamRepair(Window& window, const std::string& program_dir);

// Handlers of the two key-binder buttons. `open_forum_page` switches the main window to the
// forum page; it is called first when `switch_page` is true and the built-in browser is chosen.
void OpenKeyBinder(Window& window, const std::string& forum_base_url, bool switch_page,
                   const std::function<void()>& open_forum_page);

}  // namespace brindle
