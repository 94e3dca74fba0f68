#include "foundation/http_client.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "foundation/http_settings.h"

namespace brindle {

// ---- TransferBuffer ------------------------------------------------------------------------

TransferBuffer::TransferBuffer(std::int64_t capacity) {
  std::size_t wanted = capacity <= 0 ? kInitialCapacity : static_cast<std::size_t>(capacity);
  data_ = static_cast<char*>(std::calloc(wanted, 1));
  capacity_ = data_ ? wanted : 0;
}

TransferBuffer::~TransferBuffer() { std::free(data_); }

bool TransferBuffer::append(std::string_view bytes) {
  std::size_t n = bytes.size();
  if (n == 0) return true;
  if (n > std::numeric_limits<std::size_t>::max() / 4 - used_) return false;
  std::size_t need = used_ + n;
  if (need > capacity_) {
    std::size_t grown = need * 2;
    if (limit_ != 0 && grown > limit_) {
      if (need > limit_) return false;
      grown = limit_;
    }
    auto* block = static_cast<char*>(std::calloc(grown, 1));
    if (block == nullptr) return false;
    if (used_ != 0) std::memcpy(block, data_, used_);
    std::free(data_);
    data_ = block;
    capacity_ = grown;
  }
  std::memcpy(data_ + used_, bytes.data(), n);
  used_ = need;
  return true;
}

bool TransferBuffer::assign(std::string_view bytes) {
  clear();
  return append(bytes);
}

std::size_t TransferBuffer::take(char* out, std::size_t max) {
  std::size_t count = std::min(max, used_ - read_);
  if (count != 0) std::memcpy(out, data_ + read_, count);
  read_ += count;
  return count;
}

void TransferBuffer::clear() {
  if (used_ != 0) std::memset(data_, 0, used_);
  used_ = 0;
  read_ = 0;
}

// ---- Sinks and the shared handle -----------------------------------------------------------

namespace {

struct Sink {
  TransferBuffer buffer;
  HttpClient::ChunkCallback callback;
  std::int64_t accepted = 0;
  bool refused = false;  // the buffer could not take a chunk: past its cap or out of memory
};

struct Source {
  TransferBuffer buffer;
  HttpClient::UploadCallback callback;
};

// libcurl may not see an exception; a throwing callback (std::bad_alloc included) ends the
// transfer instead. libcurl hands over the body after decompression, so caps count what a gzip
// body inflates to.
std::size_t write_to_sink(char* bytes, std::size_t size, std::size_t count, void* user) {
  auto* sink = static_cast<Sink*>(user);
  std::size_t n = size * count;
  if (sink->callback) {
    std::size_t taken = 0;
    try {
      taken = sink->callback(bytes, n);
    } catch (...) {
      return 0;
    }
    if (taken == CURL_WRITEFUNC_PAUSE) return taken;
    if (taken > n) taken = n;
    sink->accepted += static_cast<std::int64_t>(taken);
    return taken;
  }
  // A sink that cannot grow ends the transfer (CURLE_WRITE_ERROR) rather than drop the chunk.
  if (!sink->buffer.append({bytes, n})) {
    sink->refused = true;
    return 0;
  }
  sink->accepted += static_cast<std::int64_t>(n);
  return n;
}

std::size_t read_from_source(char* out, std::size_t size, std::size_t count, void* user) {
  auto* source = static_cast<Source*>(user);
  std::size_t n = size * count;
  if (source->callback) {
    try {
      return std::min(source->callback(out, n), n);
    } catch (...) {
      return CURL_READFUNC_ABORT;
    }
  }
  return source->buffer.take(out, n);
}

}  // namespace

struct HttpClient::Core : std::enable_shared_from_this<HttpClient::Core> {
  CURL* easy = nullptr;
  curl_slist* header_list = nullptr;
  std::vector<curl_slist*> option_lists;
  std::unique_ptr<Sink> body;
  std::unique_ptr<Sink> header;
  std::unique_ptr<Source> upload;
  ProgressCallback progress;
  HttpClient* owner = nullptr;  // whose header lines adopt_handle copies
  std::string post_fields;      // libcurl keeps only a pointer to CURLOPT_POSTFIELDS
  char error[CURL_ERROR_SIZE] = {};
  CURLcode last = CURLE_OK;
  bool performed = false;
  bool cookie_from_jar = false;  // CURLOPT_COOKIE holds a jar text send() set
  long total_timeout_ms = 0;     // 0: libcurl's default (none)
  long connect_timeout_ms = 0;   // 0: libcurl's default

