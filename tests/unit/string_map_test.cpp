#include "foundation/string_map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "foundation/encoding.h"

namespace brindle {
namespace {

std::vector<std::string> keys_of(const StringMap& map) {
  std::vector<std::string> keys;
  map.keys(keys);
  return keys;
}

TEST(StringMapHash, WrapsAsSigned32BitOverBytes) {
  EXPECT_EQ(StringMap::hash(""), 0);
  EXPECT_EQ(StringMap::hash("a"), 97);
  EXPECT_EQ(StringMap::hash("ab"), 97 * 31 + 98);
  EXPECT_EQ(StringMap::hash("hello world"), 1794106052);
  EXPECT_EQ(StringMap::hash("ze_mapname_v1"), -21008025);
  EXPECT_EQ(StringMap::hash(std::string(8, '\xFF')), -330977408);  // bytes count as 0-255
  EXPECT_EQ(StringMap::hash(gbk("地图")), 5606290);
}

TEST(StringMapHash, BucketIndexKeepsTheSignOfTheHash) {
  EXPECT_EQ(StringMap::bucket_index(97, 16), 2);
  EXPECT_EQ(StringMap::bucket_index(-21008025, 16), 10);  // -21008025 rem 16 = -9
  EXPECT_EQ(StringMap::bucket_index(-21008025, 32), 26);
  EXPECT_EQ(StringMap::bucket_index(0, 16), 1);
  EXPECT_EQ(StringMap::bucket_index(std::numeric_limits<std::int32_t>::min(), 16), 1);
  EXPECT_EQ(StringMap::bucket_index(std::numeric_limits<std::int32_t>::min(), 3), 3);
  EXPECT_EQ(StringMap::bucket_index(5, 0), 0);
  EXPECT_EQ(StringMap::bucket_index(5, -4), 0);
}

TEST(StringMapGrowth, TwelveKeysGiveThirtyTwoBuckets) {
  StringMap map;
  EXPECT_EQ(map.bucket_count(), 16);
  EXPECT_EQ(map.threshold(), 12);
  for (int i = 0; i < 11; ++i) ASSERT_TRUE(map.put("k" + std::to_string(i), "v"));
  EXPECT_EQ(map.bucket_count(), 16);
  ASSERT_TRUE(map.put("k11", "v"));
  EXPECT_EQ(map.bucket_count(), 32);
  EXPECT_EQ(map.threshold(), 24);
  EXPECT_EQ(map.count(), 12);
  for (int i = 0; i < 12; ++i) EXPECT_TRUE(map.contains("k" + std::to_string(i)));
}

TEST(StringMapGrowth, TheRuleLooksAtTheInsertCounterBeforeEveryPut) {
  StringMap map;
  for (int i = 0; i < 11; ++i) ASSERT_TRUE(map.put("k" + std::to_string(i), "v"));
  ASSERT_TRUE(map.put("k0", "replaced"));  // no new key, but the counter check comes first
  EXPECT_EQ(map.bucket_count(), 32);
  EXPECT_EQ(map.count(), 11);
}

TEST(StringMapGrowth, RemovalsLowerTheInsertCounterOnlyWhenABucketEmpties) {
  StringMap map;
  // "a".."k" hash to 97..107: eleven different buckets of sixteen.
  for (char c = 'a'; c <= 'k'; ++c) ASSERT_TRUE(map.put(std::string(1, c), "v"));
  ASSERT_TRUE(map.remove("a"));    // its bucket empties: counter 10
  ASSERT_TRUE(map.put("l", "v"));  // counter 11
  EXPECT_EQ(map.bucket_count(), 16);
  ASSERT_TRUE(map.put("q", "v"));  // 11 + 1 reaches the threshold of 12
  EXPECT_EQ(map.bucket_count(), 32);

  StringMap shared;
  ASSERT_TRUE(shared.put("a", "1"));
  ASSERT_TRUE(shared.put("q", "2"));  // 113: the same bucket as "a"
  for (char c = 'b'; c <= 'j'; ++c) ASSERT_TRUE(shared.put(std::string(1, c), "v"));
  ASSERT_TRUE(shared.remove("a"));  // bucket keeps "q": counter stays 11
  EXPECT_EQ(shared.count(), 10);
  ASSERT_TRUE(shared.put("z", "v"));
  EXPECT_EQ(shared.bucket_count(), 32);
}

TEST(StringMapOrder, BucketsInIndexOrderEntriesInInsertionOrder) {
  StringMap map;
  // Buckets of 16: "b" -> 3, "q" -> 2, "a" -> 2, "" -> 1.
  ASSERT_TRUE(map.put("b", "B"));
  ASSERT_TRUE(map.put("q", "Q"));
  ASSERT_TRUE(map.put("a", "A"));
  ASSERT_TRUE(map.put("", "empty"));
  EXPECT_EQ(keys_of(map), (std::vector<std::string>{"", "q", "a", "b"}));
  std::vector<std::string> values;
  EXPECT_EQ(map.values(values), 4);
  EXPECT_EQ(values, (std::vector<std::string>{"empty", "Q", "A", "B"}));
  std::string key, value;
  ASSERT_TRUE(map.entry_at(3, key, value));
  EXPECT_EQ(key, "a");
  EXPECT_EQ(value, "A");
  EXPECT_FALSE(map.entry_at(0, key, value));
  EXPECT_FALSE(map.entry_at(5, key, value));
  EXPECT_EQ(key, "");
  EXPECT_EQ(value, "");
}

TEST(StringMapPut, ReplaceKeepAndCase) {
  StringMap map;
  ASSERT_TRUE(map.put("Map", "1"));
  EXPECT_TRUE(map.put("Map", "2"));
  EXPECT_EQ(map.count(), 1);
  EXPECT_FALSE(map.put("Map", "3", true));
  std::string value;
  ASSERT_TRUE(map.get("Map", value));
  EXPECT_EQ(value, "2");
  ASSERT_TRUE(map.put("map", "lower"));
  EXPECT_EQ(map.count(), 2);
  EXPECT_FALSE(map.get("MAP", value));
  EXPECT_EQ(value, "");
  ASSERT_TRUE(map.put("", std::string("\0bin\0", 5)));
  ASSERT_TRUE(map.get("", value));
  EXPECT_EQ(value, std::string("\0bin\0", 5));
  ASSERT_TRUE(map.put(gbk("地图"), gbk("(僵尸逃跑)")));
  ASSERT_TRUE(map.get(gbk("地图"), value));
  EXPECT_EQ(value, gbk("(僵尸逃跑)"));
}

TEST(StringMapConfigure, ArgumentsOutsideTheirRangeFailAndChangeNothing) {
  StringMap map;
  ASSERT_TRUE(map.put("keep", "me"));
  EXPECT_FALSE(map.configure(std::nullopt, 0.0));
  EXPECT_FALSE(map.configure(std::nullopt, 1.5));
  EXPECT_FALSE(map.configure(std::nullopt, -0.5));
  EXPECT_FALSE(map.configure(std::nullopt, std::nan("")));
  EXPECT_FALSE(map.configure(-1));
  EXPECT_FALSE(map.configure(64, 2.0));  // a bad factor stops the bucket change too
  EXPECT_FALSE(map.configure(std::int64_t{1} << 40));
  EXPECT_TRUE(map.contains("keep"));
  EXPECT_EQ(map.bucket_count(), 16);
  EXPECT_DOUBLE_EQ(map.load_factor(), 0.75);

  EXPECT_TRUE(map.configure(std::nullopt, 1.0));
  EXPECT_EQ(map.threshold(), 16);
  EXPECT_TRUE(map.contains("keep"));  // a factor alone keeps the entries

  EXPECT_TRUE(map.configure(17));
  EXPECT_EQ(map.bucket_count(), 32);
  EXPECT_EQ(map.count(), 0);
  EXPECT_FALSE(map.contains("keep"));
  EXPECT_TRUE(map.configure(0, 0.5));
  EXPECT_EQ(map.bucket_count(), 1);
  EXPECT_EQ(map.threshold(), 1);  // 0.5 rounds up
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(map.put(std::to_string(i), "v"));
  EXPECT_EQ(map.count(), 100);
  EXPECT_EQ(map.bucket_count(), 256);
}

TEST(StringMapMisc, CopyClearRehashAndEntries) {
  StringMap map;
  for (int i = 0; i < 30; ++i) ASSERT_TRUE(map.put("key" + std::to_string(i), std::to_string(i)));
  auto copy = map.copy();
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(keys_of(*copy), keys_of(map));
  EXPECT_EQ(copy->bucket_count(), map.bucket_count());
  ASSERT_TRUE(copy->put("only in copy", "x"));
  EXPECT_FALSE(map.contains("only in copy"));

  map.rehash(7);
  EXPECT_EQ(map.bucket_count(), 7);
  map.rehash(0);  // ignored: the entries stay reachable
  EXPECT_EQ(map.bucket_count(), 7);
  std::vector<std::string> keys, values;
  EXPECT_EQ(map.entries(keys, values), 30);
  for (std::size_t i = 0; i < keys.size(); ++i) EXPECT_EQ("key" + values[i], keys[i]);

  map.clear();
  EXPECT_TRUE(map.is_empty());
  EXPECT_EQ(map.bucket_count(), 7);
  EXPECT_EQ(map.entries(keys, values), 0);
  EXPECT_TRUE(keys.empty());
  EXPECT_FALSE(map.remove("key1"));
}

// Against std::unordered_map under a long random sequence; the enumeration must also keep to
// the bucket rule throughout.
TEST(StringMapModel, RandomOperationsMatchAStandardMap) {
  StringMap map;
  std::unordered_map<std::string, std::string> model;
  std::mt19937 rng(7);
  std::vector<std::string> pool;
  for (int i = 0; i < 400; ++i) {
    std::string key = "k" + std::to_string(i * 7919 % 1000);
    if (i % 5 == 0) key += '\xB5';
    if (i % 11 == 0) key.push_back('\0');
    pool.push_back(key);
  }
  pool.push_back("");
  for (int step = 0; step < 20000; ++step) {
    const std::string& key = pool[rng() % pool.size()];
    const std::string value = std::to_string(rng());
    switch (rng() % 5) {
      case 0:
      case 1: {
        const bool keep = rng() % 3 == 0;
        const bool existed = model.count(key) > 0;
        EXPECT_EQ(map.put(key, value, keep), !(keep && existed));
        if (!(keep && existed)) model[key] = value;
        break;
      }
      case 2:
        EXPECT_EQ(map.remove(key), model.erase(key) > 0);
        break;
      case 3: {
        std::string got;
        const auto it = model.find(key);
        EXPECT_EQ(map.get(key, got), it != model.end());
        EXPECT_EQ(got, it != model.end() ? it->second : "");
        break;
      }
      default:
        EXPECT_EQ(map.contains(key), model.count(key) > 0);
    }
    ASSERT_EQ(map.count(), static_cast<int>(model.size())) << "step " << step;
    if (step % 1000 == 0) {
      std::vector<std::string> keys, values;
      ASSERT_EQ(map.entries(keys, values), static_cast<int>(model.size()));
      int last = 0;
      for (std::size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(model.at(keys[i]), values[i]);
        const int index = StringMap::bucket_index(StringMap::hash(keys[i]), map.bucket_count());
        EXPECT_GE(index, last);
        last = index;
      }
    }
  }
}

TEST(StringMapThreads, ConcurrentWritersAndReaders) {
  StringMap map;
  constexpr int kThreads = 4;
  constexpr int kKeys = 2000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::string prefix = "t" + std::to_string(t) + "_";
      for (int i = 0; i < kKeys; ++i) {
        EXPECT_TRUE(map.put(prefix + std::to_string(i), std::to_string(i * t)));
        if (i % 3 == 0) {
          EXPECT_TRUE(map.remove(prefix + std::to_string(i)));
        }
      }
    });
  }
  threads.emplace_back([&] {  // the progress refresh enumerating while the workers write
    for (int round = 0; round < 100; ++round) {
      std::vector<std::string> keys, values;
      const int n = map.entries(keys, values);
      EXPECT_EQ(static_cast<std::size_t>(n), keys.size());
      std::string key, value;
      map.entry_at(1, key, value);
    }
  });
  for (auto& th : threads) th.join();
  const int expected_per_thread = kKeys - (kKeys + 2) / 3;
  EXPECT_EQ(map.count(), kThreads * expected_per_thread);
  std::string value;
  ASSERT_TRUE(map.get("t3_1999", value));
  EXPECT_EQ(value, std::to_string(1999 * 3));
  EXPECT_FALSE(map.contains("t2_999"));
}

TEST(StringMapInstances, ThreeDistinctProcessWideMaps) {
  StringMap& progress = DownloadProgressMap();
  StringMap& extraction = ExtractionMap();
  StringMap& names = MapNameDictionaryMap();
  EXPECT_EQ(&progress, &DownloadProgressMap());
  EXPECT_NE(&progress, &extraction);
  EXPECT_NE(&extraction, &names);
  for (StringMap* m : {&progress, &extraction, &names}) {
    EXPECT_EQ(m->bucket_count(), 16);
    EXPECT_DOUBLE_EQ(m->load_factor(), 0.75);
  }
}

}  // namespace
}  // namespace brindle
