// brindle-cli query: asks game servers for their information over the query protocol, as the
// favourites list does, and prints what came back within the time-out.
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/core.h"
#include "cli/command.h"
#include "foundation/encoding.h"
#include "foundation/terminal_text.h"
#include "servers/query_engine.h"

namespace brindle {
namespace {

constexpr int kDefaultTimeoutMs = 2000;

int RunQuery(CliContext& ctx) {
  int timeout_ms = kDefaultTimeoutMs;
  if (!TakeTimeoutOption(ctx, "query", timeout_ms)) return 2;
  const std::vector<std::string> addresses = ctx.args;
  if (addresses.empty()) {
    std::fprintf(stderr, "usage: brindle-cli query [--timeout MS] ADDRESS...\n");
    return 2;
  }

  // Replies are matched by the address they come from, so note which asked address each sender
  // stands for (several addresses may name the same server).
  std::map<std::string, std::vector<std::size_t>> asked;
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    QueryTarget target = ResolveQueryTarget(addresses[i], nullptr);
    if (target.ok()) {
      asked[target.key].push_back(i);
    } else {
      std::fprintf(stderr, "brindle-cli query: cannot reach %s\n", addresses[i].c_str());
    }
  }

  std::size_t expected = 0;
  for (const auto& entry : asked) expected += entry.second.size();
  std::mutex mutex;
  std::condition_variable answered;
  std::map<std::size_t, ServerInfo> infos;
  QueryEngine engine(ctx.window);
  engine.SetInfoObserver([&](const std::string& key, const ServerInfo& info) {
    std::lock_guard lock(mutex);
    auto found = asked.find(key);
    if (found == asked.end()) return;
    for (std::size_t i : found->second) infos.emplace(i, info);
    // Only the last answer wakes the waiting thread: one wake-up per answer costs more than the
    // answers themselves when thousands come in.
    if (infos.size() == expected) answered.notify_all();
  });
  if (!engine.Start()) {
    std::fprintf(stderr, "brindle-cli query: cannot open the UDP socket\n");
    return 1;
  }
  // The addresses were looked up above; ask by the dotted form so nothing is looked up twice.
  std::vector<std::string> keys;
  keys.reserve(asked.size());
  for (const auto& entry : asked) keys.push_back(entry.first);
  engine.QueryServerInfos(keys);
  {
    std::unique_lock lock(mutex);
    answered.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                      [&] { return infos.size() == expected; });
  }
  engine.Stop();

  if (ctx.json) {
    auto u = [](const std::string& gbk_text) { return gbk_to_utf8(gbk_text); };
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const auto& [index, info] : infos) {
      nlohmann::ordered_json j;
      j["address"] = addresses[index];
      j["name"] = u(info.name);
      j["map"] = u(info.map);
      j["folder"] = u(info.folder);
      j["game"] = u(info.game);
      j["players"] = info.players;
      j["max_players"] = info.max_players;
      j["bots"] = info.bots;
      j["server_type"] = u(info.server_type);
      j["environment"] = u(info.environment);
      j["password"] = info.password;
      j["vac"] = info.vac;
      j["version"] = u(info.version);
      list.push_back(std::move(j));
    }
    PrintJson(ctx, list);
  } else {
    // The texts are the server's own: shown with their control characters escaped.
    auto t = [](const std::string& gbk_text) { return gbk_to_terminal_text(gbk_text); };
    for (const auto& [index, info] : infos) {
      std::fprintf(ctx.out, "%s  %s\n", terminal_text_utf8(addresses[index]).c_str(),
                   t(info.name).c_str());
      std::fprintf(ctx.out, "  map %s  players %d/%d (bots %d)  game %s (%s)\n",
                   t(info.map).c_str(), info.players, info.max_players, info.bots,
                   t(info.folder).c_str(), t(info.game).c_str());
      std::fprintf(ctx.out, "  %s %s  version %s", t(info.server_type).c_str(),
                   t(info.environment).c_str(), t(info.version).c_str());
      std::fprintf(ctx.out, "  password %s  vac %s\n", info.password ? "yes" : "no",
                   info.vac ? "yes" : "no");
    }
  }
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    if (!infos.count(i)) std::fprintf(stderr, "no answer from %s\n", addresses[i].c_str());
  }
  return infos.size() == addresses.size() ? 0 : 1;
}

}  // namespace

BRINDLE_CLI_COMMAND("query", "[--timeout MS] ADDRESS...: ask game servers for their information",
                    RunQuery);

}  // namespace brindle
