// The server list from reply to filled model: a 5,000-server answer from brindle-sim
// (--servers 5000), fetched once, then turned into the rows of 服务器列表_EX for "AllServers" and
// for "娱乐综合" (20 keywords), with the map name dictionary loaded from the sim's forum. The
// references in the same run: the bare JSON parse of the same text (nlohmann) and the
// JsonDocument parse of its GBK form, so the figures read as ratios on any machine. A last
// benchmark times a whole LoadServerList over loopback, network included, for context.
//
// brindle-sim is found beside the build (../sim/brindle-sim from this program) or at $BRINDLE_SIM.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "app/core.h"
#include "foundation/encoding.h"
#include "foundation/http_client.h"
#include "foundation/http_settings.h"
#include "foundation/json_document.h"
#include "foundation/string_map.h"
#include "maps/map_dictionary.h"
#include "platform/platform.h"
#include "servers/categories.h"
#include "servers/server_list.h"
#include "view/headless_ports.h"

namespace {

namespace fs = std::filesystem;
using namespace brindle;

constexpr int kServers = 5000;

// brindle-sim serving kServers generated servers, for the whole run.
class Sim {
 public:
  Sim() {
    (void)http_global_init();
    const char* given = std::getenv("BRINDLE_SIM");
    const fs::path sim = given != nullptr ? fs::path(given)
                                          : fs::read_symlink("/proc/self/exe").parent_path() /
                                                ".." / "sim" / "brindle-sim";
    dir_ = fs::temp_directory_path() / ("server_list_bench." + std::to_string(::getpid()));
    fs::create_directories(dir_);
    const std::string addr = (dir_ / "addr").string();
    process_ = platform::spawn_process(
        {sim.string(), "--no-https", "--servers", std::to_string(kServers), "--addr-file", addr},
        "", true);
    for (int i = 0; i < 500 && base_.empty(); ++i) {
      platform::sleep_ms(20);
      std::string text;
      if (!platform::read_file(addr, text)) continue;
      if (auto at = text.find("http="); at != std::string::npos) {
        base_ = text.substr(at + 5, text.find('\n', at) - at - 5);
      }
    }
    if (base_.empty()) {
      std::fprintf(stderr, "server_list_bench: brindle-sim did not start (%s)\n",
                   sim.string().c_str());
      std::exit(1);
    }
    reply_ = http_request(base_ + "/serverlist/api/servers?game=csgo");
    const std::string maps = http_request(base_ + "/forum/plugin.php?id=tarn_core_api:MapLists");
    MapNameDictionary().AddDocument(maps);
  }
  ~Sim() {
    int code = 0;
    (void)platform::kill_process(process_);
    (void)platform::wait_process(process_, -1, code);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  const std::string& base() const { return base_; }
  const std::string& reply() const { return reply_; }

 private:
  fs::path dir_;
  platform::ProcessHandle process_ = platform::kInvalidProcess;
  std::string base_;
  std::string reply_;
};

Sim& sim() {
  static Sim instance;
  return instance;
}

void FillFor(benchmark::State& state, const std::string& category) {
  const std::string& reply = sim().reply();
  ListModel list(server_list_columns());
  list.SetObserver([] {});  // a view is watching, as in the program
  const ServerRowOptions options{.operator_view = false, .dictionary = &MapNameDictionaryMap()};
  for (auto _ : state) {
    if (!FillServerList(list, reply, category, options)) state.SkipWithError("not JSON");
    benchmark::DoNotOptimize(list.TakeChanges());
  }
  state.counters["rows"] = list.RowCount();
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * reply.size()));
}

void BM_ReplyToModel_AllServers(benchmark::State& state) { FillFor(state, "AllServers"); }

void BM_ReplyToModel_Fun20Keywords(benchmark::State& state) {
  FillFor(state, CategoryOfCaption(gbk("娱乐综合")));
}

void BM_Reference_BareJsonParse(benchmark::State& state) {
  const std::string& reply = sim().reply();
  for (auto _ : state) {
    auto parsed = nlohmann::json::parse(reply, nullptr, false);
    benchmark::DoNotOptimize(parsed.size());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * reply.size()));
}

void BM_Reference_JsonDocumentParse(benchmark::State& state) {
  const std::string gbk_reply = utf8_to_gbk(sim().reply());
  for (auto _ : state) {
    JsonDocument doc;
    benchmark::DoNotOptimize(doc.parse(gbk_reply));
  }
}

// The whole load as a category button starts it: worker, request over loopback, fill.
void BM_LoadServerList_WithNetwork(benchmark::State& state) {
  const std::string base = sim().base();
  HeadlessPorts ports;
  Window window(ports, ports);
  AppState app;
  app.server_list_base_url = base + "/serverlist";
  Core core(app, window);
  const std::string category = CategoryOfCaption(gbk("娱乐综合"));
  for (auto _ : state) {
    window.server_list().Clear();
    LoadServerList(core, category);
    while (core.workers().Running() != 0) platform::sleep_ms(0);
  }
  state.counters["rows"] = window.server_list().RowCount();
  core.workers().StopAndJoin();
  ports.Stop();
}

// With repetitions, the least time of each is reported beside the mean and median: on a shared
// machine the other loads only ever add time.
double Least(const std::vector<double>& times) {
  return times.empty() ? 0.0 : *std::min_element(times.begin(), times.end());
}

BENCHMARK(BM_Reference_BareJsonParse)
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", Least);
BENCHMARK(BM_Reference_JsonDocumentParse)
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", Least);
BENCHMARK(BM_ReplyToModel_AllServers)
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", Least);
BENCHMARK(BM_ReplyToModel_Fun20Keywords)
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", Least);
BENCHMARK(BM_LoadServerList_WithNetwork)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
