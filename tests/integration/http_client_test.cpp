// The HTTP client against brindle-sim over real loopback sockets with the real libcurl.
#include "foundation/http_client.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "../../sim/generated_content.h"
#include "foundation/http_settings.h"
#include "support/sim_process.h"
#include "support/system_only.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

constexpr const char* kSchannelUnderWine =
    "curl's Schannel leaves the check against the system store to Schannel, which Wine's does not "
    "make";

using test::SimProcess;
using test::TempDir;

std::string hex(std::string_view bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

// The value of header `name` in an echo reply; "<absent>" when the request lacked it.
std::string echoed_header(const nlohmann::json& echo, const std::string& name) {
  for (const auto& pair : echo["headers"]) {
    if (pair[0].get<std::string>() == name) return pair[1].get<std::string>();
  }
  return "<absent>";
}

// Restores the process-wide settings a test changed.
struct SettingsGuard {
  HttpSettings saved = http_settings();
  ~SettingsGuard() { set_http_settings(saved); }
};

class HttpClientTest : public test::SharedSimSuite {
 protected:
  static void SetUpTestSuite() {
    SharedSimSuite::SetUpTestSuite();
    set_tls_ca_file(sim_->ca_file());
  }
  static void TearDownTestSuite() {
    SharedSimSuite::TearDownTestSuite();
    set_http_settings(HttpSettings{});
  }
  void SetUp() override { ASSERT_TRUE(sim_->running()) << sim_->error(); }

  static std::string url(const std::string& path) { return sim_->http_url(path); }
  static nlohmann::json echo(const HttpRequestArgs& args, int* status = nullptr) {
    return nlohmann::json::parse(http_request(url("/test/echo"), args, status));
  }
};

TEST_F(HttpClientTest, PostSendsExactlyTheBodyBytes) {
  std::string body = "name=" + std::string("\xC4\xE3\xBA\xC3") + "&x=%26+ ;\x01\xFF";
  int status = -1;
  HttpTransferInfo info;
  Bytes reply = http_request(url("/test/echo"), {.method = 1, .body = body}, &status, &info);
  ASSERT_EQ(status, 200);
  EXPECT_TRUE(info.complete());
  auto e = nlohmann::json::parse(reply);
  EXPECT_EQ(e["method"], "POST");
  EXPECT_EQ(e["body_hex"], hex(body));
  EXPECT_EQ(echoed_header(e, "Content-Length"), std::to_string(body.size()));
  EXPECT_EQ(echoed_header(e, "User-Agent"), kDefaultRequestUserAgent);
  EXPECT_EQ(echoed_header(e, "Accept-Encoding"), "gzip");

  // The client object's own send copies its body the same way.
  HttpClient client;
  client.open("POST", url("/test/echo"));
  ASSERT_TRUE(client.send(body));
  EXPECT_EQ(nlohmann::json::parse(client.body())["body_hex"], hex(body));
}

TEST_F(HttpClientTest, BodyWithoutPostMethodStillSendsIt) {
  auto with_body = echo({.body = "a=1"});
  EXPECT_EQ(with_body["method"], "POST");
  EXPECT_EQ(with_body["body"], "a=1");
  auto other_method = echo({.method = 7, .body = "b=2"});
  EXPECT_EQ(other_method["body"], "b=2");
  auto plain = echo({.method = 7});
  EXPECT_EQ(plain["method"], "GET");
  EXPECT_EQ(plain["body_length"], 0);
}

TEST_F(HttpClientTest, HeaderTextIsNormalisedIntoLines) {
  HttpClient client;
  client.set_headers("  X-One: 1\r\n\r\nX-Two: two\r\n ");
  EXPECT_EQ(client.header_lines(), (std::vector<std::string>{"X-One: 1", "X-Two: two"}));
  client.set_headers("\xA1\xA1X-Wide: 3\xA1\xA1");
  EXPECT_EQ(client.header_lines(), (std::vector<std::string>{"X-Wide: 3"}));

  auto e = echo({.extra_headers = "X-One: 1\r\n\r\nX-Two: two"});
  EXPECT_EQ(echoed_header(e, "X-One"), "1");
  EXPECT_EQ(echoed_header(e, "X-Two"), "two");
}

TEST_F(HttpClientTest, TimeoutsBelowTwoSecondsFallBackToThirty) {
  auto total_for = [](std::optional<int> seconds) {
    HttpTransferInfo info;
    http_request(url("/test/status"), {.timeout_seconds = seconds}, nullptr, &info);
    EXPECT_EQ(info.connect_timeout_ms, 15000);
    return info.total_timeout_ms;
  };
  EXPECT_EQ(total_for(std::nullopt), 30000);
  EXPECT_EQ(total_for(0), 30000);
  EXPECT_EQ(total_for(1), 30000);
  EXPECT_EQ(total_for(-5), 30000);
  EXPECT_EQ(total_for(2), 2000);
  EXPECT_EQ(total_for(45), 45000);

  HttpTransferInfo probe;
  (void)http_probe(url("/test/status"), {.timeout_seconds = 1}, nullptr, &probe);
  EXPECT_EQ(probe.total_timeout_ms, 30000);
  TempDir dir;
  HttpTransferInfo download;
  (void)http_download_file(url("/test/status"), dir.file("s.txt"), &download);
  EXPECT_EQ(download.total_timeout_ms, 3600 * 1000);
}

TEST_F(HttpClientTest, TwoSecondTimeoutEndsAStalledTransfer) {
  int status = -1;
  HttpTransferInfo info;
  Bytes body = http_request(url("/test/stall?bytes=100&announce=1000&max_ms=20000"),
                            {.timeout_seconds = 2}, &status, &info);
  EXPECT_EQ(info.curl_code, CURLE_OPERATION_TIMEDOUT);
  EXPECT_EQ(status, 200);  // the head arrived before the stall
  EXPECT_EQ(body, sim::generated_bytes(0, 100));
  EXPECT_EQ(info.content_length, 1000);

  body = http_request(url("/test/stall?headers=0&max_ms=20000"), {.timeout_seconds = 2}, &status,
                      &info);
  EXPECT_EQ(info.curl_code, CURLE_OPERATION_TIMEDOUT);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(body.empty());
}

TEST_F(HttpClientTest, RedirectsAreFollowedUnlessTurnedOff) {
  int status = 0;
  std::int64_t before = sim_->request_count("/test/redirect");
  EXPECT_EQ(http_request(url("/test/redirect?n=3&code=301"), {}, &status), "arrived");
  EXPECT_EQ(status, 200);
  EXPECT_EQ(sim_->request_count("/test/redirect"), before + 4);

  EXPECT_EQ(http_request(url("/test/redirect?n=3&code=302"), {.no_redirect = 1}, &status),
            "redirect 3");
  EXPECT_EQ(status, 302);
  EXPECT_EQ(http_request(url("/test/redirect?n=1&code=302"), {.no_redirect = 0}, &status),
            "arrived");
  EXPECT_EQ(http_probe(url("/test/redirect?n=2&code=301"), {.no_redirect = 1}), 301);

  // A redirect across to the HTTPS listener keeps the TLS settings.
  std::string to = sim_->https_url("/test/status?code=201");
  HttpClient client;
  std::string escaped = client.escape(to);
  EXPECT_EQ(http_request(url("/test/redirect?n=1&to=" + escaped), {}, &status), "status 201");
  EXPECT_EQ(status, 201);
}

TEST_F(HttpClientTest, GzipBodyArrivesDecompressed) {
  int status = 0;
  Bytes body = http_request(url("/test/gzip?bytes=50000"), {}, &status);
  EXPECT_EQ(status, 200);
  EXPECT_EQ(body, sim::generated_bytes(0, 50000));

  // Proof that the wire really carried gzip: with decoding off the raw stream shows.
  HttpClient raw;
  raw.open("GET", url("/test/gzip?bytes=50000"));
  raw.set_option(CURLOPT_HTTP_CONTENT_DECODING, 0L);
  ASSERT_TRUE(raw.send());
  EXPECT_EQ(raw.body().substr(0, 2), "\x1f\x8b");
}

TEST_F(HttpClientTest, LargeBodyArrivesWholeAndTheBufferDoublesInOneStep) {
  HttpTransferInfo info;
  Bytes body = http_request(url("/test/file?bytes=300000"), {}, nullptr, &info);
  EXPECT_EQ(body.size(), 300000u);
  EXPECT_EQ(body, sim::generated_bytes(0, 300000));
  EXPECT_EQ(info.body_bytes, 300000);

  TransferBuffer buffer;
  EXPECT_EQ(buffer.capacity(), 4096u);
  ASSERT_TRUE(buffer.append(std::string(5000, 'x')));
  EXPECT_EQ(buffer.capacity(), 10000u);
  ASSERT_TRUE(buffer.append(std::string(5000, 'y')));
  EXPECT_EQ(buffer.capacity(), 10000u);
  ASSERT_TRUE(buffer.append("z"));
  EXPECT_EQ(buffer.capacity(), 20002u);
  EXPECT_EQ(buffer.view(), std::string(5000, 'x') + std::string(5000, 'y') + "z");
}

TEST_F(HttpClientTest, SinkThatCannotGrowEndsTheTransferWithAnError) {
  HttpClient client;
  client.open("GET", url("/test/file?bytes=200000"));
  client.set_body_limit(50000);
  EXPECT_FALSE(client.send());
  EXPECT_EQ(client.last_result(), CURLE_WRITE_ERROR);
  Bytes body = client.body();
  EXPECT_LE(body.size(), 50000u);
  EXPECT_EQ(body, sim::generated_bytes(0, body.size()));  // what was kept is not corrupted
}

TEST_F(HttpClientTest, BodiesInMemoryAreCappedPerKindOfRequest) {
  // At the cap the body arrives whole; one byte past it the reply reads as a failed transfer.
  int status = -1;
  HttpTransferInfo info;
  EXPECT_EQ(
      http_request(url("/test/file?bytes=100000"), {.max_body_bytes = 100000}, &status, &info),
      sim::generated_bytes(0, 100000));
  EXPECT_EQ(status, 200);
  EXPECT_FALSE(info.body_too_large);
  EXPECT_EQ(
      http_request(url("/test/file?bytes=100001"), {.max_body_bytes = 100000}, &status, &info), "");
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(info.body_too_large);
  EXPECT_EQ(info.curl_code, CURLE_WRITE_ERROR);

  // Without a cap of its own a request gets the default; the server list's is larger.
  const std::string past_default =
      url("/test/file?bytes=" + std::to_string(kHttpBodyCapDefault + 1));
  EXPECT_EQ(http_request(past_default, {}, &status, &info), "");
  EXPECT_TRUE(info.body_too_large);
  EXPECT_EQ(
      http_request(past_default, {.max_body_bytes = kHttpBodyCapLargeList}, &status, &info).size(),
      kHttpBodyCapDefault + 1);
  EXPECT_EQ(status, 200);
  EXPECT_LT(kHttpBodyCapShortAnswer, kHttpBodyCapPicture);
  EXPECT_LT(kHttpBodyCapPicture, kHttpBodyCapDefault);
}

TEST_F(HttpClientTest, GzipBombIsCappedByWhatItInflatesTo) {
  // 65 MiB of zeros travel as some 65 KiB; the cap counts the inflated bytes.
  const std::string bomb =
      url("/test/gzip?zeros=1&bytes=" + std::to_string(kHttpBodyCapLargeList + (1 << 20)));
  HttpClient raw;
  raw.open("GET", bomb);
  raw.set_option(CURLOPT_HTTP_CONTENT_DECODING, 0L);
  ASSERT_TRUE(raw.send());
  ASSERT_LT(raw.body().size(), kHttpBodyCapPicture);

  int status = -1;
  HttpTransferInfo info;
  EXPECT_EQ(http_request(bomb, {.max_body_bytes = kHttpBodyCapPicture}, &status, &info), "");
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(info.body_too_large);
  EXPECT_LE(info.body_bytes, static_cast<std::int64_t>(kHttpBodyCapPicture));
  EXPECT_EQ(http_request(bomb, {.max_body_bytes = kHttpBodyCapLargeList}, &status, &info), "");
  EXPECT_TRUE(info.body_too_large);
  // A small one inflates within the cap and arrives.
  EXPECT_EQ(http_request(url("/test/gzip?zeros=1&bytes=60000"),
                         {.max_body_bytes = kHttpBodyCapShortAnswer}, &status),
            std::string(60000, '\0'));
  EXPECT_EQ(status, 200);
}

TEST_F(HttpClientTest, ARedirectLoopEndsAfterTenRedirects) {
  const std::int64_t before = sim_->request_count("/test/redirect");
  HttpTransferInfo info;
  EXPECT_EQ(http_request(url("/test/redirect?loop=1"), {}, nullptr, &info), "");
  EXPECT_EQ(info.curl_code, CURLE_TOO_MANY_REDIRECTS);
  EXPECT_EQ(sim_->request_count("/test/redirect"), before + 1 + kHttpMaxRedirects);
  // Ten in a row are still followed.
  EXPECT_EQ(http_request(url("/test/redirect?n=10")), "arrived");
}

TEST_F(HttpClientTest, CutBodyKeepsItsStatusButReportsTheShortfall) {
  int status = 0;
  HttpTransferInfo info;
  Bytes body = http_request(url("/test/cut?announce=100000&send=40000"), {}, &status, &info);
  EXPECT_EQ(status, 200);
  EXPECT_EQ(body, sim::generated_bytes(0, 40000));
  EXPECT_FALSE(info.complete());
  EXPECT_EQ(info.curl_code, CURLE_PARTIAL_FILE);
  EXPECT_EQ(info.body_bytes, 40000);
  EXPECT_EQ(info.content_length, 100000);

  TempDir dir;
  EXPECT_EQ(
      http_download_file(url("/test/cut?announce=3000000&send=1000000"), dir.file("c.bin"), &info),
      200);
  EXPECT_EQ(info.curl_code, CURLE_PARTIAL_FILE);
  EXPECT_EQ(info.body_bytes, 1000000);
  EXPECT_EQ(test::slurp(dir.path() / "c.bin"), sim::generated_bytes(0, 1000000));
}

TEST_F(HttpClientTest, DownloadReplacesTheFileWithTheWholeBody) {
  TempDir dir;
  test::spit(dir.path() / "f.bin", std::string(5 << 20, 'o'));  // longer than the download
  HttpTransferInfo info;
  EXPECT_EQ(http_download_file(url("/test/file?mib=3"), dir.file("f.bin"), &info), 200);
  EXPECT_TRUE(info.complete());
  EXPECT_EQ(info.body_bytes, 3 << 20);
  EXPECT_EQ(test::slurp(dir.path() / "f.bin"), sim::generated_bytes(0, 3 << 20));

  test::spit(std::filesystem::path(sim_->data_dir()) / "map.bsp", "BSP-bytes");
  EXPECT_EQ(http_download_file(sim_->https_url("/files/map.bsp"), dir.file("m.bsp")), 200);
  EXPECT_EQ(test::slurp(dir.path() / "m.bsp"), "BSP-bytes");
  EXPECT_EQ(http_download_file(url("/files/absent.bsp"), dir.file("a.bsp")), 404);

  ASSERT_EQ(http_download_file(url("/test/echo"), dir.file("echo.json")), 200);
  auto e = nlohmann::json::parse(test::slurp(dir.path() / "echo.json"));
  EXPECT_EQ(echoed_header(e, "User-Agent"), kDefaultDownloadUserAgent);
}

TEST_F(HttpClientTest, DownloadIntoAMissingFolderSendsNothing) {
  TempDir dir;
  HttpTransferInfo info;
  EXPECT_EQ(http_download_file(url("/files/never-asked.bin"), dir.file("no/such/x.bin"), &info),
            -1);
  EXPECT_EQ(info.curl_code, -1);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "no"));
  EXPECT_EQ(sim_->request_count("/files/never-asked.bin"), 0);
}

