// brindle-cli version: the version check's result: this program's version and the newest one the
// software service names.
#include <cstdio>
#include <nlohmann/json.hpp>

#include "app/core.h"
#include "app/version_check.h"
#include "cli/command.h"

namespace brindle {
namespace {

int RunVersion(CliContext& ctx) {
  if (!ctx.args.empty()) {
    std::fputs("usage: brindle-cli version\n", stderr);
    return 2;
  }
  const VersionAnswer answer = FetchNewestVersion(ctx.core);
  if (ctx.json) {
    nlohmann::ordered_json j;
    j["local"] = answer.local;
    j["answered"] = answer.answered;
    j["newest"] = answer.newest;
    j["answer"] = answer.text;  // raw bytes; invalid UTF-8 is replaced when printed
    j["newer"] = answer.newer();
    PrintJson(ctx, j);
  } else if (answer.answered) {
    std::fprintf(ctx.out, "local %d newest %d%s\n", answer.local, answer.newest,
                 answer.newer() ? " (newer version available)" : "");
  }
  if (!answer.answered) {
    std::fputs("brindle-cli version: the software service gave no answer\n", stderr);
    return 1;
  }
  return 0;
}

}  // namespace

BRINDLE_CLI_COMMAND("version", "this version and the newest one the software service names",
                    RunVersion);

}  // namespace brindle
