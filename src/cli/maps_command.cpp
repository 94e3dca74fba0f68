// brindle-cli maps check GROUP [--into-game]
// brindle-cli maps download [--line us1|us2|telecom] [--into-game] [--low-speed B:S]
//                           (GROUP | --url URL...)
//
// check: the map requirement check of one group, as its button runs it; without --into-game the
// download cache is examined (the option off). Prints the resource rows; the summary text goes
// to stderr.
// download: queues the group's rows (as 开始下载 does) or the URLs, downloads them one at a time
// through the same queue over the chosen mirror line, installs them with --into-game, and waits
// until the queue and the extraction queue are empty. The community's remote configuration is
// applied first, as the window's start-up does. A live progress bar per task on a terminal; a
// failed task shows the window's words with the reason; --json prints
// [{"name","url","result","bytes"[,"reason","failure"]}] ("failure": the window's words). Exit
// status 1 when any task failed. Refused while another program (the window) owns the program
// folder.

#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "app/core.h"
#include "app/installation.h"
#include "cli/command.h"
#include "foundation/encoding.h"
#include "foundation/terminal_text.h"
#include "maps/download_progress.h"
#include "maps/download_task.h"
#include "maps/map_check.h"
#include "maps/map_downloads.h"
#include "platform/platform.h"
#include "view/control_names.h"
#include "view/window.h"

namespace brindle {
namespace {

// The end of the queue is noticed within a few milliseconds; the bar is redrawn ten times a second.
constexpr auto kPollInterval = std::chrono::milliseconds(5);
constexpr int kPollsPerRedraw = 20;
constexpr int kBarWidth = 24;

int Usage() {
  std::fputs(
      "usage: brindle-cli maps check GROUP [--into-game]\n"
      "       brindle-cli maps download [--line us1|us2|telecom] [--into-game]\n"
      "                                 [--low-speed BYTES:SECONDS] (GROUP | --url URL...)\n"
      "groups:",
      stderr);
  for (const MapGroup& group : MapGroups()) std::fprintf(stderr, " %s", group.key);
  std::fputc('\n', stderr);
  return 2;
}

std::string U(const std::string& gbk_text) { return gbk_to_utf8(gbk_text); }
// For plain output: names and addresses from the map lists, with controls escaped.
std::string T(const std::string& gbk_text) { return gbk_to_terminal_text(gbk_text); }

MapDownloadsFeature* Downloads(CliContext& ctx) {
  MapDownloadsFeature* downloads = MapDownloadsOf(ctx.core);
  if (downloads == nullptr)
    std::fputs("brindle-cli maps: map downloads are not available\n", stderr);
  return downloads;
}

// Why the map check found no list, as the download page says it to the player.
std::string ListFailure(CliContext& ctx) {
  return gbk_to_terminal_text(ctx.window.controls().Caption(names::kDownloadSummary));
}

int RunCheck(CliContext& ctx, const std::vector<std::string>& args) {
  const MapGroup* group = nullptr;
  bool into_game = false;
  for (const std::string& arg : args) {
    if (arg == "--into-game") {
      into_game = true;
    } else if (group == nullptr && (group = FindMapGroup(arg)) != nullptr) {
    } else {
      return Usage();
    }
  }
  if (group == nullptr) return Usage();
  MapDownloadsFeature* downloads = Downloads(ctx);
  if (downloads == nullptr) return 1;
  ctx.window.controls().SetChecked(names::kAutoExtract, into_game);
  if (downloads->RunMapCheck(group->key) < 0) {
    std::fprintf(stderr, "brindle-cli maps check: the map list of %s could not be read (%s)\n",
                 group->key, ListFailure(ctx).c_str());
    return 1;
  }
  const auto rows = ctx.window.resources().Rows();
  if (ctx.json) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const ListRow& row : rows) {
      list.push_back({{"map", U(row[cols::kResMapName])},
                      {"status", U(row[cols::kResStatus])},
                      {"url", U(row[cols::kResUrl])},
                      {"cn_name", U(row[cols::kResChineseName])}});
    }
    PrintJson(ctx, list);
  } else {
    for (const ListRow& row : rows) {
      std::fprintf(ctx.out, "%s\t%s\t%s\t%s\n", T(row[cols::kResMapName]).c_str(),
                   T(row[cols::kResStatus]).c_str(), T(row[cols::kResChineseName]).c_str(),
                   T(row[cols::kResUrl]).c_str());
    }
  }
  PrintGbk(stderr, ctx.window.controls().Caption(names::kDownloadSummary));
  std::fputc('\n', stderr);
  return 0;
}