TEST_F(HttpClientTest, FailuresShowAsStatusZero) {
  int status = -1;
  HttpTransferInfo info;
  // Port 1 on loopback has no listener.
  EXPECT_EQ(http_request("http://127.0.0.1:1/", {}, &status, &info), "");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(info.curl_code, CURLE_COULDNT_CONNECT);
  EXPECT_EQ(http_probe(url("/test/status?code=404"), {}, &status, &info), 404);
  EXPECT_EQ(status, 404);
  EXPECT_EQ(info.body_bytes, 0);
}

TEST_F(HttpClientTest, TheSystemStoreAloneRefusesAnUnknownCertificate) {
  BRINDLE_NOT_UNDER_WINE(kSchannelUnderWine);
  SettingsGuard guard;
  int status = 0;
  set_tls_ca_file("");
  HttpTransferInfo info;
  http_request(sim_->https_url("/test/status"), {}, &status, &info);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(info.curl_code, CURLE_PEER_FAILED_VERIFICATION);
}

TEST_F(HttpClientTest, TlsIsVerifiedByDefaultAndCanBeSwitchedOff) {
  SettingsGuard guard;
  int status = 0;
  EXPECT_EQ(http_request(sim_->https_url("/test/status"), {}, &status), "status 200");
  EXPECT_EQ(status, 200);

  // A trusted certificate for another name is refused.
  set_tls_ca_file(sim_->ca_file());
  std::string port = sim_->https_base().substr(sim_->https_base().rfind(':') + 1);
  auto wrong_host = [&] {
    HttpClient client;
    client.set_option_list(CURLOPT_RESOLVE, {"wrong.invalid:" + port + ":127.0.0.1"});
    client.open("GET", "https://wrong.invalid:" + port + "/test/status");
    client.send();
    return client.last_result();
  };
  EXPECT_EQ(wrong_host(), CURLE_PEER_FAILED_VERIFICATION);

  set_tls_verify(false);
  set_tls_ca_file("");
  EXPECT_EQ(wrong_host(), CURLE_OK);
  EXPECT_EQ(http_request(sim_->https_url("/test/status"), {}, &status), "status 200");
}

