// The download page while maps download: the queue's state cell reads as a progress bar, the
// summary line keeps its speed in view, the extraction queue keeps its state column in view, and
// the window keeps turning while a worker floods the queue and the summary with changes.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QHeaderView>
#include <QImage>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "foundation/encoding.h"
#include "qt_env.h"
#include "ui/list_model_adapter.h"
#include "ui/main_window.h"
#include "ui/pages/pages.h"
#include "ui/progress_delegate.h"
#include "ui/qt_ports.h"
#include "ui/qt_text.h"
#include "ui/summary_label.h"
#include "ui/widgets.h"
#include "ui/window_binder.h"
#include "view/window.h"

namespace brindle {
namespace {

using Kind = ui::QueueStateLook::Kind;

TEST(QueueStateTest, LeadingPercentReadsTheStartOfAProgressText) {
  struct Case {
    const char* text;
    double percent;
  };
  const Case read[] = {
      {"45.20%(12.34MB/27.30MB)", 45.2},
      {"0.00%(0.00MB/27.30MB)", 0},
      {"100.00%(27.30MB/27.30MB)", 100},
      {"7%", 7},
      {"7.%", 7},
      {".5%", 0.5},
      {"  12.50%", 12.5},
      {"+3.25%", 3.25},
      // Out of range reads clamp: a total that grew under the transfer, a negative figure.
      {"150.00%(41.00MB/27.30MB)", 100},
      {"-3.00%", 0},
      {"-0.00%", 0},
      {"0000000000000000000000000000000000000000000000000000000000000000000000000012.5%", 12.5},
  };
  for (const Case& c : read) {
    SCOPED_TRACE(c.text);
    const std::optional<double> got = ui::LeadingPercent(QString::fromUtf8(c.text));
    ASSERT_TRUE(got.has_value());
    EXPECT_DOUBLE_EQ(*got, c.percent);
  }
  // More digits than a double holds is still a percentage, at the top.
  EXPECT_EQ(ui::LeadingPercent(QString(400, u'9') + u'%'), 100.0);
  EXPECT_EQ(ui::LeadingPercent(QLatin1Char('-') + QString(400, u'9') + u'%'), 0.0);

  const char* garbage[] = {"",        "%",      "%0",     "等待下载", "下载中", "正在下载", "45.20",
                           "45.20 %", "abc45%", "(45%)",  "1e5%",     "nan%",   "inf%",     "-%",
                           ".%",      "+-5%",   "1.2.3%", "４５%",    "45,20%", "٤٥%"};
  for (const char* text : garbage) {
    EXPECT_FALSE(ui::LeadingPercent(QString::fromUtf8(text)).has_value()) << text;
  }
}

TEST(QueueStateTest, StateTextsAreTellApartExactly) {
  EXPECT_EQ(ui::ClassifyQueueState(u"45.20%(12.34MB/27.30MB)").kind, Kind::kProgress);
  EXPECT_DOUBLE_EQ(ui::ClassifyQueueState(u"45.20%(12.34MB/27.30MB)").percent, 45.2);
  EXPECT_EQ(ui::ClassifyQueueState(QString::fromUtf8("等待下载")).kind, Kind::kWaiting);
  EXPECT_EQ(ui::ClassifyQueueState(QString::fromUtf8("下载中")).kind, Kind::kStarting);
  for (const char* text : {"", "下载中 ", " 等待下载", "正在下载", "%0", "待解压", "garbage"}) {
    EXPECT_EQ(ui::ClassifyQueueState(QString::fromUtf8(text)).kind, Kind::kText) << text;
  }
  // A stalled start still reads as a start; stopped tasks read as what stopped them.
  EXPECT_EQ(ui::ClassifyQueueState(QString::fromUtf8("下载中 等待数据...")).kind, Kind::kStarting);
  EXPECT_EQ(ui::ClassifyQueueState(QString::fromUtf8("下载失败：镜像上没有这个文件(404)")).kind,
            Kind::kFailed);
  EXPECT_EQ(ui::ClassifyQueueState(QString::fromUtf8("解压失败")).kind, Kind::kFailed);
  EXPECT_EQ(ui::ClassifyQueueState(QString::fromUtf8("已取消")).kind, Kind::kCancelled);
}

TEST(PathLabelTest, LongPathsElideInTheMiddleWithTheWholeTextAsTooltip) {
  ui::PathLabel label;
  const QString csgo = QString::fromUtf8(
      "已配置路径:/home/player/.local/share/Steam/steamapps/common/Counter-Strike Global "
      "Offensive/");
  label.setText(csgo + u'\n' + QString::fromUtf8("已配置路径:/games/cs2/"));
  label.resize(200, label.sizeHint().height());
  const QStringList shown = label.Shown(200);
  ASSERT_EQ(shown.size(), 2);
  // Both ends of a long path stay: where it starts and the game's own folder.
  EXPECT_TRUE(shown[0].startsWith(QString::fromUtf8("已配置路径"))) << shown[0].toStdString();
  EXPECT_TRUE(shown[0].endsWith(QStringLiteral("Offensive/"))) << shown[0].toStdString();
  EXPECT_TRUE(shown[0].contains(QChar(0x2026)));
  EXPECT_EQ(shown[1], QString::fromUtf8("已配置路径:/games/cs2/"));
  label.grab();  // paints, which sets the tooltip
  EXPECT_EQ(label.toolTip(), label.text());
  // It asks for no width of its own, so a long path never widens its card.
  EXPECT_LT(label.minimumSizeHint().width(), 100);
}

TEST(SummaryLabelTest, SpeedIsTheLineFromItsLastSpeedMark) {
  const auto [counters, speed] = ui::SplitSpeed(
      QString::fromUtf8(" 已下载:3 已解压:2 待解压:1 下载失败:0 解压失败:0 速度:1.52MB/s"));
  EXPECT_EQ(counters, QString::fromUtf8(" 已下载:3 已解压:2 待解压:1 下载失败:0 解压失败:0"));
  EXPECT_EQ(speed, QString::fromUtf8("速度:1.52MB/s"));
  // A task that just started has no speed yet.
  EXPECT_EQ(ui::SplitSpeed(QString::fromUtf8(" 已下载:0 解压失败:0 速度:")).second,
            QString::fromUtf8("速度:"));
  // A map group check's result has no speed at all.
  const QString found = QString::fromUtf8("找到可下载地图 5个");
  EXPECT_EQ(ui::SplitSpeed(found), std::make_pair(found, QString()));
  EXPECT_EQ(ui::SplitSpeed(QString::fromUtf8("速度:1 速度:2")).second, QString::fromUtf8("速度:2"));
}

TEST(SummaryLabelTest, AShortRoomElidesTheCountersAndKeepsTheSpeed) {
  ui::SummaryLabel label;
  label.setText(
      QString::fromUtf8(" 已下载:3 已解压:2 待解压:1 下载失败:0 解压失败:0 速度:1.52MB/s"));
  const auto [counters, speed] = ui::SplitSpeed(label.text());
  const int full = label.sizeHint().width();
  ui::SummaryLabel::Shown wide = label.Fit(full);
  EXPECT_EQ(wide.counters, counters);
  EXPECT_EQ(wide.speed, speed);

  ui::SummaryLabel::Shown narrow = label.Fit(full / 2);
  EXPECT_EQ(narrow.speed, speed);
  EXPECT_TRUE(narrow.counters.endsWith(QChar(0x2026))) << narrow.counters.toStdString();
  EXPECT_LT(narrow.counters.size(), counters.size());

  // No room even for the speed: the whole line elides in the middle, its ends still there.
  ui::SummaryLabel::Shown tiny = label.Fit(60);
  EXPECT_TRUE(tiny.speed.isEmpty());
  EXPECT_TRUE(tiny.counters.contains(QChar(0x2026)));

  label.setText(QString::fromUtf8("找到可下载地图 5个"));
  EXPECT_EQ(label.Fit(full).counters, label.text());
  EXPECT_TRUE(label.Fit(full).speed.isEmpty());
}

class DownloadPageTest : public ::testing::Test {
 protected:
  DownloadPageTest() : window(ports, ports) {
    ports.AttachWindow(&main);
    main.Bind(window, [] { return true; });
    main.show();
    main.resize(1366, 900);  // a usual window; the opening size follows the (small) test screen
    queue = main.ControlAs<QTableView>(names::kDownloadQueue);
    extract = main.ControlAs<QTableView>(names::kExtractQueue);
    summary = main.ControlAs<ui::SummaryLabel>(names::kDownloadSummary);
  }
  ~DownloadPageTest() override { ports.Shutdown(); }

