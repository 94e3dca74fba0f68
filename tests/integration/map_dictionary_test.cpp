// The map name dictionary: loading MapData.json, the start-up hooks, the update from the forum
// through brindle-sim, and readers on other threads while a load runs.
#include "maps/map_dictionary.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "app/core.h"
#include "foundation/encoding.h"
#include "foundation/http_settings.h"
#include "foundation/string_map.h"
#include "servers/server_list.h"
#include "support/extractor_files.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"
#include "view/test_ports.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using test::SimProcess;

const char* const kDictionary = R"([
  {"mapname":"ze_a","cn_name":"甲"},
  {"mapname":"de_b","cn_name":"X"},
  {"mapname":"ze_\"q\"","cn_name":"带\"引\"号"},
  {"mapname":"dup","cn_name":"第一"},
  {"mapname":"dup","cn_name":"第二"},
  {"cn_name":"无名"},
  {"mapname":"no_cn"},
  {"mapname":"empty","cn_name":""},
  {"mapname":"num","cn_name":123}
])";

class MapDictionaryTest : public test::SharedSimSuite {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_->running()) << sim_->error();
    state_.program_dir = dir_.path().string();
    state_.data_dir = dir_.file("qdata");
    test::InstallPlaceholderExtractor(fs::path(state_.data_dir) / "7zip");
    state_.forum_base_url = sim_->http_url("/forum");
    fs::remove(fs::path(sim_->data_dir()) / "map_names.json");
    dictionary_.Reset();
  }

  void TearDown() override { core_.workers().StopAndJoin(); }

  std::string LocalPath() const { return state_.data_dir + "/MapData.json"; }
  void WriteLocal(const char* utf8) { test::spit(LocalPath(), utf8_to_gbk_counted(utf8)); }

  void RunUpdate(int answer) {
    ports().ScriptAnswer(answer);
    ASSERT_TRUE(UpdateMapDictionary(core_));
    WaitForWorkers();
  }

  void WaitForWorkers() {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (core_.workers().Running() != 0) {
      ASSERT_LT(std::chrono::steady_clock::now(), give_up);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  TestPorts& ports() { return tw_.ports(); }
  Window& window() { return tw_.window(); }

  test::TempDir dir_;
  TestWindow tw_;
  AppState state_;
  Core core_{state_, tw_.window()};
  MapNameDictionary dictionary_;
};

TEST_F(MapDictionaryTest, LoadKeepsTheRulesOfTheFile) {
  WriteLocal(kDictionary);
  EXPECT_EQ(LoadMapDictionary(core_), 5);
  EXPECT_EQ(dictionary_.Lookup("ze_a"), gbk("(甲)"));
  EXPECT_EQ(dictionary_.Lookup("de_b"), std::nullopt);  // one ASCII byte is no name
  EXPECT_EQ(dictionary_.Lookup("ze_q"), gbk("(带引号)"));
  EXPECT_EQ(dictionary_.Lookup("dup"), gbk("(第二)"));  // the later one wins, both counted
  EXPECT_EQ(dictionary_.Lookup("num"), "(123)");
  EXPECT_EQ(dictionary_.Lookup("no_cn"), std::nullopt);
  EXPECT_EQ(dictionary_.size(), 4);
  EXPECT_EQ(dictionary_.MapCell("ze_a"), gbk("ze_a(甲)"));
  EXPECT_EQ(dictionary_.MapCell("de_b"), "de_b");
  EXPECT_EQ(tw_.Statuses(),
            (std::vector<std::string>{gbk("正在加载地图翻译库..."), gbk("累计加载地图翻译:5")}));

  // A single Chinese character is two bytes and counts.
  WriteLocal(R"([{"mapname":"ze_one","cn_name":"一"}])");
  EXPECT_EQ(LoadMapDictionary(core_), 1);
  EXPECT_EQ(dictionary_.Lookup("ze_one"), gbk("(一)"));
  EXPECT_EQ(dictionary_.Lookup("ze_a"), gbk("(甲)"));  // loads add, they do not replace
}

TEST_F(MapDictionaryTest, MissingOrBrokenFileChangesNothingAndSaysNothing) {
  MapNameDictionaryMap().put("ze_keep", gbk("(留)"));
  EXPECT_EQ(LoadMapDictionary(core_), -1);
  WriteLocal(R"([{"mapname":"ze_a","cn_name":"甲"})");
  EXPECT_EQ(LoadMapDictionary(core_), -1);
  EXPECT_EQ(dictionary_.size(), 1);
  EXPECT_TRUE(tw_.Statuses().empty());
}

TEST_F(MapDictionaryTest, StartUpEmptiesThenTheInitialisationThreadLoads) {
  core_.AddFeature(std::make_unique<MapDictionaryFeature>());
  WriteLocal(kDictionary);
  MapNameDictionaryMap().put("stale", "(x)");
  ASSERT_TRUE(core_.OnMainWindowCreated());
  EXPECT_TRUE(dictionary_.empty());
  core_.OnStartupTimer();
  WaitForWorkers();  // the initialisation thread runs to its end
  EXPECT_EQ(dictionary_.Lookup("ze_a"), gbk("(甲)"));
  EXPECT_FALSE(dictionary_.Lookup("stale"));

  // A dictionary that holds entries is not loaded again.
  WriteLocal(R"([{"mapname":"ze_new","cn_name":"新"}])");
  core_.FindFeature<MapDictionaryFeature>()->OnInitThread(core_);
  EXPECT_FALSE(dictionary_.Lookup("ze_new"));
}

TEST_F(MapDictionaryTest, UpdateReplacesTheFileAndReloads) {
  WriteLocal(R"([{"mapname":"ze_old","cn_name":"旧图"}])");
  ASSERT_EQ(LoadMapDictionary(core_), 1);
  test::spit(fs::path(sim_->data_dir()) / "map_names.json",
             R"([{"mapname":"ze_new","cn_name":"新图","type":"ze"}])");
  {
    std::lock_guard lock(state_.mutex);
    state_.login.uid = "42";
  }
  EXPECT_EQ(MapDictionaryUrl(state_),
            sim_->http_url("/forum/plugin.php?id=tarn_core_api:MapLists&uid=42"));
  test::spit(LocalPath() + ".tmp", "left by an earlier run");
  window().controls().SetEnabled(names::kUpdateDictionary, true);

  RunUpdate(0);
  const auto boxes = ports().Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, gbk("更新成功!"));
  EXPECT_EQ(boxes[0].text, gbk("地图翻译更新成功 "));
  EXPECT_EQ(boxes[0].buttons, gbk("确定"));
  EXPECT_EQ(test::slurp(LocalPath()),
            gbk(R"([{"mapname":"ze_new","cn_name":"新图","type":"ze"}])"));
  EXPECT_FALSE(fs::exists(LocalPath() + ".tmp"));
  EXPECT_EQ(dictionary_.Lookup("ze_new"), gbk("(新图)"));
  EXPECT_EQ(dictionary_.Lookup("ze_old"), gbk("(旧图)"));  // kept until restart
  EXPECT_TRUE(window().controls().Enabled(names::kUpdateDictionary));
  const auto statuses = tw_.Statuses();
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), gbk("正在重新加载地图翻译字典...")),
            statuses.end());
}