TEST_F(HttpClientTest, AutomaticCookiesTravelWithinOneClientObjectOnly) {
  HttpClient client;
  client.open("GET", url("/test/cookie?set=a%3D1%3B%20Path%3D%2F&set=b%3D2%3B%20HttpOnly"));
  ASSERT_TRUE(client.send());
  EXPECT_EQ(client.cookies(), "a=1; b=2");

  client.open("GET", url("/test/cookie?set=a%3D%3B%20Max-Age%3D0"));
  ASSERT_TRUE(client.send());
  EXPECT_EQ(client.body(), "a=1; b=2");  // what the request carried
  EXPECT_EQ(client.cookies(), "b=2");

  // Once the jar is empty, the last jar text is not sent again.
  client.open("GET", url("/test/cookie?set=b%3D"));
  ASSERT_TRUE(client.send());
  EXPECT_EQ(client.body(), "b=2");
  EXPECT_TRUE(client.cookie_jar().is_empty());
  client.open("GET", url("/test/cookie?set=c%3D3"));
  ASSERT_TRUE(client.send());
  EXPECT_EQ(client.body(), "");

  client.set_automatic_cookies(false);
  client.open("GET", url("/test/cookie?set=d%3D4"));
  ASSERT_TRUE(client.send());
  EXPECT_EQ(client.body(), "");
  EXPECT_EQ(client.cookies(), "c=3");

  // The routines start from an empty jar every time.
  http_request(url("/test/cookie?set=z%3D9"));
  EXPECT_EQ(http_request(url("/test/cookie")), "");
}