  void Settle() {
    main.Binder()->Flush();
    QCoreApplication::processEvents();
  }

  ui::QtPorts ports;
  Window window;
  ui::MainWindow main;
  QTableView* queue = nullptr;
  QTableView* extract = nullptr;
  ui::SummaryLabel* summary = nullptr;
};

bool IsFill(QRgb p) { return qBlue(p) > 200 && qRed(p) < 120 && qGreen(p) < 170; }
// The track's own colour, not the grey edges of text drawn on white.
bool IsTrack(QRgb p) {
  return std::abs(qRed(p) - 226) <= 5 && std::abs(qGreen(p) - 232) <= 5 &&
         std::abs(qBlue(p) - 240) <= 5;
}

// What the state cell of `row` shows: how many pixel columns of it hold the bar, and how many of
// those are filled.
struct BarReading {
  int bar_columns = 0;
  int filled_columns = 0;
  double Fraction() const { return bar_columns == 0 ? 0 : double(filled_columns) / bar_columns; }
};
BarReading ReadBar(QTableView* view, const QImage& image, int row) {
  const QRect cell = view->visualRect(view->model()->index(row, cols::kTaskState));
  BarReading reading;
  for (int x = cell.left(); x <= cell.right(); ++x) {
    int fill = 0;
    int track = 0;
    for (int y = cell.top(); y <= cell.bottom(); ++y) {
      const QRgb p = image.pixel(x, y);
      fill += IsFill(p);
      track += IsTrack(p);
    }
    // A few pixels of a column may match by chance (text edges); the bar is taller than that.
    reading.bar_columns += fill + track >= 4;
    reading.filled_columns += fill >= 4;
  }
  return reading;
}

TEST_F(DownloadPageTest, QueueStateCellIsABarFilledToItsPercentage) {
  ASSERT_NE(queue, nullptr);
  EXPECT_NE(qobject_cast<ui::QueueStateDelegate*>(queue->itemDelegateForColumn(cols::kTaskState)),
            nullptr);
  ListModel& q = window.download_queue();
  q.Append({"ze_a", gbk("45.20%(12.34MB/27.30MB)"), "", "", "", gbk("正在下载"), "ze_a.bsp.bz2"});
  q.Append({"ze_b", gbk("下载中")});
  q.Append({"ze_c", gbk("等待下载")});
  Settle();
  const int cell_width = queue->columnWidth(cols::kTaskState);
  QImage image = queue->viewport()->grab().toImage();
  ASSERT_GE(image.height(), queue->visualRect(queue->model()->index(2, 0)).bottom());
  const BarReading running = ReadBar(queue, image, 0);
  EXPECT_GT(running.bar_columns, cell_width * 8 / 10);
  EXPECT_NEAR(running.Fraction(), 0.452, 0.03);
  const BarReading starting = ReadBar(queue, image, 1);  // an empty bar
  EXPECT_GT(starting.bar_columns, cell_width * 8 / 10);
  EXPECT_EQ(starting.filled_columns, 0);
  EXPECT_EQ(ReadBar(queue, image, 2).bar_columns, 0);  // waiting: text only

  q.Replace({{"ze_d", gbk("150.00%(41.00MB/27.30MB)")},
             {"ze_e", gbk("0.00%(0.00MB/27.30MB)")},
             {"ze_f", "abc%def"}});
  Settle();
  image = queue->viewport()->grab().toImage();
  EXPECT_GT(ReadBar(queue, image, 0).Fraction(), 0.97);  // clamped full
  EXPECT_GT(ReadBar(queue, image, 1).bar_columns, cell_width * 8 / 10);
  EXPECT_EQ(ReadBar(queue, image, 1).filled_columns, 0);
  EXPECT_EQ(ReadBar(queue, image, 2).bar_columns, 0);  // garbage: plain text
  q.Replace({{"ze_a", gbk("45.20%(12.34MB/27.30MB)")}});
  Settle();
  // The exact text stays what the cell holds (tooltips and copies read it).
  EXPECT_EQ(queue->model()->index(0, cols::kTaskState).data().toString(),
            QString::fromUtf8("45.20%(12.34MB/27.30MB)"));

  // The next refresh moves the bar.
  q.SetCell(0, cols::kTaskState, gbk("80.00%(21.84MB/27.30MB)"));
  Settle();
  EXPECT_NEAR(ReadBar(queue, queue->viewport()->grab().toImage(), 0).Fraction(), 0.8, 0.03);
}

TEST_F(DownloadPageTest, SummaryAndStateColumnsFitTheirTexts) {
  ASSERT_NE(summary, nullptr);
  EXPECT_TRUE(main.Pages()->widget(names::kDownloadPage)->isAncestorOf(summary));
  const QString line =
      QString::fromUtf8(" 已下载:3 已解压:2 待解压:1 下载失败:0 解压失败:0 速度:1.52MB/s");
  std::thread worker(
      [&] { window.controls().SetCaption(names::kDownloadSummary, ui::ToGbk(line)); });
  worker.join();
  window.extract_queue().Append({"ze_frostdrake_tower.bsp.bz2", "%0", gbk("待解压")});
  window.download_queue().Append({"ze_a", gbk("45.20%(12.34MB/27.30MB)")});
  for (const QSize size :
       {QSize(ui::MainWindow::kDefaultWidth, ui::MainWindow::kDefaultHeight), main.minimumSize()}) {
    SCOPED_TRACE(size.width());
    main.resize(size);
    Settle();
    ASSERT_EQ(summary->text(), line);
    EXPECT_TRUE(summary->isVisible());
    // The speed shows whole at any size the window allows, the counters too at the usual size.
    const ui::SummaryLabel::Shown shown = summary->Fit(summary->contentsRect().width());
    EXPECT_EQ(shown.speed, QString::fromUtf8("速度:1.52MB/s"));
    if (size.width() >= ui::MainWindow::kDefaultWidth) {
      EXPECT_EQ(shown.counters, ui::SplitSpeed(line).first);
    }

    // The extraction queue's state column lies inside the view, wide enough for its text.
    const int state_left = extract->columnViewportPosition(cols::kExtractState);
    const int state_width = extract->columnWidth(cols::kExtractState);
    EXPECT_FALSE(extract->isColumnHidden(cols::kExtractState));
    EXPECT_LE(state_left + state_width, extract->viewport()->width());
    EXPECT_GE(state_width, extract->fontMetrics().horizontalAdvance(QString::fromUtf8("待解压")));
    EXPECT_GT(extract->columnWidth(cols::kExtractFile), 120);

    // The progress bar gets the room the queue's other columns leave, and never too little for
    // its text; the never-written progress column is not shown beside it.
    EXPECT_TRUE(queue->isColumnHidden(cols::kTaskProgress));
    EXPECT_FALSE(queue->isColumnHidden(cols::kTaskRunMark));
    EXPECT_FALSE(queue->isColumnHidden(cols::kTaskFileName));
    EXPECT_GE(queue->columnWidth(cols::kTaskState), 230);
    QFont bar_font = queue->font();
    bar_font.setPixelSize(12);
    bar_font.setBold(true);
    EXPECT_GT(
        queue->columnWidth(cols::kTaskState),
        QFontMetrics(bar_font).horizontalAdvance(QStringLiteral("45.20%(12.34MB/27.30MB)")) + 36);
    EXPECT_GE(queue->columnWidth(cols::kTaskRunMark),
              queue->fontMetrics().horizontalAdvance(QString::fromUtf8("正在下载")) + 16);
    if (size.width() >= ui::MainWindow::kDefaultWidth) {
      // At the usual size every shown column fits without scrolling sideways.
      const int file_right = queue->columnViewportPosition(cols::kTaskFileName) +
                             queue->columnWidth(cols::kTaskFileName);
      EXPECT_LE(file_right, queue->viewport()->width());
      EXPECT_GE(file_right, queue->viewport()->width() - 1);
    }
  }
}

std::string Fixed2(double value) {
  char buffer[32];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
  return std::string(buffer, result.ptr);
}

// The longest wait of the GUI event loop, seen by a 10 ms timer.
class GapProbe {
 public:
  GapProbe() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const qint64 now = clock_.nsecsElapsed();
      longest_ns_ = std::max(longest_ns_, now - last_ns_);
      last_ns_ = now;
      ++ticks_;
    });
    clock_.start();
    timer_.start();
  }
  double LongestMs() const { return static_cast<double>(longest_ns_) / 1e6; }
  int Ticks() const { return ticks_; }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ns_ = 0;
  qint64 longest_ns_ = 0;
  int ticks_ = 0;
};