TEST_F(MapDictionaryTest, FailedUpdatesKeepTheOldFileAndDictionary) {
  const char* old_text = R"([{"mapname":"ze_old","cn_name":"旧图"}])";
  WriteLocal(old_text);
  ASSERT_EQ(LoadMapDictionary(core_), 1);
  // A status outside 200-399, an error page, a cut transfer: none of them replaces the file.
  for (const char* base :
       {"/forum/status/404", "/forum/status/500", "/forum/fault/notjson", "/forum/fault/cut"}) {
    state_.forum_base_url = sim_->http_url(base);
    RunUpdate(0);
    ASSERT_FALSE(ports().Boxes().empty());
    EXPECT_EQ(ports().Boxes().back().title, gbk("更新失败!")) << base;
    EXPECT_EQ(ports().Boxes().back().text, gbk("服务器反馈错误 请稍后再试 "));
    EXPECT_EQ(test::slurp(LocalPath()), utf8_to_gbk_counted(old_text)) << base;
    EXPECT_TRUE(window().controls().Enabled(names::kUpdateDictionary));
  }
  EXPECT_EQ(dictionary_.size(), 1);
  // Nothing listening at all.
  state_.forum_base_url = "http://127.0.0.1:1";
  RunUpdate(0);
  EXPECT_EQ(ports().Boxes().back().title, gbk("更新失败!"));
  EXPECT_EQ(ports().Boxes().size(), 5u);
}

TEST_F(MapDictionaryTest, AFileThatCannotBeReplacedIsAFailure) {
  fs::create_directories(LocalPath());  // a folder where the file should be
  RunUpdate(0);
  EXPECT_EQ(ports().Boxes().back().title, gbk("更新失败!"));
  EXPECT_TRUE(dictionary_.empty());
}

TEST_F(MapDictionaryTest, ServerListReadsWhileALoadWrites) {
  const std::string text = utf8_to_gbk_counted(kDictionary);
  const std::string answer = R"([{"name":"a","map_name":"ze_a","ip":"1.1.1.1","port":1},)"
                             R"({"name":"b","map_name":"dup","ip":"1.1.1.2","port":1}])";
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 200; ++i) {
      if (i % 50 == 0) dictionary_.Reset();
      dictionary_.AddDocument(text);
    }
    done = true;
  });
  const ServerRowOptions options = ServerRowOptionsFor(state_);
  int reads = 0;
  while (!done || reads == 0) {
    std::vector<ServerRow> rows;
    ASSERT_TRUE(BuildServerRows(answer, "AllServers", options, rows));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_TRUE(rows[0].map == "ze_a" || rows[0].map == gbk("ze_a(甲)")) << rows[0].map;
    EXPECT_TRUE(rows[1].map == "dup" || rows[1].map == gbk("dup(第一)") ||
                rows[1].map == gbk("dup(第二)"));
    ++reads;
  }
  writer.join();
}

}  // namespace
}  // namespace brindle
