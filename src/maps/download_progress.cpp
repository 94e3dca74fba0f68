#include "maps/download_progress.h"

#include <charconv>

#include "foundation/encoding.h"
#include "foundation/string_map.h"

namespace brindle {

DownloadCounters DownloadStats::Snapshot() const {
  std::lock_guard lock(mutex_);
  return counters_;
}

void DownloadStats::AddDownloaded() {
  std::lock_guard lock(mutex_);
  ++counters_.downloaded;
}

void DownloadStats::AddDownloadFailure() {
  std::lock_guard lock(mutex_);
  ++counters_.download_failures;
}

void DownloadStats::AddExtracted() {
  std::lock_guard lock(mutex_);
  ++counters_.extracted;
}

void DownloadStats::AddExtractionFailure() {
  std::lock_guard lock(mutex_);
  ++counters_.extraction_failures;
}

void DownloadStats::AddWaiting(int delta) {
  std::lock_guard lock(mutex_);
  counters_.waiting_for_extraction += delta;
}

void DownloadStats::StartFile(const std::string& file_name) {
  std::lock_guard lock(mutex_);
  counters_.current_file = file_name;
  counters_.speed_text.clear();
}

void DownloadStats::SetSpeedText(const std::string& text) {
  std::lock_guard lock(mutex_);
  counters_.speed_text = text;
}

std::string SummaryLine(const DownloadCounters& c) {
  return gbk(" 已下载:") + std::to_string(c.downloaded) + gbk(" 已解压:") +
         std::to_string(c.extracted) + gbk(" 待解压:") + std::to_string(c.waiting_for_extraction) +
         gbk(" 下载失败:") + std::to_string(c.download_failures) + gbk(" 解压失败:") +
         std::to_string(c.extraction_failures) + gbk(" 速度:") + c.speed_text;
}

// The C library's number formats follow the locale (the window sets the user's), which may write a
// decimal comma; these texts always use a point.
std::string TwoDecimals(double value) {
  char text[64];
  const auto [end, error] =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 2);
  if (error != std::errc()) return "0.00";
  return std::string(text, end);
}

namespace {

double ParseNumber(const std::string& text) {
  double value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

}  // namespace

std::string PercentText(std::int64_t received, std::int64_t total) {
  if (total <= 0) return TwoDecimals(0) + "%";
  return TwoDecimals(static_cast<double>(received) / static_cast<double>(total) * 100.0) + "%";
}

std::string MiBOfMiBText(std::int64_t received, std::int64_t total) {
  return TwoDecimals(static_cast<double>(received) / 1048576.0) + "MB/" +
         TwoDecimals(static_cast<double>(total) / 1048576.0) + "MB";
}

std::string KiBText(std::int64_t bytes) { return TwoDecimals(static_cast<double>(bytes) / 1024.0); }

std::string SpeedText(double kib, const std::string& previous) {
  if (kib - 2048 > 0.0000001) return TwoDecimals(kib / 1024) + "MB/s";
  if (kib > 0.0000001) return TwoDecimals(kib) + "KB/s";
  return previous;
}

std::string ProgressKey(int row, std::string_view suffix) {
  std::string key = std::to_string(row);
  key += suffix;
  return key;
}

void RecordProgress(StringMap& table, int row, std::int64_t total, std::int64_t received) {
  if (total == 0) return;
  table.put(ProgressKey(row, kPercentSuffix), PercentText(received, total));
  table.put(ProgressKey(row, kStatusSuffix), MiBOfMiBText(received, total));
  table.put(ProgressKey(row, kTotalSuffix), KiBText(total));
  table.put(ProgressKey(row, kReceivedSuffix), KiBText(received));
}

void ForgetProgress(StringMap& table, int row) {
  for (std::string_view suffix :
       {kPercentSuffix, kStatusSuffix, kTotalSuffix, kReceivedSuffix, kPreviousSuffix}) {
    table.remove(ProgressKey(row, suffix));
  }
}

ProgressRefreshResult TakeProgressRefresh(StringMap& table, int row) {
  ProgressRefreshResult result;
  std::string percent;
  if (!table.get(ProgressKey(row, kPercentSuffix), percent)) return result;
  std::string status;
  table.get(ProgressKey(row, kStatusSuffix), status);
  result.cell = percent + "(" + status + ")";
  std::string received;
  std::string previous;
  table.get(ProgressKey(row, kReceivedSuffix), received);  // a missing entry reads as 0
  table.get(ProgressKey(row, kPreviousSuffix), previous);
  result.kib = ParseNumber(received) - ParseNumber(previous);
  table.put(ProgressKey(row, kPreviousSuffix), received);
  return result;
}

}  // namespace brindle
