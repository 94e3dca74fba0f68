// The Qt ports: questions from workers block them until the person answers (and never past
// shutdown), clocks are QTimers that fire on the GUI thread without re-entering themselves, and
// posted work runs on the GUI thread in order.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <thread>
#include <vector>

#include "foundation/encoding.h"
#include "qt_env.h"
#include "ui/embedded_browser.h"
#include "ui/main_window.h"
#include "ui/message_box.h"
#include "ui/notice_window.h"
#include "ui/qt_ports.h"
#include "ui/qt_text.h"
#include "ui/widgets.h"
#include "view/control_names.h"

namespace brindle {
namespace {

using test::ProcessUntil;

class QtPortsTest : public ::testing::Test {
 protected:
  QtPortsTest() {
    ports.AttachWindow(&main);
    main.show();
  }
  ~QtPortsTest() override { ports.Shutdown(); }

  static QMessageBox* OpenBox() {
    return qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
  }
  // The box's buttons ordered by the answer each gives.
  static std::vector<QAbstractButton*> Buttons(QMessageBox* box) {
    std::vector<QAbstractButton*> out(static_cast<std::size_t>(box->buttons().size()));
    for (QAbstractButton* b : box->buttons()) {
      out.at(static_cast<std::size_t>(b->property("answer").toInt())) = b;
    }
    return out;
  }

  ui::QtPorts ports;
  ui::MainWindow main;
};

TEST_F(QtPortsTest, BoxAskedFromAWorkerBlocksItUntilThePersonAnswers) {
  std::atomic<int> answer{-100};
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    answer = ports.MessageBox(gbk("提示:"), gbk("是否继续查找 或 下载这个地图? 找到关键词 ze_x"),
                              gbk("继续查找&&取消&&开始下载(ze_x)"));
    returned = true;
  });
  // The box runs its own modal loop on the GUI thread; look at it and answer from inside it.
  bool seen = false;
  bool returned_while_open = true;
  int pending_while_open = 0;
  QString title;
  QWidget* owner = nullptr;
  QStringList texts;
  QTimer watcher;
  watcher.setInterval(1);
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    QMessageBox* box = OpenBox();
    if (box == nullptr || seen) return;
    seen = true;
    // The box is up and unanswered: the worker is still inside the call.
    returned_while_open = returned.load();
    pending_while_open = ports.PendingQuestions();
    title = box->windowTitle();
    owner = box->parentWidget();
    const auto buttons = Buttons(box);
    for (QAbstractButton* b : buttons) texts << b->text();
    buttons.at(2)->click();
  });
  watcher.start();
  ASSERT_TRUE(ProcessUntil([&] { return returned.load(); }));
  worker.join();
  ASSERT_TRUE(seen);
  EXPECT_FALSE(returned_while_open);
  EXPECT_EQ(pending_while_open, 1);
  EXPECT_EQ(title, QString::fromUtf8("提示:"));
  EXPECT_EQ(owner, &main);
  EXPECT_EQ(texts, (QStringList{QString::fromUtf8("继续查找"), QString::fromUtf8("取消"),
                                QString::fromUtf8("开始下载(ze_x)")}));
  EXPECT_EQ(answer.load(), 2);
  EXPECT_EQ(ports.PendingQuestions(), 0);
}

TEST_F(QtPortsTest, BoxOnTheGuiThreadRunsInlineAndKeepsEmptyButtonsInTheCount) {
  // "a&&&&b": three buttons, so the last answers 2 as the list counts it.
  QTimer::singleShot(0, [] {
    QMessageBox* box = OpenBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QString::fromUtf8("第一行\n第二行"));
    Buttons(box).at(2)->click();
  });
  EXPECT_EQ(ports.MessageBox("", gbk("第一行\r\n第二行"), "a&&&&b"), 2);

  QTimer::singleShot(0, [] {
    QMessageBox* box = OpenBox();
    ASSERT_NE(box, nullptr);
    ASSERT_EQ(box->buttons().size(), 1);
    EXPECT_EQ(box->buttons().front()->text(), QString::fromUtf8("确定"));
    box->buttons().front()->click();
  });
  EXPECT_EQ(ports.MessageBox(gbk("长度不正确"), gbk("您输入的用户名长度不正确"), ""), 0);
}