  ~Core() {
    if (easy != nullptr) curl_easy_cleanup(easy);
    curl_slist_free_all(header_list);
    for (curl_slist* list : option_lists) curl_slist_free_all(list);
  }

  static int on_progress(void* user, curl_off_t dl_total, curl_off_t dl_now, curl_off_t ul_total,
                         curl_off_t ul_now) {
    auto* core = static_cast<Core*>(user);
    if (!core->progress) return 0;
    try {
      return core->progress(dl_total, dl_now, ul_total, ul_now) != 0 ? 1 : 0;
    } catch (...) {
      return 1;
    }
  }

  // What initialise installs: identity, signals, redirects, the three sinks, the error text and
  // the process-wide TLS settings.
  bool install(bool follow, bool no_signal) {
    body = std::make_unique<Sink>();
    header = std::make_unique<Sink>();
    upload = std::make_unique<Source>();
    progress = nullptr;
    cookie_from_jar = false;
    total_timeout_ms = 0;
    connect_timeout_ms = 0;
    bool ok = true;
    auto check = [&ok](CURLcode code) { ok = ok && code == CURLE_OK; };
    check(curl_easy_setopt(easy, CURLOPT_PRIVATE, this));
    check(curl_easy_setopt(easy, CURLOPT_NOSIGNAL, no_signal ? 1L : 0L));
    check(curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, follow ? 1L : 0L));
    check(curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kHttpMaxRedirects));
    // Every URL comes from the network in the end (lists, answers, redirects): none may reach
    // the local files or another protocol libcurl happens to speak.
    check(curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, kHttpProtocols));
    check(curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, kHttpProtocols));
    body->buffer.set_limit(kHttpBodyCapDefault);
    header->buffer.set_limit(kHttpHeaderCap);
    check(curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &write_to_sink));
    check(curl_easy_setopt(easy, CURLOPT_WRITEDATA, body.get()));
    check(curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &write_to_sink));
    check(curl_easy_setopt(easy, CURLOPT_HEADERDATA, header.get()));
    check(curl_easy_setopt(easy, CURLOPT_READFUNCTION, &read_from_source));
    check(curl_easy_setopt(easy, CURLOPT_READDATA, upload.get()));
    check(curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, error));
    return ok;
  }
};

// ---- HttpClient: handle ----------------------------------------------------------------------

HttpClient::HttpClient() {
  initialise_with_options(true, true);
  accept_encoding(true);
}

HttpClient::~HttpClient() { close(); }

HttpClient::HttpClient(const HttpClient& other)
    : core_(other.core_),
      header_lines_(other.header_lines_),
      automatic_cookies_(other.automatic_cookies_),
      jar_(other.jar_) {}

HttpClient& HttpClient::operator=(const HttpClient& other) {
  if (this == &other) return *this;
  close();
  core_ = other.core_;
  header_lines_ = other.header_lines_;
  automatic_cookies_ = other.automatic_cookies_;
  jar_ = other.jar_;
  return *this;
}

bool HttpClient::initialise_with_options(bool follow, bool no_signal) {
  if (core_) release();
  (void)http_global_init();  // a failed start shows as curl_easy_init failing below
  CURL* easy = curl_easy_init();
  if (easy == nullptr) return false;
  auto core = std::make_shared<Core>();
  core->easy = easy;
  core->owner = this;
  bool ok = core->install(follow, no_signal);
  core_ = std::move(core);
  return apply_tls_settings() && ok;
}

void HttpClient::release() {
  if (core_ && core_->owner == this) core_->owner = nullptr;
  core_.reset();
}

void HttpClient::close() { release(); }

