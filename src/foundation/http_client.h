// One HTTP exchange: a thin object around one libcurl easy handle with a body sink, a header
// sink, an upload source, request header lines and a cookie jar. Created per request, owned by
// the thread that created it. Nothing throws; operations report libcurl's codes or false.
#pragma once

#include <curl/curl.h>
#ifdef _WIN32
// curl.h brings in <windows.h>, whose MessageBox macro would rename Window::MessageBox in every
// file that sees both.
#undef MessageBox
#endif

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/cookie_jar.h"
#include "foundation/encoding.h"

namespace brindle {

// Caps on a body kept in memory, counted after decompression (a small gzip body can inflate to
// gigabytes). A reply past its cap ends the transfer, which then reads as failed. Bodies written
// to files through a body callback are not capped.
inline constexpr std::size_t kHttpBodyCapDefault = std::size_t{16} << 20;      // any other reply
inline constexpr std::size_t kHttpBodyCapLargeList = std::size_t{64} << 20;    // the server list
inline constexpr std::size_t kHttpBodyCapPicture = std::size_t{2} << 20;       // avatars
inline constexpr std::size_t kHttpBodyCapShortAnswer = std::size_t{64} << 10;  // version answers
// The response headers of one transfer, redirects included.
inline constexpr std::size_t kHttpHeaderCap = std::size_t{1} << 20;
// Redirects followed before a transfer fails with CURLE_TOO_MANY_REDIRECTS.
inline constexpr long kHttpMaxRedirects = 10;
// The only protocols any transfer speaks, for the first request and every redirect.
inline constexpr const char* kHttpProtocols = "http,https";

// A growable byte buffer that a sink appends to or an upload source hands out from. It starts at
// 4096 bytes, zero-filled, and grows to twice the needed size in one step.
class TransferBuffer {
 public:
  static constexpr std::size_t kInitialCapacity = 4096;

  explicit TransferBuffer(std::int64_t capacity = kInitialCapacity);
  ~TransferBuffer();
  TransferBuffer(const TransferBuffer&) = delete;
  TransferBuffer& operator=(const TransferBuffer&) = delete;

  // False when the buffer cannot grow (allocation failed or past the limit); nothing is stored.
  bool append(std::string_view bytes);
  bool assign(std::string_view bytes);
  // Hands out at most `max` bytes from the read position onwards and advances it.
  std::size_t take(char* out, std::size_t max);
  // Zeroes the used bytes; used size and read position become 0. The capacity stays.
  void clear();

  std::string_view view() const { return {data_, used_}; }
  std::size_t size() const { return used_; }
  std::size_t capacity() const { return capacity_; }
  std::size_t read_position() const { return read_; }
  // Growth past `limit` bytes fails; 0 = no limit but memory.
  void set_limit(std::size_t limit) { limit_ = limit; }

 private:
  char* data_ = nullptr;
  std::size_t capacity_ = 0;
  std::size_t used_ = 0;
  std::size_t read_ = 0;
  std::size_t limit_ = 0;
};

// What became of a transfer beyond its status code, for callers that must tell a complete body
// from a cut one (a download that ended early still has status 200).
struct HttpTransferInfo {
  int curl_code = -1;                // CURLcode of perform; -1 when nothing was performed
  std::string curl_error;            // libcurl's message for a failed transfer
  std::int64_t body_bytes = 0;       // body bytes received and accepted by the sink
  bool body_too_large = false;       // the body passed its cap (or memory ran out) and was refused
  std::int64_t content_length = -1;  // as the response announced it; -1 when unknown
  long total_timeout_ms = 0;         // the total time-out the transfer ran with
  long connect_timeout_ms = 0;

  // True when libcurl finished without error (every announced byte arrived).
  bool complete() const { return curl_code == CURLE_OK; }
};

class HttpClient {
 public:
  // A body or header chunk: return how many bytes were accepted; fewer than `length` ends the
  // transfer with an error (CURL_WRITEFUNC_PAUSE pauses it).
  using ChunkCallback = std::function<std::size_t(const char* bytes, std::size_t length)>;
  // Fills `buffer` with at most `capacity` upload bytes; 0 ends the upload.
  using UploadCallback = std::function<std::size_t(char* buffer, std::size_t capacity)>;
  // (total to download, downloaded, total to upload, uploaded); non-zero aborts the transfer.
  using ProgressCallback =
      std::function<int(std::int64_t, std::int64_t, std::int64_t, std::int64_t)>;

