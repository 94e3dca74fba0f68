// The pure rules of one download: the file name a URL gives, the names the download cache
// accepts, the mirror rewrite over the three lines, and the verdict on a finished transfer.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace brindle {

class Controls;
struct AppState;
struct HttpTransferInfo;

// The part of the URL after its last "/" (the whole URL when it has none).
std::string FileNameOfUrl(std::string_view url);

// True when `name` may be a file of the download cache: not empty, not "." or "..", and free of
// control characters and of ? / \ < > * | : and the double quote (a query string, a path, or a
// name another system would read as a path or a device). `reason` says why not.
bool ValidCacheFileName(std::string_view name, std::string* reason = nullptr);

// The move's check on the full target path: absolute (a drive letter and ":\" or ":/" on Windows,
// "/" here), inside `cache_dir`, with a valid file name part.
bool ValidMoveTarget(std::string_view target, std::string_view cache_dir);

// The mirror lines in the fixed order us1, us2, telecom, and which of them the radios select
// (节点1 = us1, 节点3 = us2, 节点2 = telecom).
struct MirrorLines {
  std::array<std::string, 3> host;  // host or host:port
  std::array<bool, 3> https{false, false, false};
  std::string primary_host;  // the map mirror host names in the lists' URLs
  std::string secondary_host;
};
MirrorLines MirrorLinesOf(const AppState& state);
std::array<bool, 3> SelectedMirrorLines(const Controls& controls);

// For every selected line in order: "http://" becomes "https://" when the line is https, then
// the secondary and then the primary mirror host become the line's host. Empty host names are
// not looked for.
std::string RewriteForMirror(std::string url, const std::array<bool, 3>& selected,
                             const MirrorLines& lines);

// The value of the header `name` (any letter case) in the last response of `headers` (the header
// text of a transfer, redirects included); empty when that response has none.
std::string LastHeaderValue(std::string_view headers, std::string_view name);

// Whether a range answer's Content-Range value is the rest of a file of `length` bytes from byte
// `from` on ("bytes FROM-(LENGTH-1)/LENGTH").
bool RangeAnswerFits(std::string_view content_range, std::int64_t from, std::int64_t length);

// Whether a finished transfer delivered the whole file: libcurl's result OK, status 200, every
// announced byte received (`wire_bytes`: the body as it came over the wire, before any content
// decoding, which is what the announced length counts), and not a web page in place of the file.
// `reason` (plain ASCII) says what went wrong.
struct TransferVerdict {
  bool complete = false;
  std::string reason;
};
TransferVerdict JudgeTransfer(int status, const HttpTransferInfo& info, std::int64_t wire_bytes,
                              std::string_view content_type);

}  // namespace brindle
