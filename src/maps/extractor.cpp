// The extractor as a child process: started with its command line into a staging folder inside
// the target, waited for on a worker, judged by its exit code and by what it wrote, and only then
// put into place, so a broken or hostile archive never reaches the game. The extraction queue
// gives it one archive at a time and only while no extractor runs on the machine.
#include "maps/extractor.h"

#include <algorithm>
#include <future>
#include <mutex>

#include "app/app_state.h"
#include "app/core.h"
#include "foundation/encoding.h"
#include "maps/download_progress.h"
#include "maps/install_rules.h"
#include "maps/map_downloads.h"
#include "platform/platform.h"
#include "view/control_names.h"
#include "view/window.h"

namespace brindle {
namespace {

constexpr std::int64_t kWaitSliceMs = 100;  // how often a waiter looks at the stop flag
// The state of the extraction queue's row while its archive is unpacked.
constexpr const char* kUnpackingState = "解压中";
// The extractor writes into <target>/.q_unbz2-PID-N/ first (PID: the program that started it);
// the game ignores dot folders.
constexpr std::string_view kStagingPrefix = ".q_unbz2-";
// Files a move replaced wait in <staging>.old/ until the whole archive is in place.
constexpr std::string_view kBackupSuffix = ".old";

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

// Bytes of the regular files under `dir` (links are neither counted nor followed).
std::int64_t tree_bytes(const std::string& dir) {
  const char sep = platform::path_separator();
  std::int64_t total = 0;
  for (const platform::DirEntry& entry : platform::list_directory(dir)) {
    if (entry.is_link) continue;
    total += entry.is_directory ? tree_bytes(dir + entry.name + sep)
                                : std::max<std::int64_t>(0, entry.size);
  }
  return total;
}

// Every file and folder of an unpacked archive must be game content (`relative`: "/"-separated,
// UTF-8, from the CS:GO folder).
bool check_content(const std::string& dir, const std::string& relative, std::string* reason) {
  const char sep = platform::path_separator();
  for (const platform::DirEntry& entry : platform::list_directory(dir)) {
    const std::string path =
        relative.empty() ? gbk_to_utf8(entry.name) : relative + "/" + gbk_to_utf8(entry.name);
    if (entry.is_directory) {
      if (!ArchiveFolderAllowed(path, reason) ||
          !check_content(dir + entry.name + sep, path, reason)) {
        return false;
      }
    } else if (!ArchiveFileAllowed(path, reason)) {
      return false;
    }
  }
  return true;
}

// A compressed map unpacks to exactly one file, the map its name promises, of the listed size.
bool check_single_map(const std::string& staging, const std::string& map, std::int64_t listed_size,
                      std::string* reason) {
  const std::vector<platform::DirEntry> entries = platform::list_directory(staging);
  if (entries.size() != 1 || entries[0].name != map || !entries[0].is_regular) {
    *reason = "the archive did not hold exactly " + gbk_to_utf8(map);
    return false;
  }
  const std::int64_t size = entries[0].size;
  if (size <= 0) {
    *reason = "the archive holds an empty map";
    return false;
  }
  if (ListedSizeKnown(listed_size) && size != listed_size) {
    *reason = "the map has " + std::to_string(size) + " bytes where the map list says " +
              std::to_string(listed_size);
    return false;
  }
  return true;
}

// The moves of one archive, so a failure half-way puts everything back as it was.
struct MoveJournal {
  std::string backup_dir;
  std::vector<std::pair<std::string, std::string>> replaced;  // target, its old file's backup
  std::vector<std::string> added;                             // targets that did not exist
  std::vector<std::string> made_dirs;

