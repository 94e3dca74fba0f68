// brindle-cli patch status | patch update [--wait] [--line us1|us2|telecom]
// brindle-cli predownload once [--timeout MS]
//
// patch status: the installed model patch version, the service's version and the caption the
// patch button shows; exit 1 when the CS:GO folder is not known.
// patch update: without --wait, the plan: whether an update is due and the archives it would
// fetch (after the mirror rewrite). With --wait, the update as the patch button runs it: the
// archives are queued, downloaded, unpacked into the CS:GO folder, and the new state printed;
// exit 1 when a task failed or the version service did not answer. Both apply the community's
// remote configuration first (mirror hosts), and a failure shows the window's words with the
// reason ("failure" beside "reason" in --json).
// predownload once: one query of the user-info service for the logged-in player, as a tick of
// the pre-download clock; every map it queues is downloaded and installed before the command
// ends. Prints each map with what became of it; exit 1 when the query got no answer or a task
// failed.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "account/account_feature.h"
#include "account/forum_login.h"
#include "app/core.h"
#include "app/installation.h"
#include "cli/command.h"
#include "foundation/encoding.h"
#include "foundation/terminal_text.h"
#include "maps/extractor.h"
#include "maps/map_downloads.h"
#include "maps/model_patch.h"
#include "maps/pre_download.h"
#include "platform/platform.h"
#include "view/control_names.h"
#include "view/window.h"

