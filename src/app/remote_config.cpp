#include "app/remote_config.h"

#include "app/app_state.h"
#include "app/core.h"
#include "foundation/encoding.h"
#include "foundation/http_client.h"
#include "foundation/http_settings.h"
#include "foundation/json_document.h"
#include "foundation/settings_file.h"
#include "view/control_names.h"
#include "view/window.h"

namespace brindle {
namespace {

bool Printable(unsigned char c) { return c > 0x20 && c < 0x7F; }

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != prefix[i]) return false;
  }
  return true;
}

bool HostChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-' || c == '_';
}

bool HexOrColon(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' ||
         c == '.';
}

// One object of the document, read by key.
class ObjectReader {
 public:
  ObjectReader(const JsonDocument& doc, int index)
      : doc_(doc), prefix_("[" + std::to_string(index) + "].") {}

  // A text key: only a JSON string counts.
  std::string Text(const char* key) const {
    const std::string path = prefix_ + key;
    if (doc_.value_type(path) != kJsonString) return {};
    return doc_.get_value(path);
  }
  // An integer key: a number or a string, by the text-to-integer rule; anything else 0.
  int Int(const char* key) const {
    const std::string path = prefix_ + key;
    const int type = doc_.value_type(path);
    if (type != kJsonNumber && type != kJsonString) return 0;
    return TextToInt(doc_.get_value(path));
  }

 private:
  const JsonDocument& doc_;
  std::string prefix_;
};

int LineIndex(const std::string& servername) {
  for (int i = 0; i < static_cast<int>(kMirrorLineNames.size()); ++i) {
    if (servername == kMirrorLineNames[static_cast<std::size_t>(i)]) return i;
  }
  return -1;
}

void ApplyObject(Core& core, const ObjectReader& o, RemoteConfiguration& config) {
  AppState& state = core.state();
  Controls& controls = core.window().controls();

  // Global keys: each replaces its value only when long enough and well formed.
  const std::string request_agent = o.Text("UserAgentRequest");
  const std::string download_agent = o.Text("UserAgentDownload");
  const std::string server_list = o.Text("serverlisturl");
  const std::string favourites = o.Text("userfavorite");
  {
    std::lock_guard lock(state.mutex);
    if (request_agent.size() > 5 && IsHeaderSafe(request_agent)) {
      state.request_user_agent = request_agent;
      set_request_user_agent(request_agent);
    }
    if (download_agent.size() > 5 && IsHeaderSafe(download_agent)) {
      state.download_user_agent = download_agent;
      set_download_user_agent(download_agent);
    }
    if (server_list.size() > 5 && IsServiceUrl(server_list))
      state.server_list_base_url = server_list;
    if (favourites.size() > 5 && IsServiceUrl(favourites)) state.favourites_base_url = favourites;
  }
  auto keep = [](std::string& field, std::string value) {
    if (!value.empty()) field = std::move(value);
  };
  keep(config.pre_download_map_address, o.Text("PreDownloadMapAddress"));
  keep(config.server_list_url_v2, o.Text("serverlisturlv2"));
  keep(config.notification_message, o.Text("notification_Message"));
  keep(config.download_map_engine, NormaliseEngine(o.Text("downloadMapEngine")));
  keep(config.download_model_engine, NormaliseEngine(o.Text("downloadModelEngine")));
  keep(config.pre_download_map_engine, NormaliseEngine(o.Text("PreDownloadMapEngine")));
  config.steam_run_type = o.Int("steamruntype");
  std::string options = o.Text("csgo_Launch_Options");
  if (options.size() <= 2) options.clear();
  keep(config.csgo_launch_options, std::move(options));
  keep(config.foot_label_color, o.Text("foot_lable_color"));
  config.is_only_original = o.Int("IsOnlyOriginal");

  // Per-line keys, in the order select, buttonDisable, thread counts, dladdress, ishttps.
  const int line = LineIndex(o.Text("servername"));
  if (line < 0) return;
  const char* radio = MirrorLineRadio(line);
  if (o.Int("select") == 1) controls.SetChecked(radio, true);  // the others of the group clear
  if (o.Int("buttonDisable") == 1) controls.SetEnabled(radio, false);
  MirrorLineSettings& settings = config.lines[static_cast<std::size_t>(line)];
  const int origin = o.Int("origin_thread_num");
  if (origin >= 1 && origin <= 24) settings.origin_threads = origin;
  const int sum = o.Int("sum_thread_num");
  if (sum >= 1 && sum <= 24) settings.sum_threads = sum;
  keep(settings.button_name, o.Text("buttonname"));
  const std::string address = o.Text("dladdress");
  std::lock_guard lock(state.mutex);
  if (address.size() >= 10 && IsMirrorAddress(address)) {
    state.mirror_host[static_cast<std::size_t>(line)] = address;
  }
  // A 0 never clears https set by an earlier object.
  if (o.Int("ishttps") == 1) state.mirror_https[static_cast<std::size_t>(line)] = true;
}

}  // namespace

