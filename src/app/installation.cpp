#include "app/installation.h"

#include <mutex>
#include <optional>

#include "app/app_state.h"
#include "app/core.h"
#include "foundation/encoding.h"
#include "foundation/process_tools.h"
#include "foundation/settings_file.h"
#include "platform/gbk_text.h"
#include "platform/platform.h"
#include "view/control_names.h"
#include "view/ports.h"
#include "view/window.h"

namespace brindle {
namespace {

constexpr std::string_view kCsgoDialogPreset = "csgo";

char sep() { return platform::path_separator(); }

// Every match of `pattern` that starts on a character boundary of the GBK text and that `accept`
// takes, replaced. A trail byte of a double-byte character can equal an ASCII letter or "\", so
// a plain byte search could cut a Chinese folder name in half.
template <typename Accept>
std::string replace_matches(const std::string& text, std::string_view pattern,
                            std::string_view replacement, bool ignore_case, Accept accept) {
  if (pattern.empty()) return text;
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t at =
        ignore_case ? GbkFindIgnoreCase(text, pattern, pos) : GbkFind(text, pattern, pos);
    while (at != std::string::npos && !accept(at, pattern.size())) {
      at = ignore_case ? GbkFindIgnoreCase(text, pattern, at + GbkCharLength(text, at))
                       : GbkFind(text, pattern, at + GbkCharLength(text, at));
    }
    if (at == std::string::npos) break;
    out.append(text, pos, at - pos);
    out.append(replacement);
    pos = at + pattern.size();
  }
  if (pos < text.size()) out.append(text, pos, std::string::npos);
  return out;
}

// A setting that cannot be written keeps the game folder for this run only; the detection finds
// it again next time.
// The four path keys of one game ("CSGO" or "CS2"), and the manual flag when the user chose it.
bool write_game_settings(const AppState& state, const std::string& game, const std::string& dir,
                         const std::string& dir_copy, const std::string& map_dir,
                         const std::string& map_dir_copy, bool manual) {
  const std::string file = SettingsFilePath(state);
  bool ok = WriteSetting(file, game + "Path", dir);
  ok = WriteSetting(file, game + "PathCMD", dir_copy) && ok;
  ok = WriteSetting(file, game + "MapPath", map_dir) && ok;
  ok = WriteSetting(file, game + "MapPathCMD", map_dir_copy) && ok;
  if (manual) ok = WriteSetting(file, game + "Path_manual_operation", "1") && ok;
  return ok;
}

bool write_csgo_settings(const AppState& state, const GamePaths& paths, bool manual) {
  return write_game_settings(state, "CSGO", paths.csgo_dir, paths.csgo_dir_copy, paths.csgo_map_dir,
                             paths.csgo_map_dir_copy, manual);
}

bool write_cs2_settings(const AppState& state, const GamePaths& paths, bool manual) {
  return write_game_settings(state, "CS2", paths.cs2_dir, paths.cs2_dir_copy, paths.cs2_map_dir,
                             paths.cs2_map_dir_copy, manual);
}

// Sets the CS:GO folders in memory and gives a copy for writing.
GamePaths set_csgo_dir(AppState& state, const std::string& folder) {
  std::lock_guard lock(state.mutex);
  GamePaths& game = state.game;
  game.csgo_dir = folder;
  game.csgo_dir_copy = folder;
  game.csgo_map_dir = folder + std::string(kCsgoMapSubdir);
  game.csgo_map_dir_copy = game.csgo_dir_copy + std::string(kCsgoMapSubdir);
  return game;
}

GamePaths set_cs2_dir(AppState& state, const std::string& folder) {
  std::lock_guard lock(state.mutex);
  GamePaths& game = state.game;
  game.cs2_dir = folder;
  game.cs2_dir_copy = folder;
  game.cs2_map_dir = FindCs2MapDir(folder);
  game.cs2_map_dir_copy = game.cs2_map_dir;
  return game;
}

void show_path(Window& window, const char* prefix_utf8, const std::string& folder) {
  window.controls().SetCaption(names::kGamePathLabel, gbk(prefix_utf8) + folder);
}

std::optional<std::string> ask_executable(Window& window, const char* dialog,
                                          std::string_view filter_utf8, std::string_view preset) {
  FileDialogRequest request;
  request.dialog = dialog;
  request.filter = gbk(filter_utf8);
  request.initial = std::string(preset);
  return window.person().OpenFileDialog(request);
}

}  // namespace