TEST_F(QtPortsTest, BoxSitsOverTheWindowAndClosesByItsOwnControlOrTheFrame) {
  main.move(40, 30);
  QCoreApplication::processEvents();
  for (const bool own_control : {true, false}) {
    SCOPED_TRACE(own_control);
    QRect box_area, close_area;
    std::vector<QRect> button_areas;
    QTimer::singleShot(0, [&] {
      QMessageBox* box = OpenBox();
      ASSERT_NE(box, nullptr);
      box_area = box->geometry();
      auto* close = box->findChild<QAbstractButton*>(QString::fromLatin1(ui::kMessageBoxCloseName));
      ASSERT_NE(close, nullptr);
      EXPECT_TRUE(close->isVisible());
      close_area = close->geometry();
      for (QAbstractButton* b : box->buttons()) {
        button_areas.emplace_back(b->mapTo(box, QPoint(0, 0)), b->size());
      }
      if (own_control) {
        close->click();
      } else {
        box->close();  // the frame's close button
      }
    });
    // Three answers, none of them a "cancel" the box could guess.
    EXPECT_EQ(ports.MessageBox(gbk("确认操作提示:"), gbk("是否确认 并从云端删除此服务器?"),
                               gbk("同时在云端删除&&不改变云端&&取消操作")),
              -1);
    EXPECT_LE((box_area.center() - main.geometry().center()).manhattanLength(), 3);
    EXPECT_TRUE(QRect(QPoint(0, 0), box_area.size()).contains(close_area));
    for (const QRect& b : button_areas) EXPECT_FALSE(b.intersects(close_area));
  }
}

TEST_F(QtPortsTest, ShutdownReleasesAWaitingWorkerAndRefusesLaterQuestions) {
  std::atomic<int> answer{-100};
  std::thread worker([&] { answer = ports.MessageBox("", "?", gbk("继续&&取消")); });
  // Do not run the event loop: the question stays posted and unanswered.
  while (ports.PendingQuestions() == 0) std::this_thread::yield();
  ports.Shutdown();
  worker.join();
  EXPECT_EQ(answer.load(), -1);
  // The posted question finds the ports shutting down and shows nothing.
  QCoreApplication::processEvents();
  EXPECT_EQ(OpenBox(), nullptr);
  std::thread later([&] {
    answer = ports.MessageBox("", "?", "x");
    EXPECT_FALSE(ports.OpenFileDialog({names::kCsgoFileDialog, "", gbk("应用程序(*.exe)"), ""}));
  });
  later.join();
  EXPECT_EQ(answer.load(), -1);
}

TEST_F(QtPortsTest, DesignClocksAreNamedTimersWithTheirPeriods) {
  for (const names::ClockInfo& info : names::clocks()) {
    QTimer* timer = ports.Timer(info.name);
    ASSERT_NE(timer, nullptr) << info.name;
    EXPECT_EQ(timer->objectName(), QString::fromUtf8(info.name));
    EXPECT_EQ(timer->interval(), info.period_ms);
    EXPECT_FALSE(timer->isActive());
    EXPECT_FALSE(ports.ClockRunning(info.name));
  }
  EXPECT_EQ(ports.Timer(names::kClockGameDetect)->interval(), 1500);
  EXPECT_EQ(ports.Timer(names::kClockQueue)->interval(), 2000);
  EXPECT_EQ(ports.Timer(names::kClockPreDownload)->interval(), 15000);
}

TEST_F(QtPortsTest, ClockStartedFromAWorkerFiresOnTheGuiThread) {
  std::atomic<int> ticks{0};
  std::atomic<bool> off_thread{false};
  ports.BindClock(names::kClockProgress, [&] {
    if (QThread::currentThread() != main.thread()) off_thread = true;
    ++ticks;
  });
  std::thread worker([&] {
    ports.StartClock(names::kClockProgress, 1);
    // Running at once for anyone asking, before the GUI thread got to the timer.
    EXPECT_TRUE(ports.ClockRunning(names::kClockProgress));
  });
  worker.join();
  ASSERT_TRUE(ProcessUntil([&] { return ticks.load() >= 3; }));
  EXPECT_FALSE(off_thread.load());
  EXPECT_EQ(ports.Timer(names::kClockProgress)->interval(), 1);

  std::thread stopper([&] { ports.StopClock(names::kClockProgress); });
  stopper.join();
  EXPECT_FALSE(ports.ClockRunning(names::kClockProgress));
  ASSERT_TRUE(ProcessUntil([&] { return !ports.Timer(names::kClockProgress)->isActive(); }));
  // A period of 0 stops too; an unknown name becomes a clock of its own.
  ports.StartClock("ExtraClock", 5);
  EXPECT_TRUE(ports.ClockRunning("ExtraClock"));
  ASSERT_NE(ports.Timer("ExtraClock"), nullptr);
  ports.StartClock("ExtraClock", 0);
  EXPECT_FALSE(ports.ClockRunning("ExtraClock"));
  EXPECT_FALSE(ports.Timer("ExtraClock")->isActive());
}

