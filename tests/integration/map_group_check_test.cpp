// The map requirement check against brindle-sim's group lists: the rows and the label for the
// game folder and for the download cache, the busy state, the refusal while a download is
// queued, and lists that are broken in every way a service can break them.
#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <nlohmann/json.hpp>
#include <vector>

#include "foundation/encoding.h"
#include "foundation/http_client.h"
#include "maps/map_check.h"
#include "support/maps_fixture.h"
#include "view/control_names.h"
#include "view/window.h"

namespace brindle {
namespace {

using test::MapsFixture;

class MapGroupCheckTest : public MapsFixture {
 protected:
  nlohmann::json ServedList(const std::string& group) {
    int status = 0;
    const Bytes body =
        http_request(sim_->http_url("/software/mapdata/" + group + ".html"), {}, &status);
    EXPECT_EQ(status, 200);
    return nlohmann::json::parse(body);
  }
  // Runs the group's button and waits for its worker.
  void Press(const char* button) {
    ASSERT_TRUE(window().Activate(button));
    ASSERT_TRUE(fx().WaitForWorkers());
  }
  std::string Label() { return window().controls().Caption(names::kDownloadSummary); }
  std::vector<ListRow> Rows() { return window().resources().Rows(); }
};

TEST_F(MapGroupCheckTest, ButtonListsEveryMissingMapOfItsGroup) {
  const nlohmann::json maps = ServedList("ze");
  ASSERT_GE(maps.size(), 3u);
  IntoGame(true);
  std::vector<std::pair<std::string, bool>> enabled;  // 开始下载's availability over time
  std::mutex mutex;
  window().controls().SetObserver([&](const std::string& name, const ControlState& s) {
    std::lock_guard lock(mutex);
    if (name == names::kStartDownload) enabled.emplace_back(name, s.enabled);
  });
  ports().StartClock(names::kClockQueue, 2000);
  Press("下载资源_ZE1");  // 僵尸逃跑 = ze

  const auto rows = Rows();
  ASSERT_EQ(rows.size(), maps.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i][cols::kResMapName], maps[i]["mapname"].get<std::string>());
    EXPECT_EQ(rows[i][cols::kResStatus], gbk("需要下载"));
    EXPECT_EQ(rows[i][cols::kResUrl], maps[i]["download"].get<std::string>());
    EXPECT_EQ(rows[i][cols::kResChineseName], gbk(maps[i]["cn_name"].get<std::string>()));
  }
  EXPECT_EQ(Label(), FoundMapsText(static_cast<int>(maps.size())));
  // Busy while the rows went in, available again afterwards; the queue clock was stopped.
  std::lock_guard lock(mutex);
  EXPECT_EQ(enabled, (std::vector<std::pair<std::string, bool>>{{names::kStartDownload, false},
                                                                {names::kStartDownload, true}}));
  EXPECT_FALSE(downloads().Fetching());
  EXPECT_FALSE(ports().ClockRunning(names::kClockQueue));
}

TEST_F(MapGroupCheckTest, LocalMapsOfTheRightSizeNeedNothingAndOthersMismatch) {
  const nlohmann::json maps = ServedList("surf");
  ASSERT_GE(maps.size(), 3u);
  const std::string exact = maps[0]["mapname"];
  const std::string other = maps[1]["mapname"];
  const auto size = std::stoull(maps[0]["size"].get<std::string>());
  test::spit(MapFile(exact + ".bsp"), std::string(size, 'x'));
  test::spit(MapFile(other + ".bsp"), "an older build");
  IntoGame(true);
  EXPECT_EQ(downloads().RunMapCheck("surf"), static_cast<int>(maps.size()) - 2);
  const auto rows = Rows();
  ASSERT_EQ(rows.size(), maps.size() - 1);
  EXPECT_EQ(rows[0][cols::kResMapName], other);
  EXPECT_EQ(rows[0][cols::kResStatus], gbk("地图与服务器不匹配"));
  EXPECT_EQ(window().resources().FindRow(cols::kResMapName, exact), -1);

  // The option off looks in the (emptied) download cache only and always reports 0.
  IntoGame(false);
  test::spit(CacheFile(exact + ".bsp.bz2"), "compressed");
  EXPECT_EQ(downloads().RunMapCheck("surf"), 0);
  EXPECT_EQ(Rows().size(), maps.size() - 1);
  EXPECT_EQ(Rows()[0][cols::kResStatus], gbk("没有下载[未选择地图检查]"));
  EXPECT_EQ(Label(), FoundMapsText(0));
}

TEST_F(MapGroupCheckTest, AGroupClickedWhileAnotherIsFetchedWinsAndRowsStayUsable) {
  const nlohmann::json surf = ServedList("surf");
  IntoGame(true);
  std::string base;
  {
    std::lock_guard lock(fx().state().mutex);
    base = fx().state().software_base_url;
    // The first group's list does not come for a while (a 504 in the end).
    fx().state().software_base_url = sim_->http_url("/test/stall?headers=0&max_ms=3000&at=");
  }
  const std::int64_t stalls = sim_->request_count("/test/stall");
  ASSERT_TRUE(downloads().CheckMapGroup("ze"));
  ASSERT_TRUE(test::Eventually([&] { return sim_->request_count("/test/stall") > stalls; }));
  {
    std::lock_guard lock(fx().state().mutex);
    fx().state().software_base_url = base;
  }
  // The busy state begins after the fetch: a row double-click is not told to wait meanwhile.
  window().resources().Append({"kept", gbk("需要下载"), Primary("/maps/empty/kept.bsp"), ""});
  downloads().StartSelected();
  EXPECT_TRUE(ports().Notices().empty());
  EXPECT_TRUE(downloads().CheckMapGroup("surf"));
  ASSERT_TRUE(fx().WaitForWorkers());
  // The later click's list, whatever became of the earlier fetch.
  ASSERT_EQ(Rows().size(), surf.size());
  EXPECT_EQ(Rows()[0][cols::kResMapName], surf[0]["mapname"].get<std::string>());
  EXPECT_EQ(Label(), FoundMapsText(static_cast<int>(surf.size())));
  EXPECT_FALSE(downloads().Fetching());
}