std::string StripExeName(const std::string& path, std::string_view exe_name,
                         const GameNames& names) {
  if (!names.strip_whole_components) {
    return replace_matches(path, exe_name, "", false,
                           [](std::size_t, std::size_t) { return true; });
  }
  const char separator = names.separator;
  return replace_matches(path, exe_name, "", false, [&](std::size_t pos, std::size_t length) {
    const bool starts_component = pos == 0 || path[pos - 1] == separator;
    const bool ends_component = pos + length == path.size() || path[pos + length] == separator;
    return starts_component && ends_component;
  });
}

std::string Cs2MapDirFor(const std::string& cs2_dir, const GameNames& names) {
  return replace_matches(cs2_dir, names.cs2_bin_suffix, names.cs2_map_suffix, true,
                         [](std::size_t, std::size_t) { return true; });
}

std::string FindCs2MapDir(const std::string& cs2_dir, const GameNames& names) {
  const std::string standard = Cs2MapDirFor(cs2_dir, names);
  const auto holds_game = [](const std::string& map_dir) {
    return platform::file_exists(map_dir + std::string(kCs2ReferenceMap));
  };
  if (holds_game(standard)) return standard;
  // "game/csgo/maps/" and "csgo/maps/", from the suffix that starts with a separator.
  const std::string full(names.cs2_map_suffix.substr(1));
  const std::string shorter = full.substr(full.find(names.separator) + 1);
  std::string dir = cs2_dir;
  if (!dir.empty() && dir.back() != names.separator) dir += names.separator;
  for (int up = 0; up <= 4 && !dir.empty(); ++up) {
    for (const std::string& below : {full, shorter}) {
      if (holds_game(dir + below)) return dir + below;
    }
    // One folder up: cut after the separator before the last one, on a character boundary.
    std::size_t cut = std::string::npos;
    const std::string_view sep(&names.separator, 1);
    for (std::size_t at = GbkFind(dir, sep); at != std::string::npos && at + 1 < dir.size();
         at = GbkFind(dir, sep, at + 1)) {
      cut = at;
    }
    if (cut == std::string::npos) break;
    dir.resize(cut + 1);
  }
  return standard;
}

bool IsCsgoFolder(const std::string& candidate) {
  if (candidate.empty()) return false;
  const std::string s(1, sep());
  if (platform::file_exists(candidate + s + std::string(kCsgoAppIdFile))) return true;
  return platform::file_exists(candidate + s + std::string(kCsgoMapSubdir) +
                               std::string(kCsgoReferenceMap));
}

void DetectGames(Core& core) {
  AppState& state = core.state();
  Window& window = core.window();
  int cs2_manual = 0;
  int csgo_manual = 0;
  {
    std::lock_guard lock(state.mutex);
    cs2_manual = state.game.cs2_manual;
    csgo_manual = state.game.csgo_manual;
  }

  if (cs2_manual != 1) {
    const int pid = FindProcessId(std::string(kCs2ExeName));
    const std::string image = pid != 0 ? ProcessImagePath(pid) : std::string();
    if (!image.empty()) {
      // A running CS2 is trusted as it is: no reference file is looked for.
      const GamePaths paths = set_cs2_dir(state, StripExeName(image, kCs2ExeName));
      (void)write_cs2_settings(state, paths, false);  // see above
      window.clock().StopClock(names::kClockGameDetect);
    }
  }

  if (csgo_manual != 1) {
    const int pid = FindProcessId(std::string(kCsgoExeName));
    const std::string image = pid != 0 ? ProcessImagePath(pid) : std::string();
    if (!image.empty()) {
      const std::string candidate = StripExeName(image, kCsgoExeName);
      // A folder without the reference files is not an installation; keep looking.
      if (!IsCsgoFolder(candidate)) return;
      const GamePaths paths = set_csgo_dir(state, candidate);
      show_path(window, "游戏路径:", paths.csgo_dir);
      window.clock().StopClock(names::kClockGameDetect);
      (void)write_csgo_settings(state, paths, false);  // see above
    }
  }
}

bool SetCsgoExecutable(Core& core, const std::string& chosen, bool* stored) {
  AppState& state = core.state();
  const std::string candidate = StripExeName(chosen, kCsgoExeName);
  if (!IsCsgoFolder(candidate)) return false;
  GamePaths paths = set_csgo_dir(state, candidate);
  {
    std::lock_guard lock(state.mutex);
    state.game.csgo_manual = 1;
  }
  const bool saved = write_csgo_settings(state, paths, true);
  if (stored != nullptr) *stored = saved;
  show_path(core.window(), "已配置路径:", paths.csgo_dir);
  return true;
}

