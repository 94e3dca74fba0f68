#include "foundation/http_settings.h"

#include <curl/curl.h>

#include <atomic>
#include <mutex>

namespace brindle {
namespace {

std::mutex& settings_mutex() {
  static std::mutex mutex;
  return mutex;
}

HttpSettings& settings_store() {
  static HttpSettings settings;
  return settings;
}

}  // namespace

HttpSettings http_settings() {
  std::lock_guard lock(settings_mutex());
  return settings_store();
}

void set_http_settings(const HttpSettings& settings) {
  std::lock_guard lock(settings_mutex());
  settings_store() = settings;
}

void set_request_user_agent(const std::string& agent) {
  std::lock_guard lock(settings_mutex());
  settings_store().request_user_agent = agent;
}

void set_download_user_agent(const std::string& agent) {
  std::lock_guard lock(settings_mutex());
  settings_store().download_user_agent = agent;
}

void set_tls_ca_file(const std::string& path) {
  std::lock_guard lock(settings_mutex());
  settings_store().ca_file = path;
}

void set_tls_verify(bool verify) {
  std::lock_guard lock(settings_mutex());
  settings_store().tls_verify = verify;
}

bool http_global_init() {
  static std::once_flag once;
  static bool ok = false;
  std::call_once(once, [] { ok = curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK; });
  return ok;
}

}  // namespace brindle
