// One download task: the head of the queue fetched over the selected mirror line into a ".tmp"
// file of the download cache, judged, moved into place, counted and handed to installation.
#include "maps/download_task.h"

#include <algorithm>
#include <charconv>
#include <mutex>

#include "app/app_state.h"
#include "app/core.h"
#include "app/partial_download.h"
#include "foundation/encoding.h"
#include "foundation/http_client.h"
#include "foundation/http_settings.h"
#include "foundation/mapped_file.h"
#include "maps/install_rules.h"
#include "maps/map_downloads.h"
#include "platform/platform.h"
#include "view/control_names.h"
#include "view/window.h"

namespace brindle {
namespace {

// libcurl's own buffer; larger pieces cost fewer callbacks and file writes per megabyte.
constexpr long kReceiveBufferBytes = 512 * 1024;

void replace_all(std::string& text, std::string_view from, std::string_view to) {
  if (from.empty()) return;
  std::size_t pos = 0;
  while ((pos = text.find(from, pos)) != std::string::npos) {
    text.replace(pos, from.size(), to);
    pos += to.size();
  }
}

bool is_control(unsigned char c) { return c < 0x20 || c == 0x7F; }

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string FileNameOfUrl(std::string_view url) {
  const std::size_t slash = url.rfind('/');
  return std::string(slash == std::string_view::npos ? url : url.substr(slash + 1));
}

bool ValidCacheFileName(std::string_view name, std::string* reason) {
  auto refuse = [&](const char* why) {
    if (reason != nullptr) *reason = why;
    return false;
  };
  if (name.empty()) return refuse("the URL names no file");
  if (name == "." || name == "..") return refuse("the URL's file name is a folder reference");
  for (char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (is_control(c)) return refuse("the URL's file name holds a control character");
    if (c == '?') return refuse("the URL's file name holds a query string");
    if (c == '\\' || c == '/') return refuse("the URL's file name holds a path separator");
    if (c == '<' || c == '>' || c == '*' || c == '|' || c == ':' || c == '"') {
      return refuse("the URL's file name holds a character file names may not have");
    }
  }
  return true;
}

bool ValidMoveTarget(std::string_view target, std::string_view cache_dir) {
#ifdef _WIN32
  // A drive letter, its colon and a separator: "C:x" is relative to that drive's current folder.
  const bool absolute =
      target.size() >= 3 &&
      ((target[0] >= 'A' && target[0] <= 'Z') || (target[0] >= 'a' && target[0] <= 'z')) &&
      target[1] == ':' && (target[2] == '\\' || target[2] == '/');
#else
  const bool absolute = !target.empty() && target.front() == '/';
#endif
  if (!absolute || cache_dir.empty() || !target.starts_with(cache_dir)) return false;
  return ValidCacheFileName(target.substr(cache_dir.size()));
}

MirrorLines MirrorLinesOf(const AppState& state) {
  std::lock_guard lock(state.mutex);
  return MirrorLines{state.mirror_host, state.mirror_https, state.mirror_primary_host,
                     state.mirror_secondary_host};
}

std::array<bool, 3> SelectedMirrorLines(const Controls& controls) {
  return {controls.Checked(names::kMirror1), controls.Checked(names::kMirror3),
          controls.Checked(names::kMirror2)};
}

std::string RewriteForMirror(std::string url, const std::array<bool, 3>& selected,
                             const MirrorLines& lines) {
  for (std::size_t i = 0; i < 3; ++i) {
    if (!selected[i]) continue;
    if (lines.https[i]) replace_all(url, "http://", "https://");
    replace_all(url, lines.secondary_host, lines.host[i]);
    replace_all(url, lines.primary_host, lines.host[i]);
  }
  return url;
}

std::string LastHeaderValue(std::string_view headers, std::string_view name) {
  std::string value;
  std::size_t pos = 0;
  while (pos < headers.size()) {
    std::size_t end = headers.find('\n', pos);
    if (end == std::string_view::npos) end = headers.size();
    std::string_view line = headers.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.starts_with("HTTP/")) {
      value.clear();  // a new response (after a redirect or a 100): its own headers count
      continue;
    }
    const std::size_t colon = line.find(':');
    if (colon != name.size() || !std::equal(name.begin(), name.end(), line.begin(),
                                            [](char a, char b) { return lower(a) == lower(b); })) {
      continue;
    }
    std::string_view rest = line.substr(colon + 1);
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
    while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) rest.remove_suffix(1);
    value = rest;
  }
  return value;
}

