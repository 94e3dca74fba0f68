// The application core: the process-wide state, the window model and the worker threads
// together, and the start-up stages that bring them up. The Qt program, brindle-cli and the tests
// each build one Core over their own ports.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/app_state.h"
#include "app/feature.h"
#include "app/workers.h"
#include "view/window.h"

namespace brindle {

struct CommandLine;

// Files start-up needs below the data folder, per system: the extractor and, on Windows, the
// 7-Zip library it loads. libcurl is linked into the programs, so no libcurl library is needed.
inline constexpr std::string_view kWindowsComponents[] = {"7zip\\q_unbz2.exe", "7zip\\7z.dll"};
inline constexpr std::string_view kLinuxComponents[] = {"7zip/q_unbz2"};
// `data_dir` + `separator` + each file, in check order.
std::vector<std::string> ComponentFilesIn(const std::string& data_dir, char separator,
                                          std::span<const std::string_view> files);

class Core {
 public:
  Core(AppState& state, Window& window);
  ~Core();
  Core(const Core&) = delete;
  Core& operator=(const Core&) = delete;

  AppState& state() { return state_; }
  Window& window() { return window_; }
  Workers& workers() { return workers_; }

  // The settings file of this core's program folder (SettingsFilePath of the state).
  std::string SettingsPath() const;
  std::string ReadSetting(const std::string& key) const;
  void WriteSetting(const std::string& key, const std::string& value) const;

  // Process entry: folders and endpoints from the command line, libcurl initialised. False
  // (with a message on stderr) when the endpoints file cannot be read.
  bool Prepare(const CommandLine& command_line);

  // Main-window creation. False when a component is missing or (for the window) another program
  // owns the program folder: the message box has been shown and the program must end with exit
  // code 0.
  bool OnMainWindowCreated();
  // The one-shot start-up clock: starts the background work and marks the program initialised.
  void OnStartupTimer();
  // One tick of the game-detection clock.
  void OnGameDetectTimer();

  // The start-up settings read and the option handlers of the main window.
  // Puts the game folders read from the settings into the path label.
  void ShowStoredGamePaths();
  void LoadSettings();
  void OnLaunchModeChosen(int mode);  // 1..5
  void OnRegionChosen(int region);    // 1 or 2
  void OnPreDownloadSwitch(bool on);
  void OnAutoExtractSwitch(bool on);  // 自动解压至游戏: kept in the settings file

  // Registers a feature and binds it to the window at once. Features take part in start-up and
  // page switches in registration order. Register before main-window creation.
  void AddFeature(std::unique_ptr<Feature> feature);
  const std::vector<std::unique_ptr<Feature>>& features() const { return features_; }
  // The registered feature of type T, or nullptr.
  template <typename T>
  T* FindFeature() const {
    for (const auto& feature : features_) {
      if (auto* found = dynamic_cast<T*>(feature.get())) return found;
    }
    return nullptr;
  }

  // A navigation button's handler: switches to `page` (names::kDownloadPage …) once start-up is
  // complete and tells every feature. The player panel belongs to the page it was opened on.
  void ShowPage(int page);

  // Whether main-window creation stops when a component file is missing. The window always
  // needs them; brindle-cli only for the commands that install files.
  bool require_components = true;

  // Component files whose absence stops start-up, in check order (this system's).
  std::vector<std::string> ComponentFiles() const;
  // The start-up message naming the missing extractor (GBK).
  std::string MissingComponentMessage() const;

  // Empties the download cache (files directly in it; sub-folders are left alone).
  void EmptyDownloadCache();
  // Removes the temporary files that atomic writes of a killed program left in the data folder,
  // the browser's profile folder and the games' map folders (platform::remove_stale_temp_files:
  // a writer that still runs keeps its file). Returns how many went.
  int RemoveStaleTempFiles();

  // One program folder has one owner at a time: main-window creation takes the lock file
  // (FolderLockPath) and holds it until the core is gone. What a program does when another owner
  // holds it: the window ends after saying so; brindle-cli goes on without the folder, so it
  // neither empties nor writes the download cache.
  enum class FolderClaim { kOwnOrEnd, kOwnOrShare };
  void SetFolderClaim(FolderClaim claim) { claim_ = claim; }
  // True once main-window creation took the lock (or no lock file could be made at all, where
  // there is nothing to share with).
  bool OwnsProgramFolder() const { return owns_folder_.load(); }
  // Gives the folder up before the core is gone, for a program that hands it to the next.
  void ReleaseProgramFolder();
  std::string FolderLockPath() const;
  // The message the window shows when another program owns the folder (GBK).
  static std::string FolderInUseMessage();

 private:
  // Takes the folder lock as the claim says; false when the program must end.
  bool ClaimProgramFolder();

  AppState& state_;
  Window& window_;
  Workers workers_;
  std::vector<std::unique_ptr<Feature>> features_;
  FolderClaim claim_ = FolderClaim::kOwnOrEnd;
  std::atomic<bool> owns_folder_{false};
  std::intptr_t folder_lock_ = -1;      // platform::FileHandle of the lock file
  std::intptr_t folder_dir_lock_ = -1;  // and of the download folder, where the system locks one
};

// The forum's host name, taken from its base URL ("https://bbs.x.example/" -> "bbs.x.example").
std::string HostOfUrl(const std::string& url);

}  // namespace brindle