TEST_F(HttpClientTest, ProgressCallbackCanCancelATransfer) {
  HttpClient client;
  client.open("GET", url("/test/slow?bytes=200000&chunk=1000&delay_ms=20"));
  std::int64_t seen = 0;
  client.set_progress_callback([&seen](std::int64_t, std::int64_t now, std::int64_t, std::int64_t) {
    seen = now;
    return now > 0 ? 1 : 0;
  });
  EXPECT_FALSE(client.send());
  EXPECT_EQ(client.last_result(), CURLE_ABORTED_BY_CALLBACK);
  EXPECT_GT(seen, 0);
  EXPECT_LT(client.body_bytes_received(), 200000);
}

TEST_F(HttpClientTest, CopiesAndAdoptersShareOneHandleSafely) {
  auto original = std::make_unique<HttpClient>();
  original->add_header("X-Kept", "yes");
  HttpClient second(*original);
  EXPECT_EQ(second.handle(), original->handle());
  CURL* easy = original->handle();

  HttpClient adopter;
  ASSERT_TRUE(adopter.adopt_handle(easy));
  EXPECT_EQ(adopter.handle(), easy);
  EXPECT_EQ(adopter.header_lines(), original->header_lines());
  original.reset();  // the handle lives on in the others

  adopter.open("GET", url("/test/echo"), 0);  // keep the header lines
  ASSERT_TRUE(adopter.send());
  EXPECT_EQ(echoed_header(nlohmann::json::parse(adopter.body()), "X-Kept"), "yes");
  EXPECT_EQ(second.body(), adopter.body());  // the sinks are shared too

  CURL* duplicate = adopter.duplicate_handle();
  ASSERT_NE(duplicate, nullptr);
  HttpClient refuses;
  EXPECT_FALSE(refuses.adopt_handle(duplicate));
  curl_easy_cleanup(duplicate);
}

