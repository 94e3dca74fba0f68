#include "maps/map_downloads.h"

#include <cstdio>

#include "app/core.h"
#include "foundation/encoding.h"
#include "maps/extractor.h"
#include "maps/map_check.h"
#include "platform/platform.h"
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
  window.Bind(names::kCancelDownloads, nullptr);
  for (const char* item : names::kDownloadQueueMenu) {
    window.Bind(names::menu_action(names::kDownloadQueue, item), nullptr);
  }
  window.SetCloseGuard(nullptr);
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
  window.Bind(names::kCancelDownloads, [this] { CancelAll(); });
  const std::string queue = names::kDownloadQueue;
  window.Bind(names::menu_action(queue, names::kMenuRetry), [this] { RetrySelected(); });
  window.Bind(names::menu_action(queue, names::kMenuRemove), [this] { RemoveSelected(); });
  window.Bind(names::menu_action(queue, names::kMenuCancel), [this] { CancelSelected(); });
  // Closing while maps download asks first and says what would be lost.
  window.SetCloseGuard([this] {
    const std::string warning = CloseWarning();
    return warning.empty() ||
           core_->window().MessageBox(gbk("关闭程序"), warning, gbk("仍然关闭&&取消")) == 0;
  });
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
  outcome.remark = task.remark;
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
  if (settled.downloaded && result != TaskResult::kFailed) {
    std::string line =
        (result == TaskResult::kInstalled ? gbk("已安装 ") : gbk("下载完成 ")) + settled.name;
    if (result == TaskResult::kPending) {
      line += " (" +
              TwoDecimals(static_cast<double>(settled.resumed_from + settled.bytes) / 1048576.0) +
              "MB" + (settled.resumed ? gbk("，续传") : std::string()) + ")";
    }
    Log(line);
  }
  if (result == TaskResult::kPending) return;
  // Closing: the queue goes away with the window; removed: the player took the row away.
  if (result == TaskResult::kFailed && !reason.starts_with("removed by the player")) {
    Log(settled.name + " " + TaskFailureText(settled));
    if (!reason.starts_with("cancelled: the program is closing")) AddFailedRow(settled);
  }
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
  if (ActiveTaskCount() > 0) return false;
  std::lock_guard lock(extract_mutex_);
  return extractions_.empty() && running_extractions_.empty() && starting_extractions_ == 0 &&
         core_->window().extract_queue().RowCount() == 0;
}

MapDownloadsFeature* MapDownloadsOf(Core& core) { return core.FindFeature<MapDownloadsFeature>(); }

std::uint64_t AppendTask(Core& core, const std::string& name, const std::string& state,
                         const std::string& url, const std::string& remark,
                         std::int64_t listed_size) {
  MapDownloadsFeature* downloads = MapDownloadsOf(core);
  return downloads != nullptr ? downloads->AppendTask(name, state, url, remark, listed_size) : 0;
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
  bool alone = false;
  const std::string words = FailureReasonWords(outcome.reason, &alone);
  if (alone) return words;
  std::string text = gbk(outcome.downloaded ? "解压失败" : "下载失败");
  if (!words.empty()) text += gbk("：") + words;
  return text;
}

void MapDownloadsFeature::Log(const std::string& line) {
  // The log keeps the latest lines only: a long session must not grow it without bound.
  constexpr std::size_t kMaxLogBytes = 48 * 1024;
  const platform::LocalTime now = platform::local_time_now();
  char stamp[16];
  std::snprintf(stamp, sizeof stamp, "[%02d:%02d:%02d] ", now.hour, now.minute, now.second);
  std::lock_guard lock(log_mutex_);
  Controls& controls = core_->window().controls();
  std::string text = controls.Caption(names::kLog);
  if (!text.empty()) text += "\n";
  text += stamp + line;
  if (text.size() > kMaxLogBytes) {
    const std::size_t cut = text.find('\n', text.size() - kMaxLogBytes);
    text.erase(0, cut == std::string::npos ? text.size() - kMaxLogBytes : cut + 1);
  }
  controls.SetCaption(names::kLog, text);
}

}  // namespace brindle
