// Process-wide HTTP settings: the two user agents, how TLS peers are checked, and the one-time
// libcurl initialisation. Written at start-up (and by the remote configuration or an endpoints
// file), read by every transfer; any thread may call these.
#pragma once

#include <string>

namespace brindle {

inline constexpr const char* kDefaultRequestUserAgent =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/91.0.4472.77 Safari/537.36 QDL";
inline constexpr const char* kDefaultDownloadUserAgent =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/91.0.4472.77 Safari/537.36 QCURL";

struct HttpSettings {
  std::string request_user_agent = kDefaultRequestUserAgent;    // http_request, http_probe
  std::string download_user_agent = kDefaultDownloadUserAgent;  // downloads
  // PEM file of the certificates to trust; empty: the system's CA store.
  std::string ca_file;
  // false turns off certificate and host name checks for every transfer, for a community whose
  // hosts lack valid certificates.
  bool tls_verify = true;
};

HttpSettings http_settings();  // a snapshot
void set_http_settings(const HttpSettings& settings);
void set_request_user_agent(const std::string& agent);
void set_download_user_agent(const std::string& agent);
void set_tls_ca_file(const std::string& path);
void set_tls_verify(bool verify);

// curl_global_init(CURL_GLOBAL_ALL), exactly once per process however often it is called; the
// result of that one call. Every client object calls it, so calling it at start-up is optional
// (but keeps the initialisation off the worker threads).
[[nodiscard]] bool http_global_init();

}  // namespace brindle
