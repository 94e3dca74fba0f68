// The map requirement check's rules: the group buttons and their keys, the size text, and the
// classification of one map against real files at the size boundaries.
#include "maps/map_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "foundation/encoding.h"
#include "foundation/settings_file.h"
#include "support/temp_dir.h"
#include "view/control_names.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;

TEST(MapGroupsTest, FifteenButtonsEachWithItsOwnKeyInDesignOrder) {
  const auto groups = MapGroups();
  ASSERT_EQ(groups.size(), names::kMapGroupButtons.size());
  std::set<std::string> keys;
  for (std::size_t i = 0; i < groups.size(); ++i) {
    EXPECT_STREQ(groups[i].button, names::kMapGroupButtons[i]);
    // The caption is the one the window shows on that button.
    EXPECT_STREQ(groups[i].caption, names::find_control(groups[i].button)->caption);
    keys.insert(groups[i].key);
  }
  EXPECT_EQ(keys,
            (std::set<std::string>{"deathrun", "kz", "ze", "35hp", "mgdk", "jb", "bhop", "hns",
                                   "hg", "csde", "ttt", "othermap", "surf", "zm", "awp"}));
  EXPECT_STREQ(FindMapGroup("ze")->button, "下载资源_ZE1");
  EXPECT_STREQ(FindMapGroup("越狱")->key, "jb");
  EXPECT_STREQ(FindMapGroup("躲猫猫")->key, "hns");
  EXPECT_EQ(FindMapGroup("ZE"), nullptr);
  EXPECT_EQ(FindMapGroup(""), nullptr);
}

TEST(MapListTest, ReadsEveryElementAndRejectsOnlyNonJson) {
  EXPECT_FALSE(ReadMapList(""));
  EXPECT_FALSE(ReadMapList("[{\"mapname\":"));
  EXPECT_EQ(ReadMapList("{\"ze\":[{\"mapname\":\"a\"}]}")->size(), 0u);  // no array, no maps
  const auto maps = ReadMapList(
      gbk(R"([{"mapname":"ze_a","size":"332455","cn_name":"逃离神庙"},{"mapname":7},null,"x"])"));
  ASSERT_TRUE(maps);
  ASSERT_EQ(maps->size(), 4u);
  EXPECT_EQ((*maps)[0].mapname, "ze_a");
  EXPECT_EQ((*maps)[0].size, "332455");
  EXPECT_EQ((*maps)[0].cn_name, gbk("逃离神庙"));
  EXPECT_EQ((*maps)[1].mapname, "7");  // members read as text
  EXPECT_EQ((*maps)[2].mapname, "");
  EXPECT_EQ((*maps)[3].download, "");
}

TEST(MapCheckTextTest, SizesStatusesAndLabel) {
  EXPECT_EQ(TextToInt64("157286401"), 157286401);
  EXPECT_EQ(TextToInt64(" 42abc"), 42);
  EXPECT_EQ(TextToInt64("abc"), 0);
  EXPECT_EQ(TextToInt64(""), 0);
  EXPECT_EQ(TextToInt64("-7"), -7);
  EXPECT_EQ(TextToInt64("5000000000"), 5000000000);  // past 32 bits
  EXPECT_EQ(TextToInt64("99999999999999999999999"), INT64_MAX);
  EXPECT_EQ(MapStatusText(MapStatus::kNeedsDownload), gbk("需要下载"));
  EXPECT_EQ(MapStatusText(MapStatus::kMismatch), gbk("地图与服务器不匹配"));
  EXPECT_EQ(MapStatusText(MapStatus::kNotInCache), gbk("没有下载[未选择地图检查]"));
  EXPECT_EQ(FoundMapsText(0), gbk("找到可下载地图 0个"));
  EXPECT_EQ(FoundMapsText(12), gbk("找到可下载地图 12个"));
}

class ClassifyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.path() / "maps");
    fs::create_directories(dir_.path() / "cache");
  }
  // A file of `size` bytes (sparse: the big boundaries cost no disk).
  void Make(const std::string& relative, std::uintmax_t size) {
    test::spit(dir_.path() / relative, "");
    fs::resize_file(dir_.path() / relative, size);
  }
  std::vector<MapStatus> Game(const std::string& name, const std::string& size) {
    return ClassifyMap({name, "", size, "", "", "", "", ""}, true, dir_.dir() + "maps/",
                       dir_.dir() + "cache/");
  }
  std::vector<MapStatus> Cache(const std::string& name, const std::string& size) {
    return ClassifyMap({name, "", size, "", "", "", "", ""}, false, dir_.dir() + "maps/",
                       dir_.dir() + "cache/");
  }
  test::TempDir dir_;
};

using Rows = std::vector<MapStatus>;

TEST_F(ClassifyTest, GameFolderComparesSizesAboveOneHundredBytes) {
  EXPECT_EQ(Game("ze_missing", "500"), Rows{MapStatus::kNeedsDownload});
  Make("maps/ze_exact.bsp", 500);
  EXPECT_EQ(Game("ze_exact", "500"), Rows{});
  EXPECT_EQ(Game("ze_exact", "499"), Rows{MapStatus::kMismatch});  // one byte more locally
  Make("maps/ze_small.bsp", 7);
  EXPECT_EQ(Game("ze_small", "100"), Rows{});  // 100 never mismatches
  EXPECT_EQ(Game("ze_small", "101"), Rows{MapStatus::kMismatch});
  EXPECT_EQ(Game("ze_small", ""), Rows{});     // no size: 0
  EXPECT_EQ(Game("ze_small", "abc"), Rows{});  // not a number: 0
  // A folder in the map's place exists but has no size: no row at all.
  fs::create_directories(dir_.path() / "maps" / "ze_folder.bsp");
  EXPECT_EQ(Game("ze_folder", "500"), Rows{});
  // Sizes past 4 GiB are compared in full, not by their low 32 bits.
  Make("maps/ze_huge.bsp", 4294967296ull + 500);
  EXPECT_EQ(Game("ze_huge", "500"), Rows{MapStatus::kMismatch});
  EXPECT_EQ(Game("ze_huge", "4294967796"), Rows{});
}

TEST_F(ClassifyTest, CacheFindsLargeMapsOnlyAsPlainBsp) {
  EXPECT_EQ(Cache("ze_none", "1000"), Rows{MapStatus::kNotInCache});
  // 150 MiB exactly: either form counts.
  Make("cache/ze_edge.bsp.bz2", 10);
  EXPECT_EQ(Cache("ze_edge", "157286400"), Rows{});
  // One byte more: only the .bsp counts, the .bz2 does not.
  EXPECT_EQ(Cache("ze_edge", "157286401"), Rows{MapStatus::kNotInCache});
  Make("cache/ze_edge.bsp", 157286401);
  EXPECT_EQ(Cache("ze_edge", "157286401"), Rows{});
  EXPECT_EQ(Cache("ze_edge", "157286400"), Rows{MapStatus::kMismatch});  // the .bsp is compared
  Make("cache/ze_plain.bsp", 300);
  EXPECT_EQ(Cache("ze_plain", "300"), Rows{});
  EXPECT_EQ(Cache("ze_plain", "301"), Rows{MapStatus::kMismatch});
}

}  // namespace
}  // namespace brindle
