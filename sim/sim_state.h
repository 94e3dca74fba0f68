// What every route of brindle-sim shares: where its data lives, its own addresses, the request
// counts and the stop flag that ends slow and stalling replies.
#pragma once

#include <httplib.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace brindle::sim {

class MapMirror;

class SimState {
 public:
  std::string data_dir;    // folder served under /files/ (empty: none)
  std::string http_base;   // "http://127.0.0.1:PORT", set once listening
  std::string https_base;  // "https://127.0.0.1:PORT" or empty
  std::string ca_file;     // the certificate clients must trust for https_base

  void count(const std::string& path);
  std::map<std::string, std::int64_t> counts() const;
  std::int64_t count_of(const std::string& path) const;
  void reset_counts();
  // The headers of the last request for each path, one "Name: value" line each (/test/headers).
  void remember_headers(const httplib::Request& request);
  std::string last_headers(const std::string& path) const;

  // --servers N: the server list answers with N generated servers instead of its data file.
  std::int64_t generated_servers = -1;
  // The forum's plug-ins share /forum/plugin.php and are told apart by their `id` parameter;
  // each service registers its plug-ins here (install_forum_plugin_routes serves them).
  using ForumPlugin = std::function<void(const httplib::Request&, httplib::Response&)>;
  std::map<std::string, ForumPlugin> forum_plugins;
  // The map groups and the mirror (map_routes.cpp); set before the listeners start.
  std::shared_ptr<MapMirror> map_mirror;

  bool stopping() const { return stopping_.load(); }
  void request_stop() { stopping_.store(true); }
  // Waits `ms` milliseconds in short steps; false as soon as the sim is stopping.
  bool pause_ms(std::int64_t ms) const;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::int64_t> counts_;
  std::map<std::string, std::string> last_headers_;
  std::atomic<bool> stopping_{false};
};

// The whole file into `out`; false (and `out` empty) when it cannot be read.
bool read_whole_file(const std::string& path, std::string& out);

// Query parameter as an integer clamped to [low, high]; `fallback` when absent or not a number.
std::int64_t param_int(const httplib::Request& request, const char* name, std::int64_t fallback,
                       std::int64_t low, std::int64_t high);

// A query parameter as a PHP service reads it: the raw query split at "&" first, then the value
// percent-decoded ("+" a blank), so an encoded "&" stays inside the value. (The parsed params
// decode before they split.) Empty when absent.
std::string raw_query_value(const httplib::Request& request, const std::string& name);

// Routes of the scripted behaviours (/test/...) and of the data folder (/files/...).
void install_test_routes(httplib::Server& server, SimState& state);
void install_file_routes(httplib::Server& server, SimState& state);
// The favourites cloud (/favourites/json.php).
void install_favourites_routes(httplib::Server& server, SimState& state);

// The community's server list (/serverlist/api/servers), the forum's plug-in entry point
// (/forum/plugin.php) and the forum's map name list plug-in (community_routes.cpp).
void install_server_list_routes(httplib::Server& server, SimState& state);
void install_forum_plugin_routes(httplib::Server& server, SimState& state);
void install_forum_map_list_routes(httplib::Server& server, SimState& state);
// The software service's map group lists (/software/mapdata/) and the map mirror (/maps/).
void install_map_routes(httplib::Server& server, SimState& state);
// The patch (/software/model_version.php, /software/pifu.txt, /maps/patch/) and the cloud
// user-info service (/cloud/yunget/userinfo.php), scriptable under /test/ (patch_routes.cpp).
void install_patch_routes(httplib::Server& server, SimState& state);

}  // namespace brindle::sim
