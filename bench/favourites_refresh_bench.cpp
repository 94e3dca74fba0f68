// Refreshing 500 favourites against fake game servers on loopback, half of them answering with a
// challenge first: the time from the refresh until every row shows its server, and how many rows
// were filled. The reference in the same run is the bare exchange the refresh is made of: one
// socket sending one request to each of the 500 servers and taking the 500 answers, with no
// parsing and no list.
//
//   build/s2rel/bench/favourites_refresh_bench
//
// Compare BM_FavouritesRefresh to BM_RawRoundTrips (the ratio is the figure that carries over
// between machines); rows_filled must equal servers.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "servers/query_engine.h"
#include "sim/a2s_responder.h"
#include "view/test_ports.h"

namespace brindle {
namespace {

constexpr int kServers = 500;
constexpr auto kGiveUp = std::chrono::seconds(5);

sim::A2sResponders& Servers() {
  static sim::A2sResponders* servers = [] {
    auto* s = new sim::A2sResponders;
    sim::A2sFleetOptions options;
    options.count = kServers;
    options.challenge_every = 2;
    std::string error;
    if (!s->Start(sim::MakeA2sFleet(options), &error)) {
      std::fprintf(stderr, "cannot start the fake servers: %s\n", error.c_str());
      std::abort();
    }
    return s;
  }();
  return *servers;
}

void BM_FavouritesRefresh(benchmark::State& state) {
  sim::A2sResponders& servers = Servers();
  TestWindow test_window;
  ListModel& favourites = test_window.window().favourites();
  for (int i = 0; i < kServers; ++i) {
    ListRow row(10);
    row[cols::kFavName] = row[cols::kFavAddress] = servers.Address(i);
    favourites.Append(std::move(row));
  }
  QueryEngine engine(test_window.window());
  std::mutex mutex;
  std::condition_variable all_in;
  int answers = 0;
  engine.SetInfoObserver([&](const std::string&, const ServerInfo&) {
    std::lock_guard lock(mutex);
    if (++answers == kServers) all_in.notify_all();
  });
  if (!engine.Start()) {
    state.SkipWithError("cannot open the query socket");
    return;
  }

  int filled_total = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (int i = 0; i < kServers; ++i) favourites.SetCell(i, cols::kFavPlayers, "");
    {
      std::lock_guard lock(mutex);
      answers = 0;
    }
    state.ResumeTiming();

    engine.RefreshFavourites();
    {
      std::unique_lock lock(mutex);
      all_in.wait_for(lock, kGiveUp, [&] { return answers >= kServers; });
    }

    state.PauseTiming();
    int filled = 0;
    for (int i = 0; i < kServers; ++i) filled += !favourites.Cell(i, cols::kFavPlayers).empty();
    filled_total += filled;
    state.ResumeTiming();
  }
  engine.Stop();
  state.counters["servers"] = kServers;
  state.counters["rows_filled"] =
      benchmark::Counter(filled_total, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_FavouritesRefresh)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_RawRoundTrips(benchmark::State& state) {
  sim::A2sResponders& servers = Servers();
  const std::vector<std::uint16_t> ports = servers.Ports();
  platform::UdpSocket socket;
  if (!socket.open()) {
    state.SkipWithError("cannot open a socket");
    return;
  }
  const std::string request = InfoRequest();
  platform::UdpSocket::Datagram datagram;
  int answered_total = 0;
  for (auto _ : state) {
    std::atomic<int> answered{0};
    // The same shape as the engine: sending on this thread while another takes the answers.
    std::thread receiver([&] {
      const auto give_up = std::chrono::steady_clock::now() + kGiveUp;
      while (answered.load() < kServers && std::chrono::steady_clock::now() < give_up) {
        if (socket.receive(100, datagram) == platform::UdpSocket::Receive::kDatagram) ++answered;
      }
    });
    for (std::uint16_t port : ports) socket.send_to("127.0.0.1", port, request);
    receiver.join();
    answered_total += answered.load();
  }
  state.counters["answers"] =
      benchmark::Counter(answered_total, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_RawRoundTrips)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace
}  // namespace brindle
