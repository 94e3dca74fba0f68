// Pre-download of upcoming maps: while it is on and a forum user is logged in, every 15 seconds
// the community's user-info service names the next map of the player's server and the maps
// nominated for the vote; each one not yet in the game is queued in the download queue, once per
// run whatever became of it.
//
// The switch itself and the start-up enabling after the automatic login change the clock; this
// feature serves its ticks. Threads: each tick's query runs on a worker of the core, and a tick
// that finds the previous query still running is skipped. The list of maps handled has a lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/feature.h"

namespace brindle {

class Core;

inline constexpr std::int64_t kPreDownloadPeriodMs = 15000;
inline constexpr int kPreDownloadTimeoutSeconds = 10;  // the query; the probes take the default
inline constexpr std::size_t kUserInfoMaxBytes = std::size_t{1} << 20;

// user_info_base_url + "/yunget/userinfo.php?data=" + steamid64 (URL-encoded where it would break
// the URL, so an id from the forum cannot add parameters of its own).
std::string UserInfoUrl(const std::string& user_info_base_url, const std::string& steamid64);

// Element 0 of the service's answer (GBK texts), as the members are treated.
struct UserInfo {
  std::string next_map;   // NextMap, blanks trimmed at both ends
  std::string prefix;     // downloadurlPreFix, every space removed
  std::string server;     // ListenServer, every space removed
  std::string nominated;  // NominateLists, blanks trimmed at both ends
};
// False when the text is not JSON; missing members read as empty text.
bool ParseUserInfo(std::string_view text, UserInfo& info);
// The nominated maps in order: none when the list is 3 bytes or shorter, else the items split at
// "," (blanks around each trimmed, empty ones left out).
std::vector<std::string> NominatedMaps(const std::string& nominated);
// A map name that may become a file name in the download cache and a URL's last part: not empty,
// at most 128 bytes, not starting with ".", no "..", and none of the characters the cache refuses
// (controls, path separators, ? < > * | : and the double quote) nor "#". Names in any script
// (GBK) are kept.
bool PreDownloadName(std::string_view map);

// What became of one map of a query.
enum class PreDownloadResult {
  kQueued,     // queued in the download queue
  kInstalled,  // already in the game's maps folder
  kNotFound,   // neither .bsp.bz2 nor .bsp on the mirror
  kSeen,       // handled earlier in this run
  kSkipped,    // no usable name or prefix
};
struct PreDownloadItem {
  std::string map;
  PreDownloadResult result = PreDownloadResult::kSkipped;
  std::string url;         // what was queued (or the last probe)
  std::uint64_t task = 0;  // the queued task
  bool nominated = false;  // from NominateLists, else NextMap
};
struct PreDownloadReport {
  bool answered = false;  // a JSON answer arrived
  std::string reason;     // why not (plain ASCII)
  UserInfo info;
  std::vector<PreDownloadItem> items;
};

class PreDownloadFeature final : public Feature {
 public:
  PreDownloadFeature() = default;
  ~PreDownloadFeature() override;

  const char* name() const override { return "pre-download"; }
  void Bind(Core& core) override;

  // A tick of the pre-download clock: the query on a worker, unless the last one still runs.
  // False when the tick was skipped.
  bool Tick();
  bool QueryRunning() const { return running_.load(); }
  // Whether ticks start queries (brindle-cli turns them off: it queries only when asked).
  void ServeTicks(bool on) { serve_ticks_ = on; }
  // One query on the calling thread.
  PreDownloadReport PreDownloadQuery();
  // Examines one map and queues it. Installed means m.bsp in the CS:GO maps folder, or, for a
  // player without a CS:GO folder, m.bsp or m.vpk in the CS2 maps folder; with neither folder
  // known the map is probed and queued all the same (the download waits in the cache).
  PreDownloadItem PreDownloadMap(const std::string& map, const std::string& prefix);

  // Marks `map` handled; false when it was already.
  bool MarkSeen(const std::string& map);
  std::vector<std::string> Seen() const;

 private:
  Core* core_ = nullptr;
  std::atomic<bool> running_{false};
  std::atomic<bool> serve_ticks_{true};
  mutable std::mutex seen_mutex_;
  std::set<std::string> seen_;  // PreDownloadSeen: never cleared while the program runs
};

// The local date and time as status texts show it: 2024-03-05 21:07:09.
std::string LocalDateTimeText();

}  // namespace brindle