CURL* HttpClient::handle() const { return core_ ? core_->easy : nullptr; }

bool HttpClient::adopt_handle(CURL* easy) {
  if (easy == nullptr) return false;
  if (core_ && core_->easy == easy) return true;
  char* stored = nullptr;
  if (curl_easy_getinfo(easy, CURLINFO_PRIVATE, &stored) != CURLE_OK || stored == nullptr) {
    return false;
  }
  auto* other = reinterpret_cast<Core*>(stored);
  // A duplicated handle carries the private pointer of its original; only the owner's own
  // handle can be adopted.
  if (other->easy != easy) return false;
  std::shared_ptr<Core> keep = other->shared_from_this();
  std::vector<std::string> lines = keep->owner ? keep->owner->header_lines_ : header_lines_;
  close();
  core_ = std::move(keep);
  header_lines_ = std::move(lines);
  return true;
}

CURL* HttpClient::duplicate_handle() const {
  CURL* copy = curl_easy_duphandle(handle());
  if (copy != nullptr) curl_easy_setopt(copy, CURLOPT_PRIVATE, static_cast<void*>(nullptr));
  return copy;
}

// ---- Options and information -----------------------------------------------------------------

CURLcode HttpClient::set_option(CURLoption option, long value) {
  CURLcode code = curl_easy_setopt(handle(), option, value);
  if (code != CURLE_OK || !core_) return code;
  switch (option) {
    case CURLOPT_TIMEOUT:
      core_->total_timeout_ms = value * 1000;
      break;
    case CURLOPT_TIMEOUT_MS:
      core_->total_timeout_ms = value;
      break;
    case CURLOPT_CONNECTTIMEOUT:
      core_->connect_timeout_ms = value * 1000;
      break;
    case CURLOPT_CONNECTTIMEOUT_MS:
      core_->connect_timeout_ms = value;
      break;
    default:
      break;
  }
  return code;
}

CURLcode HttpClient::set_option_64(CURLoption option, curl_off_t value) {
  return curl_easy_setopt(handle(), option, value);
}

CURLcode HttpClient::set_option_text(CURLoption option, std::string_view text) {
  if (option == CURLOPT_POSTFIELDS && core_) {
    core_->post_fields.assign(text);
    CURLcode code = curl_easy_setopt(handle(), CURLOPT_POSTFIELDSIZE_LARGE,
                                     static_cast<curl_off_t>(core_->post_fields.size()));
    if (code != CURLE_OK) return code;
    return curl_easy_setopt(handle(), CURLOPT_POSTFIELDS, core_->post_fields.c_str());
  }
  std::string copy(text);  // libcurl copies every other text option
  return curl_easy_setopt(handle(), option, copy.c_str());
}

CURLcode HttpClient::set_option_bytes(CURLoption option, std::string_view bytes) {
  return set_option_text(option, bytes);
}

CURLcode HttpClient::set_option_list(CURLoption option, const std::vector<std::string>& lines) {
  if (!core_) return curl_easy_setopt(nullptr, option, static_cast<curl_slist*>(nullptr));
  curl_slist* list = nullptr;
  for (const std::string& line : lines) {
    curl_slist* grown = curl_slist_append(list, line.c_str());
    if (grown == nullptr) {
      curl_slist_free_all(list);
      return CURLE_OUT_OF_MEMORY;
    }
    list = grown;
  }
  core_->option_lists.push_back(list);
  return curl_easy_setopt(handle(), option, list);
}

CURLcode HttpClient::perform() {
  if (core_) {
    core_->body->accepted = 0;
    core_->body->refused = false;
    core_->header->accepted = 0;
    core_->header->refused = false;
    core_->error[0] = '\0';
  }
  CURLcode code = curl_easy_perform(handle());
  if (core_) {
    core_->last = code;
    core_->performed = true;
  }
  return code;
}

long HttpClient::info_long(CURLINFO info) const {
  long value = 0;
  if (curl_easy_getinfo(handle(), info, &value) != CURLE_OK) return 0;
  return value;
}

