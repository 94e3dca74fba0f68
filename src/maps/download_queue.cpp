// The download queue: producers append tasks, the queue clock starts the head task on a worker,
// and download all feeds the queue from the resource list, at most four waiting at a time.
#include <algorithm>
#include <mutex>
#include <vector>

#include "app/app_state.h"
#include "app/core.h"
#include "app/installation.h"
#include "app/partial_download.h"
#include "foundation/encoding.h"
#include "maps/download_task.h"
#include "maps/map_downloads.h"
#include "view/control_names.h"
#include "view/window.h"

namespace brindle {
namespace {

constexpr std::int64_t kQueueClockMs = 2000;
constexpr std::int64_t kMoveClockMs = 3000;
constexpr std::int64_t kProgressClockMs = 1000;
// Download all keeps at most this many tasks waiting; the rest stay in the resource list.
constexpr int kMaxWaiting = 4;

}  // namespace

std::uint64_t MapDownloadsFeature::AppendTask(const std::string& name, const std::string& state,
                                              const std::string& url, const std::string& remark,
                                              std::int64_t listed_size) {
  QueuedTask task{0, name, url, 0, remark};
  if (listed_size >= 0) {
    task.listed_size = listed_size;
  } else {
    // A map the last check listed carries the list's size, which its installation must match.
    std::lock_guard lock(sizes_mutex_);
    if (const auto it = listed_sizes_.find(url); it != listed_sizes_.end()) {
      task.listed_size = it->second;
    }
  }
  {
    std::lock_guard lock(queue_mutex_);
    task.id = next_id_++;
    tasks_.push_back(task);
    // Above the failed rows, which stay at the bottom until retried or removed.
    ListModel& queue = core_->window().download_queue();
    queue.Insert(queue.RowCount() - static_cast<int>(failed_.size()), {name, state, url, remark});
  }
  Remember(task, FileNameOfUrl(url));
  core_->window().clock().StartClock(names::kClockQueue, kQueueClockMs);
  return task.id;
}

void MapDownloadsFeature::StartSelected() {
  Window& window = core_->window();
  if (fetching_) {
    window.ShowNotice(gbk("请等待获取完成.."));
    return;
  }
  if (ActiveTaskCount() > 0) {
    window.ShowNotice(gbk("请等待当前下载任务完成.."));
    return;
  }
  ListModel& resources = window.resources();
  if (resources.Selected() < 0) return;
  if (window.controls().Checked(names::kAutoExtract) && !CheckInstallation(core_->state())) {
    ShowPathWrongDialog(window);
    return;
  }
  std::lock_guard lock(resources_mutex_);
  const int row = resources.Selected();
  const auto cells = resources.Row(row);
  if (!cells) return;
  AppendTask((*cells)[cols::kResMapName], gbk("等待下载"), (*cells)[cols::kResUrl],
             (*cells)[cols::kResChineseName]);
  resources.Remove(row);
}

void MapDownloadsFeature::DownloadAll() {
  Window& window = core_->window();
  if (window.controls().Checked(names::kAutoExtract) && !CheckInstallation(core_->state())) {
    ShowPathWrongDialog(window);
    return;
  }
  window.clock().StartClock(names::kClockMove, kMoveClockMs);
  window.clock().StartClock(names::kClockQueue, kQueueClockMs);
  window.controls().SetEnabled(names::kStartDownload, false);
}

void MapDownloadsFeature::ClearResources() {
  Window& window = core_->window();
  window.clock().StopClock(names::kClockMove);
  {
    std::lock_guard lock(resources_mutex_);
    window.resources().Clear();
  }
  window.controls().SetEnabled(names::kStartDownload, true);
}

void MapDownloadsFeature::RemoveResourceRows() {
  std::lock_guard lock(resources_mutex_);
  core_->window().resources().Clear();
}

bool MapDownloadsFeature::MoveOneResource() {
  Window& window = core_->window();
  std::lock_guard lock(resources_mutex_);
  ListModel& resources = window.resources();
  if (resources.RowCount() == 0 || ActiveTaskCount() >= kMaxWaiting) return false;
  const auto cells = resources.Row(0);
  if (!cells) return false;
  AppendTask((*cells)[cols::kResMapName], gbk("等待下载"), (*cells)[cols::kResUrl],
             (*cells)[cols::kResChineseName]);
  resources.Remove(0);
  return true;
}

void MapDownloadsFeature::MoveTick() {
  Window& window = core_->window();
  if (window.resources().RowCount() == 0) {
    window.clock().StopClock(names::kClockMove);
    // The batch is over: the next one needs no clearing first. A running check keeps it off.
    if (!fetching_) window.controls().SetEnabled(names::kStartDownload, true);
    return;
  }
  MoveOneResource();
}

void MapDownloadsFeature::QueueTick() {
  RefreshSummary();
  if (ActiveTaskCount() == 0) {
    core_->window().clock().StopClock(names::kClockQueue);
    return;
  }
  {
    std::lock_guard lock(queue_mutex_);
    if (head_running_) return;  // the running worker goes on with the queue itself
  }
  core_->workers().Start("download", [this] { StartHeadTask(); });
}

void MapDownloadsFeature::StartHeadTask() {
  Window& window = core_->window();
  ListModel& queue = window.download_queue();
  // A task that ends starts the next one at once; the queue clock only catches what this loop
  // leaves behind.
  while (!core_->workers().Stopping()) {
    QueuedTask task;
    std::string file;
    {
      std::lock_guard lock(queue_mutex_);
      if (head_running_ || queue.RowCount() <= static_cast<int>(failed_.size())) return;
      if (queue.Cell(0, cols::kTaskRunMark) == gbk("正在下载")) return;
      head_running_ = true;
      task.name = queue.Cell(0, cols::kTaskName);
      task.url = queue.Cell(0, cols::kTaskUrl);
      // Rows appended past AppendTask have no task record; they run untracked.
      if (!tasks_.empty() && tasks_.front().url == task.url && tasks_.front().name == task.name) {
        task = tasks_.front();
      }
      file = FileNameOfUrl(task.url);
      queue.SetCell(0, cols::kTaskFileName, file);
      queue.SetCell(0, cols::kTaskState, gbk("下载中"));
      running_ = task;
      received_ = 0;
      total_ = 0;
      speed_.Reset();
    }
    Remember(task, file);
    Log(gbk("开始下载 ") + task.name);
    // The table keeps the last task's figures under the same row key: without this the new task
    // would show them until its own first figures arrive (and for ever for an empty file).
    ForgetProgress(progress_, 0);
    window.clock().StartClock(names::kClockProgress, kProgressClockMs);
    stats_.StartFile(file);
    RunTask(0);
    RefreshSummary();
    // Download all keeps the queue fed as tasks end, not only on its clock.
    if (window.clock().ClockRunning(names::kClockMove)) MoveOneResource();
  }
}

void MapDownloadsFeature::FinishHeadTask() {
  core_->window().clock().StopClock(names::kClockProgress);
  std::lock_guard lock(queue_mutex_);
  ListModel& queue = core_->window().download_queue();
  if (!tasks_.empty() && tasks_.front().id == running_.id && running_.id != 0) tasks_.pop_front();
  queue.Remove(0);
  head_running_ = false;
  running_ = QueuedTask{};
}

}  // namespace brindle

