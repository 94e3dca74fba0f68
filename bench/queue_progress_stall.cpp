// How long the window's event loop can stall while a worker writes download progress into the
// window model: the running task's state cell and run mark in the download queue and the summary
// label, as fast as the worker can (the program writes them once a second). A 10 ms timer probes
// the loop; each scenario prints the longest gap between its ticks and the 99th percentile, with
// the same window left idle as the reference, and the share of a core the GUI thread used.
//   build/release/bench/queue_progress_stall [SECONDS_PER_SCENARIO]   (default 3)
// Build: cmake --preset release && cmake --build --preset release --target queue_progress_stall
// Runs offscreen unless QT_QPA_PLATFORM says otherwise. Aim: longest gap under 50 ms when flooded.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "foundation/encoding.h"
#include "ui/list_model_adapter.h"
#include "ui/main_window.h"
#include "ui/pages/pages.h"
#include "ui/qt_ports.h"
#include "ui/style.h"
#include "ui/window_binder.h"
#include "view/window.h"

namespace {

using namespace brindle;

std::string Fixed2(double value) {
  char buffer[32];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
  return std::string(buffer, result.ptr);
}

// CPU time of the calling thread: what the window's own work costs, apart from waiting for a core
// on a busy machine.
double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

struct Result {
  double gui_cpu_percent = 0;
  double longest_ms = 0;
  double p99_ms = 0;
  std::size_t ticks = 0;
  long writes = 0;
  int batches = 0;
};

enum class Writes { kNone, kQueue, kSummary, kBoth };

Result Run(Window& window, ui::ListModelAdapter& adapter, Writes what, int seconds) {
  std::atomic<bool> stop{false};
  std::atomic<long> writes{0};
  std::thread worker([&] {
    if (what == Writes::kNone) return;
    ListModel& queue = window.download_queue();
    const std::string running = gbk("正在下载");
    const std::string head = gbk(" 已下载:");
    const std::string tail = gbk(" 已解压:2 待解压:1 下载失败:0 解压失败:0 速度:");
    for (long i = 0; !stop.load(std::memory_order_relaxed); ++i) {
      const double percent = static_cast<double>(i % 10001) / 100.0;
      if (what != Writes::kSummary) {
        queue.SetCell(0, cols::kTaskState,
                      Fixed2(percent) + "%(" + Fixed2(percent * 0.273) + "MB/27.30MB)");
        queue.SetCell(0, cols::kTaskRunMark, running);
      }
      if (what != Writes::kQueue) {
        window.controls().SetCaption(names::kDownloadSummary, head + std::to_string(i) + tail +
                                                                  Fixed2(percent / 10) + "MB/s");
      }
      writes.fetch_add(1, std::memory_order_relaxed);
    }
  });

  std::vector<qint64> gaps;
  gaps.reserve(static_cast<std::size_t>(seconds) * 200);
  QElapsedTimer clock;
  QTimer probe;
  probe.setTimerType(Qt::PreciseTimer);
  probe.setInterval(10);
  qint64 last = 0;
  QObject::connect(&probe, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    gaps.push_back(now - last);
    last = now;
  });
  const int batches_before = adapter.BatchCount();
  QEventLoop loop;
  QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
  const double cpu_before = ThreadCpuMs();
  clock.start();
  probe.start();
  loop.exec();
  probe.stop();
  const double cpu_ms = ThreadCpuMs() - cpu_before;
  const double wall_ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
  stop = true;
  worker.join();

  Result result;
  result.gui_cpu_percent = 100.0 * cpu_ms / wall_ms;
  result.ticks = gaps.size();
  result.writes = writes.load();
  result.batches = adapter.BatchCount() - batches_before;
  if (!gaps.empty()) {
    std::sort(gaps.begin(), gaps.end());
    result.longest_ms = static_cast<double>(gaps.back()) / 1e6;
    result.p99_ms = static_cast<double>(gaps[gaps.size() * 99 / 100]) / 1e6;
  }
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  QApplication app(argc, argv);
  ui::ApplyStyle(app);
  {
    ui::QtPorts ports;
    Window window(ports, ports);
    ui::MainWindow main;
    ports.AttachWindow(&main);
    main.Bind(window, [] { return true; });
    main.show();

    ListModel& queue = window.download_queue();
    queue.Append(
        {"ze_lotr_minas_tirith", gbk("下载中"), "", "", "", "", "ze_lotr_minas_tirith.bsp.bz2"});
    queue.Append({"ze_paranoid_rezurrection", gbk("等待下载")});
    queue.Append({"ze_mako_reactor_v5", gbk("等待下载")});
    window.extract_queue().Append({"ze_frostdrake_tower.bsp.bz2", "%0", gbk("待解压")});
    main.Binder()->Flush();
    QCoreApplication::processEvents();
    ui::ListModelAdapter& adapter = *main.Binder()->Adapter(names::kDownloadQueue);

    std::printf("%d s per scenario, 10 ms probe timer\n", seconds);
    std::printf("%-30s %10s %10s %7s %10s %8s %8s\n", "scenario", "longest", "p99", "ticks",
                "writes", "batches", "gui cpu");
    const struct {
      const char* name;
      Writes what;
    } scenarios[] = {
        {"idle window", Writes::kNone},
        {"flood: queue cells", Writes::kQueue},
        {"flood: summary label", Writes::kSummary},
        {"flood: queue cells + summary", Writes::kBoth},
    };
    for (const auto& s : scenarios) {
      const Result r = Run(window, adapter, s.what, seconds);
      std::printf("%-30s %7.1f ms %7.1f ms %7zu %10ld %8d %7.0f%%\n", s.name, r.longest_ms,
                  r.p99_ms, r.ticks, r.writes, r.batches, r.gui_cpu_percent);
    }
    ports.Shutdown();
  }
  return 0;
}