TEST_F(QtPortsTest, ClockDoesNotFireIntoItsOwnWaitingHandler) {
  int depth = 0;
  int deepest = 0;
  int ticks = 0;
  ports.BindClock(names::kClockExtract, [&] {
    ++depth;
    deepest = std::max(deepest, depth);
    ++ticks;
    // The handler waits with the event loop running, as a pump delay or a box does.
    if (ticks == 1) ports.Delay(25);
    --depth;
  });
  ports.StartClock(names::kClockExtract, 1);
  ASSERT_TRUE(ProcessUntil([&] { return ticks >= 3; }));
  ports.StopClock(names::kClockExtract);
  EXPECT_EQ(deepest, 1);
}

TEST_F(QtPortsTest, PostedWorkRunsOnTheGuiThreadInOrder) {
  std::vector<int> seen;
  std::atomic<bool> off_thread{false};
  std::thread worker([&] {
    EXPECT_FALSE(ports.OnUiThread());
    for (int i = 0; i < 200; ++i) {
      ports.Post([&, i] {
        if (!ports.OnUiThread()) off_thread = true;
        seen.push_back(i);
      });
    }
  });
  worker.join();
  ASSERT_TRUE(ProcessUntil([&] { return seen.size() == 200; }));
  EXPECT_FALSE(off_thread.load());
  for (int i = 0; i < 200; ++i) EXPECT_EQ(seen[static_cast<std::size_t>(i)], i);
}

TEST_F(QtPortsTest, DelayOnTheGuiThreadKeepsTheLoopRunning) {
  bool ran = false;
  ports.Post([&] { ran = true; });
  ports.Delay(1);
  EXPECT_TRUE(ran);
  ports.Delay(0);
  ports.Delay(-5);  // nothing to wait for
}

TEST_F(QtPortsTest, NoticeClipboardAndBrowsersFromAWorker) {
  std::thread worker([&] {
    ports.Notice(gbk("未找到Steam进程"));
    ports.SetClipboardText("127.0.0.1:27015");
    ports.SetBrowserUserAgent(names::kForumBrowser, "TarnLoginLuncher HTTP Client 3.0 Build 10070");
    ports.Navigate(names::kForumBrowser, "https://forum.example/plugin.php?id=x&uid=1");
  });
  worker.join();
  auto* browser = main.ControlAs<ui::EmbeddedBrowser>(names::kForumBrowser);
  ASSERT_NE(browser, nullptr);
  ASSERT_TRUE(ProcessUntil([&] { return !browser->RequestedUrl().isEmpty(); }));
  EXPECT_TRUE(main.Notice()->isVisible());
  EXPECT_EQ(main.Notice()->Text(), QString::fromUtf8("未找到Steam进程"));
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("127.0.0.1:27015"));
  EXPECT_EQ(browser->UserAgent(), QStringLiteral("TarnLoginLuncher HTTP Client 3.0 Build 10070"));
  EXPECT_EQ(browser->RequestedUrl().toString(),
            QStringLiteral("https://forum.example/plugin.php?id=x&uid=1"));
  // The forum page is not in front: the engine waits until it is.
  EXPECT_FALSE(browser->HasEngine());
  ui::BrowserPlaceholder* stand_in = browser->Placeholder();
  if (stand_in == nullptr) return;  // a build with the engine
  // The stand-in offers the page to the system's browser.
  QUrl asked;
  QObject::connect(stand_in, &ui::BrowserPlaceholder::OpenExternally,
                   [&](const QUrl& url) { asked = url; });
  auto* open = stand_in->findChild<QAbstractButton*>();
  ASSERT_NE(open, nullptr);
  ASSERT_TRUE(open->isEnabled());
  open->click();
  EXPECT_EQ(asked, browser->RequestedUrl());
}

TEST(QtTextTest, GbkTextsRoundTripThroughTheWindow) {
  const std::string text = gbk("僵尸逃跑 | ze_x (黑暗之魂)");
  EXPECT_EQ(ui::FromGbk(text), QString::fromUtf8("僵尸逃跑 | ze_x (黑暗之魂)"));
  EXPECT_EQ(ui::ToGbk(ui::FromGbk(text)), text);
  EXPECT_TRUE(ui::FromGbk("").isEmpty());
  // A character GBK lacks becomes "?" on the way in.
  const std::string lacking = ui::ToGbk(QString::fromUtf8("a😀b"));
  EXPECT_EQ(lacking.front(), 'a');
  EXPECT_EQ(lacking.back(), 'b');
  EXPECT_NE(lacking.find('?'), std::string::npos);
}

}  // namespace
}  // namespace brindle
