// The community's server list and the forum's plug-in entry point with its map name list.
//
//   /serverlist/api/servers?game=csgo   servers.json of the data folder (UTF-8, as the service
//                                        sends it), or --servers N generated servers, or 40
//                                        generated ones when there is neither
//   /serverlist/fault/KIND/api/servers  broken answers: notjson, status500, empty, object,
//                                        members (missing and non-text members), cut
//   /serverlist/status/CODE/api/servers the whole list, with status CODE (a 404 or 500 page that
//                                        happens to hold the list)
//   /serverlist/short/N/api/servers     the whole list announced N bytes longer than it is: every
//                                        byte of the JSON arrives, then the connection closes
//   /forum/plugin.php?id=…              the plug-in registered under that id (404 otherwise)
//   /forum/status/CODE/plugin.php       any plug-in answering with status CODE
//   /forum/fault/KIND/plugin.php        notjson or cut, for any plug-in
//   plug-in tarn_core_api:MapLists      map_names.json of the data folder (UTF-8) sent as GBK,
//                                        or the names of the generated servers' maps
#include <algorithm>
#include <array>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "foundation/encoding.h"
#include "sim_state.h"

namespace brindle::sim {
namespace {

const char* const kJson = "application/json";

struct Mode {
  const char* tag;    // the name prefix a player sees
  const char* title;  // UTF-8
  std::array<const char*, 3> maps;
};

// Names as the community writes them, so every category button finds its servers.
const std::array<Mode, 16> kModes = {{
    {"[僵尸逃跑]",
     "Brindle 僵尸逃跑 ZE 新图速递",
     {"ze_fapescape_rote", "ze_mako_reactor_v5_3", "ze_lotr_minas_tirith_v2_2fix"}},
    {"[混战]", "Brindle 混战 5v5 休闲", {"de_dust2", "de_mirage", "de_inferno"}},
    {"[KZ]", "Brindle KZ 连跳 攀岩", {"kz_bhop_badges", "kz_cellblock_v2", "bhop_arcane_v1"}},
    {"[Surf]", "Brindle Surf 滑翔 新手", {"surf_utopia_v3", "surf_kitsune", "surf_mesa_revo"}},
    {"[TTT]", "Brindle 匪影谍镇 TTT", {"ttt_minecraft_b5", "ttt_67thway_v14", "ttt_clue_se"}},
    {"[越狱]",
     "Brindle JailBreak 越狱",
     {"jb_undertale_v1e", "jb_clouds_final5", "jb_minecraft_v2"}},
    {"[躲猫猫]", "Brindle HNS 躲猫猫", {"hns_floppytown", "cs_office", "hns_mall"}},
    {"[1v1]", "Brindle 1v1 Arena 竞技场", {"am_redline", "am_grass2", "am_lego"}},
    {"[AWP]", "Brindle AWP 狙击 乐高", {"awp_lego_2", "awp_india", "awp_bhop_rocket"}},
    {"[刀战]", "Brindle 35HP 刀战", {"35hp_2", "35hp_lego", "35hp_deathrun"}},
    {"[娱乐]",
     "Brindle MG 娱乐对抗 闯关",
     {"mg_multigames_v1", "mg_course_final", "mg_lego_multigames"}},
    {"[死斗]", "Brindle 死斗 DM 练枪", {"aim_redline", "de_dust2", "aim_map"}},
    {"[挂机]", "Brindle 挂机 gjml Idle", {"gj_achievement", "idle_fy", "gj_idle_v2"}},
    {"[其他]", "Brindle 躲避球 Dodgeball", {"dodgeball_tennis", "hg_arena_v2", "dodgeball_ice"}},
    {"[死亡奔跑]", "Brindle 死亡奔跑 deathrun", {"dr_minecraft_v3", "deathrun_gallery", "dr_lego"}},
    {"[竞技]", "Brindle 竞技 满十开 matchpug", {"de_nuke", "de_ancient", "de_overpass"}},
}};

const std::array<const char*, 6> kRegions = {"华东 上海", "华南 广州", "华北 北京",
                                             "西南 成都", "香港",      "华中 武汉"};

// The map names of the generated servers with their Chinese names.
const std::array<std::pair<const char*, const char*>, 20> kMapNames = {{
    {"ze_fapescape_rote", "逃离神庙"},
    {"ze_mako_reactor_v5_3", "魔晄反应炉"},
    {"ze_lotr_minas_tirith_v2_2fix", "米那斯提力斯"},
    {"de_dust2", "炙热沙城2"},
    {"de_mirage", "荒漠迷城"},
    {"de_inferno", "炼狱小镇"},
    {"kz_bhop_badges", "徽章连跳"},
    {"surf_utopia_v3", "乌托邦滑翔"},
    {"surf_kitsune", "狐狸滑翔"},
    {"ttt_minecraft_b5", "我的世界"},
    {"jb_undertale_v1e", "传说之下监狱"},
    {"hns_floppytown", "软软小镇"},
    {"cs_office", "办公室"},
    {"awp_lego_2", "乐高狙击2"},
    {"35hp_2", "35血刀战"},
    {"mg_multigames_v1", "多人游戏"},
    {"aim_redline", "红线练枪"},
    {"dr_minecraft_v3", "我的世界死亡奔跑"},
    {"de_nuke", "核子危机"},
    {"de_overpass", "死亡游乐园"},
}};

std::string generated_servers(std::int64_t count) {
  nlohmann::json list = nlohmann::json::array();
  for (std::int64_t i = 0; i < count; ++i) {
    const Mode& mode = kModes[static_cast<std::size_t>(i) % kModes.size()];
    const auto n = static_cast<std::uint64_t>(i);
    nlohmann::json server;
    server["name"] = std::string(mode.tag) + " " + mode.title + " #" + std::to_string(i + 1);
    server["map_name"] = mode.maps[(n / kModes.size()) % mode.maps.size()];
    std::string comments = std::string(kRegions[n % kRegions.size()]) + " | Brindle社区";
    if (n % 7 == 3) comments = "[cs2] " + comments;
    server["comments"] = comments;
    server["players"] = static_cast<int>((n * 37) % 65);
    server["max_players"] = 64;
    // 198.18.0.0/15 is set aside for benchmarks: one address per server.
    server["ip"] = "198." + std::to_string(18 + ((n >> 16) & 1)) + "." +
                   std::to_string((n >> 8) & 255) + "." + std::to_string(n & 255);
    server["port"] = 27015 + static_cast<int>(n % 20);
    list.push_back(std::move(server));
  }
  return list.dump();
}

// The generated list of one size, built once.
const std::string& cached_servers(std::int64_t count) {
  static std::mutex mutex;
  static std::map<std::int64_t, std::string> cache;
  std::lock_guard lock(mutex);
  auto it = cache.find(count);
  if (it == cache.end()) it = cache.emplace(count, generated_servers(count)).first;
  return it->second;
}

bool read_data_file(const SimState& state, const char* name, std::string& out) {
  if (state.data_dir.empty()) return false;
  std::ifstream in(state.data_dir + "/" + name, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  out = text.str();
  return true;
}

// Announces `announced` bytes (the whole body when 0) and sends `sent` of them (half the body
// when npos), then closes the connection.
void cut_body(httplib::Response& response, std::string body, std::size_t announced = 0,
              std::size_t sent = std::string::npos) {
  auto shared = std::make_shared<std::string>(std::move(body));
  if (announced == 0) announced = shared->size();
  if (sent == std::string::npos) sent = shared->size() / 2;
  sent = std::min(sent, shared->size());
  response.set_content_provider(
      announced, kJson, [shared, sent](std::size_t offset, std::size_t, httplib::DataSink& sink) {
        if (offset >= sent) return false;
        return sink.write(shared->data() + offset, sent - offset);
      });
}

void server_list(const httplib::Request& request, httplib::Response& response,
                 const SimState& state) {
  std::string body;
  if (state.generated_servers >= 0) {
    body = cached_servers(state.generated_servers);
  } else if (!read_data_file(state, "servers.json", body)) {
    body = cached_servers(40);
  }
  const std::string fault = request.matches[1];
  const std::string status = request.matches[2];
  const std::string missing = request.matches[3];
  if (!status.empty()) {
    response.status = std::stoi(status);
    response.set_content(body, kJson);
  } else if (!missing.empty()) {
    const std::size_t extra = static_cast<std::size_t>(std::stoul(missing));
    const std::size_t size = body.size();
    cut_body(response, std::move(body), size + std::max<std::size_t>(extra, 1), size);
  } else if (fault.empty()) {
    response.set_content(body, kJson);
  } else if (fault == "notjson") {
    response.set_content("<html><body>服务维护中</body></html>", "text/html; charset=utf-8");
  } else if (fault == "status500") {
    response.status = 500;
  } else if (fault == "empty") {
    response.set_content("", kJson);
  } else if (fault == "object") {
    response.set_content(R"({"error":"rate limited","servers":[]})", kJson);
  } else if (fault == "members") {
    response.set_content(
        R"([{"name":"只有名字"},)"
        R"({"name":12345,"map_name":null,"comments":{"a":1},"players":[1,2],"max_players":true,"ip":"192.0.2.9","port":27015},)"
        R"({"map_name":"de_dust2","ip":"192.0.2.10","port":"27016"},)"
        R"("not an object",)"
        R"({"name":"正常服务器","map_name":"de_mirage","comments":"ok","players":"3","max_players":"10","ip":"192.0.2.11","port":"27017"}])",
        kJson);
  } else if (fault == "cut") {
    cut_body(response, body);
  } else {
    response.status = 404;
  }
}

std::string builtin_map_names() {
  nlohmann::json list = nlohmann::json::array();
  int id = 1;
  for (const auto& [map, chinese] : kMapNames) {
    list.push_back({{"id", std::to_string(id++)}, {"mapname", map}, {"cn_name", chinese}});
  }
  return list.dump();
}

void map_list(const httplib::Request&, httplib::Response& response, const SimState& state) {
  std::string utf8;
  if (!read_data_file(state, "map_names.json", utf8)) utf8 = builtin_map_names();
  // The forum answers in its own code page.
  response.set_content(utf8_to_gbk_counted(utf8), "application/json; charset=gbk");
}

void forum_plugin(const httplib::Request& request, httplib::Response& response,
                  const SimState& state) {
  auto plugin = state.forum_plugins.find(request.get_param_value("id"));
  if (plugin == state.forum_plugins.end()) {
    response.status = 404;
    response.set_content("no such plug-in", "text/plain");
    return;
  }
  const std::string kind = request.matches[1];
  const std::string value = request.matches[2];
  if (kind == "status") {
    response.status = std::stoi(value);
    response.set_content("status " + value, "text/plain");
    return;
  }
  plugin->second(request, response);
  if (kind != "fault") return;
  if (value == "notjson") {
    response.status = 200;
    response.set_content("<html><body>论坛维护中</body></html>", "text/html; charset=gbk");
  } else if (value == "cut") {
    std::string body = response.body;
    response.body.clear();
    cut_body(response, std::move(body));
  }
}

}  // namespace

void install_server_list_routes(httplib::Server& server, SimState& state) {
  server.Get(
      R"(/serverlist(?:/fault/([a-z0-9]+)|/status/([2-5][0-9]{2})|/short/([0-9]{1,6}))?/api/servers)",
      [&state](const httplib::Request& request, httplib::Response& response) {
        server_list(request, response, state);
      });
}

void install_forum_map_list_routes(httplib::Server&, SimState& state) {
  state.forum_plugins["tarn_core_api:MapLists"] = [&state](const httplib::Request& request,
                                                           httplib::Response& response) {
    map_list(request, response, state);
  };
}

void install_forum_plugin_routes(httplib::Server& server, SimState& state) {
  const char* const path = R"(/forum(?:/(status|fault)/([0-9]{3}|[a-z]+))?/plugin\.php)";
  auto handler = [&state](const httplib::Request& request, httplib::Response& response) {
    forum_plugin(request, response, state);
  };
  server.Get(path, handler);
  server.Post(path, handler);
}

}  // namespace brindle::sim
