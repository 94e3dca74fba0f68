// The extractor as a child process: started with its command line into a staging folder inside
// the target, waited for on a worker, judged by its exit code, and only then put into place, so
// a broken archive never replaces a good map. The extraction queue gives it one archive at a
// time and only while no extractor runs on the machine.
#include "maps/extractor.h"

#include <algorithm>
#include <mutex>

#include "app/app_state.h"
#include "app/core.h"
#include "foundation/encoding.h"
#include "maps/map_downloads.h"
#include "platform/platform.h"
#include "view/control_names.h"
#include "view/window.h"

namespace brindle {
namespace {

constexpr std::int64_t kWaitSliceMs = 100;  // how often a waiter looks at the stop flag
// The extractor writes into <target>/.q_unbz2-N/ first; the game ignores dot folders.
constexpr std::string_view kStagingPrefix = ".q_unbz2-";

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_name(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return lower(x) == lower(y); });
}

bool check_tree(const std::string& dir, std::string* reason) {
  const char sep = platform::path_separator();
  for (const platform::DirEntry& entry : platform::list_directory(dir)) {
    if (entry.is_link || (!entry.is_directory && !entry.is_regular)) {
      if (reason != nullptr) {
        *reason = "the archive holds a link or a special file: " + gbk_to_utf8(entry.name);
      }
      return false;
    }
    if (entry.is_directory && !check_tree(dir + entry.name + sep, reason)) return false;
  }
  return true;
}

bool move_tree(const std::string& from, const std::string& to, std::string* reason) {
  const char sep = platform::path_separator();
  for (const platform::DirEntry& entry : platform::list_directory(from)) {
    const std::string source = from + entry.name;
    const std::string dest = to + entry.name;
    bool ok = false;
    if (entry.is_directory) {
      ok = platform::create_directory(dest) && move_tree(source + sep, dest + sep, reason);
    } else {
      ok = platform::replace_file(source, dest);
    }
    if (!ok) {
      if (reason != nullptr && reason->empty()) {
        *reason = "cannot put " + gbk_to_utf8(entry.name) + " into place";
      }
      return false;
    }
  }
  return true;
}

}  // namespace

std::string ExtractorPath(const AppState& state) {
  const char sep = platform::path_separator();
  return state.data_dir + sep + "7zip" + sep + std::string(kExtractorName);
}

std::string ExtractorCommandLine(std::string_view archive, std::string_view target) {
  std::string line = "q_unbz2 x \"";
  line += archive;
  line += "\" -o\"";
  line += target;
  line += "\" -aoa";
  return line;
}

std::vector<std::string> SplitCommandLine(std::string_view command_line) {
  std::vector<std::string> args;
  std::string current;
  bool in_quotes = false;
  bool have_arg = false;
  for (char c : command_line) {
    if (c == '"') {
      in_quotes = !in_quotes;
      have_arg = true;
    } else if ((c == ' ' || c == '\t') && !in_quotes) {
      if (have_arg) args.push_back(std::move(current));
      current.clear();
      have_arg = false;
    } else {
      current += c;
      have_arg = true;
    }
  }
  if (have_arg) args.push_back(std::move(current));
  return args;
}

bool ExtractorProcessRunning() {
  std::vector<platform::ProcessInfo> processes;
  if (!platform::list_processes(processes)) return false;
  return std::any_of(processes.begin(), processes.end(), [](const platform::ProcessInfo& p) {
    return same_name(p.exe_name, kExtractorName) || same_name(p.started_as, kExtractorName);
  });
}

bool MoveStagedTree(const std::string& staging, const std::string& target, std::string* reason) {
  if (!check_tree(staging, reason)) return false;
  return move_tree(staging, target, reason);
}

// ---- The extractor on the feature -------------------------------------------------------------

platform::ProcessHandle MapDownloadsFeature::StartExtractor(const std::string& name,
                                                            const std::string& target,
                                                            bool /*hidden*/) {
  const AppState& state = core_->state();
  const std::string extractor = ExtractorPath(state);
  std::vector<std::string> argv =
      SplitCommandLine(ExtractorCommandLine(state.download_cache_dir + name, target));
  argv[0] = extractor;  // the command line names the program; the start needs its path
  const std::string folder = extractor.substr(0, extractor.rfind(platform::path_separator()));
  // No console window exists here to show or hide: the extractor's output goes nowhere, so it
  // never mixes into brindle-cli's own.
  return platform::spawn_process(argv, folder, true);
}

