// The favourites cloud under /favourites/json.php: per-user lists kept in memory.
//
//   GET  ?auth=TOKEN&sIP=ADDR&Type=N&act=GetData  the user's list, [{"ip","typeid"}…]; empty when
//                                                 nothing is stored
//   GET  ?auth=TOKEN&sIP=ADDR&Type=N&act=Delete   removes ADDR from the user's list
//   POST ?auth=TOKEN  body [{"x2": "host%3Aport"}…]  replaces the user's list
//
// Tokens: the data folder's favourites_tokens.txt, one "TOKEN UID" a line (read at each request,
// so tests may write it at any time); without that file the demo token "brindle-demo-auth" is
// user 1. The user_auth of the forum's known test users (account_routes.h) is always taken, so a
// real login reaches the cloud. An unknown token gets 403. A user with nothing stored yet is served
// the data folder's favourites_cloud/UID.json as it stands, when there is one (tests seed odd
// answers that way).
#include <fstream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "account_routes.h"
#include "sim_state.h"

namespace brindle::sim {
namespace {

constexpr const char* kDemoToken = "brindle-demo-auth";
constexpr const char* kText = "text/html; charset=utf-8";

struct Entry {
  std::string ip;
  std::string type_id;
};

// Every user's list; shared by the HTTP and HTTPS listeners.
struct CloudStore {
  std::mutex mutex;
  std::map<std::string, std::vector<Entry>> lists;  // by uid
};

CloudStore& store() {
  static CloudStore instance;
  return instance;
}

// The uid of a token, or "" when the token is not known.
std::string uid_of(const SimState& state, const std::string& token) {
  if (token.empty()) return {};
  if (std::string uid = forum_uid_of_auth(token); !uid.empty()) return uid;
  std::string table;
  if (state.data_dir.empty() ||
      !read_whole_file(state.data_dir + "/favourites_tokens.txt", table)) {
    return token == kDemoToken ? "1" : "";
  }
  std::istringstream lines(table);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string known, uid;
    if (fields >> known >> uid && known == token) return uid;
  }
  return {};
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string percent_decode(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hex_value(text[i + 1]) >= 0 &&
        hex_value(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(hex_value(text[i + 1]) * 16 + hex_value(text[i + 2])));
      i += 2;
    } else if (text[i] == '+') {
      out.push_back(' ');
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

std::string list_text(const std::vector<Entry>& entries) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const Entry& e : entries) list.push_back({{"ip", e.ip}, {"typeid", e.type_id}});
  return list.dump();
}

std::string seed_path(const SimState& state, const std::string& uid) {
  return state.data_dir + "/favourites_cloud/" + uid + ".json";
}

// The stored list, taking the seed file in when nothing is stored yet and it reads as one.
std::vector<Entry>* stored_list(CloudStore& cloud, const SimState& state, const std::string& uid) {
  auto found = cloud.lists.find(uid);
  if (found != cloud.lists.end()) return &found->second;
  std::string seed;
  if (state.data_dir.empty() || !read_whole_file(seed_path(state, uid), seed)) return nullptr;
  nlohmann::json parsed = nlohmann::json::parse(seed, nullptr, false);
  if (!parsed.is_array()) return nullptr;
  std::vector<Entry> entries;
  for (const auto& item : parsed) {
    if (!item.is_object()) continue;
    Entry e;
    if (item.contains("ip") && item["ip"].is_string()) e.ip = item["ip"].get<std::string>();
    if (item.contains("typeid") && item["typeid"].is_string()) {
      e.type_id = item["typeid"].get<std::string>();
    }
    entries.push_back(std::move(e));
  }
  return &(cloud.lists[uid] = std::move(entries));
}

void handle_get(const httplib::Request& request, httplib::Response& response,
                const SimState& state) {
  const std::string uid = uid_of(state, request.get_param_value("auth"));
  if (uid.empty()) {
    response.status = 403;
    response.set_content("auth failed", kText);
    return;
  }
  const std::string act = request.get_param_value("act");
  CloudStore& cloud = store();
  std::lock_guard lock(cloud.mutex);
  if (act == "GetData") {
    if (cloud.lists.find(uid) == cloud.lists.end()) {
      // A seed that is no list is served exactly as it stands.
      std::string seed;
      if (!state.data_dir.empty() && read_whole_file(seed_path(state, uid), seed) &&
          !nlohmann::json::parse(seed, nullptr, false).is_array()) {
        response.set_content(seed, kText);
        return;
      }
    }
    std::vector<Entry>* list = stored_list(cloud, state, uid);
    response.set_content(list && !list->empty() ? list_text(*list) : std::string(), kText);
  } else if (act == "Delete") {
    const std::string address = request.get_param_value("sIP");
    std::size_t removed = 0;
    if (std::vector<Entry>* list = stored_list(cloud, state, uid)) {
      removed = std::erase_if(*list, [&](const Entry& e) { return e.ip == address; });
    }
    response.set_content(removed ? "deleted" : "not found", kText);
  } else {
    response.status = 400;
    response.set_content("unknown act", kText);
  }
}

void handle_backup(const httplib::Request& request, httplib::Response& response,
                   const SimState& state) {
  const std::string uid = uid_of(state, request.get_param_value("auth"));
  if (uid.empty()) {
    response.status = 403;
    response.set_content("auth failed", kText);
    return;
  }
  nlohmann::json body = nlohmann::json::parse(request.body, nullptr, false);
  if (!body.is_array()) {
    response.status = 400;
    response.set_content("bad body", kText);
    return;
  }
  CloudStore& cloud = store();
  std::lock_guard lock(cloud.mutex);
  std::vector<Entry> previous;
  if (std::vector<Entry>* old = stored_list(cloud, state, uid)) previous = *old;
  std::vector<Entry> entries;
  for (const auto& item : body) {
    if (!item.is_object() || !item.contains("x2") || !item["x2"].is_string()) continue;
    Entry e;
    e.ip = percent_decode(item["x2"].get<std::string>());
    e.type_id = "0";
    for (const Entry& old : previous) {
      if (old.ip == e.ip) e.type_id = old.type_id;  // a known server keeps its type
    }
    entries.push_back(std::move(e));
  }
  const std::size_t count = entries.size();
  cloud.lists[uid] = std::move(entries);
  response.set_content("备份成功 共" + std::to_string(count) + "个服务器", kText);
}

}  // namespace

void install_favourites_routes(httplib::Server& server, SimState& state) {
  server.Get("/favourites/json.php",
             [&state](const httplib::Request& request, httplib::Response& response) {
               handle_get(request, response, state);
             });
  server.Post("/favourites/json.php",
              [&state](const httplib::Request& request, httplib::Response& response) {
                handle_backup(request, response, state);
              });
}

}  // namespace brindle::sim
