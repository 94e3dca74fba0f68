// brindle-cli dictionary update: the button 更新地图翻译 without the window: downloads the forum's
// map name list into MapData.json (under its lock, replaced atomically) and loads it. Prints how
// many names the new file holds; exit 1, with the old file kept, when the update failed.
#include <cstdio>
#include <nlohmann/json.hpp>

#include "app/core.h"
#include "cli/command.h"
#include "foundation/encoding.h"
#include "maps/map_dictionary.h"

namespace brindle {
namespace {

int RunDictionary(CliContext& ctx) {
  if (ctx.args.size() != 1 || ctx.args[0] != "update") {
    std::fputs("usage: brindle-cli dictionary update\n", stderr);
    return 2;
  }
  if (!RunMapDictionaryUpdate(ctx.core)) {
    std::fputs("brindle-cli dictionary: ", stderr);
    PrintGbk(stderr, gbk("更新失败!"));
    std::fputs(" MapData.json was kept as it was\n", stderr);
    return 1;
  }
  const int names = MapNameDictionary().size();
  if (ctx.json) {
    PrintJson(ctx, nlohmann::ordered_json{{"result", "updated"}, {"names", names}});
  } else {
    std::fprintf(ctx.out, "updated MapData.json: %d map names\n", names);
  }
  return 0;
}

}  // namespace

BRINDLE_CLI_COMMAND("dictionary", "update: download the map name list into MapData.json",
                    RunDictionary);

}  // namespace brindle