bool MapDownloadsFeature::StartExtraction(RunningExtraction job) {
  const char sep = platform::path_separator();
  if (job.target.empty() || !platform::is_directory(job.target)) {
    Finish(job.task, TaskResult::kFailed, "the game folder to extract into does not exist");
    return false;
  }
  {
    std::lock_guard lock(extract_mutex_);
    job.staging = job.target + std::string(kStagingPrefix) + std::to_string(next_staging_++) + sep;
    // Staging folders of a run that ended abruptly; the folder lock makes every other one ours.
    for (const platform::DirEntry& entry : platform::list_directory(job.target)) {
      if (!entry.is_directory || !entry.name.starts_with(kStagingPrefix)) continue;
      const std::string path = job.target + entry.name + sep;
      const bool in_use =
          std::any_of(running_extractions_.begin(), running_extractions_.end(),
                      [&](const RunningExtraction& r) { return r.staging == path; });
      if (!in_use) platform::remove_tree(path);
    }
  }
  if (!platform::create_directory(job.staging)) {
    Finish(job.task, TaskResult::kFailed, "cannot make a staging folder in the game folder");
    return false;
  }
  job.process = StartExtractor(job.file, job.staging, job.from_queue);
  if (job.process == platform::kInvalidProcess) {
    platform::remove_tree(job.staging);
    Finish(job.task, TaskResult::kFailed, "the extractor cannot be started");
    return false;
  }
  job.pid = platform::process_id(job.process);
  {
    std::lock_guard lock(extract_mutex_);
    running_extractions_.push_back(job);
    if (job.from_queue) extraction_table_.put(std::to_string(job.pid), job.file);
  }
  if (!core_->workers().Start("extractor", [this, job] { WaitForExtractor(job); })) {
    // Closing already: nobody would wait for it.
    int code = 0;
    (void)platform::kill_process(job.process);
    (void)platform::wait_process(job.process, -1, code);
    platform::remove_tree(job.staging);
    std::lock_guard lock(extract_mutex_);
    std::erase_if(running_extractions_,
                  [&](const RunningExtraction& r) { return r.staging == job.staging; });
    return false;
  }
  return true;
}

void MapDownloadsFeature::ExtractionTick() {
  Window& window = core_->window();
  ListModel& queue = window.extract_queue();
  if (queue.RowCount() == 0) {
    window.clock().StopClock(names::kClockExtract);
    return;
  }
  // Any extractor on the machine holds the queue back, ours or not.
  if (ExtractorProcessRunning()) return;
  PendingExtraction item;
  {
    std::lock_guard lock(extract_mutex_);
    ++starting_extractions_;  // neither queued nor running for a moment: not idle either
    item.file = queue.Cell(0, cols::kExtractFile);
    if (!extractions_.empty() && extractions_.front().file == item.file) {
      item.task = extractions_.front().task;
      extractions_.pop_front();
    }
    queue.Remove(0);
  }
  // The row is gone whether or not the extractor starts, so it no longer waits either way.
  stats_.AddWaiting(-1);
  RunningExtraction job;
  job.file = item.file;
  job.task = item.task;
  job.from_queue = true;
  {
    std::lock_guard lock(core_->state().mutex);
    job.target = core_->state().game.csgo_map_dir_copy;
  }
  if (!StartExtraction(job)) stats_.AddExtractionFailure();
  {
    std::lock_guard lock(extract_mutex_);
    --starting_extractions_;
  }
  RefreshSummary();
}

void MapDownloadsFeature::WaitForExtractor(RunningExtraction job) {
  int code = -1;
  bool cancelled = false;
  for (;;) {
    const auto outcome = platform::wait_process(job.process, kWaitSliceMs, code);
    if (outcome == platform::WaitOutcome::kExited) break;
    if (outcome == platform::WaitOutcome::kFailed) {
      code = -1;
      break;
    }
    if (core_->workers().Stopping()) {
      // Closing: the staging folder keeps the target safe from the half-written output.
      (void)platform::kill_process(job.process);
      (void)platform::wait_process(job.process, -1, code);
      cancelled = true;
      break;
    }
  }
  // Not from the handle: the wait has released it, and its value may name another object now.
  const std::string pid = std::to_string(job.pid);
  std::string archive = job.file;
  if (job.from_queue) {
    extraction_table_.get(pid, archive);
    extraction_table_.remove(pid);
  }
  // The job counts as running until its outcome is known, so Idle() never comes early. Its
  // staging folder names it: a released handle's value can come back for a newer extractor.
  auto done = [&] {
    std::lock_guard lock(extract_mutex_);
    std::erase_if(running_extractions_,
                  [&](const RunningExtraction& r) { return r.staging == job.staging; });
  };

  std::string reason;
  bool ok = !cancelled && code == 0 && MoveStagedTree(job.staging, job.target, &reason);
  if (!cancelled && code != 0)
    reason = "the extractor ended with exit code " + std::to_string(code);
  platform::remove_tree(job.staging);
  if (cancelled) {
    Finish(job.task, TaskResult::kFailed, "cancelled: the program is closing");
    done();
    return;
  }
  (void)platform::delete_file(core_->state().download_cache_dir + job.file);

  if (job.from_queue) {
    // The map is the archive's name without ".bz2"; it must be in the maps folder now.
    std::string map = archive;
    std::string folded = archive;
    std::transform(folded.begin(), folded.end(), folded.begin(), lower);
    if (const auto at = folded.find(".bz2"); at != std::string::npos) map.erase(at, 4);
    if (ok && !platform::file_exists(job.target + map)) {
      ok = false;
      reason = "the archive did not hold " + gbk_to_utf8(map);
    }
  }
  // A patch archive's success is not counted as a map, as before; its failure is.
  if (ok && job.from_queue) stats_.AddExtracted();
  if (!ok) stats_.AddExtractionFailure();
  // The patch check reads the version file the archive may have brought, so it hears first.
  if (!job.from_queue) NotifyArchive(job.file, ok);
  Finish(job.task, ok ? TaskResult::kInstalled : TaskResult::kFailed, reason);
  done();
  RefreshSummary();
  // The next archive starts now rather than at the next tick of the clock.
  core_->window().clock().Post([this] { ExtractionTick(); });
}

}  // namespace brindle
