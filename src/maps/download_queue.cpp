// The download queue: producers append tasks, the queue clock starts the head task on a worker,
// and download all feeds the queue from the resource list, at most four waiting at a time.
#include <mutex>

#include "app/app_state.h"
#include "app/core.h"
#include "app/installation.h"
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
                                              const std::string& url, const std::string& remark) {
  QueuedTask task{0, name, url, 0};
  {
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
    core_->window().download_queue().Append({name, state, url, remark});
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
  if (window.download_queue().RowCount() > 0) {
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
  if (resources.RowCount() == 0 || window.download_queue().RowCount() >= kMaxWaiting) return false;
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
  if (core_->window().download_queue().RowCount() == 0) {
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
      if (head_running_ || queue.RowCount() == 0) return;
      if (queue.Cell(0, cols::kTaskRunMark) == gbk("正在下载")) return;
      head_running_ = true;
      task.name = queue.Cell(0, cols::kTaskName);
      task.url = queue.Cell(0, cols::kTaskUrl);
      // Rows appended past AppendTask have no task record; they run untracked.
      if (!tasks_.empty() && tasks_.front().url == task.url && tasks_.front().name == task.name) {
        task.id = tasks_.front().id;
        task.listed_size = tasks_.front().listed_size;
      }
      file = FileNameOfUrl(task.url);
      queue.SetCell(0, cols::kTaskFileName, file);
      queue.SetCell(0, cols::kTaskState, gbk("下载中"));
      running_ = task;
      received_ = 0;
      total_ = 0;
    }
    Remember(task, file);
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