namespace brindle {

int MapDownloadsFeature::ActiveTaskCount() const {
  std::lock_guard lock(queue_mutex_);
  return std::max(0,
                  core_->window().download_queue().RowCount() - static_cast<int>(failed_.size()));
}

void MapDownloadsFeature::AddFailedRow(const TaskOutcome& outcome) {
  std::lock_guard lock(queue_mutex_);
  core_->window().download_queue().Append({outcome.name, TaskFailureText(outcome), outcome.url,
                                           outcome.remark, "", "", outcome.file_name});
  failed_.push_back({outcome.id, outcome.name, outcome.url, 0, outcome.remark});
}

int MapDownloadsFeature::SelectedFailedRow() const {
  const ListModel& queue = core_->window().download_queue();
  const int active = queue.RowCount() - static_cast<int>(failed_.size());
  const int selected = queue.Selected();
  return selected >= active && active >= 0 ? selected - active : -1;
}

std::uint64_t MapDownloadsFeature::RetrySelected() {
  QueuedTask task;
  {
    std::lock_guard lock(queue_mutex_);
    const int failed = SelectedFailedRow();
    if (failed < 0) return 0;
    task = failed_[static_cast<std::size_t>(failed)];
    core_->window().download_queue().Remove(core_->window().download_queue().Selected());
    failed_.erase(failed_.begin() + failed);
  }
  Log(gbk("重试 ") + task.name);
  return AppendTask(task.name, gbk("等待下载"), task.url, task.remark);
}

bool MapDownloadsFeature::RemoveSelected() {
  QueuedTask task;
  bool was_failed = false;
  {
    std::lock_guard lock(queue_mutex_);
    ListModel& queue = core_->window().download_queue();
    const int row = queue.Selected();
    const int failed = SelectedFailedRow();
    // The running task is cancelled, not taken away under its worker.
    if (row < 0 || (row == 0 && head_running_)) return false;
    if (failed >= 0) {
      was_failed = true;
      task = failed_[static_cast<std::size_t>(failed)];
      failed_.erase(failed_.begin() + failed);
    } else if (tasks_.size() == static_cast<std::size_t>(queue.RowCount()) - failed_.size()) {
      task = tasks_[static_cast<std::size_t>(row)];
      tasks_.erase(tasks_.begin() + row);
    }
    task.name = queue.Cell(row, cols::kTaskName);
    task.url = queue.Cell(row, cols::kTaskUrl);
    queue.Remove(row);
  }
  Log(gbk("移除 ") + task.name);
  // A waiting task is settled, so whoever waits for it hears; it gets no row.
  if (!was_failed) {
    Finish(task.id, TaskResult::kFailed, "removed by the player");
    return true;
  }
  // Given up: what arrived of it goes too, unless another row still wants the same file.
  const std::string file = FileNameOfUrl(task.url);
  bool wanted = false;
  {
    std::lock_guard lock(queue_mutex_);
    const ListModel& queue = core_->window().download_queue();
    for (int row = 0; row < queue.RowCount(); ++row) {
      if (FileNameOfUrl(queue.Cell(row, cols::kTaskUrl)) == file) wanted = true;
    }
  }
  if (!wanted && ValidCacheFileName(file)) {
    ForgetPartial(core_->state().download_cache_dir + file + ".tmp");
  }
  return true;
}

bool MapDownloadsFeature::CancelSelected() {
  {
    std::lock_guard lock(queue_mutex_);
    const ListModel& queue = core_->window().download_queue();
    if (SelectedFailedRow() >= 0 || queue.Selected() < 0) return false;
    if (queue.Selected() == 0 && head_running_) {
      if (running_.id == 0) return false;
      cancel_task_ = running_.id;
      return true;
    }
  }
  return RemoveSelected();
}

void MapDownloadsFeature::CancelAll() {
  Window& window = core_->window();
  window.clock().StopClock(names::kClockMove);
  std::vector<std::uint64_t> dropped;
  {
    std::lock_guard lock(queue_mutex_);
    ListModel& queue = window.download_queue();
    const int first = head_running_ ? 1 : 0;
    const int active = queue.RowCount() - static_cast<int>(failed_.size());
    for (int row = active - 1; row >= first; --row) queue.Remove(row);
    // The running task's record stays at the front until its worker ends it.
    while (tasks_.size() > static_cast<std::size_t>(first)) {
      dropped.push_back(tasks_.back().id);
      tasks_.pop_back();
    }
    if (head_running_ && running_.id != 0) cancel_task_ = running_.id;
  }
  if (!fetching_) window.controls().SetEnabled(names::kStartDownload, true);
  Log(gbk("取消全部下载"));
  // Each waiting task becomes a cancelled row, which the player may retry.
  for (auto it = dropped.rbegin(); it != dropped.rend(); ++it) {
    Finish(*it, TaskResult::kFailed, "cancelled by the player");
  }
}

std::string MapDownloadsFeature::CloseWarning() const {
  std::string running;
  int waiting = 0;
  {
    std::lock_guard lock(queue_mutex_);
    const ListModel& queue = core_->window().download_queue();
    waiting = queue.RowCount() - static_cast<int>(failed_.size());
    if (head_running_) {
      running = running_.name;
      --waiting;
    }
  }
  const int extracting = [this] {
    std::lock_guard lock(extract_mutex_);
    return static_cast<int>(extractions_.size() + running_extractions_.size()) +
           starting_extractions_;
  }();
  if (running.empty() && waiting <= 0 && extracting == 0) return {};
  std::string text;
  if (!running.empty()) {
    text += gbk("正在下载 ") + running;
    const std::int64_t total = total_.load();
    if (total > 0) text += " (" + PercentText(received_.load(), total) + ")";
    text += gbk("，关闭后下载中止；已下载的部分会保留，下次可继续。\n");
  }
  if (waiting > 0) {
    text += std::to_string(waiting) + gbk(" 个等待下载的任务会被丢弃。\n");
  }
  if (extracting > 0) {
    text += std::to_string(extracting) + gbk(" 个文件正在解压或等待解压，关闭后不会安装到游戏。\n");
  }
  return text + gbk("确定要关闭吗？");
}

}  // namespace brindle
