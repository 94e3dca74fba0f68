// brindle-cli info: the process-wide state after start-up (folders, versions, machine identity,
// services and the games found).
#include <nlohmann/json.hpp>

#include "app/app_state.h"
#include "app/core.h"
#include "app/installation.h"
#include "cli/command.h"
#include "foundation/encoding.h"

namespace brindle {
namespace {

int RunInfo(CliContext& ctx) {
  AppState& s = ctx.core.state();
  // One detection pass, as the game-detection clock would make at its first tick.
  ctx.window.RunOnUi([&] { ctx.core.OnGameDetectTimer(); });
  std::lock_guard lock(s.mutex);
  auto u = [](const std::string& gbk_text) { return gbk_to_utf8(gbk_text); };
  nlohmann::ordered_json j;
  j["program_dir"] = u(s.program_dir);
  j["data_dir"] = u(s.data_dir);
  j["download_cache_dir"] = u(s.download_cache_dir);
  j["local_version"] = s.local_version;
  j["machine_id"] = s.machine_id;
  j["request_user_agent"] = u(s.request_user_agent);
  j["download_user_agent"] = u(s.download_user_agent);
  j["software_base_url"] = u(s.software_base_url);
  j["server_list_base_url"] = u(s.server_list_base_url);
  j["favourites_base_url"] = u(s.favourites_base_url);
  j["forum_base_url"] = u(s.forum_base_url);
  j["mirror_host"] = {u(s.mirror_host[0]), u(s.mirror_host[1]), u(s.mirror_host[2])};
  j["mirror_https"] = {s.mirror_https[0], s.mirror_https[1], s.mirror_https[2]};
  j["csgo_dir"] = u(s.game.csgo_dir);
  j["csgo_map_dir"] = u(s.game.csgo_map_dir);
  j["cs2_dir"] = u(s.game.cs2_dir);
  j["cs2_map_dir"] = u(s.game.cs2_map_dir);
  j["csgo_manual"] = s.game.csgo_manual;
  j["cs2_manual"] = s.game.cs2_manual;
  if (ctx.json) {
    PrintJson(ctx, j);
    return 0;
  }
  for (const auto& [key, value] : j.items()) {
    std::string shown = value.is_string() ? value.get<std::string>() : value.dump();
    std::fprintf(ctx.out, "%-22s %s\n", key.c_str(), shown.c_str());
  }
  return 0;
}

}  // namespace

BRINDLE_CLI_COMMAND("info", "print the state after start-up (folders, versions, machine id, games)",
                    RunInfo);

}  // namespace brindle
