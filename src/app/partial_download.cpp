#include "app/partial_download.h"

#include <charconv>

#include "platform/platform.h"

namespace brindle {
namespace {

constexpr std::size_t kMaxRecordBytes = 8 * 1024;
constexpr std::size_t kMaxValidator = 200;
constexpr std::string_view kSuffix = ".resume";

bool printable(std::string_view text) {
  for (const char c : text) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

}  // namespace

std::string ResumeRecordPath(const std::string& temp_path) {
  return temp_path + std::string(kSuffix);
}

bool UsableValidator(std::string_view value) {
  if (value.empty() || value.size() > kMaxValidator || !printable(value)) return false;
  // A weak ETag names equal content, not equal bytes: a range of it may not fit.
  return !value.starts_with("W/");
}

bool WriteResumeRecord(const std::string& temp_path, const PartialDownload& record) {
  if (record.length <= 0 || !UsableValidator(record.validator) ||
      record.url.find_first_of("\r\n") != std::string::npos) {
    return false;
  }
  const std::string text =
      record.url + "\n" + std::to_string(record.length) + "\n" + record.validator + "\n";
  return text.size() <= kMaxRecordBytes &&
         platform::write_file_atomic(ResumeRecordPath(temp_path), text);
}

std::optional<PartialDownload> ReadResumeRecord(const std::string& temp_path) {
  const std::string text = platform::read_file_head(ResumeRecordPath(temp_path), kMaxRecordBytes);
  PartialDownload record;
  std::string_view rest = text;
  std::string_view lines[3];
  for (std::string_view& line : lines) {
    const std::size_t end = rest.find('\n');
    if (end == std::string_view::npos) return std::nullopt;
    line = rest.substr(0, end);
    rest.remove_prefix(end + 1);
  }
  if (!rest.empty() || lines[0].empty()) return std::nullopt;
  const auto [end, error] =
      std::from_chars(lines[1].data(), lines[1].data() + lines[1].size(), record.length);
  if (error != std::errc() || end != lines[1].data() + lines[1].size() || record.length <= 0 ||
      !UsableValidator(lines[2])) {
    return std::nullopt;
  }
  record.url = lines[0];
  record.validator = lines[2];
  return record;
}

std::int64_t ResumableBytes(const std::string& temp_path) {
  const std::optional<PartialDownload> record = ReadResumeRecord(temp_path);
  if (!record) return 0;
  const std::int64_t size = platform::file_size(temp_path);
  return size > 0 && size < record->length ? size : 0;
}

void ForgetPartial(const std::string& temp_path) {
  (void)platform::delete_file(temp_path);
  (void)platform::delete_file(ResumeRecordPath(temp_path));
}

}  // namespace brindle