// One line per task on a terminal, redrawn while it runs and closed when the next one starts.
class ProgressBar {
 public:
  explicit ProgressBar(std::FILE* out) : out_(out) {}

  void Show(const ProgressSnapshot& now) {
    if (out_ == nullptr) return;
    if (shown_ != 0 && (!now.running || now.task != shown_)) Close();
    if (!now.running) return;
    shown_ = now.task;
    const double part = now.total > 0 ? static_cast<double>(now.received) / now.total : 0.0;
    const int filled = static_cast<int>(part * kBarWidth);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(kBarWidth, '-');
    std::fprintf(out_, "\r%-32s [%s] %s(%s) %s\x1b[K", T(now.name).c_str(), bar.c_str(),
                 PercentText(now.received, now.total).c_str(),
                 MiBOfMiBText(now.received, now.total).c_str(), U(now.speed_text).c_str());
    std::fflush(out_);
  }

  void Close() {
    if (out_ != nullptr && shown_ != 0) std::fputc('\n', out_);
    shown_ = 0;
  }

 private:
  std::FILE* out_;
  std::uint64_t shown_ = 0;
};

bool AllFinal(const std::vector<TaskOutcome>& outcomes) {
  for (const TaskOutcome& outcome : outcomes) {
    if (outcome.result == TaskResult::kPending) return false;
  }
  return true;
}

bool ParseLowSpeed(const std::string& text, DownloadOptions& options) {
  const auto colon = text.find(':');
  if (colon == std::string::npos) return false;
  try {
    options.low_speed_limit = std::stol(text.substr(0, colon));
    options.low_speed_seconds = std::stol(text.substr(colon + 1));
  } catch (...) {
    return false;
  }
  return options.low_speed_limit >= 0 && options.low_speed_seconds >= 0;
}

