// Map downloads as one feature of the download page: the map requirement check of the fifteen
// group buttons, the download queue over the mirror lines (one task at a time, on a worker), and
// the installation of finished files with its extraction queue and external extractor.
//
// The operations live in one file per family: map_check.cpp, download_queue.cpp,
// download_task.cpp, map_install.cpp and extractor.cpp; this file binds them to the window.
//
// Threads: button handlers and clocks run on the UI thread; the check, each download and each
// extractor waiter on a worker of the core (stopped at exit: a running transfer is cancelled, a
// running extractor ended). The queue rows with their tasks, the counters, the progress table
// and the extractor bookkeeping each have a lock. Of the feature's own locks only one is held at
// a time, except the resource list's, under which a move takes the queue's, and the group check's,
// under which the check takes the resource list's.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/feature.h"
#include "foundation/string_map.h"
#include "maps/download_progress.h"
#include "platform/platform.h"

namespace brindle {

class Core;

struct DownloadOptions {
  // A transfer slower than low_speed_limit bytes per second for low_speed_seconds is given up
  // (a stalled mirror must not hold the queue); 0 turns the check off.
  long low_speed_limit = 1024;
  long low_speed_seconds = 30;
  long connect_timeout_ms = 15000;
  long total_timeout_s = 3600;
};

// What became of one queued task, for the CLI and the tests. A task is final once its download
// failed, or it was downloaded and either nothing was to be installed or the installation ended.
enum class TaskResult { kPending, kDownloaded, kInstalled, kFailed };
// "pending", "downloaded", "installed" or "failed": the result as scripts read it.
const char* TaskResultText(TaskResult result);
struct TaskOutcome {
  std::uint64_t id = 0;
  std::string name;       // column 0 (GBK)
  std::string url;        // as queued, before the mirror rewrite
  std::string file_name;  // in the download cache
  TaskResult result = TaskResult::kPending;
  std::int64_t bytes = 0;   // body bytes received
  std::string reason;       // why it failed (plain ASCII)
  bool downloaded = false;  // the file reached the cache (a later failure is the installation's)
  std::string remark;       // column 3, for a retry
  // The transfer continued a partial file of an earlier try (or run) from this many bytes.
  bool resumed = false;
  std::int64_t resumed_from = 0;
};

// What the window shows the player for a failed task (GBK): the path box's title when the game
// folder was not known, "已取消" for a task the player cancelled, else the summary line's counter
// it falls under ("下载失败" for a download that did not reach the cache, "解压失败" for an
// installation that failed after it) followed by "：" and the reason's words when it has some.
// Empty unless the task failed.
std::string TaskFailureText(const TaskOutcome& outcome);

// The running task's figures, for a progress bar drawn outside the window model.
struct ProgressSnapshot {
  bool running = false;
  std::uint64_t task = 0;
  std::string name;
  std::int64_t received = 0;
  std::int64_t total = 0;  // 0 while unknown
  std::string speed_text;
};

class MapDownloadsFeature final : public Feature {
 public:
  MapDownloadsFeature() = default;
  explicit MapDownloadsFeature(const DownloadOptions& options) : options_(options) {}
  ~MapDownloadsFeature() override;

  const char* name() const override { return "map-downloads"; }
  void Bind(Core& core) override;
  // Removes the staging folders an extraction of an ended program left in the game folders.
  void OnStartup(Core& core) override;

  void SetOptions(const DownloadOptions& options);
  DownloadOptions options() const;

  // ---- Map requirement check (map_check.cpp) ----
  // A group button: refused with "请等待下载任务完成.." while the queue holds a task; otherwise
  // the check runs on a worker. A later click wins: a check still fetching when another starts
  // leaves the resource list to the later one. True when a worker started.
  bool CheckMapGroup(const std::string& group_key);
  // The check on the calling thread: fetch, busy state (from the end of the fetch), rows, label.
  // The number of "需要下载" rows, or -1 when the list could not be read (the resource list is
  // then empty) or a later check took over. `generation`: CheckMapGroup's; 0 takes a new one.
  int RunMapCheck(const std::string& group_key, std::uint64_t generation = 0);
  bool Fetching() const { return fetching_.load(); }