  void roll_back() {
    for (auto it = added.rbegin(); it != added.rend(); ++it) (void)platform::delete_file(*it);
    for (auto it = replaced.rbegin(); it != replaced.rend(); ++it) {
      (void)platform::replace_file(it->second, it->first);
    }
    for (auto it = made_dirs.rbegin(); it != made_dirs.rend(); ++it) platform::remove_tree(*it);
  }
};

bool move_tree(const std::string& from, const std::string& to, MoveJournal& journal,
               std::string* reason) {
  const char sep = platform::path_separator();
  for (const platform::DirEntry& entry : platform::list_directory(from)) {
    const std::string source = from + entry.name;
    const std::string dest = to + entry.name;
    bool ok = false;
    if (entry.is_directory) {
      const bool existed = platform::is_directory(dest);
      ok = platform::create_directory(dest);
      if (ok && !existed) journal.made_dirs.push_back(dest);
      ok = ok && move_tree(source + sep, dest + sep, journal, reason);
    } else if (platform::is_directory(dest)) {
      ok = false;  // a folder of the player's holds the name: never moved aside
    } else if (platform::file_exists(dest)) {
      const std::string backup = journal.backup_dir + std::to_string(journal.replaced.size());
      ok = platform::create_directory(journal.backup_dir) && platform::replace_file(dest, backup);
      if (ok) {
        journal.replaced.emplace_back(dest, backup);
        ok = platform::replace_file(source, dest);
      }
    } else {
      ok = platform::replace_file(source, dest);
      if (ok) journal.added.push_back(dest);
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

// The program that made a staging folder, from its name (".q_unbz2-PID-N", ".q_unbz2-PID-N.old");
// 0 for a name of an older form.
int staging_owner(std::string_view name) {
  std::string_view rest = name.substr(kStagingPrefix.size());
  const std::size_t dash = rest.find('-');
  if (dash == 0 || dash == std::string_view::npos || dash > 10 || dash + 1 >= rest.size()) return 0;
  const std::string_view pid = rest.substr(0, dash);
  const char after = rest[dash + 1];
  if (after < '0' || after > '9') return 0;
  if (!std::all_of(pid.begin(), pid.end(), [](char c) { return c >= '0' && c <= '9'; })) return 0;
  const long long value = std::stoll(std::string(pid));
  return value > 0 && value <= 0x7fffffff ? static_cast<int>(value) : 0;
}

}  // namespace

std::string ExtractorPath(const AppState& state) { return ExtractorFile(state); }

std::string ExtractorCommandLine(std::string_view archive, std::string_view target) {
  std::string line = "q_unbz2 x \"";
  line += archive;
  line += "\" -o\"";
  line += target;
  line += "\" -aoa";
  return line;
}

std::vector<std::string> ExtractorArguments(std::string_view archive, std::string_view target,
                                            std::string_view type) {
  std::vector<std::string> args = {"q_unbz2", "x", std::string(archive), "-o" + std::string(target),
                                   "-aoa"};
  if (!type.empty()) args.push_back("-t" + std::string(type));
  return args;
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

bool ExtractorProcessRunning(std::string_view extractor) {
  std::vector<platform::ProcessInfo> processes;
  if (!platform::list_processes(processes)) return false;
  const std::size_t slash = extractor.find_last_of("/\\");
  const std::string_view own =
      slash == std::string_view::npos ? extractor : extractor.substr(slash + 1);
  auto named = [&](std::string_view name) {
    return same_name(name, kExtractorName) || (!own.empty() && same_name(name, own));
  };
  return std::any_of(processes.begin(), processes.end(), [&](const platform::ProcessInfo& p) {
    return named(p.exe_name) || named(p.started_as);
  });
}

bool MoveStagedTree(const std::string& staging, const std::string& target, std::string* reason) {
  if (!check_tree(staging, reason)) return false;
  MoveJournal journal;
  const char sep = platform::path_separator();
  journal.backup_dir = staging.substr(0, staging.size() - 1) + std::string(kBackupSuffix) + sep;
  const bool ok = move_tree(staging, target, journal, reason);
  if (!ok) journal.roll_back();
  platform::remove_tree(journal.backup_dir);
  return ok;
}

int RemoveStaleStaging(const std::string& target, const std::vector<std::string>& in_use) {
  const char sep = platform::path_separator();
  const int self = platform::current_process_id();
  int removed = 0;
  for (const platform::DirEntry& entry : platform::list_directory(target)) {
    if (!entry.is_directory || entry.is_link || !entry.name.starts_with(kStagingPrefix)) continue;
    const std::string path = target + entry.name + sep;
    const int owner = staging_owner(entry.name);
    // Another program's folder (two program folders may serve one game) is left to its owner.
    if (owner != 0 && owner != self && platform::process_running(owner)) continue;
    if (owner == self && std::any_of(in_use.begin(), in_use.end(), [&](const std::string& used) {
          return path == used ||
                 path == used.substr(0, used.size() - 1) + std::string(kBackupSuffix) + sep;
        })) {
      continue;
    }
    if (platform::remove_tree(path)) ++removed;
  }
  return removed;
}

// ---- The extractor on the feature -------------------------------------------------------------

platform::ProcessHandle MapDownloadsFeature::StartExtractor(const std::string& name,
                                                            const std::string& target,
                                                            bool /*hidden*/) {
  const AppState& state = core_->state();
  const std::string extractor = ExtractorPath(state);
  // A compressed map is bzip2 or nothing: the extractor would otherwise open a zip by its
  // contents and unpack all of it.
  const std::string_view type = NameContains(name, ".bsp.bz2") ? "bzip2" : "";
  std::vector<std::string> argv = ExtractorArguments(state.download_cache_dir + name, target, type);
  argv[0] = extractor;  // the command line names the program; the start needs its path
  const std::string folder = extractor.substr(0, extractor.rfind(platform::path_separator()));
  // No console window exists here to show or hide: the extractor's output goes nowhere, so it
  // never mixes into brindle-cli's own. Bound: it ends with the thread that waits for it, and
  // with this program however that ends.
  return platform::spawn_process(argv, folder, true, true);
}

bool MapDownloadsFeature::StartExtraction(RunningExtraction job) {
  const char sep = platform::path_separator();
  const std::string archive = core_->state().download_cache_dir + job.file;
  if (job.target.empty() || !platform::is_directory(job.target)) {
    Finish(job.task, TaskResult::kFailed, "the game folder to extract into does not exist");
    return false;
  }
  if (job.from_queue && !LooksLikeBzip2(platform::read_file_head(archive, 4))) {
    Finish(job.task, TaskResult::kFailed, "the file is not a bzip2 archive");
    return false;
  }
  job.output_cap = ExtractionByteCap(job.file, job.listed_size, platform::file_size(archive));
  {
    std::lock_guard lock(extract_mutex_);
    job.staging = job.target + std::string(kStagingPrefix) +
                  std::to_string(platform::current_process_id()) + "-" +
                  std::to_string(next_staging_++) + sep;
    std::vector<std::string> in_use;
    for (const RunningExtraction& running : running_extractions_) in_use.push_back(running.staging);
    (void)RemoveStaleStaging(job.target, in_use);
  }
  if (!platform::create_directory(job.staging)) {
    Finish(job.task, TaskResult::kFailed, "cannot make a staging folder in the game folder");
    return false;
  }
  auto forget = [&] {
    platform::remove_tree(job.staging);
    std::lock_guard lock(extract_mutex_);
    std::erase_if(running_extractions_,
                  [&](const RunningExtraction& r) { return r.staging == job.staging; });
  };
  {
    std::lock_guard lock(extract_mutex_);
    running_extractions_.push_back(job);  // counts as running from here, so Idle() waits
  }
  // The waiter starts the extractor itself: the child is bound to the thread that starts it, and
  // the waiter outlives it.
  std::promise<platform::ProcessHandle> started;
  std::future<platform::ProcessHandle> child = started.get_future();
  if (!core_->workers().Start("extractor",
                              [this, job, &started] { WaitForExtractor(job, started); })) {
    forget();  // closing already: nobody would wait for it
    return false;
  }
  if (child.get() == platform::kInvalidProcess) {
    forget();
    Finish(job.task, TaskResult::kFailed, "the extractor cannot be started");
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
  // The row being unpacked stays at the top until its waiter ends it: one at a time.
  if (queue.Cell(0, cols::kExtractState) == gbk(kUnpackingState)) return;
  // Any extractor on the machine holds the queue back, ours or not.
  if (ExtractorProcessRunning(ExtractorPath(core_->state()))) return;
  PendingExtraction item;
  {
    std::lock_guard lock(extract_mutex_);
    // Seen again under the lock: the waiter of the extraction that just ended takes its row away
    // from its own thread, and may have done so since the look above (taking an empty row for an
    // archive would count a waiting row and a failure that never were).
    if (queue.RowCount() == 0 || queue.Cell(0, cols::kExtractState) == gbk(kUnpackingState)) return;
    ++starting_extractions_;  // neither queued nor running for a moment: not idle either
    item.file = queue.Cell(0, cols::kExtractFile);
    if (!extractions_.empty() && extractions_.front().file == item.file) {
      item = extractions_.front();
      extractions_.pop_front();
    }
    queue.SetCell(0, cols::kExtractState, gbk(kUnpackingState));
  }
  // The row is gone whether or not the extractor starts, so it no longer waits either way.
  stats_.AddWaiting(-1);
  RunningExtraction job;
  job.file = item.file;
  job.task = item.task;
  job.listed_size = item.listed_size;
  job.from_queue = true;
  {
    std::lock_guard lock(core_->state().mutex);
    job.target = core_->state().game.csgo_map_dir_copy;
  }
  if (!StartExtraction(job)) {
    stats_.AddExtractionFailure();
    EndUnpackingRow(job.file);
  }
  {
    std::lock_guard lock(extract_mutex_);
    --starting_extractions_;
  }
  RefreshSummary();
}

void MapDownloadsFeature::EndUnpackingRow(const std::string& file) {
  std::lock_guard lock(extract_mutex_);
  ListModel& queue = core_->window().extract_queue();
  if (queue.Cell(0, cols::kExtractFile) == file &&
      queue.Cell(0, cols::kExtractState) == gbk(kUnpackingState)) {
    queue.Remove(0);
  }
}

void MapDownloadsFeature::ShowUnpackingProgress(const std::string& file, std::int64_t written,
                                                std::int64_t listed_size) {
  // What the extractor has written of the map it unpacks: the share of the listed size (never
  // 100 before it has ended and been checked), or the bytes so far when the list gave none.
  const std::string text =
      ListedSizeKnown(listed_size)
          ? "%" + std::to_string(std::min<std::int64_t>(99, written * 100 / listed_size))
          : TwoDecimals(static_cast<double>(written) / 1048576.0) + "MB";
  std::lock_guard lock(extract_mutex_);
  ListModel& queue = core_->window().extract_queue();
  if (queue.Cell(0, cols::kExtractFile) == file &&
      queue.Cell(0, cols::kExtractState) == gbk(kUnpackingState) &&
      queue.Cell(0, cols::kExtractProgress) != text) {
    queue.SetCell(0, cols::kExtractProgress, text);
  }
}

void MapDownloadsFeature::WaitForExtractor(RunningExtraction job,
                                           std::promise<platform::ProcessHandle>& started) {
  job.process = StartExtractor(job.file, job.staging, job.from_queue);
  if (job.process == platform::kInvalidProcess) {
    started.set_value(job.process);
    return;
  }
  job.pid = platform::process_id(job.process);
  {
    std::lock_guard lock(extract_mutex_);
    for (RunningExtraction& running : running_extractions_) {
      if (running.staging == job.staging) running = job;
    }
    if (job.from_queue) extraction_table_.put(std::to_string(job.pid), job.file);
  }
  started.set_value(job.process);  // the starter returns; `started` is gone from here on

  int code = -1;
  bool cancelled = false;
  bool too_large = false;
  for (;;) {
    const auto outcome = platform::wait_process(job.process, kWaitSliceMs, code);
    if (outcome == platform::WaitOutcome::kExited) break;
    if (outcome == platform::WaitOutcome::kFailed) {
      code = -1;
      break;
    }
    cancelled = core_->workers().Stopping();
    // An archive that unpacks past its bound (a bomb, or a map larger than its list says) is
    // stopped while it writes, not after it has filled the disk.
    const std::int64_t written = cancelled ? 0 : tree_bytes(job.staging);
    too_large = written > job.output_cap;
    if (job.from_queue && !cancelled) ShowUnpackingProgress(job.file, written, job.listed_size);
    if (cancelled || too_large) {
      (void)platform::kill_process(job.process);
      (void)platform::wait_process(job.process, -1, code);
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
    if (job.from_queue) EndUnpackingRow(job.file);
    std::lock_guard lock(extract_mutex_);
    std::erase_if(running_extractions_,
                  [&](const RunningExtraction& r) { return r.staging == job.staging; });
  };
  if (cancelled) {
    // Closing: the staging folder keeps the target safe from the half-written output.
    platform::remove_tree(job.staging);
    Finish(job.task, TaskResult::kFailed, "cancelled: the program is closing");
    done();
    return;
  }

  // The map is the archive's name without ".bz2".
  std::string map = archive;
  std::string folded = archive;
  std::transform(folded.begin(), folded.end(), folded.begin(), lower);
  if (const auto at = folded.find(".bz2"); at != std::string::npos) map.erase(at, 4);

  std::string reason;
  bool ok = false;
  if (too_large || tree_bytes(job.staging) > job.output_cap) {
    reason = "the archive unpacks to more than " + std::to_string(job.output_cap) + " bytes";
  } else if (code != 0) {
    reason = "the extractor ended with exit code " + std::to_string(code);
  } else if (check_tree(job.staging, &reason)) {
    if (job.from_queue) {
      ok = check_single_map(job.staging, map, job.listed_size, &reason) &&
           platform::replace_file(job.staging + map, job.target + map);
      if (!ok && reason.empty()) reason = "cannot put " + gbk_to_utf8(map) + " into place";
    } else {
      ok = check_content(job.staging, "", &reason) &&
           MoveStagedTree(job.staging, job.target, &reason);
    }
  }
  platform::remove_tree(job.staging);
  (void)platform::delete_file(core_->state().download_cache_dir + job.file);

  if (ok && job.from_queue && !platform::file_exists(job.target + map)) {
    ok = false;
    reason = "the archive did not hold " + gbk_to_utf8(map);
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