TEST_F(HttpClientTest, UploadSourceFeedsAPutAndResetKeepsTheSettings) {
  HttpClient client;
  client.open("PUT", url("/test/echo"));  // a method libcurl is not told about directly
  client.set_option(CURLOPT_UPLOAD, 1L);
  ASSERT_TRUE(client.set_upload_data("first "));
  ASSERT_TRUE(client.append_upload_data("second"));
  client.set_option_64(CURLOPT_INFILESIZE_LARGE, 12);
  ASSERT_TRUE(client.send());
  auto e = nlohmann::json::parse(client.body());
  EXPECT_EQ(e["method"], "PUT");
  EXPECT_EQ(e["body"], "first second");

  // A full reset installs fresh sinks and the process-wide TLS settings again.
  client.reset(false);
  EXPECT_EQ(client.body(), "");
  client.open("GET", sim_->https_url("/test/status?body=%E4%BD%A0%E5%A5%BD"));
  ASSERT_TRUE(client.send());
  EXPECT_EQ(client.status_code(), 200);
  EXPECT_EQ(client.body(), "\xE4\xBD\xA0\xE5\xA5\xBD");
  EXPECT_EQ(client.body_gbk(), gbk("你好"));
  EXPECT_EQ(client.effective_url(), sim_->https_url("/test/status?body=%E4%BD%A0%E5%A5%BD"));
  EXPECT_EQ(client.primary_ip(), "127.0.0.1");
}

