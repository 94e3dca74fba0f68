#include "cli/command.h"

#include <charconv>
#include <chrono>

#include "app/core.h"
#include "app/remote_config.h"
#include "foundation/encoding.h"
#include "foundation/terminal_text.h"
#include "maps/map_downloads.h"

namespace brindle {

bool TakeTimeoutOption(CliContext& ctx, const char* command, int& timeout_ms) {
  std::vector<std::string> rest;
  for (std::size_t i = 0; i < ctx.args.size(); ++i) {
    if (ctx.args[i] != "--timeout") {
      rest.push_back(ctx.args[i]);
      continue;
    }
    int value = -1;
    const std::string text = i + 1 < ctx.args.size() ? ctx.args[i + 1] : std::string();
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 0) {
      std::fprintf(stderr, "brindle-cli %s: --timeout needs milliseconds\n", command);
      return false;
    }
    timeout_ms = value;
    ++i;
  }
  ctx.args = std::move(rest);
  return true;
}

void AwaitRemoteConfiguration(CliContext& ctx, const char* command) {
  auto* remote = ctx.core.FindFeature<RemoteConfigurationFeature>();
  if (remote == nullptr || remote->WaitApplied(std::chrono::minutes(1))) return;
  std::fprintf(stderr,
               "brindle-cli %s: the remote configuration did not arrive in time; the built-in "
               "mirror lines are used\n",
               command);
}

std::string FailureWordsUtf8(const TaskOutcome& outcome) {
  const std::string words = gbk_to_utf8(TaskFailureText(outcome));
  if (words.empty() || outcome.reason.empty()) return words;
  return words + " (" + outcome.reason + ")";
}

void PrintJson(CliContext& ctx, const nlohmann::ordered_json& value) {
  // The writer escapes C0 controls (ESC, CR, LF) in strings; DEL and C1 controls are escaped
  // here, so no text from the network acts on a terminal the JSON is shown on.
  const std::string text =
      json_text_for_terminal(value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace));
  std::fprintf(ctx.out, "%s\n", text.c_str());
}

}  // namespace brindle
