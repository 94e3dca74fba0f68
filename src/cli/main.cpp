// brindle-cli: start-up as the window program does it, with headless ports, then one command.
#include <cstring>
#include <string>
#include <vector>

#include "app/core.h"
#include "app/endpoints.h"
#include "cli/command.h"
#include "foundation/encoding.h"
#include "maps/pre_download.h"
#include "platform/platform.h"
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

void usage(std::FILE* out) {
  std::fprintf(out,
               "usage: brindle-cli [--program-dir DIR] [--endpoints FILE] [--json] COMMAND ...\n"
               "commands:\n");
  for (const auto& c : brindle::CliCommands()) std::fprintf(out, "  %-10s %s\n", c.name, c.usage);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace brindle;
  platform::use_utf8_standard_streams();
  // Arguments arrive as UTF-8 on every system; the two folders are paths, which are GBK inside.
  std::vector<std::string> utf8_args = platform::command_line_utf8(argc, argv);
  std::vector<char*> arg_pointers{argv[0]};
  for (std::string& a : utf8_args) arg_pointers.push_back(a.data());
  CommandLine cl = ParseCommandLine(static_cast<int>(arg_pointers.size()), arg_pointers.data());
  cl.program_dir = utf8_to_gbk(cl.program_dir);
  cl.endpoints_file = utf8_to_gbk(cl.endpoints_file);
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
  if (args.empty()) {
    usage(stderr);
    return 2;
  }
  if (args[0] == "--help" || args[0] == "help") {
    usage(stdout);
    return 0;
  }
  const CliCommand* command = nullptr;
  for (const auto& c : CliCommands()) {
    if (args[0] == c.name) command = &c;
  }
  if (!command) {
    std::fprintf(stderr, "brindle-cli: unknown command '%s'\n", args[0].c_str());
    usage(stderr);
    return 2;
  }
  // A command's own usage, before anything starts: "--help" is never a server or a map.
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--help" || args[i] == "-h") {
      std::fprintf(stdout, "usage: brindle-cli %s %s\n", command->name, command->usage);
      return 0;
    }
  }
  // A folder that is not there is a mistyped option, not a place to build a program folder in.
  if (!cl.program_dir.empty() && !platform::is_directory(cl.program_dir)) {
    std::fprintf(stderr, "brindle-cli: the program folder %s does not exist\n",
                 gbk_to_utf8(cl.program_dir).c_str());
    return 1;
  }

  HeadlessPorts ports;
  Window window(ports, ports);
  AppState state;
  int result = 0;
  {
    Core core(state, window);
    core.require_components = command->installs_files;
    // Beside a running window the CLI still reads, but leaves the folder's cache to the window.
    core.SetFolderClaim(Core::FolderClaim::kOwnOrShare);
    int exit_code = 0;
    if (!StartProgram(core, cl, exit_code)) {
      if (exit_code == 0) {
        // The message the window shows; unlike the window this is a failure a script must see.
        PrintGbk(stderr, core.MissingComponentMessage());
        std::fputc('\n', stderr);
        exit_code = 1;
      }
      ports.Stop();
      return exit_code;
    }
    // A stored PreDownloadEnable must not make a CLI command queue maps of its own accord.
    if (auto* pre = core.FindFeature<PreDownloadFeature>()) pre->ServeTicks(false);
    args.erase(args.begin());
    CliContext context{core, window, ports, args, json, stdout};
    result = command->run(context);
    ports.Stop();
  }
  return result;
}
