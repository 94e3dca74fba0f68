// The three request routines every feature calls. Each builds a fresh client object for one
// request, so nothing (connection, cookies, headers) carries over to the next.
#include <new>

#include "foundation/http_client.h"
#include "foundation/http_settings.h"
#include "foundation/mapped_file.h"

namespace brindle {
namespace {

constexpr long kRequestTimeoutSeconds = 30;
constexpr long kDownloadTimeoutSeconds = 3600;

// Steps shared by http_request and http_probe up to the total time-out.
void open_request(HttpClient& client, const std::string& url, const HttpRequestArgs& args) {
  bool post = args.method && *args.method == 1;
  client.open(post ? "POST" : "GET", url);
  client.follow_redirects(true);
  client.set_timeouts_ms();
  client.set_option(CURLOPT_NOSIGNAL, 1L);
  // A time-out below 2 s would make every slow reply fail, so it falls back to the default.
  long seconds = args.timeout_seconds && *args.timeout_seconds >= 2 ? *args.timeout_seconds
                                                                    : kRequestTimeoutSeconds;
  client.set_option(CURLOPT_TIMEOUT, seconds);
  if (args.cancel != nullptr) {
    const std::atomic<bool>* cancel = args.cancel;
    client.set_progress_callback([cancel](std::int64_t, std::int64_t, std::int64_t, std::int64_t) {
      return cancel->load(std::memory_order_acquire) ? 1 : 0;
    });
  }
}

void finish_request(HttpClient& client, const HttpRequestArgs& args) {
  client.set_option_text(CURLOPT_USERAGENT, http_settings().request_user_agent);
  if (args.extra_headers) client.set_headers(*args.extra_headers);
  client.follow_redirects(!(args.no_redirect && *args.no_redirect == 1));
  if (args.body) client.set_option_text(CURLOPT_POSTFIELDS, *args.body);
  client.send();
}

}  // namespace

Bytes http_request(const std::string& url, const HttpRequestArgs& args, int* status_out,
                   HttpTransferInfo* info) {
  HttpClient client;
  open_request(client, url, args);
  client.set_body_limit(args.max_body_bytes.value_or(kHttpBodyCapDefault));
  finish_request(client, args);
  HttpTransferInfo outcome = client.transfer_info();
  int status = client.status_code();
  Bytes body;
  if (outcome.body_too_large) {
    status = 0;  // as if nothing had come: a cut piece of a huge reply is no answer
  } else {
    try {
      body = client.body();
    } catch (const std::bad_alloc&) {
      outcome.body_too_large = true;
      status = 0;
    }
  }
  if (status_out != nullptr) *status_out = status;
  if (info != nullptr) *info = std::move(outcome);
  return body;
}

int http_probe(const std::string& url, const HttpRequestArgs& args, int* status_out,
               HttpTransferInfo* info) {
  HttpClient client;
  open_request(client, url, args);
  client.header_only(true);
  finish_request(client, args);
  int status = client.status_code();
  if (status_out != nullptr) *status_out = status;
  if (info != nullptr) *info = client.transfer_info();
  return status;
}

int http_download_file(const std::string& url, const std::string& file_path,
                       HttpTransferInfo* info) {
  HttpClient client;
  client.open("GET", url);
  MappedHandle file = mapped_file::open(file_path, 4);
  client.set_timeouts_ms();
  client.set_option(CURLOPT_TIMEOUT, kDownloadTimeoutSeconds);
  client.set_option(CURLOPT_NOSIGNAL, 1L);
  if (file == 0) {
    if (info != nullptr) *info = HttpTransferInfo{};
    return -1;
  }
  // A chunk the disk refused is not accepted: the transfer ends with an error instead of
  // leaving a hole in a file that would look complete.
  client.set_body_callback([file](const char* bytes, std::size_t length) -> std::size_t {
    bool written = mapped_file::write_bytes(file, {bytes, length});
    return written ? length : 0;
  });
  client.set_option_text(CURLOPT_USERAGENT, http_settings().download_user_agent);
  client.send();
  int status = client.status_code();
  mapped_file::close(file);
  if (info != nullptr) *info = client.transfer_info();
  return status;
}

}  // namespace brindle
