// The remote configuration applied to a core on test ports: the rules of every key, the order of
// the objects, and documents that are wrong, hostile or huge.
#include "app/remote_config.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "app/endpoints.h"
#include "foundation/encoding.h"
#include "foundation/http_settings.h"
#include "support/core_fixture.h"
#include "view/control_names.h"

namespace brindle {
namespace {

class RemoteConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ApplyDefaultEndpoints(fx_.state());
    defaults_ = http_settings();
    initial_ = Selected();  // the window design's choice
  }
  void TearDown() override { set_http_settings(defaults_); }

  RemoteConfiguration Apply(const std::string& utf8) {
    return ApplyRemoteConfigurationText(fx_.core(), utf8_to_gbk(utf8));
  }
  std::string Host(int line) { return fx_.state().mirror_host[static_cast<std::size_t>(line)]; }
  bool Https(int line) { return fx_.state().mirror_https[static_cast<std::size_t>(line)]; }
  std::string Selected() { return fx_.controls().CheckedInGroup(names::kMirrorGroup); }

  test::CoreFixture fx_;
  HttpSettings defaults_;
  std::string initial_;
};

TEST_F(RemoteConfigTest, EmptyOrBrokenDocumentsChangeNothing) {
  const std::string request_agent = fx_.state().request_user_agent;
  const auto hosts = fx_.state().mirror_host;
  for (const char* text :
       {"", "[]", "{}", "not json", "[1,2,\"x\",null]", "{\"servername\":\"us1\",\"select\":1}"}) {
    const RemoteConfiguration config = Apply(text);
    EXPECT_EQ(fx_.state().request_user_agent, request_agent) << text;
    EXPECT_EQ(fx_.state().mirror_host, hosts) << text;
    EXPECT_EQ(Selected(), initial_) << text;
    EXPECT_EQ(config.objects, std::string(text) == "[1,2,\"x\",null]" ? 4 : 0) << text;
  }
  EXPECT_FALSE(Apply("not json").parsed);
  EXPECT_TRUE(Apply("[]").parsed);
}

TEST_F(RemoteConfigTest, SelectionFollowsTheObjectsInOrder) {
  Apply(
      R"([{"servername":"us2","select":1},{"servername":"us1"},{"servername":"us1","select":1}])");
  EXPECT_EQ(Selected(), names::kMirror1);
  // A later object selecting us2 moves the selection to its radio, 节点3.
  Apply(R"([{"servername":"us1","select":1},{"servername":"us2","select":1}])");
  EXPECT_EQ(Selected(), names::kMirror3);
  Apply(R"([{"servername":"telecom","select":"1","buttonDisable":1}])");
  EXPECT_EQ(Selected(), names::kMirror2);
  EXPECT_FALSE(fx_.controls().Enabled(names::kMirror2));
  EXPECT_TRUE(fx_.controls().Enabled(names::kMirror1));
  // Names are exact: no other spelling steers a line.
  Apply(
      R"([{"servername":"US1","select":1},{"servername":"us1 ","select":1},{"servername":"x","select":1}])");
  EXPECT_EQ(Selected(), names::kMirror2);
}

TEST_F(RemoteConfigTest, LengthRulesOfAddressesAndAgents) {
  Apply(R"([{"servername":"us1","dladdress":"a.example"}])");  // 9 characters
  EXPECT_EQ(Host(0), "dl.brindle.example");
  Apply(R"([{"servername":"us1","dladdress":"ab.example"}])");  // 10 characters
  EXPECT_EQ(Host(0), "ab.example");
  Apply(R"([{"servername":"telecom","dladdress":"10.0.0.1:9295"}])");
  EXPECT_EQ(Host(2), "10.0.0.1:9295");

  const std::string before = fx_.state().request_user_agent;
  Apply(R"([{"UserAgentRequest":"12345","UserAgentDownload":"abcdef"}])");
  EXPECT_EQ(fx_.state().request_user_agent, before);  // exactly 5: ignored
  EXPECT_EQ(fx_.state().download_user_agent, "abcdef");
  EXPECT_EQ(http_settings().download_user_agent, "abcdef");  // what the transfers send
  Apply(R"([{"UserAgentRequest":"Agent/2.0"}])");
  EXPECT_EQ(http_settings().request_user_agent, "Agent/2.0");

  Apply(R"([{"serverlisturl":"http:","userfavorite":"https://fav2.example/api"}])");
  EXPECT_EQ(fx_.state().server_list_base_url, "https://servers.brindle.example");
  EXPECT_EQ(fx_.state().favourites_base_url, "https://fav2.example/api");
}

TEST_F(RemoteConfigTest, HttpsIsNeverClearedAndTheLastValidValueWins) {
  Apply(R"([{"servername":"us2","ishttps":1},{"servername":"us2","ishttps":0},
            {"servername":"us2","dladdress":"first.example"},
            {"servername":"us2","dladdress":"short"},
            {"UserAgentDownload":"agent-one"},{"UserAgentDownload":"x"}])");
  EXPECT_TRUE(Https(1));
  EXPECT_FALSE(Https(0));
  EXPECT_EQ(Host(1), "first.example");
  EXPECT_EQ(fx_.state().download_user_agent, "agent-one");
}

