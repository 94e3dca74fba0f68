// The model and material patch and the cloud user-info service. The software service answers
// the current patch version (model_version.php) and lists the patch archives (pifu.txt); the
// mirror serves them as real .7z archives made with 7zz (the current version's at start, others
// the first time they are asked for), holding the version file and a few model and material
// files under csgo/. The user-info service answers per Steam id what tests script: the next
// map, the nominations, or any body.
#include <httplib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>

#include "map_mirror.h"
#include "sim_state.h"

namespace brindle::sim {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDefaultPatchVersion = "20240315";
const char* const kText = "text/plain; charset=utf-8";

struct UserInfoScript {
  std::string body;  // served as it stands when not empty
  std::string next_map;
  std::string nominated;
  std::string prefix;  // empty: the mirror's /maps/ under the primary host
  std::int64_t delay_ms = 0;
};

struct PatchStore {
  std::mutex mutex;
  std::string version = kDefaultPatchVersion;
  std::string last_asked;  // the version parameter of the last model_version.php request
  bool list_scripted = false;
  std::string list;  // "{primary}" stands for the mirror's primary host
  std::map<std::string, UserInfoScript> users;
  std::mutex making;  // one archive made at a time
  bool made_at_start = false;
};

std::string primary_host(const SimState& state) {
  return state.http_base.substr(std::string("http://").size());
}

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
    text.replace(at, from.size(), to);
  }
  return text;
}

bool write_text(const fs::path& path, const std::string& text) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  std::ofstream out(path, std::ios::binary);
  out << text;
  return static_cast<bool>(out);
}

// cache/patch-<kind>-<version>.7z, made once.
std::string patch_archive(PatchStore& store, const SimState& state, const std::string& kind,
                          const std::string& version, std::string& error) {
  const std::string cache = state.map_mirror->cache_dir();
  const fs::path out = fs::path(cache) / ("patch-" + kind + "-" + version + ".7z");
  std::lock_guard lock(store.making);
  std::error_code ec;
  if (fs::exists(out, ec)) return out.string();
  const fs::path stage = fs::path(cache) / ("patch-stage-" + kind + "-" + version);
  fs::remove_all(stage, ec);
  const fs::path models = stage / "csgo/models/player/custom_player/2019x";
  const fs::path materials = stage / "csgo/materials/models/player/custom_player/2019x";
  bool ok = true;
  if (kind == "models") {
    ok = write_text(models / "model_version.ini", version) &&
         write_text(models / "brindle_ct.mdl", "IDST model brindle_ct " + version + "\n") &&
         write_text(models / "brindle_t.mdl", "IDST model brindle_t " + version + "\n");
  } else {
    ok = write_text(materials / "brindle_ct.vtf", "VTF brindle_ct " + version + "\n") &&
         write_text(materials / "brindle_ct.vmt", "\"VertexLitGeneric\" {}\n");
  }
  const fs::path temp = out.string() + ".part.7z";
  fs::remove(temp, ec);
  ok = ok && run_7zz({"a", "-t7z", "-mx=1", temp.string(), "csgo"}, stage.string(), error);
  fs::remove_all(stage, ec);
  if (ok) fs::rename(temp, out, ec);
  if (!ok || ec) {
    if (error.empty()) error = "cannot make " + out.string();
    return {};
  }
  return out.string();
}

std::string default_list(const std::string& version) {
  return "models--http://{primary}/maps/patch/brindle_models_" + version + ".7z\r\n" +
         "materials--http://{primary}/maps/patch/brindle_materials_" + version + ".7z\r\n";
}

// The HTTP and the HTTPS listener install the routes each; both must serve one store.
std::shared_ptr<PatchStore> store_of(const SimState& state) {
  static std::mutex mutex;
  static std::map<const SimState*, std::shared_ptr<PatchStore>> stores;
  std::lock_guard lock(mutex);
  auto& store = stores[&state];
  if (!store) store = std::make_shared<PatchStore>();
  return store;
}

}  // namespace