TransferVerdict JudgeTransfer(int status, const HttpTransferInfo& info, std::int64_t wire_bytes,
                              std::string_view content_type) {
  TransferVerdict verdict;
  if (info.curl_code == CURLE_ABORTED_BY_CALLBACK) {
    verdict.reason = "cancelled: the program is closing";
    return verdict;
  }
  if (status != 200) {
    verdict.reason =
        status == 0 ? "no answer: " + info.curl_error : "HTTP status " + std::to_string(status);
    return verdict;
  }
  if (info.content_length >= 0 && wire_bytes != info.content_length) {
    verdict.reason = "cut short: " + std::to_string(wire_bytes) + " of " +
                     std::to_string(info.content_length) + " bytes";
    if (!info.curl_error.empty()) verdict.reason += " (" + info.curl_error + ")";
    return verdict;
  }
  if (!info.complete()) {
    verdict.reason = "transfer failed: " + info.curl_error;
    return verdict;
  }
  // A mirror that answers its error or index page with status 200.
  if (content_type.starts_with("text/html")) {
    verdict.reason = "the mirror answered a web page instead of the file";
    return verdict;
  }
  verdict.complete = true;
  return verdict;
}

// ---- The task on the feature ----------------------------------------------------------------

namespace {

// The first and last byte and the whole length of a "Content-Range: bytes F-L/T" value; nothing
// when it has another form.
struct ContentRange {
  std::int64_t first = -1;
  std::int64_t last = -1;
  std::int64_t length = -1;
};
ContentRange ParseContentRange(std::string_view value) {
  ContentRange range;
  if (!value.starts_with("bytes ")) return range;
  value.remove_prefix(6);
  auto number = [&value](char stop, std::int64_t& out) {
    const std::size_t at = value.find(stop);
    if (at == std::string_view::npos && stop != '\0') return false;
    const std::string_view digits = value.substr(0, at);
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), out);
    value.remove_prefix(at == std::string_view::npos ? value.size() : at + 1);
    return error == std::errc() && end == digits.data() + digits.size() && out >= 0;
  };
  ContentRange read;
  if (number('-', read.first) && number('/', read.last) && number('\0', read.length) &&
      read.first <= read.last && read.last < read.length) {
    range = read;
  }
  return range;
}

}  // namespace

bool RangeAnswerFits(std::string_view content_range, std::int64_t from, std::int64_t length) {
  const ContentRange range = ParseContentRange(content_range);
  return range.first == from && range.length == length && range.last == length - 1;
}

