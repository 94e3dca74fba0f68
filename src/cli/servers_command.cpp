// brindle-cli servers [--category KEYWORDS]: one fetch of the community's server list, filled as
// the server page fills it, printed row by row (with --json an array of objects with the five
// cells). KEYWORDS is a button caption ("娱乐综合"), a "--"-joined keyword list, or
// "AllServers" (the default). The map names are translated from MapData.json when it is there.
#include <nlohmann/json.hpp>

#include "app/core.h"
#include "cli/command.h"
#include "foundation/encoding.h"
#include "foundation/terminal_text.h"
#include "maps/map_dictionary.h"
#include "servers/categories.h"
#include "servers/server_list.h"

namespace brindle {
namespace {

int RunServers(CliContext& ctx) {
  std::string category(kAllServers);
  for (std::size_t i = 0; i < ctx.args.size(); ++i) {
    if (ctx.args[i] == "--category" && i + 1 < ctx.args.size()) {
      const std::string text = utf8_to_gbk_counted(ctx.args[++i]);
      const std::string of_button = CategoryOfCaption(text);
      category = of_button.empty() ? text : of_button;
    } else {
      std::fprintf(stderr, "brindle-cli servers: unknown argument '%s'\n", ctx.args[i].c_str());
      return 2;
    }
  }

  if (MapNameDictionary().empty()) LoadMapDictionary(ctx.core);
  // One attempt: a script wants an answer, not eight minutes of retries.
  std::string reason;
  if (!FetchServerListOnce(ctx.core, category, &reason)) {
    std::fprintf(stderr, "brindle-cli servers: the server list answer could not be read (%s)\n",
                 gbk_to_terminal_text(reason).c_str());
    return 1;
  }

  const auto rows = ctx.window.server_list().Rows();
  if (ctx.json) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const ListRow& row : rows) {
      list.push_back({{"name", gbk_to_utf8(row[cols::kServerName])},
                      {"map", gbk_to_utf8(row[cols::kServerMap])},
                      {"players", gbk_to_utf8(row[cols::kServerPlayers])},
                      {"address", gbk_to_utf8(row[cols::kServerAddress])},
                      {"description", gbk_to_utf8(row[cols::kServerRegion])}});
    }
    PrintJson(ctx, list);
    return 0;
  }
  // Every cell came from the network: its control characters are shown escaped (a tab in a
  // name would also break the columns).
  // The service's five columns; the round trip and the live map belong to the window's query.
  for (const ListRow& row : rows) {
    for (int c = 0; c <= cols::kServerRegion && c < static_cast<int>(row.size()); ++c) {
      if (c > 0) std::fputs("\t", ctx.out);
      std::fputs(gbk_to_terminal_text(row[static_cast<std::size_t>(c)]).c_str(), ctx.out);
    }
    std::fputs("\n", ctx.out);
  }
  std::fprintf(ctx.out, "%zu servers\n", rows.size());
  return 0;
}

}  // namespace

BRINDLE_CLI_COMMAND("servers",
                    "[--category KEYWORDS] the server list (all, a button caption or keywords)",
                    RunServers);

}  // namespace brindle
