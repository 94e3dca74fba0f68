#include "maps/map_downloads.h"

#include "app/core.h"
#include "foundation/encoding.h"
#include "maps/extractor.h"
#include "maps/map_check.h"
#include "view/control_names.h"
#include "view/window.h"

namespace brindle {
namespace {

constexpr const char* kOwnClocks[] = {names::kClockQueue, names::kClockMove, names::kClockProgress,
                                      names::kClockExtract};

}  // namespace

MapDownloadsFeature::~MapDownloadsFeature() {
  if (core_ == nullptr) return;
  // The window may outlive the core: nothing of ours may be called after this.
  Window& window = core_->window();
  for (const char* clock : kOwnClocks) {
    window.clock().StopClock(clock);
    window.clock().BindClock(clock, nullptr);
  }
  for (const MapGroup& group : MapGroups()) window.Bind(group.button, nullptr);
  window.Bind(names::kStartDownload, nullptr);
  window.Bind(names::kClearQueue, nullptr);
  window.Bind(names::kResourceList, nullptr);
}

void MapDownloadsFeature::Bind(Core& core) {
  core_ = &core;
  Window& window = core.window();
  for (const MapGroup& group : MapGroups()) {
    const std::string key = group.key;
    window.Bind(group.button, [this, key] { CheckMapGroup(key); });
  }
  window.Bind(names::kStartDownload, [this] { DownloadAll(); });
  window.Bind(names::kClearQueue, [this] { ClearResources(); });
  window.Bind(names::kResourceList, [this] { StartSelected(); });
  window.clock().BindClock(names::kClockQueue, [this] { QueueTick(); });
  window.clock().BindClock(names::kClockMove, [this] { MoveTick(); });
  window.clock().BindClock(names::kClockProgress, [this] { ProgressRefresh(); });
  window.clock().BindClock(names::kClockExtract, [this] { ExtractionTick(); });
}

void MapDownloadsFeature::SetOptions(const DownloadOptions& options) {
  std::lock_guard lock(options_mutex_);
  options_ = options;
}

DownloadOptions MapDownloadsFeature::options() const {
  std::lock_guard lock(options_mutex_);
  return options_;
}

void MapDownloadsFeature::RefreshSummary() {
  core_->window().controls().SetCaption(names::kDownloadSummary, SummaryLine(stats_.Snapshot()));
}

void MapDownloadsFeature::Remember(const QueuedTask& task, const std::string& file_name) {
  if (task.id == 0) return;
  std::lock_guard lock(outcomes_mutex_);
  TaskOutcome& outcome = outcomes_[task.id];
  outcome.id = task.id;
  outcome.name = task.name;
  outcome.url = task.url;
  outcome.file_name = file_name;
}

void MapDownloadsFeature::Finish(std::uint64_t task, TaskResult result, const std::string& reason,
                                 std::int64_t bytes) {
  if (task == 0) return;
  TaskOutcome settled;
  {
    std::lock_guard lock(outcomes_mutex_);
    TaskOutcome& outcome = outcomes_[task];
    outcome.id = task;
    outcome.result = result;
    outcome.reason = reason;
    if (bytes >= 0) outcome.bytes = bytes;
    if (result == TaskResult::kPending && reason.empty()) outcome.downloaded = true;
    settled = outcome;
  }
  if (result == TaskResult::kPending) return;
  std::vector<TaskObserver> observers;
  {
    std::lock_guard lock(observers_mutex_);
    for (const auto& [id, observer] : task_observers_) observers.push_back(observer);
  }
  for (const TaskObserver& observer : observers) observer(settled);
}

int MapDownloadsFeature::AddTaskObserver(TaskObserver observer) {
  std::lock_guard lock(observers_mutex_);
  task_observers_[next_observer_] = std::move(observer);
  return next_observer_++;
}

int MapDownloadsFeature::AddArchiveObserver(ArchiveObserver observer) {
  std::lock_guard lock(observers_mutex_);
  archive_observers_[next_observer_] = std::move(observer);
  return next_observer_++;
}

void MapDownloadsFeature::RemoveObserver(int id) {
  std::lock_guard lock(observers_mutex_);
  task_observers_.erase(id);
  archive_observers_.erase(id);
}

void MapDownloadsFeature::NotifyArchive(const std::string& archive, bool ok) {
  std::vector<ArchiveObserver> observers;
  {
    std::lock_guard lock(observers_mutex_);
    for (const auto& [id, observer] : archive_observers_) observers.push_back(observer);
  }
  for (const ArchiveObserver& observer : observers) observer(archive, ok);
}

ProgressSnapshot MapDownloadsFeature::Progress() const {
  ProgressSnapshot snapshot;
  {
    std::lock_guard lock(queue_mutex_);
    snapshot.running = head_running_;
    snapshot.task = running_.id;
    snapshot.name = running_.name;
  }
  snapshot.received = received_.load();
  snapshot.total = total_.load();
  snapshot.speed_text = stats_.Snapshot().speed_text;
  return snapshot;
}

std::vector<TaskOutcome> MapDownloadsFeature::Outcomes() const {
  std::lock_guard lock(outcomes_mutex_);
  std::vector<TaskOutcome> all;
  all.reserve(outcomes_.size());
  for (const auto& [id, outcome] : outcomes_) all.push_back(outcome);
  return all;
}

std::optional<TaskOutcome> MapDownloadsFeature::Outcome(std::uint64_t task) const {
  std::lock_guard lock(outcomes_mutex_);
  const auto it = outcomes_.find(task);
  if (it == outcomes_.end()) return std::nullopt;
  return it->second;
}

void MapDownloadsFeature::OnStartup(Core& core) {
  std::vector<std::string> folders;
  {
    std::lock_guard lock(core.state().mutex);
    folders = {core.state().game.csgo_map_dir_copy, core.state().game.csgo_dir_copy};
  }
  for (const std::string& folder : folders) {
    if (!folder.empty()) (void)RemoveStaleStaging(folder, {});
  }
}

bool MapDownloadsFeature::Idle() const {
  {
    std::lock_guard lock(queue_mutex_);
    if (head_running_ || !tasks_.empty()) return false;
  }
  if (core_->window().download_queue().RowCount() > 0) return false;
  std::lock_guard lock(extract_mutex_);
  return extractions_.empty() && running_extractions_.empty() && starting_extractions_ == 0 &&
         core_->window().extract_queue().RowCount() == 0;
}

MapDownloadsFeature* MapDownloadsOf(Core& core) { return core.FindFeature<MapDownloadsFeature>(); }

std::uint64_t AppendTask(Core& core, const std::string& name, const std::string& state,
                         const std::string& url, const std::string& remark) {
  MapDownloadsFeature* downloads = MapDownloadsOf(core);
  return downloads != nullptr ? downloads->AppendTask(name, state, url, remark) : 0;
}

const char* TaskResultText(TaskResult result) {
  switch (result) {
    case TaskResult::kInstalled:
      return "installed";
    case TaskResult::kDownloaded:
      return "downloaded";
    case TaskResult::kFailed:
      return "failed";
    case TaskResult::kPending:
      break;
  }
  return "pending";
}

std::string TaskFailureText(const TaskOutcome& outcome) {
  if (outcome.result != TaskResult::kFailed) return {};
  struct Words {
    std::string_view reason_start;
    const char* utf8;
  };
  static constexpr Words kWords[] = {
      {"the game's maps folder is not known", "您的路径设置似乎不正确!"},
      {"the game folder to extract into does not exist", "您的路径设置似乎不正确!"},
  };
  for (const Words& words : kWords) {
    if (outcome.reason.starts_with(words.reason_start)) return gbk(words.utf8);
  }
  return gbk(outcome.downloaded ? "解压失败" : "下载失败");
}

}  // namespace brindle
