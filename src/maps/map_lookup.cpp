#include "maps/map_lookup.h"

#include <mutex>

#include "app/app_state.h"
#include "app/core.h"
#include "foundation/encoding.h"
#include "foundation/http_client.h"
#include "foundation/http_settings.h"
#include "foundation/json_document.h"
#include "maps/install_rules.h"
#include "platform/gbk_text.h"
#include "platform/platform.h"

namespace brindle {

namespace {

constexpr int kMapListTimeoutSeconds = 20;

bool SameMapName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && GbkContainsIgnoreCase(a, b);
}

}  // namespace

std::string ServiceFailureText(int status, const HttpTransferInfo& transfer) {
  switch (transfer.curl_code) {
    case CURLE_OK:
      break;
    case CURLE_OPERATION_TIMEDOUT:
      return gbk("连接超时");
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
      return gbk("无法连接到服务");
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
      return gbk("安全连接失败");
    default:
      return gbk("连接中断");
  }
  if (status < 200 || status > 299) return gbk("服务返回错误 HTTP ") + std::to_string(status);
  return gbk("返回的数据无法读取");
}

bool MapInstalled(AppState& state, const std::string& map) {
  std::string dir;
  {
    std::lock_guard lock(state.mutex);
    dir = state.game.csgo_map_dir;
  }
  return !dir.empty() && UsableMapName(map) && platform::file_exists(dir + map + ".bsp");
}

std::optional<MapRecord> FindMapInGroups(Core& core, const std::string& map, std::string* reason) {
  std::string base;
  {
    std::lock_guard lock(core.state().mutex);
    base = core.state().software_base_url;
  }
  std::string failure;
  bool any_read = false;
  for (const MapGroup& group : MapGroups()) {
    if (core.workers().Stopping()) break;
    int status = 0;
    HttpTransferInfo info;
    const Bytes body = http_request(base + "/mapdata/" + group.key + ".html",
                                    {.extra_headers = http_settings().request_user_agent,
                                     .timeout_seconds = kMapListTimeoutSeconds,
                                     .cancel = &core.workers().stop_flag()},
                                    &status, &info);
    // A cut or failed list could name anything; it is no list.
    if (status != 200 || !info.complete()) {
      failure = ServiceFailureText(status, info);
      continue;
    }
    const JsonStopScope stop(core.workers().stop_flag());
    const auto records = ReadMapList(utf8_to_gbk_counted(body));
    if (!records) {
      failure = ServiceFailureText(status, info);
      continue;
    }
    any_read = true;
    for (const MapRecord& record : *records) {
      if (SameMapName(record.mapname, map) && UsableMapName(record.mapname) &&
          !record.download.empty()) {
        return record;
      }
    }
  }
  if (reason != nullptr) {
    *reason = any_read ? gbk("地图列表中没有这张地图") : gbk("无法获取地图列表(") + failure + ")";
  }
  return std::nullopt;
}

}  // namespace brindle
