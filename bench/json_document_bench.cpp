// The server list through JsonDocument: parse the answer for 5,000 servers and read every
// member of every server by path, as the server page does. The reference runs the same work
// with plain nlohmann::json on the UTF-8 text (no GBK interface, no paths), so the figures
// compare as a ratio on whatever machine runs them.
//
// One object of 10,000, 100,000 and 1,000,000 members (a large or hostile answer): parsed and
// every member read by its path, in text order. per_member (seconds) must stay flat across the
// three sizes (the cost grows linearly); the nlohmann parse of the same text is the reference in
// the same run. The scattered variant reads the members out of order.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "foundation/encoding.h"
#include "foundation/json_document.h"

namespace {

constexpr int kServers = 5000;
constexpr const char* kFields[] = {"name",        "map_name", "comments", "players",
                                   "max_players", "ip",       "port"};

// An answer shaped like the community's: Chinese names and descriptions, counts as numbers.
const std::string& server_list_utf8() {
  static const std::string text = [] {
    const char* modes[] = {"僵尸逃跑", "躲猫猫", "竞技模式", "死亡竞赛", "越狱"};
    const char* maps[] = {"ze_FFVII_Mako_Reactor_v5_3", "de_dust2", "zm_lila_panic", "jb_summer"};
    nlohmann::json list = nlohmann::json::array();
    for (int i = 0; i < kServers; ++i) {
      list.push_back({
          {"name", std::string("[") + modes[i % 5] + "] Brindle 社区服务器 #" + std::to_string(i)},
          {"map_name", maps[i % 4]},
          {"comments", i % 3 == 0 ? "[cs2] 新手友好, 每日活动" : "欢迎加入 QQ群 123456"},
          {"players", i % 65},
          {"max_players", 64},
          {"ip", "10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250)},
          {"port", 27015 + i % 20},
      });
    }
    return list.dump();
  }();
  return text;
}

const std::string& server_list_gbk() {
  static const std::string text = brindle::utf8_to_gbk(server_list_utf8());
  return text;
}

// The least time of the repetitions (a "min" row): on a busy machine the least disturbed run.
double Least(const std::vector<double>& times) {
  return times.empty() ? 0.0 : *std::min_element(times.begin(), times.end());
}

std::size_t read_all(const brindle::JsonDocument& doc) {
  std::size_t bytes = 0;
  int count = doc.count("");
  std::string path;
  for (int i = 0; i < count; ++i) {
    for (const char* field : kFields) {
      // The caller's concatenation "[" + i + "]." + field, built in place.
      path = '[';
      path += std::to_string(i);
      path += "].";
      path += field;
      bytes += doc.get_value(path).size();
    }
  }
  return bytes;
}

void BM_JsonDocument_ParseAndReadAll(benchmark::State& state) {
  const std::string& text = server_list_gbk();
  for (auto _ : state) {
    brindle::JsonDocument doc;
    if (!doc.parse(text)) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(read_all(doc));
  }
  state.SetBytesProcessed(static_cast<long long>(state.iterations() * text.size()));
}
BENCHMARK(BM_JsonDocument_ParseAndReadAll)
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", Least);

void BM_JsonDocument_Parse(benchmark::State& state) {
  const std::string& text = server_list_gbk();
  for (auto _ : state) {
    brindle::JsonDocument doc;
    benchmark::DoNotOptimize(doc.parse(text));
  }
}
BENCHMARK(BM_JsonDocument_Parse)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Least);

void BM_JsonDocument_ReadAll(benchmark::State& state) {
  brindle::JsonDocument doc;
  if (!doc.parse(server_list_gbk())) state.SkipWithError("parse failed");
  for (auto _ : state) benchmark::DoNotOptimize(read_all(doc));
}
BENCHMARK(BM_JsonDocument_ReadAll)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Least);

// Reference: the library alone, members read by direct access and turned into text.
void BM_Reference_NlohmannParseAndReadAll(benchmark::State& state) {
  const std::string& text = server_list_utf8();
  for (auto _ : state) {
    nlohmann::json list = nlohmann::json::parse(text);
    std::size_t bytes = 0;
    for (const auto& server : list) {
      for (const char* field : kFields) {
        const auto& value = server[field];
        bytes +=
            value.is_string() ? value.get_ref<const std::string&>().size() : value.dump().size();
      }
    }
    benchmark::DoNotOptimize(bytes);
  }
  state.SetBytesProcessed(static_cast<long long>(state.iterations() * text.size()));
}
BENCHMARK(BM_Reference_NlohmannParseAndReadAll)
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", Least);

void BM_Reference_NlohmannParse(benchmark::State& state) {
  const std::string& text = server_list_utf8();
  for (auto _ : state) benchmark::DoNotOptimize(nlohmann::json::parse(text));
}
BENCHMARK(BM_Reference_NlohmannParse)->Unit(benchmark::kMillisecond);

// {"m0":0,"m1":1,...}: one object of n members.
const std::string& large_object(std::size_t members) {
  static std::map<std::size_t, std::string> texts;
  std::string& text = texts[members];
  if (text.empty()) {
    text = "{";
    for (std::size_t i = 0; i < members; ++i) {
      if (i > 0) text += ',';
      text += "\"m" + std::to_string(i) + "\":" + std::to_string(i);
    }
    text += '}';
  }
  return text;
}

// Parses the object of state.range(0) members and reads each member by its path, the i-th read
// taking member (i * stride) mod n: stride 1 reads in text order, a stride sharing no factor
// with n reads every member once in an order that jumps about the object.
void large_object_reads(benchmark::State& state, std::size_t stride) {
  const auto members = static_cast<std::size_t>(state.range(0));
  const std::string& text = large_object(members);
  std::string path;
  for (auto _ : state) {
    brindle::JsonDocument doc;
    if (!doc.parse(text)) state.SkipWithError("parse failed");
    std::size_t bytes = 0;
    std::size_t member = 0;
    for (std::size_t i = 0; i < members; ++i) {
      path = "m";
      path += std::to_string(member);
      bytes += doc.get_value(path).size();
      member += stride;  // stride is below members
      if (member >= members) member -= members;
    }
    benchmark::DoNotOptimize(bytes);
  }
  // Seconds per member (printed as e.g. "95n"): flat across the sizes when the cost is linear.
  state.counters["per_member"] = benchmark::Counter(
      static_cast<double>(members),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_JsonDocument_LargeObject(benchmark::State& state) { large_object_reads(state, 1); }
BENCHMARK(BM_JsonDocument_LargeObject)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

// The same reads out of text order (7919 is a prime), each name found through the object's
// index: past the caches at a million members, so this one is not expected to stay flat.
void BM_JsonDocument_LargeObjectScattered(benchmark::State& state) {
  large_object_reads(state, 7919);
}
BENCHMARK(BM_JsonDocument_LargeObjectScattered)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

void BM_Reference_NlohmannParseLargeObject(benchmark::State& state) {
  const std::string& text = large_object(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(nlohmann::json::parse(text));
}
BENCHMARK(BM_Reference_NlohmannParseLargeObject)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

}  // namespace
