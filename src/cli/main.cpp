// brindle-cli: start-up as the window program does it, with headless ports, then one command.
#include <cstring>
#include <string>

#include "app/core.h"
#include "app/endpoints.h"
#include "cli/command.h"
#include "foundation/encoding.h"
#include "program/features.h"
#include "view/headless_ports.h"

namespace brindle {

namespace {
std::vector<CliCommand>& registry() {
  static std::vector<CliCommand> commands;
  return commands;
}
}  // namespace

bool RegisterCliCommand(CliCommand command) {
  registry().push_back(command);
  return true;
}

const std::vector<CliCommand>& CliCommands() { return registry(); }

void PrintGbk(std::FILE* out, const std::string& gbk_text) {
  std::string utf8 = gbk_to_utf8(gbk_text);
  std::fwrite(utf8.data(), 1, utf8.size(), out);
}

}  // namespace brindle

namespace {

int usage(std::FILE* out) {
  std::fprintf(out,
               "usage: brindle-cli [--program-dir DIR] [--endpoints FILE] [--json] COMMAND ...\n"
               "commands:\n");
  for (const auto& c : brindle::CliCommands()) std::fprintf(out, "  %-10s %s\n", c.name, c.usage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace brindle;
  CommandLine cl = ParseCommandLine(argc, argv);
  if (!cl.error.empty()) {
    std::fprintf(stderr, "brindle-cli: %s\n", cl.error.c_str());
    return 2;
  }
  bool json = false;
  std::vector<std::string> args;
  for (const auto& a : cl.rest) {
    if (a == "--json") {
      json = true;
    } else {
      args.push_back(a);
    }
  }
  if (args.empty() || args[0] == "--help" || args[0] == "help") return usage(args.empty() ? stderr : stdout);
  const CliCommand* command = nullptr;
  for (const auto& c : CliCommands()) {
    if (args[0] == c.name) command = &c;
  }
  if (!command) {
    std::fprintf(stderr, "brindle-cli: unknown command '%s'\n", args[0].c_str());
    return usage(stderr);
  }

  HeadlessPorts ports;
  Window window(ports, ports);
  AppState state;
  int result = 0;
  {
    Core core(state, window);
    // Beside a running window the CLI still reads, but leaves the folder's cache to the window.
    core.SetFolderClaim(Core::FolderClaim::kOwnOrShare);
    int exit_code = 0;
    if (!StartProgram(core, cl, exit_code)) {
      if (exit_code == 0) {
        // The same message the window shows; the program ends with 0 as it does.
        PrintGbk(stderr, core.MissingComponentMessage());
        std::fputc('\n', stderr);
      }
      ports.Stop();
      return exit_code;
    }
    args.erase(args.begin());
    CliContext context{core, window, ports, args, json, stdout};
    result = command->run(context);
    ports.Stop();
  }
  return result;
}