std::string CsgoPathWrongText(const GameNames& names) {
  return gbk(" 请选择 ") + std::string(names.csgo_exe) +
         gbk(" 经检测无法找到 de_dust2.bsp 地图 您的路径是否选择正确? Steam用户游戏在 \r\n") +
         gbk(names.steam_games_hint_utf8) + "Counter-Strike Global Offensive/" +
         gbk(names.csgo_hint_tail_utf8);
}

void ChooseCsgoExecutable(Core& core) {
  AppState& state = core.state();
  Window& window = core.window();
  if (!window.RequireInitialised(state.initialised.load())) return;
  const std::optional<std::string> chosen = ask_executable(
      window, names::kCsgoFileDialog, kGameNames.csgo_filter_utf8, kCsgoDialogPreset);
  if (!chosen) return;
  if (!SetCsgoExecutable(core, *chosen)) {
    window.MessageBox(gbk("您的路径设置似乎不正确!"), CsgoPathWrongText(), gbk("取消"));
  }
}

bool SetCs2Executable(Core& core, const std::string& chosen, bool* stored) {
  AppState& state = core.state();
  // The in-memory folders follow the choice even when it is refused below; the settings file
  // keeps the earlier values.
  const GamePaths paths = set_cs2_dir(state, StripExeName(chosen, kCs2ExeName));
  if (!platform::file_exists(paths.cs2_map_dir + std::string(kCs2ReferenceMap))) return false;
  {
    std::lock_guard lock(state.mutex);
    state.game.cs2_manual = 1;
  }
  const bool saved = write_cs2_settings(state, paths, true);
  if (stored != nullptr) *stored = saved;
  show_path(core.window(), "已配置路径:", paths.cs2_dir);
  return true;
}

std::string Cs2PathWrongText(const GameNames& names) {
  return gbk(" 请选择 ") + std::string(names.cs2_exe) +
         gbk(" 经检测无法找到 de_dust2.vpk 地图 您的路径是否选择正确? Steam用户游戏在 \r\n") +
         gbk(names.steam_games_hint_utf8) + "Counter-Strike Global Offensive/" +
         gbk(names.cs2_hint_tail_utf8);
}

void ChooseCs2Executable(Core& core) {
  AppState& state = core.state();
  Window& window = core.window();
  if (!window.RequireInitialised(state.initialised.load())) return;
  const std::optional<std::string> chosen =
      ask_executable(window, names::kCs2FileDialog, kGameNames.cs2_filter_utf8, kCs2ExeName);
  if (!chosen) return;
  if (!SetCs2Executable(core, *chosen)) {
    window.MessageBox(gbk("您的路径设置似乎不正确!"), Cs2PathWrongText(), gbk("取消"));
  }
}

bool CheckInstallation(const AppState& state) {
  std::string reference;
  {
    std::lock_guard lock(state.mutex);
    const GamePaths& game = state.game;
    const std::string& map_dir = game.cs2_target ? game.cs2_map_dir : game.csgo_map_dir;
    // An unknown folder must not send the test to the current directory.
    if (map_dir.empty()) return false;
    reference = game.cs2_target ? game.cs2_map_dir + std::string(kCs2ReferenceMap)
                                : game.csgo_map_dir + std::string(kCsgoReferenceMap);
  }
  // A missing CS2 map only fails the check, as for CS:GO: the callers tell the person and the
  // program goes on.
  return platform::file_exists(reference);
}

std::string InstallationWrongText(const GameNames& names) {
  return gbk("请选择 ") + std::string(names.csgo_exe) +
         gbk(" 未能找到  您的路径是否选择正确? \r\n原因 软件无法找到官方地图 de_dust2.bsp");
}

void ShowPathWrongDialog(Window& window) {
  window.MessageBox(gbk("您的路径设置似乎不正确!"), InstallationWrongText(), gbk("取消"));
}

void BindInstallation(Core& core) {
  Window& window = core.window();
  window.Bind(names::kChooseCsgo, [&core] { ChooseCsgoExecutable(core); });
  window.Bind(names::kChooseCs2, [&core] { ChooseCs2Executable(core); });
  window.clock().BindClock(names::kClockGameDetect, [&core] { DetectGames(core); });
}

}  // namespace brindle