void install_patch_routes(httplib::Server& server, SimState& state) {
  if (!state.map_mirror) return;
  std::shared_ptr<PatchStore> store = store_of(state);
  {
    // The current version's archives are ready before the first client asks; another version's
    // are made when first asked for.
    std::unique_lock lock(store->mutex);
    const bool first = !store->made_at_start;
    store->made_at_start = true;
    const std::string version = store->version;
    lock.unlock();
    std::string error;
    for (const char* kind : {"models", "materials"}) {
      if (first && patch_archive(*store, state, kind, version, error).empty()) {
        std::fprintf(stderr, "brindle-sim: patch: %s\n", error.c_str());
      }
    }
  }

  server.Get("/software/model_version.php",
             [store](const httplib::Request& rq, httplib::Response& rs) {
               std::lock_guard lock(store->mutex);
               store->last_asked = rq.get_param_value("version");
               rs.set_content(store->version, kText);
             });
  server.Get("/software/pifu.txt", [store, &state](const httplib::Request&, httplib::Response& rs) {
    std::lock_guard lock(store->mutex);
    const std::string list = store->list_scripted ? store->list : default_list(store->version);
    rs.set_content(replace_all(list, "{primary}", primary_host(state)), kText);
  });
  server.Get(R"(/maps/patch/brindle_(models|materials)_([0-9]{1,12})\.7z)",
             [store, &state](const httplib::Request& rq, httplib::Response& rs) {
               std::string error;
               const std::string path =
                   patch_archive(*store, state, rq.matches[1], rq.matches[2], error);
               std::string bytes;
               std::ifstream in(path, std::ios::binary);
               if (path.empty() || !in) {
                 rs.status = 500;
                 rs.set_content("patch: " + error, kText);
                 return;
               }
               bytes.assign(std::istreambuf_iterator<char>(in), {});
               rs.set_content(bytes, "application/x-7z-compressed");
             });

  // Maps that exist only as a plain .bsp (no .bsp.bz2 beside them), for pre-download's second
  // probe.
  server.Get(R"(/maps/plain/([A-Za-z0-9_-]{1,64})\.bsp)",
             [](const httplib::Request& rq, httplib::Response& rs) {
               rs.set_content("VBSP plain map " + std::string(rq.matches[1]) + "\n",
                              "application/octet-stream");
             });

  server.Post("/test/model_version", [store](const httplib::Request& rq, httplib::Response& rs) {
    std::lock_guard lock(store->mutex);
    store->version = rq.body;
    rs.set_content("ok", kText);
  });
  server.Delete("/test/model_version", [store](const httplib::Request&, httplib::Response& rs) {
    std::lock_guard lock(store->mutex);
    store->version = kDefaultPatchVersion;
    rs.set_content("ok", kText);
  });
  server.Get("/test/model_version/last", [store](const httplib::Request&, httplib::Response& rs) {
    std::lock_guard lock(store->mutex);
    rs.set_content(store->last_asked, kText);
  });
  server.Post("/test/pifu", [store](const httplib::Request& rq, httplib::Response& rs) {
    std::lock_guard lock(store->mutex);
    store->list = rq.body;
    store->list_scripted = true;
    rs.set_content("ok", kText);
  });
  server.Delete("/test/pifu", [store](const httplib::Request&, httplib::Response& rs) {
    std::lock_guard lock(store->mutex);
    store->list_scripted = false;
    rs.set_content("ok", kText);
  });

  server.Get("/cloud/yunget/userinfo.php", [store, &state](const httplib::Request& rq,
                                                           httplib::Response& rs) {
    UserInfoScript script;
    {
      std::lock_guard lock(store->mutex);
      // As the service reads it: an encoded "&" is part of the id.
      const auto it = store->users.find(raw_query_value(rq, "data"));
      if (it != store->users.end()) script = it->second;
    }
    if (script.delay_ms > 0 && !state.pause_ms(script.delay_ms)) return;
    if (!script.body.empty()) {
      rs.set_content(script.body, "text/html; charset=utf-8");
      return;
    }
    nlohmann::json entry;
    entry["NextMap"] = script.next_map;
    entry["downloadurlPreFix"] =
        script.prefix.empty() ? "http://" + primary_host(state) + "/maps/" : script.prefix;
    entry["ListenServer"] = "127.0.0.1:27015";
    entry["NominateLists"] = script.nominated;
    rs.set_content(nlohmann::json::array({entry}).dump(), "application/json");
  });
  // ?steamid=ID&next=MAP&nominate=A,B[&prefix=URL][&delay_ms=N]; a body is served as it stands.
  server.Post("/test/userinfo", [store](const httplib::Request& rq, httplib::Response& rs) {
    UserInfoScript script;
    script.body = rq.body;
    script.next_map = rq.get_param_value("next");
    script.nominated = rq.get_param_value("nominate");
    script.prefix = rq.get_param_value("prefix");
    script.delay_ms = param_int(rq, "delay_ms", 0, 0, 60000);
    std::lock_guard lock(store->mutex);
    store->users[raw_query_value(rq, "steamid")] = script;
    rs.set_content("ok", kText);
  });
  server.Delete("/test/userinfo", [store](const httplib::Request&, httplib::Response& rs) {
    std::lock_guard lock(store->mutex);
    store->users.clear();
    rs.set_content("ok", kText);
  });
}

}  // namespace brindle::sim
