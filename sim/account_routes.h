// The community's account services and the software service's start-up documents on loopback:
// the remote configuration, the version answer, the forum's Steam sign-in plug-in with its known
// test users, the avatar, the daily reward and the security-code page, each switchable at run
// time through /test/ routes so tests can change what the next request sees.
#pragma once

#include <httplib.h>

#include <memory>
#include <string>

#include "sim_state.h"

namespace brindle::sim {

// A forum user the login plug-in knows (texts UTF-8).
struct ForumUser {
  const char* name;  // what the person types: user name, QQ or SteamID
  const char* code;  // the security code
  const char* uid;
  const char* username;  // shown name
  const char* user_auth;
  const char* steamid64;
  const char* steamid32;
  const char* steamaccountid;
};

// The known test users. The second one's name gives a Base64 text holding "+".
inline constexpr ForumUser kForumUsers[] = {
    {"brindle-tester", "secure-4242", "1001", "布林德测试员", "auth1001x7f3c9e2d",
     "76561198000001001", "STEAM_1:1:500", "1001"},
    {"红色>>玩家", "代码12345", "1002", "红色玩家", "auth1002b81e44a0", "76561198000001002",
     "STEAM_1:0:501", "1002"},
};

// The uid of a known user's user_auth, or "" (the favourites cloud takes these tokens too).
std::string forum_uid_of_auth(const std::string& auth);

// Start-up switches (command line).
struct AccountOptions {
  std::string resconfig;  // the remote configuration served; empty: the default
  std::string version_answer = "10070";
};

// Every account and start-up document route, sharing one state between the listeners.
class AccountRoutes {
 public:
  explicit AccountRoutes(AccountOptions options);
  ~AccountRoutes();
  // Installs the routes on one listener and registers the forum plug-ins.
  void install(httplib::Server& server, SimState& state);

  struct Store;

 private:
  std::shared_ptr<Store> store_;
};

// The remote configuration that moves the mirror selection: us2 (节点3) selected, us1 (节点1)
// disabled; hosts unchanged.
extern const char* const kMoveMirrorConfiguration;

}  // namespace brindle::sim