  // ---- Download queue (download_queue.cpp) ----
  // Appends a task row (columns 0-3) and sets the queue clock to 2000 ms. The task's id.
  // `listed_size`: the map list's size of the map, which its installation must match; -1 takes
  // the size the last check listed for `url` (none when it did not list it).
  std::uint64_t AppendTask(const std::string& name, const std::string& state,
                           const std::string& url, const std::string& remark,
                           std::int64_t listed_size = -1);
  void StartSelected();       // the resource list's own action (a double-click)
  void DownloadAll();         // 开始下载
  void ClearResources();      // 开始下载资源1 (清理下载队列)
  void RemoveResourceRows();  // the rows only (the patch's queueing)
  void MoveTick();
  void QueueTick();
  // The worker's job: runs the head task and, without waiting for the clock, every task queued
  // behind it. Returns at once when the head is already running.
  void StartHeadTask();
  void RefreshSummary();
  // Tasks waiting or running: the queue's rows above the failed ones.
  int ActiveTaskCount() const;

  // ---- The queue's row menu and its cancel button ----
  // The selected row: a failed or cancelled task is queued again (a partial file continues
  // where it stopped when the mirror allows) or removed with its partial file; a waiting task is
  // removed, the running one cancelled. False (0) when the row does not allow it.
  std::uint64_t RetrySelected();  // the new task's id; 0 when not a failed row
  bool RemoveSelected();
  bool CancelSelected();
  // Cancels the running task, drops every waiting one and ends download all; failed rows stay.
  void CancelAll();
  // What closing now would stop, for the question before the window closes (GBK); empty when
  // nothing runs or waits.
  std::string CloseWarning() const;

  // ---- One download (download_task.cpp) ----
  void RunTask(int row);
  void ProgressRefresh();

  // ---- Installation (map_install.cpp, extractor.cpp) ----
  // Installs a finished file of the download cache as its name says; nothing unless the
  // extract-into-game option is on.
  // `listed_size` is the map list's size of the map (0 when unknown): an installed map must
  // have exactly that size.
  void InstallFile(const std::string& name, std::uint64_t task = 0, std::int64_t listed_size = 0);
  // Starts the extractor on cache + name into `target`; the child, or kInvalidProcess.
  platform::ProcessHandle StartExtractor(const std::string& name, const std::string& target,
                                         bool hidden);
  void ExtractionTick();

  // ---- Observation ----
  DownloadStats& stats() { return stats_; }
  StringMap& progress_table() { return progress_; }
  StringMap& extraction_table() { return extraction_table_; }
  ProgressSnapshot Progress() const;
  std::vector<TaskOutcome> Outcomes() const;
  std::optional<TaskOutcome> Outcome(std::uint64_t task) const;
  // Nothing queued or running, nothing waiting for or under extraction.
  bool Idle() const;

  // ---- Observers (other features of the download page) ----
  // Told, on the thread that settled it, when a task's outcome becomes final (not kPending).
  using TaskObserver = std::function<void(const TaskOutcome&)>;
  // Told, on the extractor's waiter, when the extractor of a .7z or .zip archive has ended
  // (whether or not it succeeded; not when the program is closing).
  using ArchiveObserver = std::function<void(const std::string& archive, bool ok)>;
  // Both return an id for RemoveObserver. Observers must not add or remove observers.
  int AddTaskObserver(TaskObserver observer);
  int AddArchiveObserver(ArchiveObserver observer);
  void RemoveObserver(int id);

 private:
  struct QueuedTask {
    std::uint64_t id = 0;
    std::string name;
    std::string url;
    std::int64_t listed_size = 0;  // the map list's size of the map; 0 when unknown
    std::string remark;
  };
  struct PendingExtraction {
    std::string file;
    std::uint64_t task = 0;
    std::int64_t listed_size = 0;
  };
  struct RunningExtraction {
    platform::ProcessHandle process = platform::kInvalidProcess;
    int pid = 0;          // taken at the start: the handle is gone once the wait has ended
    std::string file;     // archive in the download cache
    std::string target;   // where its contents belong
    std::string staging;  // where the extractor writes them first; names the job
    std::uint64_t task = 0;
    bool from_queue = true;  // the queue extractor, or one for a .7z/.zip
    std::int64_t listed_size = 0;
    std::int64_t output_cap = 0;  // the most bytes it may write
  };