TEST_F(DownloadPageTest, WindowKeepsTurningWhileAWorkerFloodsTheQueueAndSummary) {
  ListModel& q = window.download_queue();
  q.Append({"ze_lotr_minas_tirith", gbk("下载中"), "", "", "", "", "ze_lotr_minas_tirith.bsp.bz2"});
  q.Append({"ze_paranoid_rezurrection", gbk("等待下载")});
  q.Append({"ze_mako_reactor_v5", gbk("等待下载")});
  window.extract_queue().Append({"ze_frostdrake_tower.bsp.bz2", "%0", gbk("待解压")});
  Settle();
  ui::ListModelAdapter* adapter = main.Binder()->Adapter(names::kDownloadQueue);
  ASSERT_NE(adapter, nullptr);
  const int batches_before = adapter->BatchCount();

  // Progress comes once a second in the program; here as fast as a worker can write it.
  std::atomic<bool> stop{false};
  std::atomic<long> writes{0};
  std::string last_progress;
  std::string last_summary;
  std::thread worker([&] {
    const std::string running = gbk("正在下载");
    for (long i = 0; !stop.load(std::memory_order_relaxed); ++i) {
      const double percent = static_cast<double>(i % 10001) / 100.0;
      last_progress = Fixed2(percent) + "%(" + Fixed2(percent * 0.273) + "MB/27.30MB)";
      q.SetCell(0, cols::kTaskState, last_progress);
      q.SetCell(0, cols::kTaskRunMark, running);
      last_summary = gbk(" 已下载:") + std::to_string(i) +
                     gbk(" 已解压:2 待解压:1 下载失败:0 解压失败:0 速度:") + Fixed2(percent / 10) +
                     "MB/s";
      window.controls().SetCaption(names::kDownloadSummary, last_summary);
      writes.fetch_add(1, std::memory_order_relaxed);
    }
  });
  GapProbe probe;
  QEventLoop loop;
  QTimer::singleShot(1000, &loop, &QEventLoop::quit);
  loop.exec();
  stop = true;
  worker.join();
  const double longest = probe.LongestMs();
  RecordProperty("longest_gap_ms", std::to_string(longest));
  std::printf("longest event-loop gap %.1f ms over %d ticks; %ld writes in %d batches\n", longest,
              probe.Ticks(), writes.load(), adapter->BatchCount() - batches_before);

  // A guard, not the benchmark: a sanitizer build on a busy machine.
  EXPECT_LT(longest, 250.0);
  EXPECT_GT(probe.Ticks(), 20);
  EXPECT_GT(writes.load(), 200);
  EXPECT_LT(adapter->BatchCount() - batches_before, writes.load() / 4);
  // And what the window shows at the end is what the worker wrote last.
  Settle();
  EXPECT_EQ(queue->model()->index(0, cols::kTaskState).data().toString(),
            ui::FromGbk(last_progress));
  EXPECT_EQ(queue->model()->index(0, cols::kTaskRunMark).data().toString(),
            QString::fromUtf8("正在下载"));
  EXPECT_EQ(summary->text(), ui::FromGbk(last_summary));
  EXPECT_EQ(queue->model()->rowCount(), 3);
}

}  // namespace
}  // namespace brindle
