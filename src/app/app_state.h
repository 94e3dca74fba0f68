// The program's state record: folders, service addresses, user agents, mirror lines,
// game paths, settings flags and the login state. Texts are GBK. Each program (and each test)
// owns one and hands it to its Core; it lives until the Core is gone.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace brindle {

struct GamePaths {
  std::string csgo_dir;           // CSGOPath: folder of the CS:GO executable, trailing separator
  std::string csgo_dir_copy;      // CSGOPathCMD
  std::string csgo_map_dir;       // CSGOMapPath = csgo_dir + "csgo/maps/"
  std::string csgo_map_dir_copy;  // CSGOMapPathCMD
  std::string cs2_dir;            // CS2Path: folder of the CS2 executable
  std::string cs2_dir_copy;       // CS2PathCMD
  std::string cs2_map_dir;        // CS2MapPath
  std::string cs2_map_dir_copy;   // CS2MapPathCMD
  int cs2_manual = 0;             // CS2Path_manual_operation
  int csgo_manual = 0;            // CSGOPath_manual_operation
  bool cs2_target = false;        // the selected server is a CS2 server
};

// The forum login (empty while logged out). user_auth is a credential: it goes into the
// requests that need it and nowhere else (no status text, log or printed output).
struct LoginState {
  std::string uid;  // decimal forum user id; logged in when it reads as a number above 0
  std::string username;
  std::string user_auth;
  std::string steamid64;
  std::string steamid32;
  std::int64_t steamaccountid = 0;
};

struct AppState {
  std::string program_dir;         // no trailing separator
  std::string data_dir;            // program_dir + "/qdata"
  std::string download_cache_dir;  // program_dir + "/download/data/"

  std::string request_user_agent;
  std::string download_user_agent;

  std::string software_base_url;
  std::string server_list_base_url;
  std::string favourites_base_url;
  std::string forum_base_url;
  std::string user_info_base_url;

  std::array<std::string, 3> mirror_host;  // us1, us2, telecom
  std::array<bool, 3> mirror_https{false, false, false};
  std::string mirror_primary_host;  // map mirror host names the mirror rewrite replaces
  std::string mirror_secondary_host;
  std::string operator_uid;

  int local_version = 10070;
  std::string machine_id;
  std::atomic<bool> initialised{false};

  GamePaths game;
  int cs2_join_no_tip = 0;
  int launcher_login_type = 0;
  std::string auto_login_discuz;
  bool hide_un7z = false;

  LoginState login;

  // Guards the fields that workers write after start-up (remote configuration, login, game
  // paths) against the UI thread's reads.
  mutable std::mutex mutex;
};

// The settings file Config2.ini in the data folder. Empty while the data folder is unknown, so
// nothing can be read from or written to a file in the current or root folder.
std::string SettingsFilePath(const AppState& state);

}  // namespace brindle
