// The application core: the process-wide state, the window model and the worker threads
// together, and the start-up stages that bring them up. The Qt program, brindle-cli and the tests
// each build one Core over their own ports.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/workers.h"
#include "view/window.h"

namespace brindle {

struct CommandLine;

class Core {
 public:
  Core(AppState& state, Window& window);
  ~Core();
  Core(const Core&) = delete;
  Core& operator=(const Core&) = delete;

  AppState& state() { return state_; }
  Window& window() { return window_; }
  Workers& workers() { return workers_; }

  // data_dir + "/Config2.ini"
  std::string SettingsPath() const;
  std::string ReadSetting(const std::string& key) const;
  void WriteSetting(const std::string& key, const std::string& value) const;

  // Process entry: folders and endpoints from the command line, libcurl initialised. False
  // (with a message on stderr) when the endpoints file cannot be read.
  bool Prepare(const CommandLine& command_line);

  // Main-window creation. False when a component is missing: the message box has been shown
  // and the program must end with exit code 0.
  bool OnMainWindowCreated();
  // The one-shot start-up clock: starts the background work and marks the program initialised.
  void OnStartupTimer();
  // One tick of the game-detection clock.
  void OnGameDetectTimer();

  // The start-up settings read and the option handlers of the main window.
  void LoadSettings();
  void OnLaunchModeChosen(int mode);  // 1..5
  void OnRegionChosen(int region);    // 1 or 2
  void OnPreDownloadSwitch(bool on);

  // Feature hooks: later subsystems plug their start-up work in here before start-up runs.
  std::vector<std::function<void()>> prepare_dictionary;    // main-window creation, step 8
  std::vector<std::function<void()>> startup_starters;      // start-up clock: version check, query
  std::vector<std::function<void()>> init_thread_steps;     // the initialisation thread, in order
  std::function<void()> patch_check;                        // settings read found a CS:GO folder
  std::function<void()> pre_download_tick;                  // the pre-download clock
  // Run after a navigation button switched to its page (server list load, favourites reload…).
  std::array<std::function<void()>, 5> page_shown;

  // Whether main-window creation stops when a component file is missing. The window always
  // needs them; brindle-cli only for the commands that install files.
  bool require_components = true;

  // Component files whose absence stops start-up, in check order.
  std::vector<std::string> ComponentFiles() const;
  // The start-up message naming the missing extractor (GBK).
  std::string MissingComponentMessage() const;

  // Empties the download cache (files directly in it; sub-folders are left alone).
  void EmptyDownloadCache();

 private:
  AppState& state_;
  Window& window_;
  Workers workers_;
};

// The forum's host name, taken from its base URL ("https://bbs.x.example/" -> "bbs.x.example").
std::string HostOfUrl(const std::string& url);

}  // namespace brindle
