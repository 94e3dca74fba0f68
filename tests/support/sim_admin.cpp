#include "support/sim_admin.h"

#include <curl/curl.h>

namespace brindle::test {
namespace {

std::size_t collect(char* bytes, std::size_t size, std::size_t count, void* user) {
  static_cast<std::string*>(user)->append(bytes, size * count);
  return size * count;
}

}  // namespace

std::string SimRequest(const SimProcess& sim, const std::string& method, const std::string& path,
                       const std::string& body, long* status) {
  if (status != nullptr) *status = 0;
  CURL* easy = curl_easy_init();
  if (easy == nullptr) return {};
  const std::string url = sim.http_url(path);
  std::string answer;
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_TIMEOUT, 30L);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &collect);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &answer);
  if (method == "POST") {
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, body.c_str());
  } else if (method != "GET") {
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
  }
  const CURLcode code = curl_easy_perform(easy);
  long got = 0;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &got);
  curl_easy_cleanup(easy);
  if (code != CURLE_OK) return {};
  if (status != nullptr) *status = got;
  return answer;
}

bool SimSet(const SimProcess& sim, const std::string& path, const std::string& body) {
  long status = 0;
  SimRequest(sim, "POST", path, body, &status);
  return status == 200;
}

bool SimReset(const SimProcess& sim, const std::string& path) {
  long status = 0;
  SimRequest(sim, "DELETE", path, {}, &status);
  return status == 200;
}

}  // namespace brindle::test
