// The account services and start-up documents:
//
//   /software/resconfig.html           the remote configuration: --resconfig FILE, else the data
//                                      folder's resconfig.json, else "[]" (changes nothing)
//   /software/version.php?version=N    the newest version: "10070" (the program's own),
//                                      --newer-version gives "10071", --version-answer TEXT
//   POST plug-in tarn_steam_openid:SoftLogin_postv2
//        body user=B64&securecode=B64&salt=HEX32&autologin=0|1 (read raw: "+" is Base64, not a
//        blank). A known user with the right code (autologin 0), or the tokens an earlier login
//        handed out for the same salt (autologin 1), gets isLogin "true" with every userdata
//        member; anything else isLogin "false".
//   /forum/uc_server/avatar.php?uid=N&size=big   a PNG of the user's colour
//   plug-in ora_lin_qiandao:getawardsoftapi&auth=…&uid=…   the daily reward's answer (UTF-8)
//   plug-in tarn_steam_openid:SoftLogin_getsecurecode      the security-code page (HTML)
//
// Run-time switches:
//   POST /test/resconfig (body: the document)       DELETE /test/resconfig: back to the start
//   POST /test/version (body: the answer)           DELETE /test/version
//   POST /test/login/answer[?pad=N] (body served raw to every login, after N blanks)
//        DELETE /test/login/answer
//   GET  /test/login/last: the body of the last login request; /test/login/agent: its User-Agent;
//        /test/login/count: logins seen
//   POST /test/avatar?kind=png|html|huge|empty|missing          DELETE /test/avatar (png)
//   POST /test/reward?status=N: the reward plug-in answers an error page with that status
//   DELETE /test/reward: today's claims forgotten, answers with status 200 again
#include "account_routes.h"

#include <zlib.h>

#include <cstdint>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "foundation/encoding.h"

namespace brindle::sim {

const char* const kMoveMirrorConfiguration =
    R"([{"servername":"us1","buttonDisable":1,"buttonname":"节点1 维护中"},)"
    R"({"servername":"us2","select":1},)"
    R"({"servername":"telecom","select":0}])";

struct AccountRoutes::Store {
  std::mutex mutex;
  AccountOptions start;  // what DELETE goes back to
  std::string resconfig;
  std::string version;
  std::string login_answer;  // scripted; empty: the plug-in decides
  bool login_scripted = false;
  std::string last_login;
  std::string last_agent;
  std::int64_t logins = 0;
  std::string avatar_kind = "png";
  std::set<std::string> claimed;  // uids that claimed today's reward
  int reward_status = 200;
};

namespace {

const char* const kJson = "application/json; charset=utf-8";
const char* const kHtml = "text/html; charset=utf-8";

int base64_value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Strict Base64 with padding; false for anything else (a "+" sent as a blank fails here).
bool base64_decode(const std::string& text, std::string& out) {
  out.clear();
  if (text.size() % 4 != 0) return false;
  for (std::size_t i = 0; i < text.size(); i += 4) {
    int v[4];
    int pad = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = text[i + static_cast<std::size_t>(k)];
      if (c == '=' && i + 4 == text.size() && k >= 2) {
        v[k] = 0;
        ++pad;
      } else {
        if (pad > 0) return false;
        v[k] = base64_value(c);
        if (v[k] < 0) return false;
      }
    }
    const unsigned n = (static_cast<unsigned>(v[0]) << 18) | (static_cast<unsigned>(v[1]) << 12) |
                       (static_cast<unsigned>(v[2]) << 6) | static_cast<unsigned>(v[3]);
    out.push_back(static_cast<char>((n >> 16) & 0xFF));
    if (pad < 2) out.push_back(static_cast<char>((n >> 8) & 0xFF));
    if (pad < 1) out.push_back(static_cast<char>(n & 0xFF));
  }
  return true;
}

// The form fields of a raw body split at "&" and the first "=", nothing decoded.
std::map<std::string, std::string> raw_form(const std::string& body) {
  std::map<std::string, std::string> fields;
  std::size_t start = 0;
  while (start <= body.size()) {
    std::size_t end = body.find('&', start);
    if (end == std::string::npos) end = body.size();
    const std::string piece = body.substr(start, end - start);
    const std::size_t eq = piece.find('=');
    if (eq != std::string::npos) fields[piece.substr(0, eq)] = piece.substr(eq + 1);
    start = end + 1;
  }
  return fields;
}

bool hex32(const std::string& text) {
  if (text.size() != 32) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

std::string username_token(const ForumUser& user) { return std::string("ue-") + user.uid; }
// Bound to the salt (the machine), so tokens taken to another computer fail here too.
std::string password_token(const ForumUser& user, const std::string& salt) {
  return "pe-" + md5_hex(std::string(user.code) + salt).substr(0, 16);
}

std::string login_refused(const char* message) {
  nlohmann::json answer;
  answer["userdata"] = {{"isLogin", "false"}, {"message", message}};
  return answer.dump();
}

std::string login_accepted(const ForumUser& user, const std::string& salt) {
  nlohmann::ordered_json data;
  data["isLogin"] = "true";
  data["uid"] = user.uid;
  data["username"] = user.username;
  data["user_auth"] = user.user_auth;
  data["steamid64"] = user.steamid64;
  data["steamid32"] = user.steamid32;
  data["steamaccountid"] = user.steamaccountid;
  data["username_encode"] = username_token(user);
  data["password_encode"] = password_token(user, salt);
  nlohmann::ordered_json answer;
  answer["userdata"] = data;
  return answer.dump();
}

std::string login(const std::string& body) {
  auto fields = raw_form(body);
  std::string user, code;
  const std::string salt = fields["salt"];
  if (!base64_decode(fields["user"], user) || !base64_decode(fields["securecode"], code) ||
      !hex32(salt)) {
    return login_refused("请求格式错误");
  }
  const bool automatic = fields["autologin"] == "1";
  for (const ForumUser& known : kForumUsers) {
    if (automatic) {
      if (user == username_token(known) && code == password_token(known, salt)) {
        return login_accepted(known, salt);
      }
    } else if (user == utf8_to_gbk_counted(known.name) && code == utf8_to_gbk_counted(known.code)) {
      return login_accepted(known, salt);
    }
  }
  return login_refused("用户名或安全代码错误");
}

void put_u32(std::string& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

void png_chunk(std::string& out, const char* type, const std::string& data) {
  put_u32(out, static_cast<std::uint32_t>(data.size()));
  std::string typed = std::string(type, 4) + data;
  out += typed;
  put_u32(out, static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(typed.data()),
                                                static_cast<uInt>(typed.size()))));
}

// A 48x48 RGB picture in one colour that depends on the uid.
std::string avatar_png(const std::string& uid) {
  constexpr int kSide = 48;
  const std::size_t seed = std::hash<std::string>{}(uid);
  const char rgb[3] = {static_cast<char>(60 + seed % 150),
                       static_cast<char>(60 + (seed >> 8) % 150),
                       static_cast<char>(60 + (seed >> 16) % 150)};
  std::string raw;
  for (int y = 0; y < kSide; ++y) {
    raw.push_back('\0');  // filter: none
    for (int x = 0; x < kSide; ++x) raw.append(rgb, 3);
  }
  uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packed_size, '\0');
  compress(reinterpret_cast<Bytef*>(packed.data()), &packed_size,
           reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()));
  packed.resize(packed_size);
  std::string header;
  put_u32(header, kSide);
  put_u32(header, kSide);
  // 8 bits, RGB, deflate, no filter, no interlace.
  header += std::string("\x08\x02\x00\x00\x00", 5);
  std::string png = "\x89PNG\r\n\x1A\n";
  png_chunk(png, "IHDR", header);
  png_chunk(png, "IDAT", packed);
  png_chunk(png, "IEND", "");
  return png;
}