const char* MirrorLineRadio(int line) {
  switch (line) {
    case 0:
      return names::kMirror1;
    case 1:
      return names::kMirror3;
    case 2:
      return names::kMirror2;
    default:
      return nullptr;
  }
}

std::string RemoteConfigurationUrl(const std::string& software_base_url) {
  return software_base_url + "/resconfig.html";
}

bool IsHeaderSafe(std::string_view text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) return false;
  }
  return true;
}

bool IsServiceUrl(std::string_view text) {
  std::size_t rest;
  if (StartsWithIgnoreCase(text, "https://")) {
    rest = 8;
  } else if (StartsWithIgnoreCase(text, "http://")) {
    rest = 7;
  } else {
    return false;
  }
  if (rest >= text.size() || text[rest] == '/' || text[rest] == ':') return false;  // no host
  for (unsigned char c : text) {
    if (!Printable(c)) return false;
  }
  return true;
}

bool IsMirrorAddress(std::string_view text) {
  std::size_t i = 0;
  if (!text.empty() && text[0] == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos || close < 3) return false;
    for (std::size_t k = 1; k < close; ++k) {
      if (!HexOrColon(text[k])) return false;
    }
    i = close + 1;
  } else {
    while (i < text.size() && HostChar(text[i])) ++i;
    if (i == 0) return false;
  }
  if (i == text.size()) return true;
  if (text[i] != ':' || i + 1 == text.size() || text.size() - i - 1 > 5) return false;
  int port = 0;
  for (std::size_t k = i + 1; k < text.size(); ++k) {
    if (text[k] < '0' || text[k] > '9') return false;
    port = port * 10 + (text[k] - '0');
  }
  return port >= 1 && port <= 65535;
}

std::string NormaliseEngine(std::string_view text) {
  if (text == "1" || text == "LIBCURL") return "LIBCURL";
  if (text == "2" || text == "Thunder") return "Thunder";
  return std::string(text);
}

RemoteConfiguration ApplyRemoteConfigurationText(Core& core, std::string_view gbk_text) {
  RemoteConfiguration config;
  if (gbk_text.empty()) return config;
  JsonDocument doc;
  if (!doc.parse(gbk_text)) return config;
  config.parsed = true;
  config.objects = doc.count("");
  // Each object is applied before the next is read, so the last valid value wins.
  for (int i = 0; i < config.objects; ++i) {
    if (core.workers().Stopping()) break;
    ApplyObject(core, ObjectReader(doc, i), config);
  }
  return config;
}

RemoteConfiguration ApplyRemoteConfiguration(Core& core) {
  std::string url;
  {
    std::lock_guard lock(core.state().mutex);
    url = RemoteConfigurationUrl(core.state().software_base_url);
  }
  HttpRequestArgs args;
  args.max_body_bytes = kRemoteConfigurationMaxBytes;
  args.cancel = &core.workers().stop_flag();
  int status = 0;
  HttpTransferInfo info;
  const Bytes body = http_request(url, args, &status, &info);
  // A missing document, an error page or a cut answer keeps every default.
  if (status != 200 || !info.complete()) return {};
  const JsonStopScope stop(core.workers().stop_flag());
  return ApplyRemoteConfigurationText(core, utf8_to_gbk(body));
}

void RemoteConfigurationFeature::OnInitThread(Core& core) {
  RemoteConfiguration config = ApplyRemoteConfiguration(core);
  {
    std::lock_guard lock(mutex_);
    last_ = std::move(config);
    applied_ = true;
  }
  applied_cv_.notify_all();
}

bool RemoteConfigurationFeature::WaitApplied(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return applied_cv_.wait_for(lock, limit, [this] { return applied_; });
}

RemoteConfiguration RemoteConfigurationFeature::last() const {
  std::lock_guard lock(mutex_);
  return last_;
}

}  // namespace brindle
