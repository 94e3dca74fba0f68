// brindle-cli players: asks one game server for its players, as the "详情" action does, and
// prints the list it sends back.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "app/core.h"
#include "cli/command.h"
#include "foundation/encoding.h"
#include "foundation/terminal_text.h"
#include "servers/query_engine.h"

namespace brindle {
namespace {

constexpr int kDefaultTimeoutMs = 3000;

int RunPlayers(CliContext& ctx) {
  int timeout_ms = kDefaultTimeoutMs;
  if (!TakeTimeoutOption(ctx, "players", timeout_ms)) return 2;
  const std::vector<std::string>& addresses = ctx.args;
  if (addresses.size() != 1) {
    std::fprintf(stderr, "usage: brindle-cli players [--timeout MS] ADDRESS\n");
    return 2;
  }
  const std::string& address = addresses.front();
  const QueryTarget target = ResolveQueryTarget(address, nullptr);
  if (!target.ok()) {
    std::fprintf(stderr, "brindle-cli players: cannot reach %s\n", address.c_str());
    return 1;
  }

  std::mutex mutex;
  std::condition_variable answered;
  std::optional<std::vector<PlayerEntry>> players;
  QueryEngine engine(ctx.window);
  engine.SetPlayersObserver(
      [&](const std::string&, const std::vector<PlayerEntry>& list, bool accepted) {
        if (!accepted) return;  // another server's, or too late
        std::lock_guard lock(mutex);
        players = list;
        answered.notify_all();
      });
  if (!engine.Start()) {
    std::fprintf(stderr, "brindle-cli players: cannot open the UDP socket\n");
    return 1;
  }
  engine.QueryPlayers(target.key);  // looked up above
  {
    std::unique_lock lock(mutex);
    answered.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                      [&] { return players.has_value(); });
  }
  engine.Stop();
  if (!players) {
    std::fprintf(stderr, "no answer from %s\n", address.c_str());
    return 1;
  }

  // The rows as the player list shows them (blank names included).
  std::vector<ListRow> rows;
  for (const auto& player : *players) rows.push_back(PlayerListRow(player));
  if (ctx.json) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < rows.size(); ++i) {
      nlohmann::ordered_json j;
      j["name"] = gbk_to_utf8(rows[i][cols::kPlayerName]);
      j["score"] = (*players)[i].score;
      j["time"] = rows[i][cols::kPlayerTime];
      list.push_back(std::move(j));
    }
    PrintJson(ctx, list);
    return 0;
  }
  for (const auto& row : rows) {
    std::fprintf(ctx.out, "%8s  %s  %s\n", row[cols::kPlayerTime].c_str(),
                 row[cols::kPlayerScore].c_str(),
                 gbk_to_terminal_text(row[cols::kPlayerName]).c_str());
  }
  std::fprintf(ctx.out, "%zu players\n", rows.size());
  return 0;
}

}  // namespace

BRINDLE_CLI_COMMAND("players", "[--timeout MS] ADDRESS: list the players of a game server",
                    RunPlayers);

}  // namespace brindle