const ForumUser* user_of_auth(const std::string& auth) {
  for (const ForumUser& known : kForumUsers) {
    if (auth == known.user_auth) return &known;
  }
  return nullptr;
}

}  // namespace

std::string forum_uid_of_auth(const std::string& auth) {
  const ForumUser* user = user_of_auth(auth);
  return user ? user->uid : "";
}

AccountRoutes::AccountRoutes(AccountOptions options) : store_(std::make_shared<Store>()) {
  store_->start = std::move(options);
  store_->resconfig = store_->start.resconfig;
  store_->version = store_->start.version_answer;
}

AccountRoutes::~AccountRoutes() = default;

void AccountRoutes::install(httplib::Server& server, SimState& state) {
  std::shared_ptr<Store> store = store_;
  if (store->resconfig.empty()) {
    std::lock_guard lock(store->mutex);
    if (!state.data_dir.empty())
      (void)read_whole_file(state.data_dir + "/resconfig.json", store->resconfig);
    if (store->resconfig.empty()) store->resconfig = "[]";
    store->start.resconfig = store->resconfig;
  }

  server.Get("/software/resconfig.html", [store](const httplib::Request&, httplib::Response& rs) {
    std::lock_guard lock(store->mutex);
    rs.set_content(store->resconfig, kHtml);
  });
  server.Get("/software/version.php", [store](const httplib::Request&, httplib::Response& rs) {
    std::lock_guard lock(store->mutex);
    rs.set_content(store->version, "text/plain");
  });
  server.Get("/forum/uc_server/avatar.php",
             [store](const httplib::Request& rq, httplib::Response& rs) {
               std::string kind;
               {
                 std::lock_guard lock(store->mutex);
                 kind = store->avatar_kind;
               }
               if (kind == "html") {
                 rs.set_content("<html><body>头像服务维护中</body></html>", kHtml);
               } else if (kind == "huge") {
                 // Starts like a picture, and goes on far longer than any avatar.
                 std::string body = avatar_png(rq.get_param_value("uid"));
                 body.resize(std::size_t{3} << 20, 'x');
                 rs.set_content(body, "image/png");
               } else if (kind == "empty") {
                 rs.set_content("", "image/png");
               } else if (kind == "missing") {
                 rs.status = 404;
                 rs.set_content("no avatar", "text/plain");
               } else {
                 rs.set_content(avatar_png(rq.get_param_value("uid")), "image/png");
               }
             });

  state.forum_plugins["tarn_steam_openid:SoftLogin_postv2"] = [store](const httplib::Request& rq,
                                                                      httplib::Response& rs) {
    std::lock_guard lock(store->mutex);
    ++store->logins;
    store->last_login = rq.body;
    store->last_agent = rq.get_header_value("User-Agent");
    rs.set_content(store->login_scripted ? store->login_answer : login(rq.body), kJson);
  };
  state.forum_plugins["ora_lin_qiandao:getawardsoftapi"] = [store](const httplib::Request& rq,
                                                                   httplib::Response& rs) {
    {
      std::lock_guard lock(store->mutex);
      if (store->reward_status != 200) {
        rs.status = store->reward_status;
        rs.set_content("<html><body><h1>Internal Server Error</h1></body></html>", kHtml);
        return;
      }
    }
    const ForumUser* user = user_of_auth(rq.get_param_value("auth"));
    if (user == nullptr || rq.get_param_value("uid") != user->uid) {
      rs.set_content("请先登录论坛后再签到", kHtml);
      return;
    }
    std::lock_guard lock(store->mutex);
    const bool first = store->claimed.insert(user->uid).second;
    rs.set_content(
        first ? "签到成功! 获得 5 金币 已连续签到 1 天" : "您今天已经签到过了 明天再来吧", kHtml);
  };
  state.forum_plugins["tarn_steam_openid:SoftLogin_getsecurecode"] = [](const httplib::Request&,
                                                                        httplib::Response& rs) {
    rs.set_content(
        "<!doctype html><html><head><meta charset=\"utf-8\"><title>安全代码</title></head>"
        "<body><h1>安全代码</h1><p>登录论坛后，在这里查看或设置登录工具用的安全代码。</p>"
        "</body></html>",
        kHtml);
  };

  auto set = [store](std::string Store::*field) {
    return [store, field](const httplib::Request& rq, httplib::Response& rs) {
      std::lock_guard lock(store->mutex);
      (*store).*field = rq.body;
      rs.set_content("ok", "text/plain");
    };
  };
  server.Post("/test/resconfig", set(&Store::resconfig));
  server.Delete("/test/resconfig", [store](const httplib::Request&, httplib::Response& rs) {
    std::lock_guard lock(store->mutex);
    store->resconfig = store->start.resconfig;
    rs.set_content("ok", "text/plain");
  });
  server.Post("/test/version", set(&Store::version));
  server.Delete("/test/version", [store](const httplib::Request&, httplib::Response& rs) {
    std::lock_guard lock(store->mutex);
    store->version = store->start.version_answer;
    rs.set_content("ok", "text/plain");
  });
  server.Post("/test/login/answer", [store](const httplib::Request& rq, httplib::Response& rs) {
    // ?pad=N puts N blanks before the body: still the same JSON, and as long as a test needs.
    const auto pad = static_cast<std::size_t>(param_int(rq, "pad", 0, 0, std::int64_t{64} << 20));
    std::lock_guard lock(store->mutex);
    store->login_answer = std::string(pad, ' ') + rq.body;
    store->login_scripted = true;
    rs.set_content("ok", "text/plain");
  });
  server.Delete("/test/login/answer", [store](const httplib::Request&, httplib::Response& rs) {
    std::lock_guard lock(store->mutex);
    store->login_scripted = false;
    rs.set_content("ok", "text/plain");
  });
  server.Get("/test/login/last", [store](const httplib::Request&, httplib::Response& rs) {
    std::lock_guard lock(store->mutex);
    rs.set_content(store->last_login, "text/plain");
  });
  server.Get("/test/login/agent", [store](const httplib::Request&, httplib::Response& rs) {
    std::lock_guard lock(store->mutex);
    rs.set_content(store->last_agent, "text/plain");
  });
  server.Get("/test/login/count", [store](const httplib::Request&, httplib::Response& rs) {
    std::lock_guard lock(store->mutex);
    rs.set_content(std::to_string(store->logins), "text/plain");
  });
  server.Post("/test/avatar", [store](const httplib::Request& rq, httplib::Response& rs) {
    std::lock_guard lock(store->mutex);
    store->avatar_kind = rq.get_param_value("kind");
    rs.set_content("ok", "text/plain");
  });
  server.Delete("/test/avatar", [store](const httplib::Request&, httplib::Response& rs) {
    std::lock_guard lock(store->mutex);
    store->avatar_kind = "png";
    rs.set_content("ok", "text/plain");
  });
  server.Post("/test/reward", [store](const httplib::Request& rq, httplib::Response& rs) {
    std::lock_guard lock(store->mutex);
    store->reward_status = static_cast<int>(param_int(rq, "status", 200, 100, 599));
    rs.set_content("ok", "text/plain");
  });
  server.Delete("/test/reward", [store](const httplib::Request&, httplib::Response& rs) {
    std::lock_guard lock(store->mutex);
    store->claimed.clear();
    store->reward_status = 200;
    rs.set_content("ok", "text/plain");
  });
}

}  // namespace brindle::sim