curl_off_t HttpClient::info_64(CURLINFO info) const {
  curl_off_t value = 0;
  if (curl_easy_getinfo(handle(), info, &value) != CURLE_OK) return 0;
  return value;
}

double HttpClient::info_double(CURLINFO info) const {
  double value = 0;
  if (curl_easy_getinfo(handle(), info, &value) != CURLE_OK) return 0;
  return value;
}

std::string HttpClient::info_text(CURLINFO info) const {
  char* value = nullptr;
  if (curl_easy_getinfo(handle(), info, &value) != CURLE_OK || value == nullptr) return {};
  return value;
}

std::vector<std::string> HttpClient::info_list(CURLINFO info) const {
  curl_slist* list = nullptr;
  std::vector<std::string> out;
  if (curl_easy_getinfo(handle(), info, &list) != CURLE_OK) return out;
  for (curl_slist* item = list; item != nullptr; item = item->next) out.emplace_back(item->data);
  curl_slist_free_all(list);
  return out;
}

void HttpClient::reset(bool clear_only) {
  if (!core_) return;
  if (clear_only) {
    core_->body->buffer.clear();
    core_->header->buffer.clear();
    core_->upload->buffer.clear();
    return;
  }
  curl_easy_reset(core_->easy);
  core_->install(true, true);
  apply_tls_settings();
}

std::string HttpClient::escape(std::string_view text) const {
  if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return {};
  char* out = curl_easy_escape(handle(), text.data(), static_cast<int>(text.size()));
  if (out == nullptr) return {};
  std::string result(out);
  curl_free(out);
  return result;
}

std::string HttpClient::unescape(std::string_view text) const {
  if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return {};
  int length = 0;
  char* out = curl_easy_unescape(handle(), text.data(), static_cast<int>(text.size()), &length);
  if (out == nullptr) return {};
  std::string result(out, static_cast<std::size_t>(length));
  curl_free(out);
  return result;
}

// ---- Buffers and callbacks -------------------------------------------------------------------

Bytes HttpClient::body() const { return core_ ? Bytes(core_->body->buffer.view()) : Bytes(); }

std::string HttpClient::body_gbk() const {
  if (!core_ || core_->body->buffer.size() == 0) return {};
  return utf8_to_gbk_counted(core_->body->buffer.view());
}

Bytes HttpClient::response_headers() const {
  return core_ ? Bytes(core_->header->buffer.view()) : Bytes();
}

bool HttpClient::set_upload_data(std::string_view bytes) {
  return core_ && core_->upload->buffer.assign(bytes);
}

bool HttpClient::append_upload_data(std::string_view bytes) {
  return core_ && core_->upload->buffer.append(bytes);
}

Bytes HttpClient::upload_buffer() const {
  return core_ ? Bytes(core_->upload->buffer.view()) : Bytes();
}

void HttpClient::set_body_limit(std::size_t limit) {
  if (core_) core_->body->buffer.set_limit(limit);
}

const TransferBuffer* HttpClient::body_buffer() const {
  return core_ ? &core_->body->buffer : nullptr;
}

bool HttpClient::set_progress_callback(ProgressCallback callback) {
  if (!core_) return curl_easy_setopt(nullptr, CURLOPT_NOPROGRESS, 0L) == CURLE_OK;
  bool on = static_cast<bool>(callback);
  core_->progress = std::move(callback);
  bool ok = curl_easy_setopt(core_->easy, CURLOPT_XFERINFODATA, core_.get()) == CURLE_OK;
  ok =
      curl_easy_setopt(core_->easy, CURLOPT_XFERINFOFUNCTION, &Core::on_progress) == CURLE_OK && ok;
  return curl_easy_setopt(core_->easy, CURLOPT_NOPROGRESS, on ? 0L : 1L) == CURLE_OK && ok;
}

void HttpClient::set_body_callback(ChunkCallback callback) {
  if (core_) core_->body->callback = std::move(callback);
}

void HttpClient::set_upload_callback(UploadCallback callback) {
  if (core_) core_->upload->callback = std::move(callback);
}

void HttpClient::set_header_callback(ChunkCallback callback) {
  if (core_) core_->header->callback = std::move(callback);
}