TEST_F(RemoteConfigTest, KeysWithoutEffectAreReadAndNormalised) {
  const RemoteConfiguration c = Apply(R"([
    {"servername":"us1","origin_thread_num":24,"sum_thread_num":25,"buttonname":"美国1"},
    {"servername":"telecom","origin_thread_num":0,"sum_thread_num":"8"},
    {"downloadMapEngine":"1","downloadModelEngine":"Thunder","PreDownloadMapEngine":"3",
     "csgo_Launch_Options":"-x","foot_lable_color":"#fff","steamruntype":2,"IsOnlyOriginal":"1",
     "notification_Message":"公告","serverlisturlv2":"v2","PreDownloadMapAddress":"p"}])");
  EXPECT_EQ(c.objects, 3);
  EXPECT_EQ(c.lines[0].origin_threads, 24);
  EXPECT_EQ(c.lines[0].sum_threads, 1);  // 25 is out of range
  EXPECT_EQ(c.lines[0].button_name, gbk("美国1"));
  EXPECT_EQ(c.lines[2].origin_threads, 1);
  EXPECT_EQ(c.lines[2].sum_threads, 8);
  EXPECT_EQ(c.download_map_engine, "LIBCURL");
  EXPECT_EQ(c.download_model_engine, "Thunder");
  EXPECT_EQ(c.pre_download_map_engine, "3");
  EXPECT_EQ(c.csgo_launch_options, "");  // 2 bytes or fewer
  EXPECT_EQ(c.steam_run_type, 2);
  EXPECT_EQ(c.is_only_original, 1);
  EXPECT_EQ(c.notification_message, gbk("公告"));
}

TEST_F(RemoteConfigTest, WrongTypesReadAsAbsent) {
  const auto hosts = fx_.state().mirror_host;
  const std::string agent = fx_.state().request_user_agent;
  Apply(R"([{"servername":["telecom"],"select":1},
            {"servername":"telecom","select":{"a":1},"buttonDisable":[1],"dladdress":1234567890123,
             "ishttps":true},
            {"UserAgentRequest":{"long":"object here"},"serverlisturl":["https://x.example"],
             "userfavorite":12345678}])");
  EXPECT_EQ(Selected(), initial_);
  EXPECT_TRUE(fx_.controls().Enabled(names::kMirror2));
  EXPECT_EQ(fx_.state().mirror_host, hosts);
  EXPECT_FALSE(Https(2));
  EXPECT_EQ(fx_.state().request_user_agent, agent);
  EXPECT_EQ(fx_.state().server_list_base_url, "https://servers.brindle.example");
  EXPECT_EQ(fx_.state().favourites_base_url, "https://fav.brindle.example");
}

TEST_F(RemoteConfigTest, HostileValuesAreIgnored) {
  const auto hosts = fx_.state().mirror_host;
  Apply(R"json([{"servername":"us1","dladdress":"evil.example/x?"},
            {"servername":"us1","dladdress":"http://evil.example"},
            {"servername":"us1","dladdress":"evil .example"},
            {"servername":"us1","dladdress":"evil\u0000.example.com"},
            {"servername":"us1","dladdress":"evil.example:99999"},
            {"servername":"us1","dladdress":"user@evil.example"},
            {"servername":"us1","dladdress":"镜像服务器.example"},
            {"serverlisturl":"file:///etc/passwd"},{"serverlisturl":"javascript:alert(1)"},
            {"serverlisturl":"https://a.example/x y"},{"userfavorite":"https://a.example/\u0001"},
            {"userfavorite":"https:///nohost"},
            {"UserAgentRequest":"Agent\r\nX-Evil: 1"}])json");
  EXPECT_EQ(fx_.state().mirror_host, hosts);
  EXPECT_EQ(fx_.state().server_list_base_url, "https://servers.brindle.example");
  EXPECT_EQ(fx_.state().favourites_base_url, "https://fav.brindle.example");
  EXPECT_EQ(http_settings().request_user_agent, defaults_.request_user_agent);
  // Well-formed ones of each kind still pass.
  EXPECT_TRUE(IsMirrorAddress("[2001:db8::1]:8080"));
  EXPECT_TRUE(IsMirrorAddress("dl-2.brindle_x.example"));
  EXPECT_FALSE(IsMirrorAddress("host:"));
  EXPECT_FALSE(IsMirrorAddress(":80"));
  EXPECT_FALSE(IsMirrorAddress("host:0"));
  EXPECT_TRUE(IsServiceUrl("HTTPS://Servers.example:8443/api"));
  EXPECT_FALSE(IsServiceUrl("ftp://x.example"));
}

TEST_F(RemoteConfigTest, TenThousandObjects) {
  std::string text = "[";
  for (int i = 0; i < 10000; ++i) {
    if (i) text += ",";
    const char* line = kMirrorLineNames[static_cast<std::size_t>(i % 3)];
    text += R"({"servername":")" + std::string(line) + R"(","select":1,"dladdress":"host)" +
            std::to_string(i) + R"(.example","UserAgentDownload":"agent-)" + std::to_string(i) +
            R"(","notification_Message":")" + std::string(200, 'n') + R"("})";
  }
  text += "]";
  const auto start = std::chrono::steady_clock::now();
  const RemoteConfiguration c = Apply(text);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(c.objects, 10000);
  // The last object (index 9999, us1) wins the selection and each line keeps its last host.
  EXPECT_EQ(Selected(), names::kMirror1);
  EXPECT_EQ(Host(0), "host9999.example");
  EXPECT_EQ(Host(1), "host9997.example");
  EXPECT_EQ(Host(2), "host9998.example");
  EXPECT_EQ(fx_.state().download_user_agent, "agent-9999");
  // Not a timing test: only a guard against a quadratic walk (sanitised builds are slow).
  EXPECT_LT(took, std::chrono::seconds(60));
}

}  // namespace
}  // namespace brindle
