// Writing a download through the mapped file store against plain write() of the same chunks:
// 512 MiB in 16 KiB chunks into a new file, the way the download body callback writes.
//
// BM_StoreAgainstWrite runs both in the same iteration (alternating which goes first) and
// reports both throughputs and their ratio (store / write; 1.0 = as fast as write()). The two
// single benchmarks give each on its own. Files go to $BRINDLE_BENCH_DIR (default /tmp) and are
// deleted after every run, outside the timed part.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "foundation/mapped_file.h"

namespace {

constexpr std::size_t kTotal = std::size_t{512} << 20;
constexpr std::size_t kChunk = 16 * 1024;

std::string bench_path(const char* name) {
  const char* dir = std::getenv("BRINDLE_BENCH_DIR");
  std::string path = dir != nullptr && *dir != '\0' ? dir : "/tmp";
  if (path.back() != '/') path += '/';
  return path + name + "." + std::to_string(::getpid());
}

const std::string& chunk() {
  static const std::string bytes = [] {
    std::string s(kChunk, '\0');
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>(i * 131 + 7);
    return s;
  }();
  return bytes;
}

bool write_plain(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = true;
  for (std::size_t done = 0; ok && done < kTotal; done += kChunk) {
    ok = ::write(fd, chunk().data(), kChunk) == static_cast<ssize_t>(kChunk);
  }
  return ::close(fd) == 0 && ok;
}

bool write_store(const std::string& path) {
  const brindle::MappedHandle h = brindle::mapped_file::open(path, 4);
  if (h == 0) return false;
  bool ok = true;
  for (std::size_t done = 0; ok && done < kTotal; done += kChunk) {
    ok = brindle::mapped_file::write_bytes(h, chunk());
  }
  brindle::mapped_file::close(h);
  return ok;
}

double timed(bool (*write)(const std::string&), const std::string& path, bool& ok) {
  const auto start = std::chrono::steady_clock::now();
  ok = write(path) && ok;
  const auto stop = std::chrono::steady_clock::now();
  ::unlink(path.c_str());
  return std::chrono::duration<double>(stop - start).count();
}

void run_single(benchmark::State& state, bool (*write)(const std::string&), const char* name) {
  const std::string path = bench_path(name);
  chunk();
  for (auto _ : state) {
    const bool ok = write(path);
    state.PauseTiming();
    ::unlink(path.c_str());
    state.ResumeTiming();
    if (!ok) {
      state.SkipWithError("write failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kTotal));
}

void BM_PlainWrite(benchmark::State& state) { run_single(state, &write_plain, "bench_plain"); }
void BM_MappedFileStore(benchmark::State& state) { run_single(state, &write_store, "bench_store"); }

void BM_StoreAgainstWrite(benchmark::State& state) {
  const std::string plain = bench_path("bench_pair_plain");
  const std::string store = bench_path("bench_pair_store");
  bool ok = true;
  timed(&write_plain, plain, ok);  // warm-up: the first large file of a process runs slower
  timed(&write_store, store, ok);
  double plain_seconds = 0;
  double store_seconds = 0;
  bool store_first = false;
  for (auto _ : state) {
    if (store_first) store_seconds += timed(&write_store, store, ok);
    plain_seconds += timed(&write_plain, plain, ok);
    if (!store_first) store_seconds += timed(&write_store, store, ok);
    store_first = !store_first;
  }
  if (!ok) state.SkipWithError("write failed");
  const double mib = static_cast<double>(state.iterations()) * static_cast<double>(kTotal >> 20);
  state.counters["write_MiB_per_s"] = mib / plain_seconds;
  state.counters["store_MiB_per_s"] = mib / store_seconds;
  state.counters["ratio"] = plain_seconds / store_seconds;
}

BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMillisecond)->Iterations(4)->UseRealTime();
BENCHMARK(BM_MappedFileStore)->Unit(benchmark::kMillisecond)->Iterations(4)->UseRealTime();
BENCHMARK(BM_StoreAgainstWrite)->Unit(benchmark::kMillisecond)->Iterations(6);

}  // namespace