// ---- Request ---------------------------------------------------------------------------------

bool HttpClient::accept_encoding(bool gzip_only) {
  return set_option_text(CURLOPT_ACCEPT_ENCODING, gzip_only ? "gzip" : "") == CURLE_OK;
}

bool HttpClient::apply_header_lines() {
  if (!core_) return curl_easy_setopt(nullptr, CURLOPT_HTTPHEADER, nullptr) == CURLE_OK;
  curl_slist* list = nullptr;
  for (const std::string& line : header_lines_) {
    curl_slist* grown = curl_slist_append(list, line.c_str());
    if (grown == nullptr) {
      curl_slist_free_all(list);
      return false;
    }
    list = grown;
  }
  CURLcode code = curl_easy_setopt(core_->easy, CURLOPT_HTTPHEADER, list);
  curl_slist_free_all(core_->header_list);
  core_->header_list = list;
  return code == CURLE_OK;
}

bool HttpClient::tls_checks(bool verify_peer, std::optional<bool> verify_host) {
  bool ok = set_option(CURLOPT_SSL_VERIFYPEER, verify_peer ? 1L : 0L) == CURLE_OK;
  long host = (!verify_host || *verify_host) ? 2L : 0L;
  return set_option(CURLOPT_SSL_VERIFYHOST, host) == CURLE_OK && ok;
}

bool HttpClient::apply_tls_settings() {
  HttpSettings settings = http_settings();
  if (!settings.tls_verify) return tls_checks(false, false);
  bool ok = tls_checks(true, true);
  // Windows' TLS (Schannel) also asks for revocation, and a certificate that names no revocation
  // list (a community's own CA, brindle-sim's) would fail as "status unknown"; a revoked one
  // still fails. Other TLS libraries ignore the option.
  ok = set_option(CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT)) ==
           CURLE_OK &&
       ok;
  if (!settings.ca_file.empty()) {
    ok = set_option_text(CURLOPT_CAINFO, settings.ca_file) == CURLE_OK && ok;
  }
  return ok;
}

bool HttpClient::open(std::optional<std::string_view> method, const std::string& url,
                      std::optional<int> clear_headers) {
  if (!clear_headers || *clear_headers == 1) {
    header_lines_.clear();
    apply_header_lines();
  }
  reset(true);
  bool ok = true;
  if (!method || *method == "GET") {
    ok = set_option(CURLOPT_POST, 0L) == CURLE_OK;
  } else if (*method == "POST") {
    ok = set_option(CURLOPT_POST, 1L) == CURLE_OK;
  }
  return set_option_text(CURLOPT_URL, url) == CURLE_OK && ok;
}

void HttpClient::add_header(std::string_view name, std::string_view value) {
  std::string line;
  line.reserve(name.size() + value.size() + 2);
  line.append(name).append(": ").append(value);
  header_lines_.push_back(std::move(line));
}

void HttpClient::set_headers(std::string_view text) {
  std::string cleaned;
  cleaned.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && i + 1 < text.size() && text[i + 1] == '\r') {
      ++i;
      continue;
    }
    cleaned.push_back(text[i]);
  }
  // Spaces at both ends: ASCII and the GBK full-width space.
  std::string_view rest = cleaned;
  for (bool trimmed = true; trimmed;) {
    trimmed = false;
    if (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1), trimmed = true;
    if (!rest.empty() && rest.back() == ' ') rest.remove_suffix(1), trimmed = true;
    if (rest.substr(0, 2) == "\xA1\xA1") rest.remove_prefix(2), trimmed = true;
    if (rest.size() >= 2 && rest.substr(rest.size() - 2) == "\xA1\xA1") {
      rest.remove_suffix(2), trimmed = true;
    }
  }
  header_lines_.clear();
  while (!rest.empty()) {
    std::size_t end = rest.find("\r\n");
    std::string_view piece = rest.substr(0, end);
    // An empty piece (a trailing CRLF) is no header line.
    if (!piece.empty()) header_lines_.emplace_back(piece);
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 2);
  }
}