TEST_F(HttpClientTest, ProxyTextAndSmallOperations) {
  // The proxy text (capitalised scheme, empty credentials) is taken: the transfer goes to the
  // proxy address, where nothing listens, instead of the sim.
  for (int type : {1, 3}) {
    HttpClient client;
    ASSERT_TRUE(client.set_proxy("127.0.0.1:1", type));
    client.open("GET", url("/test/status"));
    EXPECT_FALSE(client.send());
    EXPECT_EQ(client.last_result(), CURLE_COULDNT_CONNECT) << type;
  }
  HttpClient client;
  EXPECT_TRUE(client.set_http_version(9));  // unknown kinds set nothing
  EXPECT_TRUE(client.set_http_version(1));
  client.open("GET", url("/test/echo"));
  ASSERT_TRUE(client.send());
  EXPECT_EQ(nlohmann::json::parse(client.body())["version"], "HTTP/1.0");

  std::string text = "a b&c=\xC4\xE3/";
  EXPECT_EQ(client.escape(text), "a%20b%26c%3D%C4%E3%2F");
  EXPECT_EQ(client.unescape(client.escape(text)), text);
}

TEST_F(HttpClientTest, SimServesOnlyItsDataFolder) {
  test::spit(std::filesystem::path(sim_->data_dir()) / "inside.txt", "inside");
  int status = 0;
  EXPECT_EQ(http_request(url("/files/inside.txt"), {}, &status), "inside");
  HttpClient client;
  client.set_option(CURLOPT_PATH_AS_IS, 1L);
  client.open("GET", url("/files/../addr.txt"));
  client.send();
  EXPECT_EQ(client.status_code(), 404);
  client.open("GET", url("/files/%2e%2e/addr.txt"));
  client.send();
  EXPECT_EQ(client.status_code(), 404);
}

}  // namespace
}  // namespace brindle