  void SetBusy(bool busy);
  bool MoveOneResource();  // the move step; true when a row was moved
  void FinishHeadTask();
  // Puts a failed task's row below the waiting ones, with its words in the state column.
  void AddFailedRow(const TaskOutcome& outcome);
  // One line with the time of day into the log box (GBK).
  void Log(const std::string& line);
  // The selected row as an index among the failed rows (-1: not a failed row).
  int SelectedFailedRow() const;
  void Finish(std::uint64_t task, TaskResult result, const std::string& reason,
              std::int64_t bytes = -1);
  void Remember(const QueuedTask& task, const std::string& file_name);
  bool InstallCopy(const std::string& name, const std::string& dir, std::uint64_t task,
                   std::int64_t listed_size);
  bool StartExtraction(RunningExtraction job);
  // Starts the job's extractor, tells `started` its handle (kInvalidProcess when it could not
  // start), then waits for it and installs what it wrote.
  void WaitForExtractor(RunningExtraction job, std::promise<platform::ProcessHandle>& started);
  // The extraction queue's top row while its archive is unpacked: its progress, and its end.
  void ShowUnpackingProgress(const std::string& file, std::int64_t written,
                             std::int64_t listed_size);
  void EndUnpackingRow(const std::string& file);

  Core* core_ = nullptr;
  mutable std::mutex options_mutex_;
  DownloadOptions options_;

  std::atomic<bool> fetching_{false};
  std::atomic<std::uint64_t> check_generation_{0};  // the latest group check
  std::mutex check_mutex_;                          // one check fills the resource list at a time
  DownloadStats stats_;
  StringMap progress_;          // the progress table
  StringMap extraction_table_;  // extractor process id -> archive file name

  std::mutex resources_mutex_;  // compound changes of the resource list
  std::mutex sizes_mutex_;
  std::map<std::string, std::int64_t> listed_sizes_;  // download URL -> size, from the check
  mutable std::mutex queue_mutex_;
  std::deque<QueuedTask> tasks_;  // beside the queue rows, head first
  bool head_running_ = false;
  QueuedTask running_;
  std::uint64_t next_id_ = 1;
  std::atomic<std::int64_t> received_{0};
  std::atomic<std::int64_t> total_{0};
  std::deque<QueuedTask> failed_;              // beside the failed rows at the bottom of the queue
  SpeedWindow speed_;                          // the running task's, under queue_mutex_
  std::atomic<std::uint64_t> cancel_task_{0};  // the running task the player cancelled
  std::mutex log_mutex_;

  mutable std::mutex outcomes_mutex_;
  std::map<std::uint64_t, TaskOutcome> outcomes_;

  mutable std::mutex observers_mutex_;
  std::map<int, TaskObserver> task_observers_;
  std::map<int, ArchiveObserver> archive_observers_;
  int next_observer_ = 1;
  void NotifyArchive(const std::string& archive, bool ok);

  mutable std::mutex extract_mutex_;
  std::deque<PendingExtraction> extractions_;  // beside the extraction queue rows
  std::vector<RunningExtraction> running_extractions_;
  int starting_extractions_ = 0;
  std::uint64_t next_staging_ = 1;
};

// The feature registered with `core`, or nullptr.
MapDownloadsFeature* MapDownloadsOf(Core& core);

// The one way to queue a download from other features: AppendTask of the core's map downloads
// feature; 0 (nothing queued) when it is not registered.
std::uint64_t AppendTask(Core& core, const std::string& name, const std::string& state,
                         const std::string& url, const std::string& remark,
                         std::int64_t listed_size = -1);

}  // namespace brindle