bool HttpClient::set_proxy(std::string_view address, std::optional<int> type, std::string_view user,
                           std::string_view password) {
  const char* scheme = "Http://";
  switch (type.value_or(1)) {
    case 2:
      scheme = "Socks4://";
      break;
    case 3:
      scheme = "Socks5://";
      break;
    case 4:
      scheme = "Socks4a://";
      break;
    case 5:
      scheme = "Socks5h://";
      break;
    default:
      break;
  }
  std::string proxy = scheme;
  proxy.append(user).append(":").append(password).append("@").append(address);
  return set_option_text(CURLOPT_PROXY, proxy) == CURLE_OK;
}

bool HttpClient::send(std::string_view body) {
  apply_header_lines();
  if (!body.empty()) {
    set_option_64(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    set_option_bytes(CURLOPT_COPYPOSTFIELDS, body);
  }
  std::string jar = automatic_cookies_ ? jar_.cookies() : std::string();
  if (!jar.empty()) {
    if (set_option_text(CURLOPT_COOKIE, jar) == CURLE_OK && core_) core_->cookie_from_jar = true;
  } else if (core_ && core_->cookie_from_jar) {
    // The handle still holds the jar of an earlier send: cookies since deleted (or a jar since
    // switched off) must not travel again.
    curl_easy_setopt(core_->easy, CURLOPT_COOKIE, static_cast<char*>(nullptr));
    core_->cookie_from_jar = false;
  }
  CURLcode code = perform();
  if (automatic_cookies_) jar_.merge_set_cookie(response_headers());
  return code == CURLE_OK;
}

bool HttpClient::follow_redirects(bool on) {
  return set_option(CURLOPT_FOLLOWLOCATION, on ? 1L : 0L) == CURLE_OK;
}

bool HttpClient::set_timeouts_ms(std::optional<long> connect, std::optional<long> total) {
  bool ok = set_option(CURLOPT_CONNECTTIMEOUT_MS, connect.value_or(15000)) == CURLE_OK;
  return set_option(CURLOPT_TIMEOUT_MS, total.value_or(120000)) == CURLE_OK && ok;
}

bool HttpClient::set_http_version(std::optional<int> kind) {
  long version = 0;
  switch (kind.value_or(2)) {
    case 1:
      version = CURL_HTTP_VERSION_1_0;
      break;
    case 2:
      version = CURL_HTTP_VERSION_1_1;
      break;
    case 3:
      version = CURL_HTTP_VERSION_2_0;
      break;
    default:
      return true;
  }
  return set_option(CURLOPT_HTTP_VERSION, version) == CURLE_OK;
}

bool HttpClient::header_only(bool on) {
  return set_option(CURLOPT_NOBODY, on ? 1L : 0L) == CURLE_OK;
}

// ---- Response --------------------------------------------------------------------------------

int HttpClient::status_code() const { return static_cast<int>(info_long(CURLINFO_RESPONSE_CODE)); }

CURLcode HttpClient::last_result() const {
  return core_ && core_->performed ? core_->last : CURLE_OK;
}

std::int64_t HttpClient::body_bytes_received() const { return core_ ? core_->body->accepted : 0; }

long HttpClient::total_timeout_ms() const { return core_ ? core_->total_timeout_ms : 0; }

long HttpClient::connect_timeout_ms() const { return core_ ? core_->connect_timeout_ms : 0; }

HttpTransferInfo HttpClient::transfer_info() const {
  HttpTransferInfo info;
  if (!core_) return info;
  if (core_->performed) {
    info.curl_code = static_cast<int>(core_->last);
    if (core_->last != CURLE_OK) {
      info.curl_error = core_->error[0] != '\0' ? core_->error : curl_easy_strerror(core_->last);
    }
  }
  info.body_bytes = core_->body->accepted;
  info.body_too_large = core_->body->refused;
  curl_off_t length = -1;
  if (curl_easy_getinfo(core_->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK) {
    info.content_length = length;
  }
  info.total_timeout_ms = core_->total_timeout_ms;
  info.connect_timeout_ms = core_->connect_timeout_ms;
  return info;
}

}  // namespace brindle
