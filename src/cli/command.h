// brindle-cli: the core with the headless ports, one sub-command per job. Each command file
// registers itself with a static BRINDLE_CLI_COMMAND, so adding a command touches only its file.
// Every failure ends the program with a non-zero exit code and its message on standard error;
// standard output carries results only.
#pragma once

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace brindle {

class Core;
class Window;
class HeadlessPorts;

struct CliContext {
  Core& core;
  Window& window;
  HeadlessPorts& ports;
  std::vector<std::string> args;  // after the command name, options shared by all removed
  bool json = false;              // --json: UTF-8 JSON on stdout for scripts
  std::FILE* out = stdout;
};

using CliCommandFn = int (*)(CliContext&);

struct CliCommand {
  const char* name;
  const char* usage;
  CliCommandFn run;
  // Needs the program's components (the extractor): a command that installs files. Every other
  // command works from any program folder.
  bool installs_files = false;
};

bool RegisterCliCommand(CliCommand command);
const std::vector<CliCommand>& CliCommands();

// Prints a GBK text as UTF-8.
void PrintGbk(std::FILE* out, const std::string& gbk_text);

// Takes "--timeout MS" out of ctx.args (the last one counts). False, with a message on stderr
// naming `command`, when a value is missing or not a whole number of milliseconds >= 0.
bool TakeTimeoutOption(CliContext& ctx, const char* command, int& timeout_ms);

// A command that downloads first lets start-up apply the community's remote configuration (mirror
// hosts, https per line, user agents), as the window has before anyone can download. Waits at
// most a minute; past that it says so on stderr and goes on with the built-in values.
void AwaitRemoteConfiguration(CliContext& ctx, const char* command);

// The failure of a task as the player sees it in the window and, for scripts, the reason in
// English: "下载失败 (status 404)" in UTF-8; empty for a task that did not fail.
struct TaskOutcome;
std::string FailureWordsUtf8(const TaskOutcome& outcome);

// Prints a JSON value (UTF-8 strings) to ctx.out indented by two, with a final newline. Invalid
// UTF-8 in a string is replaced, never a reason to fail.
void PrintJson(CliContext& ctx, const nlohmann::ordered_json& value);

}  // namespace brindle

#define BRINDLE_CLI_CONCAT2(a, b) a##b
#define BRINDLE_CLI_CONCAT(a, b) BRINDLE_CLI_CONCAT2(a, b)
#define BRINDLE_CLI_COMMAND(name, usage, fn)                                \
  static const bool BRINDLE_CLI_CONCAT(brindle_cli_registered_, __LINE__) = \
      ::brindle::RegisterCliCommand({name, usage, fn, false})
// A command that installs files, so start-up insists on the extractor as the window does.
#define BRINDLE_CLI_INSTALLING_COMMAND(name, usage, fn)                     \
  static const bool BRINDLE_CLI_CONCAT(brindle_cli_registered_, __LINE__) = \
      ::brindle::RegisterCliCommand({name, usage, fn, true})
