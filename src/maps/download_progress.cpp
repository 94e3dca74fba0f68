#include "maps/download_progress.h"

#include <algorithm>
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

std::string SpeedText(double kib) {
  if (kib - 2048 > 0.0000001) return TwoDecimals(kib / 1024) + "MB/s";
  if (kib > 0.0000001) return TwoDecimals(kib) + "KB/s";
  return "0.00KB/s";
}

void SpeedWindow::Reset() { *this = SpeedWindow{}; }

double SpeedWindow::Push(double kib) {
  if (!(kib > 0)) kib = 0;
  idle_ = kib > 0 ? 0 : idle_ + 1;
  kib_[next_] = kib;
  next_ = (next_ + 1) % kPeriods;
  filled_ = std::min(filled_ + 1, kPeriods);
  double sum = 0;
  for (int i = 0; i < filled_; ++i) sum += kib_[i];
  return sum / filled_;
}

std::string FailureReasonWords(std::string_view reason, bool* alone) {
  struct Words {
    std::string_view start;
    const char* utf8;
    bool alone = false;
  };
  // Most specific first: a cut transfer names why it was cut in its tail.
  static constexpr Words kWords[] = {
      {"the game's maps folder is not known", "您的路径设置似乎不正确!", true},
      {"the game folder to extract into does not exist", "您的路径设置似乎不正确!", true},
      {"cancelled by the player", "已取消", true},
      {"removed by the player", "已移除", true},
      {"cancelled: the program is closing", "程序关闭,下载中止"},
      {"HTTP status 404", "镜像上没有这个文件(404)"},
      {"HTTP status 403", "镜像拒绝了请求(403)"},
      {"HTTP status", "镜像返回错误"},
      {"no answer: Operation too slow", "长时间没有收到数据"},
      {"no answer: Operation timed out", "连接超时"},
      {"no answer: Connection timed out", "连接超时"},
      {"no answer: Could not resolve", "找不到下载服务器"},
      {"no answer: Couldn't resolve", "找不到下载服务器"},
      {"no answer", "无法连接下载服务器"},
      {"cut short", "连接中断,文件不完整"},
      {"transfer failed", "传输出错"},
      {"the range the mirror answered", "镜像续传的数据不符"},
      {"the mirror answered a web page", "镜像返回了网页而不是文件"},
      {"the mirror sent more than", "文件比预期大"},
      {"the mirror sent the file encoded", "镜像返回了编码过的文件"},
      {"the download cache already holds", "下载缓存中已有同名文件"},
      {"the temporary file cannot be opened", "无法写入下载缓存"},
      {"the program folder belongs", "程序目录正被另一个程序使用"},
      {"the download cache path is not valid", "下载缓存路径无效"},
      {"the file is not a bzip2 archive", "文件不是有效的压缩包"},
      {"the archive unpacks to more than", "解压后的文件过大"},
      {"the extractor ended with exit code", "解压程序报告错误"},
      {"the extractor cannot be started", "无法启动解压程序"},
      {"the archive did not hold", "压缩包里没有这张地图"},
      {"the archive holds an empty map", "压缩包里的地图是空文件"},
      {"the archive holds a link", "压缩包含有不安全的内容"},
      {"the map has", "地图大小与地图列表不符"},
      {"cannot put", "无法把地图放进游戏目录"},
      {"cannot make a staging folder", "无法写入游戏目录"},
  };
  const bool stalled = reason.find("Operation too slow") != std::string_view::npos ||
                       reason.find("timed out") != std::string_view::npos;
  for (const Words& words : kWords) {
    if (!reason.starts_with(words.start)) continue;
    if (alone != nullptr) *alone = words.alone;
    // A cut that libcurl ended for lack of data was a stall, which is what the player saw.
    if (stalled && words.start == "cut short") return gbk("长时间没有收到数据,已中止");
    std::string text = gbk(words.utf8);
    if (words.start == "HTTP status" || words.start == "the extractor ended with exit code") {
      std::string_view number = reason.substr(words.start.size());
      while (!number.empty() && number.front() == ' ') number.remove_prefix(1);
      text += "(" + std::string(number.substr(0, 12)) + ")";
    }
    return text;
  }
  return {};
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