int RunDownload(CliContext& ctx, const std::vector<std::string>& args) {
  const char* line = nullptr;
  bool into_game = false;
  const MapGroup* group = nullptr;
  std::vector<std::string> urls;
  MapDownloadsFeature* downloads = Downloads(ctx);
  if (downloads == nullptr) return 1;
  DownloadOptions options = downloads->options();
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--line" && i + 1 < args.size()) {
      const std::string& name = args[++i];
      // 节点1 = us1, 节点3 = us2, 节点2 = telecom.
      line = name == "us1"       ? names::kMirror1
             : name == "us2"     ? names::kMirror3
             : name == "telecom" ? names::kMirror2
                                 : nullptr;
      if (line == nullptr) return Usage();
    } else if (arg == "--into-game") {
      into_game = true;
    } else if (arg == "--low-speed" && i + 1 < args.size()) {
      if (!ParseLowSpeed(args[++i], options)) return Usage();
    } else if (arg == "--url") {
      while (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) urls.push_back(args[++i]);
      if (urls.empty()) return Usage();
    } else if (group == nullptr && urls.empty() && (group = FindMapGroup(arg)) != nullptr) {
    } else {
      return Usage();
    }
  }
  if ((group == nullptr) == urls.empty()) return Usage();
  if (!ctx.core.OwnsProgramFolder()) {
    std::fputs(
        "brindle-cli maps download: another Brindle program (the window) is using this "
        "program folder; its download cache is left alone. Close it and try again.\n",
        stderr);
    return 1;
  }
  // Before the line is chosen: the document may select one, and --line has the last word.
  AwaitRemoteConfiguration(ctx, "maps download");
  downloads->SetOptions(options);
  Controls& controls = ctx.window.controls();
  if (line != nullptr) controls.SetChecked(line, true);
  controls.SetChecked(names::kAutoExtract, into_game);
  if (into_game && !CheckInstallation(ctx.core.state())) {
    std::fputs("brindle-cli maps download: ", stderr);
    PrintGbk(stderr, gbk("您的路径设置似乎不正确!"));
    std::fputs(" (choose the game first: brindle-cli game csgo PATH)\n", stderr);
    return 1;
  }

  if (group != nullptr) {
    if (downloads->RunMapCheck(group->key) < 0) {
      std::fprintf(stderr, "brindle-cli maps download: the map list of %s could not be read (%s)\n",
                   group->key, ListFailure(ctx).c_str());
      return 1;
    }
    // 开始下载, with its first moves made now instead of one per tick of the move clock.
    ctx.window.RunOnUi([&] {
      downloads->DownloadAll();
      while (ctx.window.resources().RowCount() > 0 && downloads->ActiveTaskCount() < 4) {
        downloads->MoveTick();
      }
    });
  } else {
    for (const std::string& url_utf8 : urls) {
      const std::string url = utf8_to_gbk(url_utf8);
      downloads->AppendTask(FileNameOfUrl(url), gbk("等待下载"), url, "");
    }
  }
  // The queue clock would start the head in 2 s; start it now.
  ctx.window.RunOnUi([&] { downloads->QueueTick(); });

  std::FILE* bar_out = !ctx.json ? (platform::is_terminal(ctx.out) ? ctx.out : nullptr)
                                 : (platform::is_terminal(stderr) ? stderr : nullptr);
  ProgressBar bar(bar_out);
  for (int poll = 0;; ++poll) {
    if (poll % kPollsPerRedraw == 0) bar.Show(downloads->Progress());
    if (ctx.window.resources().RowCount() == 0 && downloads->Idle() &&
        AllFinal(downloads->Outcomes())) {
      break;
    }
    std::this_thread::sleep_for(kPollInterval);
  }
  bar.Close();

  int failed = 0;
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const TaskOutcome& outcome : downloads->Outcomes()) {
    if (outcome.result == TaskResult::kFailed) ++failed;
    if (ctx.json) {
      nlohmann::ordered_json j{{"name", U(outcome.name)},
                               {"url", U(outcome.url)},
                               {"result", TaskResultText(outcome.result)},
                               {"bytes", outcome.bytes},
                               {"resumed", outcome.resumed}};
      if (outcome.resumed) j["resumed_from"] = outcome.resumed_from;
      if (outcome.result == TaskResult::kFailed) {
        j["reason"] = outcome.reason;
        j["failure"] = U(TaskFailureText(outcome));
      }
      list.push_back(std::move(j));
    } else {
      const std::string words = FailureWordsUtf8(outcome);
      const std::string resumed =
          outcome.resumed ? " (resumed from " + std::to_string(outcome.resumed_from) + ")" : "";
      std::fprintf(ctx.out, "%-10s %s %lld bytes%s%s%s\n", TaskResultText(outcome.result),
                   T(outcome.name).c_str(), static_cast<long long>(outcome.bytes), resumed.c_str(),
                   words.empty() ? "" : ": ", terminal_text_utf8(words).c_str());
    }
  }
  if (ctx.json) PrintJson(ctx, list);
  downloads->RefreshSummary();
  PrintGbk(stderr, ctx.window.controls().Caption(names::kDownloadSummary));
  std::fputc('\n', stderr);
  return failed > 0 ? 1 : 0;
}

int RunMaps(CliContext& ctx) {
  if (ctx.args.empty()) return Usage();
  const std::vector<std::string> rest(ctx.args.begin() + 1, ctx.args.end());
  if (ctx.args[0] == "check") return RunCheck(ctx, rest);
  if (ctx.args[0] == "download") return RunDownload(ctx, rest);
  return Usage();
}

}  // namespace

BRINDLE_CLI_COMMAND("maps",
                    "check GROUP [--into-game] | download [--line us1|us2|telecom] [--into-game] "
                    "(GROUP | --url URL...)",
                    RunMaps);

}  // namespace brindle
