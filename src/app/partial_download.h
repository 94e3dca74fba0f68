// What a partial download needs to continue where it stopped: the URL it came from, the whole
// file's length and the validator the mirror gave the file (its ETag, else its Last-Modified
// date). It is kept beside the partial file (NAME.tmp) as NAME.tmp.resume; the cache emptying at
// start spares a partial file whose record says it can continue.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brindle {

struct PartialDownload {
  std::string url;  // as queued (GBK), before the mirror rewrite
  std::int64_t length = 0;
  std::string validator;  // sent back as If-Range
};

// temp_path + ".resume".
std::string ResumeRecordPath(const std::string& temp_path);
// Whether `value` may travel back in an If-Range header: a strong ETag ("…", not W/"…") or a
// date, printable ASCII of at most 200 characters.
bool UsableValidator(std::string_view value);
// Written atomically; false when the record is not usable or the write fails.
bool WriteResumeRecord(const std::string& temp_path, const PartialDownload& record);
// The record beside `temp_path`; nothing when it is missing, too large or malformed.
std::optional<PartialDownload> ReadResumeRecord(const std::string& temp_path);
// The bytes the partial file at `temp_path` already holds when its record lets it continue
// (0 < size < length); 0 otherwise.
std::int64_t ResumableBytes(const std::string& temp_path);
// Removes the partial file and its record.
void ForgetPartial(const std::string& temp_path);

}  // namespace brindle
