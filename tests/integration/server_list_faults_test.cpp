// A server list answer that parses is still no list when it came with an error status or was cut
// short before its announced length: brindle-sim serves the whole, valid list in both ways and
// the page must take it as a failed fetch (the retry rule), leaving the list as it was.
#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "foundation/encoding.h"
#include "foundation/http_client.h"
#include "servers/categories.h"
#include "servers/server_list.h"
#include "servers/server_list_view.h"
#include "support/core_fixture.h"
#include "support/sim_process.h"
#include "view/control_names.h"

namespace brindle {
namespace {

class ServerListFaultsTest : public test::SharedSimSuite {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_->running()) << sim_->error();
    ServerListRetryCounter() = 0;
    f_.core().AddFeature(std::make_unique<ServerBrowserFeature>());
    f_.window().server_list().Append({"kept", "", "", "192.0.2.1:1", ""});
  }
  void TearDown() override { ServerListRetryCounter() = 0; }

  void UseRoute(const std::string& prefix) {
    f_.state().server_list_base_url = sim_->http_url("/serverlist" + prefix);
  }
  std::string Names() {
    std::string names;
    for (const ListRow& row : f_.window().server_list().Rows()) names += row[0] + ";";
    return names;
  }

  test::CoreFixture f_;
};

TEST_F(ServerListFaultsTest, TheSimServesTheWholeListOnEveryFaultRoute) {
  // The faults are in the status and the length alone: the bodies are the list itself.
  const std::string plain = http_request(sim_->http_url("/serverlist/api/servers?game=csgo"));
  ASSERT_FALSE(plain.empty());
  for (const char* route : {"/serverlist/status/500", "/serverlist/status/404",
                            "/serverlist/short/1", "/serverlist/short/4096"}) {
    int status = 0;
    HttpTransferInfo info;
    const std::string body = http_request(
        sim_->http_url(std::string(route) + "/api/servers?game=csgo"), {}, &status, &info);
    EXPECT_EQ(body, plain) << route;
    EXPECT_TRUE(nlohmann::json::accept(body)) << route;
    EXPECT_FALSE(IsWholeServerListAnswer(status, info)) << route << " status " << status;
  }
  int status = 0;
  HttpTransferInfo info;
  http_request(sim_->http_url("/serverlist/status/200/api/servers?game=csgo"), {}, &status, &info);
  EXPECT_TRUE(IsWholeServerListAnswer(status, info));
}

TEST_F(ServerListFaultsTest, ErrorStatusOrCutAnswerIsAFailedFetchAndRetried) {
  const std::pair<const char*, const char*> routes[] = {{"/status/500", "服务返回错误 HTTP 500"},
                                                        {"/status/404", "服务返回错误 HTTP 404"},
                                                        {"/short/1", "连接中断"}};
  for (const auto& [route, reason] : routes) {
    SCOPED_TRACE(route);
    UseRoute(route);
    ServerListRetryCounter() = 0;
    // The retry rule: the failure waits 5 s on the clock, then tries again on a new worker.
    const std::string path = std::string("/serverlist") + route + "/api/servers";
    const std::int64_t before = sim_->request_count(path);
    ASSERT_TRUE(f_.window().Activate(names::kAllServers));
    ASSERT_TRUE(test::Eventually([&] { return f_.ports().DelayedWorkers() == 1; }));
    EXPECT_EQ(ServerListRetryCounter().load(), 1);
    EXPECT_EQ(Names(), "kept;");
    // The empty list's text says what failed.
    EXPECT_EQ(f_.controls().Caption(names::kServerListEmpty), ServerListRetryText(gbk(reason), 1));
    ASSERT_TRUE(f_.AdvanceUntil([&] { return sim_->request_count(path) == before + 2; }));
    // Ends the waiting retry (the page asks again with the same route each time).
    ServerListRetryCounter() = kServerListRetryLimit + 1;
    ASSERT_TRUE(f_.AdvanceUntil([&] { return f_.core().workers().Running() == 0; }));
    EXPECT_EQ(Names(), "kept;");
    EXPECT_TRUE(f_.controls().Enabled(names::kAllServers));
  }
  EXPECT_EQ(f_.ports().Notices().size(), 3u);

  // The same list served whole fills the page and enables the buttons again.
  UseRoute("/status/200");
  ASSERT_TRUE(f_.window().Activate(names::kAllServers));
  ASSERT_TRUE(f_.WaitForWorkers());
  EXPECT_EQ(f_.window().server_list().RowCount(), 40);
  EXPECT_TRUE(f_.controls().Enabled(names::kAllServers));
}

TEST_F(ServerListFaultsTest, OneFetchOfTheCliFailsOnAnErrorPage) {
  UseRoute("/status/500");
  EXPECT_FALSE(FetchServerListOnce(f_.core(), std::string(kAllServers)));
  EXPECT_EQ(Names(), "kept;");
  UseRoute("/short/100");
  EXPECT_FALSE(FetchServerListOnce(f_.core(), std::string(kAllServers)));
  EXPECT_EQ(Names(), "kept;");
  EXPECT_EQ(ServerListRetryCounter().load(), 0);  // one fetch never retries
}

}  // namespace
}  // namespace brindle