  // Creates a ready client object: initialised (follow up to kHttpMaxRedirects redirects, no
  // signals), TLS checked as the process-wide settings say, "gzip" accepted, automatic cookies
  // on, the in-memory body capped at kHttpBodyCapDefault and the headers at kHttpHeaderCap.
  HttpClient();
  ~HttpClient();
  // A copy gets its own header lines and cookie jar and shares the easy handle and sinks; the
  // handle is cleaned up by the last object holding it.
  HttpClient(const HttpClient& other);
  HttpClient& operator=(const HttpClient& other);

  // ---- Handle ----
  bool initialise() { return initialise_with_options(true, true); }
  bool initialise_with_options(bool follow, bool no_signal);
  void release();  // gives up this object's share of the handle and sinks
  void close();    // release, and the libcurl header list with it
  CURL* handle() const;
  // Takes over the handle, sinks and header lines of the client object that owns `easy`.
  bool adopt_handle(CURL* easy);
  CURL* duplicate_handle() const;  // the caller cleans it up

  // ---- Options and information ----
  CURLcode set_option(CURLoption option, long value);
  CURLcode set_option_64(CURLoption option, curl_off_t value);
  CURLcode set_option_text(CURLoption option, std::string_view text);
  CURLcode set_option_bytes(CURLoption option, std::string_view bytes);
  // An slist option (CURLOPT_RESOLVE, CURLOPT_CONNECT_TO, ...); the list lives with the handle.
  CURLcode set_option_list(CURLoption option, const std::vector<std::string>& lines);
  CURLcode perform();

  long info_long(CURLINFO info) const;
  curl_off_t info_64(CURLINFO info) const;
  double info_double(CURLINFO info) const;
  std::string info_text(CURLINFO info) const;  // empty when missing
  std::vector<std::string> info_list(CURLINFO info) const;

  // clear_only: empties the three buffers. Otherwise curl_easy_reset and everything
  // initialise installs is installed again (with fresh sinks).
  void reset(bool clear_only);

  std::string escape(std::string_view text) const;
  std::string unescape(std::string_view text) const;

  // ---- Buffers and callbacks ----
  Bytes body() const;
  std::string body_text() const { return body(); }
  std::string body_gbk() const;  // the body read as UTF-8, as GBK
  Bytes response_headers() const;
  std::string response_headers_text() const { return response_headers(); }
  bool set_upload_data(std::string_view bytes);
  bool append_upload_data(std::string_view bytes);
  Bytes upload_buffer() const;
  // Growth of the in-memory body past `limit` bytes ends the transfer with an error
  // (CURLE_WRITE_ERROR, transfer_info().body_too_large). 0: no cap but memory.
  void set_body_limit(std::size_t limit);
  const TransferBuffer* body_buffer() const;

  bool set_progress_callback(ProgressCallback callback);
  void set_body_callback(ChunkCallback callback);
  void set_upload_callback(UploadCallback callback);
  void set_header_callback(ChunkCallback callback);

  // ---- Request ----
  bool accept_encoding(bool gzip_only);
  bool apply_header_lines();
  bool tls_checks(bool verify_peer, std::optional<bool> verify_host = std::nullopt);
  // Applies the process-wide TLS settings (verify switch and CA file).
  bool apply_tls_settings();
  // method: "GET" (or absent) / "POST" / anything else sets no method. clear_headers: absent or
  // 1 empties the header lines.
  bool open(std::optional<std::string_view> method, const std::string& url,
            std::optional<int> clear_headers = std::nullopt);
  void add_header(std::string_view name, std::string_view value);
  // Header lines separated by "\r\n"; an empty line between two is dropped, the ends trimmed.
  void set_headers(std::string_view text);
  const std::vector<std::string>& header_lines() const { return header_lines_; }
  // type: 1 Http, 2 Socks4, 3 Socks5, 4 Socks4a, 5 Socks5h; absent = 1.
  bool set_proxy(std::string_view address, std::optional<int> type = std::nullopt,
                 std::string_view user = {}, std::string_view password = {});
  bool send(std::string_view body = {});
  bool follow_redirects(bool on);
  bool set_timeouts_ms(std::optional<long> connect = std::nullopt,
                       std::optional<long> total = std::nullopt);
  // 1 HTTP/1.0, 2 HTTP/1.1, 3 HTTP/2; absent = HTTP/1.1; other values set nothing.
  bool set_http_version(std::optional<int> kind = std::nullopt);
  bool header_only(bool on);

