// brindle-cli join [--mode 1-5] [--region 1|2] [--print] ADDRESS: the join URL for a launch mode
// and region (by default those of the settings file), opened through the desktop or, with --print,
// only printed.
#include <array>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "app/core.h"
#include "cli/command.h"
#include "foundation/encoding.h"
#include "foundation/process_tools.h"
#include "servers/join.h"
#include "servers/server_address.h"
#include "view/control_names.h"
#include "view/window.h"

namespace brindle {
namespace {

constexpr std::array<const char*, 5> kModeRadios = {names::kLaunchAuto, names::kLaunchSteam,
                                                    names::kLaunchSteamRunAppid,
                                                    names::kLaunchSteamChina, names::kLaunchCs2};

bool ParseChoice(const std::string& text, int low, int high, int& out) {
  if (text.size() != 1 || text[0] < '0' + low || text[0] > '0' + high) return false;
  out = text[0] - '0';
  return true;
}

int Usage() {
  std::fputs("usage: brindle-cli join [--mode 1-5] [--region 1|2] [--print] ADDRESS\n", stderr);
  return 2;
}

int RunJoin(CliContext& ctx) {
  int mode = 0;
  int region = 0;
  bool print_only = false;
  std::string address;
  for (std::size_t i = 0; i < ctx.args.size(); ++i) {
    const std::string& arg = ctx.args[i];
    if (arg == "--print") {
      print_only = true;
    } else if (arg == "--mode" || arg == "--region") {
      if (i + 1 >= ctx.args.size()) return Usage();
      const bool ok = arg == "--mode" ? ParseChoice(ctx.args[++i], 1, 5, mode)
                                      : ParseChoice(ctx.args[++i], 1, 2, region);
      if (!ok) return Usage();
    } else if (address.empty() && !arg.empty() && arg[0] != '-') {
      address = utf8_to_gbk(arg);
    } else {
      return Usage();
    }
  }
  if (address.empty()) return Usage();
  if (!IsValidServerAddress(address)) {
    std::fprintf(stderr, "brindle-cli join: %s: %s\n", gbk_to_utf8(address).c_str(),
                 kInvalidServerAddressMessage);
    return 1;
  }

  // The options act on the window as the radio buttons would, without touching the settings.
  Controls& controls = ctx.window.controls();
  if (mode != 0) controls.SetChecked(kModeRadios[static_cast<std::size_t>(mode - 1)], true);
  if (region != 0) {
    controls.SetChecked(region == kRegionPerfectWorld ? names::kRegionChina : names::kRegionWorld,
                        true);
  }
  const int used_mode = LaunchModeIn(controls);
  const int used_region = LaunchRegionIn(controls);

  JoinHooks previous;
  if (print_only) previous = SetJoinHooks({[](const std::string&) {}, {}, {}});
  std::string url;
  ctx.window.RunOnUi([&] { url = JoinServer(ctx.window, address); });
  if (print_only) SetJoinHooks(std::move(previous));
  // A join that found only the Steam China client switched the region.
  const int region_after = LaunchRegionIn(controls);
  if (url.empty()) {
    std::fprintf(
        stderr, "brindle-cli join: nothing was opened for %s (%s)\n", gbk_to_utf8(address).c_str(),
        HasUrlHandler("steam") ? "refused" : "no Steam client: no program opens steam:// links");
    return 1;
  }

  if (ctx.json) {
    nlohmann::ordered_json j;
    j["address"] = gbk_to_utf8(address);
    j["mode"] = used_mode;
    j["region"] = used_region;
    j["region_after"] = region_after;
    j["url"] = gbk_to_utf8(url);
    j["opened"] = !print_only;
    PrintJson(ctx, j);
  } else {
    PrintGbk(ctx.out, url);
    std::fputc('\n', ctx.out);
  }
  return 0;
}

}  // namespace

BRINDLE_CLI_COMMAND("join", "[--mode 1-5] [--region 1|2] [--print] ADDRESS: join a server",
                    RunJoin);

}  // namespace brindle
