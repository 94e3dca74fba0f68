// brindle-cli game csgo PATH | game cs2 PATH: chooses a game's executable by hand, as the
// buttons 设置路径CSGO and 设置路径CS2 do: the folder is checked with the files every
// installation has, kept in the settings file and marked as chosen by hand. PATH may also be the
// folder that holds the executable.
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "app/app_state.h"
#include "app/core.h"
#include "app/installation.h"
#include "cli/command.h"
#include "foundation/encoding.h"
#include "platform/platform.h"

namespace brindle {
namespace {

int Usage() {
  std::fputs("usage: brindle-cli game csgo PATH | game cs2 PATH\n", stderr);
  return 2;
}

int RunGame(CliContext& ctx) {
  if (ctx.args.size() != 2 || (ctx.args[0] != "csgo" && ctx.args[0] != "cs2")) return Usage();
  const bool cs2 = ctx.args[0] == "cs2";
  std::string path = utf8_to_gbk(ctx.args[1]);
  if (path.empty()) return Usage();
  if (platform::is_directory(path)) {
    if (path.back() != platform::path_separator()) path += platform::path_separator();
    path += std::string(cs2 ? kCs2ExeName : kCsgoExeName);
  }

  bool stored = false;
  const bool ok =
      cs2 ? SetCs2Executable(ctx.core, path, &stored) : SetCsgoExecutable(ctx.core, path, &stored);
  if (ok && !stored) {
    // The window keeps the choice for its run; a command that ends now has kept nothing.
    std::fprintf(stderr, "brindle-cli game: the choice could not be written to %s\n",
                 gbk_to_utf8(ctx.core.SettingsPath()).c_str());
    return 1;
  }
  if (!ok) {
    std::fputs("brindle-cli game: ", stderr);
    PrintGbk(stderr, gbk("您的路径设置似乎不正确!"));
    PrintGbk(stderr, cs2 ? Cs2PathWrongText() : CsgoPathWrongText());
    std::fputc('\n', stderr);
    return 1;
  }
  GamePaths game;
  {
    std::lock_guard lock(ctx.core.state().mutex);
    game = ctx.core.state().game;
  }
  const std::string folder = gbk_to_utf8(cs2 ? game.cs2_dir : game.csgo_dir);
  const std::string maps = gbk_to_utf8(cs2 ? game.cs2_map_dir : game.csgo_map_dir);
  if (ctx.json) {
    nlohmann::ordered_json j{{"game", ctx.args[0]}, {"folder", folder}, {"map_folder", maps}};
    std::fprintf(ctx.out, "%s\n",
                 j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
  } else {
    std::fprintf(ctx.out, "%s folder: %s\n%s maps:   %s\n", ctx.args[0].c_str(), folder.c_str(),
                 ctx.args[0].c_str(), maps.c_str());
  }
  return 0;
}

}  // namespace

BRINDLE_CLI_COMMAND("game",
                    "csgo PATH | cs2 PATH  choose a game's executable (or its folder) by hand",
                    RunGame);

}  // namespace brindle