void MapDownloadsFeature::RunTask(int row) {
  Window& window = core_->window();
  ListModel& queue = window.download_queue();
  std::string file;
  std::string url;
  QueuedTask task;
  {
    std::lock_guard lock(queue_mutex_);
    queue.SetCell(row, cols::kTaskRunMark, gbk("正在下载"));
    file = queue.Cell(row, cols::kTaskFileName);
    url = queue.Cell(row, cols::kTaskUrl);
    task = running_;
  }
  bool cancelled = false;
  auto fail = [&](const std::string& reason, std::int64_t bytes) {
    // A cancel is the player's choice, not a failure of the mirror.
    if (!cancelled) stats_.AddDownloadFailure();
    Finish(task.id, TaskResult::kFailed, reason, bytes);
    FinishHeadTask();
  };

  // The rewritten URL is for the request only; the row keeps the one that was queued.
  const std::string request_url =
      RewriteForMirror(url, SelectedMirrorLines(window.controls()), MirrorLinesOf(core_->state()));
  std::string reason;
  if (!ValidCacheFileName(file, &reason)) return fail(reason, 0);
  // A guest of another program's folder never writes its download cache.
  if (!core_->OwnsProgramFolder()) return fail("the program folder belongs to another program", 0);

  const std::string cache = core_->state().download_cache_dir;
  const std::string temp = cache + file + ".tmp";
  // A partial file of the same URL continues, if the mirror still has the same file: the range
  // request carries its validator, and a mirror whose file changed answers the whole new one.
  std::optional<PartialDownload> partial = ReadResumeRecord(temp);
  std::int64_t resume_from = partial && partial->url == url ? ResumableBytes(temp) : 0;
  if (resume_from == 0) ForgetPartial(temp);
  const DownloadOptions opt = options();
  // What one task may write: the list's size of the map (plus a compressed map's slack), else a
  // fixed bound; an announced length above it ends the transfer before a byte is written.
  const std::int64_t cap = DownloadByteCap(file, task.listed_size);
  HttpClient client;
  client.open("GET", request_url);
  // Files come as they are stored: a content coding would let a small answer inflate without
  // bound, and the announced length would no longer be the file's.
  curl_easy_setopt(client.handle(), CURLOPT_ACCEPT_ENCODING, static_cast<char*>(nullptr));
  client.set_option(CURLOPT_HTTP_CONTENT_DECODING, 0L);
  if (resume_from > 0) {
    client.add_header("Range", "bytes=" + std::to_string(resume_from) + "-");
    client.add_header("If-Range", partial->validator);
    client.set_option_64(CURLOPT_MAXFILESIZE_LARGE, cap - resume_from);
    Log(gbk("续传 ") + task.name + gbk("，已有 ") + MiBOfMiBText(resume_from, partial->length));
  } else {
    client.set_option_64(CURLOPT_MAXFILESIZE_LARGE, cap);
  }
  const MappedHandle handle = mapped_file::open(temp, resume_from > 0 ? 6 : 4);
  if (handle != 0 && resume_from > 0 && !mapped_file::seek(handle, resume_from)) resume_from = 0;
  client.set_timeouts_ms(opt.connect_timeout_ms);
  client.set_option(CURLOPT_TIMEOUT, opt.total_timeout_s);
  client.set_option(CURLOPT_NOSIGNAL, 1L);
  // A task whose file cannot be opened would otherwise hold the head of the queue for good.
  if (handle == 0) return fail("the temporary file cannot be opened: " + temp, 0);

  const std::atomic<bool>& stopping = core_->workers().stop_flag();
  // Received and total count the whole file, the part of an earlier try included.
  std::int64_t shown_from = 0;
  client.set_progress_callback(
      [this, row, &stopping, &cancelled, &shown_from, id = task.id](
          std::int64_t total, std::int64_t received, std::int64_t, std::int64_t) {
        if (stopping.load(std::memory_order_relaxed)) return 1;  // the program is closing
        if (id != 0 && cancel_task_.load() == id) {
          cancelled = true;
          return 1;
        }
        if (total > 0) total += shown_from;
        received += shown_from;
        received_ = received;
        total_ = total;
        RecordProgress(progress_, row, total, received);
        return 0;
      });
  std::int64_t written = resume_from;
  bool over_cap = false;
  bool started = false;
  bool resumed = false;
  bool range_misfit = false;
  std::int64_t whole_length = -1;
  std::string validator;
  client.set_body_callback([&](const char* bytes, std::size_t length) -> std::size_t {
    if (length == 0) return 0;
    if (!started) {
      started = true;
      const long status = client.info_long(CURLINFO_RESPONSE_CODE);
      const std::string headers = client.response_headers_text();
      const std::int64_t announced = client.info_64(CURLINFO_CONTENT_LENGTH_DOWNLOAD_T);
      if (status == 206 && resume_from > 0 &&
          RangeAnswerFits(LastHeaderValue(headers, "content-range"), resume_from,
                          partial->length)) {
        resumed = true;
        shown_from = resume_from;
        whole_length = partial->length;
        validator = partial->validator;
      } else if (status == 206) {
        range_misfit = true;  // a piece of something else: nothing of it is written
        return 0;
      } else {
        // The whole file from its first byte (or an error page, which is never written).
        if (resume_from > 0 &&
            (!mapped_file::set_length(handle, 0) || !mapped_file::seek(handle, 0))) {
          return 0;
        }
        resume_from = 0;
        written = 0;
        whole_length = announced;
        validator = LastHeaderValue(headers, "etag");
        if (!UsableValidator(validator)) validator = LastHeaderValue(headers, "last-modified");
      }
      if (status == 200 || resumed) {
        // The record first: a crash after some bytes must still find what they belong to.
        if (whole_length <= 0 || !WriteResumeRecord(temp, {url, whole_length, validator})) {
          (void)platform::delete_file(ResumeRecordPath(temp));
        }
      }
    }
    const long status = client.info_long(CURLINFO_RESPONSE_CODE);
    if (status != 200 && status != 206) return length;  // an error page is not the file
    if (written + static_cast<std::int64_t>(length) > cap) {
      over_cap = true;
      return 0;
    }
    // A chunk the disk refused ends the transfer rather than leaving a hole in the file.
    if (!mapped_file::write_bytes(handle, {bytes, length})) return 0;
    written += static_cast<std::int64_t>(length);
    return length;
  });
  client.set_option(CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
  if (opt.low_speed_limit > 0 && opt.low_speed_seconds > 0) {
    client.set_option(CURLOPT_LOW_SPEED_LIMIT, opt.low_speed_limit);
    client.set_option(CURLOPT_LOW_SPEED_TIME, opt.low_speed_seconds);
  }
  client.set_option_text(CURLOPT_USERAGENT, http_settings().download_user_agent);
  client.send();
  const int status = client.status_code();
  const HttpTransferInfo info = client.transfer_info();
  const std::string content_type = client.info_text(CURLINFO_CONTENT_TYPE);
  const std::int64_t wire_bytes = client.info_64(CURLINFO_SIZE_DOWNLOAD_T);
  mapped_file::close(handle);
  received_ = written;
  if (resumed) {
    std::lock_guard lock(outcomes_mutex_);
    outcomes_[task.id].resumed = true;
    outcomes_[task.id].resumed_from = shown_from;
  }

  if (cancelled) return fail("cancelled by the player", info.body_bytes);
  if (range_misfit) {
    ForgetPartial(temp);
    return fail("the range the mirror answered does not fit the partial file", 0);
  }
  if (over_cap || info.curl_code == CURLE_FILESIZE_EXCEEDED) {
    ForgetPartial(temp);
    return fail("the mirror sent more than " + std::to_string(cap) + " bytes", info.body_bytes);
  }
  // A resumed answer is judged as the rest of the file it continues.
  const TransferVerdict verdict =
      JudgeTransfer(resumed && status == 206 ? 200 : status, info, wire_bytes, content_type);
  if (!verdict.complete) {
    // What arrived of the file stays for the next try; a web page in its place does not.
    if (status == 200 && content_type.starts_with("text/html")) ForgetPartial(temp);
    return fail(verdict.reason, info.body_bytes);
  }
  const std::string coding = LastHeaderValue(client.response_headers_text(), "content-encoding");
  if (!coding.empty() && coding != "identity") {
    ForgetPartial(temp);
    return fail("the mirror sent the file encoded (" + coding.substr(0, 32) + ")", info.body_bytes);
  }
  if (resumed && platform::file_size(temp) != whole_length) {
    ForgetPartial(temp);
    return fail("the range the mirror answered does not fit the partial file", info.body_bytes);
  }
  (void)platform::delete_file(ResumeRecordPath(temp));

  const std::string target = cache + file;
  if (!ValidMoveTarget(target, cache)) {
    Finish(task.id, TaskResult::kFailed, "the download cache path is not valid", info.body_bytes);
    FinishHeadTask();
    return;
  }
  if (!platform::move_file(temp, target)) {
    // Nothing is counted: the file of that name in the cache is another task's.
    Finish(task.id, TaskResult::kFailed,
           "the download cache already holds a file named " + gbk_to_utf8(file), info.body_bytes);
    FinishHeadTask();
    return;
  }
  stats_.AddDownloaded();
  Finish(task.id, TaskResult::kPending, "", info.body_bytes);
  InstallFile(file, task.id, task.listed_size);
  FinishHeadTask();
}

void MapDownloadsFeature::ProgressRefresh() {
  double kib = 0;
  {
    std::lock_guard lock(queue_mutex_);
    // Between tasks row 0 is the next task, which has no figures yet.
    if (!head_running_) return;
    const ProgressRefreshResult refresh = TakeProgressRefresh(progress_, 0);
    kib = speed_.Push(refresh.kib);
    std::string cell = refresh.cell.empty() ? gbk("下载中") : refresh.cell;
    // Nothing for a while: the row says so instead of standing still at its last figures.
    if (speed_.IdlePeriods() >= kWaitingPeriods) cell += gbk(" 等待数据...");
    if (!refresh.cell.empty() || speed_.IdlePeriods() >= kWaitingPeriods) {
      core_->window().download_queue().SetCell(0, cols::kTaskState, cell);
    }
  }
  stats_.SetSpeedText(SpeedText(kib));
  RefreshSummary();
}

}  // namespace brindle