TEST_F(MapGroupCheckTest, WithoutAMapsFolderEveryMapIsMissingAndNothingIsCopied) {
  const nlohmann::json surf = ServedList("surf");
  IntoGame(true);
  {
    std::lock_guard lock(fx().state().mutex);
    fx().state().game.csgo_map_dir.clear();
    fx().state().game.cs2_map_dir.clear();
  }
  // No file is looked for (nor later copied) relative to the working directory.
  EXPECT_EQ(downloads().RunMapCheck("surf"), static_cast<int>(surf.size()));
  for (const ListRow& row : Rows()) EXPECT_EQ(row[cols::kResStatus], gbk("需要下载"));
  const TaskOutcome copy = Final(Queue(Primary("/maps/awp_lego_2.bsp")));
  EXPECT_EQ(copy.result, TaskResult::kFailed);
  EXPECT_EQ(TaskFailureText(copy), gbk("您的路径设置似乎不正确!"));
  EXPECT_FALSE(std::filesystem::exists("awp_lego_2.bsp"));
}

TEST_F(MapGroupCheckTest, RefusedWhileADownloadIsQueued) {
  window().resources().Append({"kept", "", "", ""});
  Queue(Primary("/maps/empty/a.bsp"));
  EXPECT_FALSE(downloads().CheckMapGroup("ze"));
  EXPECT_EQ(ports().Notices(), std::vector<std::string>{gbk("请等待下载任务完成..")});
  EXPECT_EQ(Rows().size(), 1u);
}

TEST_F(MapGroupCheckTest, BrokenListsEndTheBusyStateWithoutRows) {
  IntoGame(true);
  window().resources().Append({"stale", "", "", ""});
  ScriptList("broken_text", "<html>maintenance</html>");
  EXPECT_EQ(downloads().RunMapCheck("broken_text"), -1);
  // Said where the player looks, with what failed.
  EXPECT_EQ(Label(), gbk("无法获取地图列表(返回的数据无法读取),请稍后再点击分类按钮重试"));
  ScriptList("broken_status", "", 500);
  EXPECT_EQ(downloads().RunMapCheck("broken_status"), -1);
  // An error answer is no list even when its body reads as one.
  ScriptList("error_list", R"([{"mapname":"from_an_error_page"}])", 500);
  EXPECT_EQ(downloads().RunMapCheck("error_list"), -1);
  EXPECT_EQ(downloads().RunMapCheck("no_such_group"), -1);  // 404 with an HTML page
  EXPECT_TRUE(Rows().empty());
  EXPECT_EQ(Label(), gbk("无法获取地图列表(服务返回错误 HTTP 404),请稍后再点击分类按钮重试"));
  EXPECT_TRUE(window().controls().Enabled(names::kStartDownload));
  EXPECT_TRUE(window().controls().Enabled("下载资源_ZE3"));
  EXPECT_FALSE(downloads().Fetching());

  ScriptList("empty", "[]");
  EXPECT_EQ(downloads().RunMapCheck("empty"), 0);
  EXPECT_EQ(Label(), FoundMapsText(0));
  ScriptList("object", R"({"mapname":"x"})");
  EXPECT_EQ(downloads().RunMapCheck("object"), 0);
  EXPECT_TRUE(Rows().empty());
}

TEST_F(MapGroupCheckTest, MapNamesThatArePathsAreLeftOut) {
  IntoGame(true);
  ScriptList("paths", R"([{"mapname":"../../../../../etc/passwd"},{"mapname":".."},
    {"mapname":"a\\b"},{"mapname":"c:x"},{"mapname":"ok_map"}])");
  EXPECT_EQ(downloads().RunMapCheck("paths"), 1);
  ASSERT_EQ(Rows().size(), 1u);
  EXPECT_EQ(Rows()[0][cols::kResMapName], "ok_map");
}

TEST_F(MapGroupCheckTest, OddMembersGiveTheDocumentedRows) {
  IntoGame(true);
  test::spit(MapFile("m_text_size.bsp"), "local");
  ScriptList("odd", R"([
    {"mapname":"m_bare"},
    {"mapname":"m_dup","download":"http://x/first.bsp","cn_name":"第一"},
    {"mapname":"m_dup","download":"http://x/second.bsp","cn_name":"第二"},
    {"mapname":"m_text_size","size":"abc","download":"http://x/t.bsp"},
    {"mapname":"m_num","size":123456,"download":"http://x/n.bsp","cn_name":7},
    {"download":"http://x/nameless.bsp"}
  ])");
  EXPECT_EQ(downloads().RunMapCheck("odd"), 4);
  EXPECT_EQ(Rows(), (std::vector<ListRow>{
                        {"m_bare", gbk("需要下载"), "", "", "", "", ""},
                        {"m_dup", gbk("需要下载"), "http://x/first.bsp", gbk("第一"), "", "", ""},
                        {"m_num", gbk("需要下载"), "http://x/n.bsp", "7", "", "", ""},
                        {"", gbk("需要下载"), "http://x/nameless.bsp", "", "", "", ""}}));
}

}  // namespace
}  // namespace brindle