namespace brindle {
namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(5);
constexpr int kLoginWaitMs = 60000;

std::string U(const std::string& gbk_text) { return gbk_to_utf8(gbk_text); }

const char* StateText(PatchState state) {
  switch (state) {
    case PatchState::kNotInstalled:
      return "not_installed";
    case PatchState::kInstalled:
      return "installed";
    case PatchState::kOutdated:
      return "outdated";
    case PatchState::kUnknown:
      break;
  }
  return "unknown";
}

const char* ItemText(PreDownloadResult result) {
  switch (result) {
    case PreDownloadResult::kQueued:
      return "queued";
    case PreDownloadResult::kInstalled:
      return "already installed";
    case PreDownloadResult::kNotFound:
      return "not on the mirror";
    case PreDownloadResult::kSeen:
      return "handled before";
    case PreDownloadResult::kSkipped:
      break;
  }
  return "skipped (no usable map name or prefix)";
}

void PrintStatus(CliContext& ctx, const PatchStatus& status) {
  const std::string caption = U(ctx.window.controls().Caption(names::kPatch));
  if (ctx.json) {
    nlohmann::ordered_json j{{"state", StateText(status.state)},
                             {"local", status.local},
                             {"remote", status.remote},
                             {"caption", caption}};
    PrintJson(ctx, j);
    return;
  }
  std::fprintf(ctx.out, "state    %s\n", StateText(status.state));
  if (status.state != PatchState::kNotInstalled && status.state != PatchState::kUnknown) {
    std::fprintf(ctx.out, "local    %lld\n", static_cast<long long>(status.local));
  }
  if (status.remote >= 0) {
    std::fprintf(ctx.out, "remote   %lld\n", static_cast<long long>(status.remote));
  } else if (status.state != PatchState::kNotInstalled && status.state != PatchState::kUnknown) {
    std::fputs("remote   (no answer)\n", ctx.out);
  }
  std::string one_line = caption;
  for (std::size_t at; (at = one_line.find("\r\n")) != std::string::npos;) one_line.erase(at, 2);
  std::fprintf(ctx.out, "caption  %s\n", one_line.c_str());
}

// Downloads and installs need the extractor, the game and the folder to ourselves.
bool ReadyToInstall(CliContext& ctx, const char* command) {
  if (!platform::file_exists(ExtractorPath(ctx.core.state()))) {
    std::fprintf(stderr, "brindle-cli %s: the extractor is missing from the program folder\n",
                 command);
    return false;
  }
  if (!ctx.core.OwnsProgramFolder()) {
    std::fprintf(stderr,
                 "brindle-cli %s: another Brindle program (the window) is using this program "
                 "folder; close it and try again\n",
                 command);
    return false;
  }
  ctx.window.controls().SetChecked(names::kAutoExtract, true);
  return true;
}

// Starts the queue at once and waits until every one of `tasks` is final and nothing is left to
// unpack; prints them. The number that failed.
int WaitAndPrint(CliContext& ctx, MapDownloadsFeature& downloads,
                 const std::vector<std::uint64_t>& tasks, nlohmann::ordered_json* json) {
  ctx.window.RunOnUi([&] { downloads.QueueTick(); });
  for (;;) {
    bool all = downloads.Idle();
    for (std::uint64_t id : tasks) {
      const auto outcome = downloads.Outcome(id);
      if (outcome && outcome->result == TaskResult::kPending) all = false;
    }
    if (all) break;
    std::this_thread::sleep_for(kPollInterval);
  }
  int failed = 0;
  for (std::uint64_t id : tasks) {
    const auto outcome = downloads.Outcome(id);
    if (!outcome) continue;
    if (outcome->result == TaskResult::kFailed) ++failed;
    if (json != nullptr) {
      nlohmann::ordered_json j{{"name", U(outcome->name)},
                               {"url", U(outcome->url)},
                               {"result", TaskResultText(outcome->result)}};
      if (!outcome->reason.empty()) j["reason"] = outcome->reason;
      if (outcome->result == TaskResult::kFailed) j["failure"] = U(TaskFailureText(*outcome));
      json->push_back(std::move(j));
    } else {
      const std::string words = FailureWordsUtf8(*outcome);
      std::fprintf(ctx.out, "%-10s %s%s%s\n", TaskResultText(outcome->result),
                   gbk_to_terminal_text(outcome->name).c_str(), words.empty() ? "" : ": ",
                   terminal_text_utf8(words).c_str());
    }
  }
  return failed;
}

int PatchUsage() {
  std::fputs(
      "usage: brindle-cli patch status\n"
      "       brindle-cli patch update [--wait] [--line us1|us2|telecom]\n",
      stderr);
  return 2;
}

int RunPatch(CliContext& ctx) {
  auto* patch = ctx.core.FindFeature<ModelPatchFeature>();
  MapDownloadsFeature* downloads = MapDownloadsOf(ctx.core);
  if (patch == nullptr || downloads == nullptr) {
    std::fputs("brindle-cli patch: the program has no patch feature\n", stderr);
    return 1;
  }
  if (ctx.args.empty()) return PatchUsage();
  const std::string sub = ctx.args[0];
  bool wait = false;
  const char* line = nullptr;
  for (std::size_t i = 1; i < ctx.args.size(); ++i) {
    const std::string& arg = ctx.args[i];
    if (sub == "update" && arg == "--wait") {
      wait = true;
    } else if (sub == "update" && arg == "--line" && i + 1 < ctx.args.size()) {
      const std::string& name = ctx.args[++i];
      line = name == "us1"       ? names::kMirror1
             : name == "us2"     ? names::kMirror3
             : name == "telecom" ? names::kMirror2
                                 : nullptr;
      if (line == nullptr) return PatchUsage();
    } else {
      return PatchUsage();
    }
  }
  if (sub == "status") {
    const PatchStatus status = patch->CheckModelPatch();
    PrintStatus(ctx, status);
    if (status.state == PatchState::kUnknown) {
      std::fputs("brindle-cli patch: the CS:GO folder is not known (brindle-cli game csgo PATH)\n",
                 stderr);
      return 1;
    }
    return 0;
  }
  if (sub != "update") return PatchUsage();
  // The archives' URLs go through the mirror rewrite: the lines as the community set them, then
  // --line.
  AwaitRemoteConfiguration(ctx, "patch update");
  if (line != nullptr) ctx.window.controls().SetChecked(line, true);

  if (!wait) {
    const PatchStatus status = patch->CheckModelPatch();
    if (!ctx.json) PrintStatus(ctx, status);
    if (status.state == PatchState::kUnknown) {
      std::fputs("brindle-cli patch: the CS:GO folder is not known (brindle-cli game csgo PATH)\n",
                 stderr);
      return 1;
    }
    const bool due =
        status.state == PatchState::kNotInstalled || status.state == PatchState::kOutdated;
    const std::vector<std::string> files = due ? patch->PatchFiles() : std::vector<std::string>{};
    if (ctx.json) {
      nlohmann::ordered_json list = nlohmann::ordered_json::array();
      for (const std::string& url : files) list.push_back(U(url));
      PrintJson(ctx, nlohmann::ordered_json{{"state", StateText(status.state)},
                                            {"local", status.local},
                                            {"remote", status.remote},
                                            {"due", due},
                                            {"archives", list}});
    } else {
      std::fprintf(ctx.out, "%s\n",
                   due ? "update due; archives (run with --wait to fetch them):" : "no update due");
      for (const std::string& url : files) {
        std::fprintf(ctx.out, "  %s\n", gbk_to_terminal_text(url).c_str());
      }
    }
    return 0;
  }

  if (!ReadyToInstall(ctx, "patch update")) return 1;
  std::vector<std::uint64_t> tasks;
  const PatchUpdate result = patch->UpdateModelPatch(&tasks);
  switch (result) {
    case PatchUpdate::kWrongPath:
      std::fputs("brindle-cli patch update: ", stderr);
      PrintGbk(stderr, gbk("您的路径设置似乎不正确!"));
      std::fputs(" (choose the game first: brindle-cli game csgo PATH)\n", stderr);
      return 1;
    case PatchUpdate::kNoAnswer:
      std::fputs("brindle-cli patch update: ", stderr);
      PrintGbk(stderr, gbk("材质补丁版本获取失败 请稍后再试"));
      std::fputs(" (the version service did not answer)\n", stderr);
      return 1;
    case PatchUpdate::kNoList:
      std::fputs("brindle-cli patch update: the patch file list named no archive\n", stderr);
      return 1;
    case PatchUpdate::kBusy:
      std::fputs("brindle-cli patch update: an update is already running\n", stderr);
      return 1;
    case PatchUpdate::kUpToDate:
      if (!ctx.json) PrintGbk(ctx.out, gbk("无需更新"));
      if (!ctx.json) std::fputc('\n', ctx.out);
      PrintStatus(ctx, patch->CheckModelPatch());
      return 0;
    case PatchUpdate::kQueued:
      break;
  }
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  const int failed = WaitAndPrint(ctx, *downloads, tasks, ctx.json ? &list : nullptr);
  const PatchStatus after = patch->CheckModelPatch();
  if (ctx.json) {
    PrintJson(ctx, nlohmann::ordered_json{{"tasks", list},
                                          {"state", StateText(after.state)},
                                          {"local", after.local},
                                          {"remote", after.remote}});
  } else {
    PrintStatus(ctx, after);
  }
  return failed > 0 ? 1 : 0;
}

int RunPreDownload(CliContext& ctx) {
  int wait_ms = kLoginWaitMs;
  if (!TakeTimeoutOption(ctx, "predownload", wait_ms)) return 2;
  if (ctx.args.size() != 1 || ctx.args[0] != "once") {
    std::fputs("usage: brindle-cli predownload once [--timeout MS]\n", stderr);
    return 2;
  }
  auto* pre = ctx.core.FindFeature<PreDownloadFeature>();
  auto* account = ctx.core.FindFeature<AccountFeature>();
  MapDownloadsFeature* downloads = MapDownloadsOf(ctx.core);
  if (pre == nullptr || account == nullptr || downloads == nullptr) {
    std::fputs("brindle-cli predownload: the program has no pre-download feature\n", stderr);
    return 1;
  }
  if (!account->WaitForAutoLogin(std::chrono::milliseconds(wait_ms))) {
    std::fprintf(stderr, "brindle-cli predownload: the automatic login did not finish in %d ms\n",
                 wait_ms);
    return 1;
  }
  if (!IsLoggedIn(CurrentLogin(ctx.core.state()))) {
    std::fputs("brindle-cli predownload: ", stderr);
    PrintGbk(stderr, gbk("请登录"));
    std::fputs(" (brindle-cli login NAME CODE)\n", stderr);
    return 1;
  }
  if (!CheckInstallation(ctx.core.state())) {
    std::fputs("brindle-cli predownload: ", stderr);
    PrintGbk(stderr, gbk("您的路径设置似乎不正确!"));
    std::fputs(" (choose the game first: brindle-cli game csgo PATH)\n", stderr);
    return 1;
  }
  if (!ReadyToInstall(ctx, "predownload")) return 1;
  AwaitRemoteConfiguration(ctx, "predownload");
  const PreDownloadReport report = pre->PreDownloadQuery();
  if (!report.answered) {
    std::fprintf(stderr, "brindle-cli predownload: %s\n", report.reason.c_str());
    return 1;
  }
  std::vector<std::uint64_t> tasks;
  for (const PreDownloadItem& item : report.items) {
    if (item.task != 0) tasks.push_back(item.task);
  }
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  const int failed = WaitAndPrint(ctx, *downloads, tasks, ctx.json ? &list : nullptr);
  nlohmann::ordered_json maps = nlohmann::ordered_json::array();
  for (const PreDownloadItem& item : report.items) {
    const std::string name = item.map.empty() ? "(empty)" : gbk_to_terminal_text(item.map);
    if (ctx.json) {
      nlohmann::ordered_json j{{"map", U(item.map)},
                               {"from", item.nominated ? "nominated" : "next"},
                               {"result", ItemText(item.result)}};
      if (!item.url.empty()) j["url"] = U(item.url);
      maps.push_back(std::move(j));
    } else {
      std::fprintf(ctx.out, "%-9s %-24s %s%s%s\n", item.nominated ? "nominated" : "next",
                   name.c_str(), ItemText(item.result), item.url.empty() ? "" : " ",
                   gbk_to_terminal_text(item.url).c_str());
    }
  }
  if (ctx.json) {
    PrintJson(ctx, nlohmann::ordered_json{{"next_map", U(report.info.next_map)},
                                          {"nominated", U(report.info.nominated)},
                                          {"maps", maps},
                                          {"tasks", list}});
  }
  return failed > 0 ? 1 : 0;
}

}  // namespace

BRINDLE_CLI_COMMAND("patch", "status | update [--wait] [--line us1|us2|telecom]", RunPatch);
BRINDLE_CLI_COMMAND("predownload", "once [--timeout MS]", RunPreDownload);

}  // namespace brindle
