// The community's remote configuration: one JSON document on the software service
// ("/resconfig.html") that steers deployed programs: which mirror lines the map downloads use and
// which is offered or pre-selected, the two user agents, and the server-list and favourites
// service addresses. Fetched once per run by the initialisation thread, before the automatic
// login. Every value has a built-in default; a missing, unreadable or unparsable document keeps
// them all, and nothing is ever shown to the person.
//
// The document is untrusted input. Beyond the length rules of each key:
//   - a text key counts only when it holds a JSON string (a number, object, array or boolean
//     there reads as absent); an integer key takes a number or a string of digits, anything
//     else reads as 0;
//   - a mirror address (`dladdress`) must be a bare host or host:port (letters, digits, ".",
//     "-", "_", or a bracketed IPv6 address; port 1-65535): no scheme, path, blank or control
//     character, since it is put into download URLs in place of a host name;
//   - a service address (`serverlisturl`, `userfavorite`) must be an http:// or https:// URL of
//     printable ASCII without blanks;
//   - a user agent must hold no control characters (it becomes a request header line).
// A value that fails these is ignored like a too-short one: the previous value stays.
// The answer is read up to kRemoteConfigurationMaxBytes; a longer one counts as unreadable.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

#include "app/feature.h"

namespace brindle {

class Core;

// The mirror lines in their fixed order and the radio button of each (us2 is 节点3, telecom 节点2).
inline constexpr std::array<const char*, 3> kMirrorLineNames = {"us1", "us2", "telecom"};
const char* MirrorLineRadio(
    int line);  // names::kMirror1 / kMirror3 / kMirror2; nullptr outside 0..2

inline constexpr std::size_t kRemoteConfigurationMaxBytes = std::size_t{8} << 20;

// Per-line values that are kept but steer nothing.
struct MirrorLineSettings {
  int origin_threads = 1;  // origin_thread_num when 1..24
  int sum_threads = 1;     // sum_thread_num when 1..24
  std::string button_name;
};

// What one application of the document read, besides what it changed in the state and the
// window. The keys below the lines are read and normalised; no behaviour depends on them.
struct RemoteConfiguration {
  bool parsed = false;  // the document arrived and read as JSON
  int objects = 0;      // members of the root array
  std::array<MirrorLineSettings, 3> lines;
  std::string pre_download_map_address;
  std::string server_list_url_v2;
  std::string notification_message;
  std::string download_map_engine;  // "LIBCURL", "Thunder" or as given
  std::string download_model_engine;
  std::string pre_download_map_engine;
  int steam_run_type = 0;
  std::string csgo_launch_options;  // emptied when 2 bytes or shorter
  std::string foot_label_color;
  int is_only_original = 0;
};

// software_base_url + "/resconfig.html".
std::string RemoteConfigurationUrl(const std::string& software_base_url);

// Fetches the document and applies it (state fields, the process-wide user agents, the three
// mirror radio buttons). Silent; blocks for the request (it ends early when the core's workers
// are asked to stop).
RemoteConfiguration ApplyRemoteConfiguration(Core& core);
// The same for a document already fetched and decoded (GBK text).
RemoteConfiguration ApplyRemoteConfigurationText(Core& core, std::string_view gbk_text);

// The checks of the untrusted values (see above).
bool IsMirrorAddress(std::string_view text);
bool IsServiceUrl(std::string_view text);
bool IsHeaderSafe(std::string_view text);
// "1" or "LIBCURL" -> "LIBCURL", "2" or "Thunder" -> "Thunder", anything else unchanged.
std::string NormaliseEngine(std::string_view text);

// The remote configuration as a feature: applied on the initialisation thread, after the map
// name dictionary and before the automatic login.
class RemoteConfigurationFeature final : public Feature {
 public:
  const char* name() const override { return "remote-configuration"; }
  void Bind(Core& /*core*/) override {}
  void OnInitThread(Core& core) override;

  // What the last application read.
  RemoteConfiguration last() const;
  // Waits until the initialisation thread has applied the document (or found none), as a
  // download must before it picks a mirror line. False when that did not happen within `limit`.
  bool WaitApplied(std::chrono::milliseconds limit);

 private:
  mutable std::mutex mutex_;
  std::condition_variable applied_cv_;
  bool applied_ = false;
  RemoteConfiguration last_;
};

}  // namespace brindle