  // ---- Cookies ----
  std::string cookies() const { return jar_.cookies(); }
  void set_cookies(std::string_view text) { jar_.set_cookies(text); }
  void merge_set_cookie(std::string_view header_text) { jar_.merge_set_cookie(header_text); }
  void merge_cookie_pairs(std::string_view pairs) { jar_.merge_pairs(pairs); }
  std::string cookie_value(std::string_view name) const { return jar_.value(name); }
  void remove_cookies(std::string_view names) { jar_.remove_named(names); }
  void set_automatic_cookies(bool on) { automatic_cookies_ = on; }
  const CookieJar& cookie_jar() const { return jar_; }

  // ---- Response ----
  int status_code() const;
  std::string redirect_url() const { return info_text(CURLINFO_REDIRECT_URL); }
  double total_time() const { return info_double(CURLINFO_TOTAL_TIME); }
  std::string effective_url() const { return info_text(CURLINFO_EFFECTIVE_URL); }
  std::string primary_ip() const { return info_text(CURLINFO_PRIMARY_IP); }
  long primary_port() const { return info_long(CURLINFO_PRIMARY_PORT); }
  std::string local_ip() const { return info_text(CURLINFO_LOCAL_IP); }
  long local_port() const { return info_long(CURLINFO_LOCAL_PORT); }

  // The outcome of the last perform: libcurl's code and message, body bytes accepted by the
  // sink, the announced length and the time-outs in force.
  CURLcode last_result() const;
  std::int64_t body_bytes_received() const;
  HttpTransferInfo transfer_info() const;
  long total_timeout_ms() const;
  long connect_timeout_ms() const;

 private:
  struct Core;
  std::shared_ptr<Core> core_;
  std::vector<std::string> header_lines_;
  bool automatic_cookies_ = true;
  CookieJar jar_;
};

// ---- The request routines ----

// The optional arguments of http_request and http_probe; absent ones take their defaults.
// Designated initializers read best: http_request(url, {.method = 1, .body = form}, &status).
struct HttpRequestArgs {
  std::optional<int> method = std::nullopt;                 // 1 = POST, anything else = GET
  std::optional<std::string> body = std::nullopt;           // CURLOPT_POSTFIELDS (a POST)
  std::optional<std::string> extra_headers = std::nullopt;  // lines separated by "\r\n"
  std::optional<int> no_redirect = std::nullopt;            // 1 = do not follow redirects
  std::optional<int> timeout_seconds = std::nullopt;        // used when at least 2, else 30
  // The body's cap (decompressed bytes); absent: kHttpBodyCapDefault.
  std::optional<std::size_t> max_body_bytes = std::nullopt;
  // When given and set (from any thread), the transfer ends early with an error: a worker asked
  // to stop does not wait for a slow service.
  const std::atomic<bool>* cancel = nullptr;
};

// GET or POST; returns the response body (empty when nothing arrived). status_out receives the
// status code (0 when no response came). info, when given, tells whether the body is complete.
// A body past its cap (or one that memory cannot hold) reads as a failed transfer: the empty
// body and status 0, with info->body_too_large set.
Bytes http_request(const std::string& url, const HttpRequestArgs& args = {},
                   int* status_out = nullptr, HttpTransferInfo* info = nullptr);

// The same request without a body (CURLOPT_NOBODY); returns the status code.
[[nodiscard]] int http_probe(const std::string& url, const HttpRequestArgs& args = {},
                             int* status_out = nullptr, HttpTransferInfo* info = nullptr);

// GET streamed into `file_path` (created or truncated before the request). Returns the status
// code, or -1 when the file cannot be opened (then nothing is sent). A cut transfer still returns
// its status; check info->complete() before trusting the file.
[[nodiscard]] int http_download_file(const std::string& url, const std::string& file_path,
                                     HttpTransferInfo* info = nullptr);

}  // namespace brindle
