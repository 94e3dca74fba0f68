// The download counters, the running task's progress texts and the summary line. The counters
// and the progress table are shared by the download worker, the waiters and the UI thread, so
// each carries its own lock; what they hold and show is as the tool has always shown it.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace brindle {

class StringMap;

struct DownloadCounters {
  int downloaded = 0;           // finished whole and moved into place
  int download_failures = 0;    // any other end of a started task
  int extracted = 0;            // archives unpacked into the game
  int extraction_failures = 0;  // extractions that could not start or did not succeed
  int waiting_for_extraction = 0;
  std::string speed_text;    // e.g. "1.52MB/s"; empty when a task starts
  std::string current_file;  // file name of the running task
};

class DownloadStats {
 public:
  DownloadCounters Snapshot() const;
  void AddDownloaded();
  void AddDownloadFailure();
  void AddExtracted();
  void AddExtractionFailure();
  void AddWaiting(int delta);
  void StartFile(const std::string& file_name);  // current file set, speed text emptied
  void SetSpeedText(const std::string& text);

 private:
  mutable std::mutex mutex_;
  DownloadCounters counters_;
};

// " 已下载:" … " 速度:" + speed text (GBK).
std::string SummaryLine(const DownloadCounters& counters);

// ---- Progress texts (exactly two decimals, no grouping) ----------------------------------------

std::string TwoDecimals(double value);
std::string PercentText(std::int64_t received, std::int64_t total);   // "45.20%"
std::string MiBOfMiBText(std::int64_t received, std::int64_t total);  // "12.34MB/27.30MB"
std::string KiBText(std::int64_t bytes);                              // "2048.00"
// The speed text for `kib` KiB a second: MB/s above 2048 KiB, KB/s otherwise; "0.00KB/s" when
// nothing arrives (a stalled mirror must not keep showing its last speed).
std::string SpeedText(double kib);

// The speed over the last few refresh periods, so one late packet neither spikes the figure nor
// leaves it standing when the data stops.
class SpeedWindow {
 public:
  static constexpr int kPeriods = 3;
  void Reset();
  // Adds one period's KiB (a negative figure counts as 0); the average KiB per period.
  double Push(double kib);
  // Periods in a row without a byte, since the last Reset.
  int IdlePeriods() const { return idle_; }

 private:
  double kib_[kPeriods] = {};
  int next_ = 0;
  int filled_ = 0;
  int idle_ = 0;
};

// After this many periods without a byte the running row says it waits for data.
inline constexpr int kWaitingPeriods = 2;

// The words the player reads for a task's failure reason (the plain ASCII reasons of the
// download and installation steps), in GBK; a reason without its own words gives "". `alone`
// tells whether the words stand alone rather than after the failure they fall under.
std::string FailureReasonWords(std::string_view reason, bool* alone = nullptr);

// The progress table's keys: the row index followed by a suffix.
inline constexpr std::string_view kPercentSuffix = "DLBFB";
inline constexpr std::string_view kStatusSuffix = "DLSTATUS";
inline constexpr std::string_view kTotalSuffix = "DLT";
inline constexpr std::string_view kReceivedSuffix = "DLC";
inline constexpr std::string_view kPreviousSuffix = "DLCOLD";
std::string ProgressKey(int row, std::string_view suffix);

// What the progress callback writes for a row: percentage, received of total, total and
// received KiB. Nothing while the total is unknown (0).
void RecordProgress(StringMap& table, int row, std::int64_t total, std::int64_t received);
// Removes a row's entries, so a new task never shows the previous task's figures.
void ForgetProgress(StringMap& table, int row);

// One refresh for a row: the progress cell text (empty when the table has no figures for the row
// yet), and the KiB received since the previous refresh (DLCOLD becomes DLC).
struct ProgressRefreshResult {
  std::string cell;  // DLBFB + "(" + DLSTATUS + ")"
  double kib = 0;
};
ProgressRefreshResult TakeProgressRefresh(StringMap& table, int row);

}  // namespace brindle
