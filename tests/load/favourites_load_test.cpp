// Load: 500 favourites refreshed round after round for a minute against brindle-sim's game
// servers, a share of which never answer and a share of which answer only garbage (cut and bare
// replies, split-reply headers, noise). Every answering server must fill its row in every round,
// no silent or garbage server ever does, and the live heap must not grow between the first rounds
// and the last.
//
// BRINDLE_LOAD_SECONDS sets the duration (default 60); the figures go to standard output.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/http_client.h"
#include "foundation/http_settings.h"
#include "servers/favourites.h"
#include "servers/query_engine.h"
#include "sim/a2s_responder.h"
#include "support/core_fixture.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"
#include "view/list_model.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define BRINDLE_SANITIZER_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define BRINDLE_SANITIZER_HEAP 1
#endif
#endif

#if defined(BRINDLE_SANITIZER_HEAP)
// The sanitizers' runtimes export it (GCC ships no header for it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#elif defined(__GLIBC__)
#include <malloc.h>
#endif
#if defined(__linux__)
#include <unistd.h>
#endif

namespace brindle {
namespace {

constexpr int kServers = 500;
constexpr int kChallengeEvery = 4;
constexpr int kSilentEvery = 10;
constexpr int kGarbageEvery = 7;
// Rounds before the heap is first measured: the list, the engine's per-server state and the
// allocators' own caches reach their size in them.
constexpr int kWarmUpRounds = 3;
// Growth of the live heap from the first measured round to the last that still counts as none:
// a leak of one small object per reply would pass it within a few dozen rounds.
constexpr long long kHeapToleranceBytes = 1 << 20;

// Bytes the program has allocated and not freed. The sanitizers' allocators keep freed blocks in
// quarantine and caches, which the resident set counts but this does not.
long long LiveHeapBytes() {
#if defined(BRINDLE_SANITIZER_HEAP)
  return static_cast<long long>(__sanitizer_get_current_allocated_bytes());
#elif defined(__GLIBC__)
  return static_cast<long long>(mallinfo2().uordblks);
#else
  return -1;
#endif
}

long long ResidentBytes() {
#if defined(__linux__)
  std::ifstream statm("/proc/self/statm");
  long long pages = 0, resident = 0;
  if (statm >> pages >> resident) return resident * ::sysconf(_SC_PAGESIZE);
#endif
  return -1;
}

int LoadSeconds() {
  const char* text = std::getenv("BRINDLE_LOAD_SECONDS");
  if (text == nullptr || *text == '\0') return 60;
  const int seconds = std::atoi(text);
  return seconds > 0 ? seconds : 60;
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

TEST(FavouritesLoad, FiveHundredFavouritesRefreshedAgainAndAgain) {
  (void)http_global_init();  // the sim's helper asks it over libcurl
  test::TempDir files;
  const std::string ports_file = files.file("a2s.txt");
  test::SimProcess sim({"--no-https", "--a2s", std::to_string(kServers), "--a2s-challenge-every",
                        std::to_string(kChallengeEvery), "--a2s-silent-every",
                        std::to_string(kSilentEvery), "--a2s-garbage-every",
                        std::to_string(kGarbageEvery), "--a2s-file", ports_file});
  ASSERT_TRUE(sim.running()) << sim.error();
  const std::vector<std::string> addresses = ReadLines(ports_file);
  ASSERT_EQ(addresses.size(), static_cast<std::size_t>(kServers));

  // Which servers answer, as the sim made them.
  sim::A2sFleetOptions fleet;
  fleet.count = kServers;
  fleet.challenge_every = kChallengeEvery;
  fleet.silent_every = kSilentEvery;
  fleet.garbage_every = kGarbageEvery;
  const std::vector<sim::A2sServer> servers = sim::MakeA2sFleet(fleet);
  std::vector<int> answering;
  int silent = 0, garbage = 0;
  for (int i = 0; i < kServers; ++i) {
    if (servers[static_cast<std::size_t>(i)].silent) {
      ++silent;
    } else if (servers[static_cast<std::size_t>(i)].garbage) {
      ++garbage;
    } else {
      answering.push_back(i);
    }
  }

  test::CoreFixture f;
  std::string favourites = "[]";
  for (const std::string& address : addresses) {
    favourites = AppendFavouriteText(favourites, address).value_or(favourites);
  }
  test::spit(FavouritesPath(f.state()), favourites);
  StartQueryEngine(f.core());
  ASSERT_TRUE(QueryEngineStarted());
  ASSERT_EQ(LoadFavourites(f.core()), LoadResult::kLoaded);  // round 0: the load's own queries
  ListModel& list = f.window().favourites();
  ASSERT_EQ(list.RowCount(), kServers);

  const auto started = std::chrono::steady_clock::now();
  const auto until = started + std::chrono::seconds(LoadSeconds());
  long long heap_start = -1, heap_end = -1, heap_max = -1, rss_start = -1, rss_end = -1;
  int rounds = 0;
  for (int round = 0;; ++round) {
    if (round > 0) RefreshFavourites(f.window());
    // Every answering server fills its row: its name replaces the address the refresh put there.
    std::vector<int> pending = answering;
    const bool filled = test::Eventually(
        [&] {
          std::size_t kept = 0;
          for (int row : pending) {
            if (list.Cell(row, cols::kFavName) == list.Cell(row, cols::kFavAddress)) {
              pending[kept++] = row;
            }
          }
          pending.resize(kept);
          return pending.empty();
        },
        std::chrono::seconds(30));
    ASSERT_TRUE(filled) << "round " << round << ": " << pending.size()
                        << " answering servers never filled their rows, the first "
                        << list.Cell(pending.front(), cols::kFavAddress) << " (server "
                        << pending.front() << ")";
    for (int row : answering) {
      const sim::A2sServer& server = servers[static_cast<std::size_t>(row)];
      ASSERT_EQ(list.Cell(row, cols::kFavName), server.name) << "round " << round;
      ASSERT_EQ(list.Cell(row, cols::kFavPlayers),
                std::to_string(server.players.size()) + "/" + std::to_string(server.max_players));
    }
    // Silent and garbage servers keep the address as name and never gain a map.
    for (int row = 0; row < kServers; ++row) {
      const sim::A2sServer& server = servers[static_cast<std::size_t>(row)];
      if (!server.silent && !server.garbage) continue;
      ASSERT_EQ(list.Cell(row, cols::kFavName), list.Cell(row, cols::kFavAddress))
          << "round " << round << (server.garbage ? ": garbage" : ": silent") << " filled";
      ASSERT_EQ(list.Cell(row, cols::kFavMap), "") << "round " << round;
    }
    rounds = round + 1;
    if (round + 1 >= kWarmUpRounds) {
      const long long heap = LiveHeapBytes();
      if (heap_start < 0) {
        heap_start = heap;
        rss_start = ResidentBytes();
      }
      heap_end = heap;
      heap_max = std::max(heap_max, heap);
      rss_end = ResidentBytes();
    }
    if (round + 1 > kWarmUpRounds && std::chrono::steady_clock::now() >= until) break;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

  std::printf(
      "load: %d favourites (%zu answering, %d silent, %d garbage, every %dth challenged), "
      "%d rounds in %.1f s, %zu answering servers filled in every round\n"
      "load: live heap %lld -> %lld bytes (max %lld, growth %lld), resident %lld -> %lld bytes\n",
      kServers, answering.size(), silent, garbage, kChallengeEvery, rounds, seconds,
      answering.size(), heap_start, heap_end, heap_max, heap_end - heap_start, rss_start, rss_end);
  RecordProperty("rounds", rounds);
  RecordProperty("heap_growth_bytes", std::to_string(heap_end - heap_start));
  EXPECT_GT(silent, 0);
  EXPECT_GT(garbage, 0);
  if (heap_start >= 0) {
    EXPECT_LE(heap_end - heap_start, kHeapToleranceBytes);
  }
}

}  // namespace
}  // namespace brindle
