// The list adapter: a worker fills and edits a list model while the view's copy changes only on
// the GUI thread, in batches, ending equal to the model; selection follows both ways; an adapter
// can go away while a worker is still writing.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QMenu>
#include <QTableView>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "foundation/encoding.h"
#include "qt_env.h"
#include "ui/list_model_adapter.h"
#include "ui/main_window.h"
#include "ui/qt_ports.h"
#include "ui/qt_text.h"
#include "ui/window_binder.h"
#include "view/window.h"

namespace brindle {
namespace {

using test::ProcessUntil;

// Fails the test when a view notification arrives on any thread but the GUI thread.
void WatchThreads(QAbstractItemModel* model, std::atomic<int>& off_thread,
                  std::atomic<int>& notifications) {
  QThread* gui = QApplication::instance()->thread();
  auto check = [gui, &off_thread, &notifications] {
    ++notifications;
    if (QThread::currentThread() != gui) ++off_thread;
  };
  QObject::connect(model, &QAbstractItemModel::rowsInserted, model, check, Qt::DirectConnection);
  QObject::connect(model, &QAbstractItemModel::rowsRemoved, model, check, Qt::DirectConnection);
  QObject::connect(model, &QAbstractItemModel::dataChanged, model, check, Qt::DirectConnection);
  QObject::connect(model, &QAbstractItemModel::modelReset, model, check, Qt::DirectConnection);
}

void ExpectSameRows(const ListModel& model, const ui::ListModelAdapter& adapter) {
  ASSERT_EQ(adapter.rowCount(), model.RowCount());
  for (int r = 0; r < model.RowCount(); ++r) {
    for (int c = 0; c < model.ColumnCount(); ++c) {
      ASSERT_EQ(adapter.data(adapter.index(r, c)).toString(), ui::FromGbk(model.Cell(r, c)))
          << r << "," << c;
    }
  }
}

TEST(ListModelAdapterTest, WorkerChangesAreAppliedOnTheGuiThreadInBatches) {
  ListModel model(server_list_columns());
  model.Append({gbk("已有的服务器"), "de_dust2", "1/10", "10.0.0.1:27015", ""});
  ui::ListModelAdapter adapter(model);
  EXPECT_EQ(adapter.rowCount(), 1);  // rows present at attach time come along
  std::atomic<int> off_thread{0};
  std::atomic<int> notifications{0};
  WatchThreads(&adapter, off_thread, notifications);

  constexpr int kRows = 2000;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    for (int i = 0; i < kRows; ++i) {
      model.Append({gbk("服务器 ") + std::to_string(i), "ze_x", "0/64",
                    "127.0.0.1:" + std::to_string(27000 + i), ""});
    }
    for (int i = 0; i < kRows; i += 7) model.SetCell(i, cols::kServerPlayers, "5/64");
    for (int i = 0; i < 100; ++i) model.Remove(0);
    done = true;
  });
  // Keep the loop turning while the worker writes, so batches land mid-way too.
  ASSERT_TRUE(ProcessUntil([&] { return done.load(); }));
  worker.join();
  adapter.Flush();
  EXPECT_EQ(off_thread.load(), 0);
  EXPECT_GT(notifications.load(), 0);
  ExpectSameRows(model, adapter);
  // Thousands of changes, a handful of batches.
  EXPECT_LT(adapter.BatchCount(), 2000);
}

TEST(ListModelAdapterTest, SmallBatchesEditRowsAndLongOnesReset) {
  ListModel model(player_list_columns());
  ui::ListModelAdapter adapter(model);
  int inserted_signals = 0;
  int resets = 0;
  std::vector<std::pair<QModelIndex, QModelIndex>> changed;
  QObject::connect(&adapter, &QAbstractItemModel::rowsInserted, [&] { ++inserted_signals; });
  QObject::connect(&adapter, &QAbstractItemModel::modelReset, [&] { ++resets; });
  QObject::connect(&adapter, &QAbstractItemModel::dataChanged,
                   [&](const QModelIndex& a, const QModelIndex& b) { changed.emplace_back(a, b); });
  for (int i = 0; i < 10; ++i) model.Append({"p" + std::to_string(i), "0", "00:00:01"});
  adapter.Flush();
  EXPECT_EQ(inserted_signals, 1);  // ten appends in one batch: one insertion
  EXPECT_EQ(resets, 0);

  // Hundreds of cell changes: one notification over the cells they touched, no reset.
  for (int i = 0; i < 400; ++i) model.SetCell(2 + i % 5, cols::kPlayerScore, std::to_string(i));
  model.SetCell(3, cols::kPlayerTime, "00:00:02");
  adapter.Flush();
  EXPECT_EQ(resets, 0);
  ASSERT_EQ(changed.size(), 1u);
  EXPECT_EQ(changed[0].first, adapter.index(2, cols::kPlayerScore));
  EXPECT_EQ(changed[0].second, adapter.index(6, cols::kPlayerTime));
  ExpectSameRows(model, adapter);

  // Cells changed around a removal are reported where they were when changed.
  changed.clear();
  model.SetCell(9, cols::kPlayerName, "before");
  model.Remove(0);
  model.SetCell(0, cols::kPlayerName, "after");
  adapter.Flush();
  ASSERT_EQ(changed.size(), 2u);
  EXPECT_EQ(changed[0].first.row(), 9);
  EXPECT_EQ(changed[1].first.row(), 0);
  ExpectSameRows(model, adapter);

  // Many row insertions and removals in one batch reset the view.
  for (int i = 0; i < 300; ++i) model.Append({"q" + std::to_string(i), "0", "00:00:01"});
  adapter.Flush();
  EXPECT_EQ(resets, 1);
  ExpectSameRows(model, adapter);
  model.Clear();
  adapter.Flush();
  EXPECT_EQ(adapter.rowCount(), 0);
}

TEST(ListModelAdapterTest, AFloodOfCellChangesKeepsTheViewsSelection) {
  ListModel model(download_queue_columns());
  for (int i = 0; i < 3; ++i) model.Append({"ze_" + std::to_string(i), gbk("等待下载")});
  ui::ListModelAdapter adapter(model);
  QTableView view;
  view.setModel(&adapter);
  view.selectRow(2);
  int resets = 0;
  QObject::connect(&adapter, &QAbstractItemModel::modelReset, [&] { ++resets; });
  // More changes than the model keeps: it hands over all its rows at once, which, being the
  // same rows with new texts, still reach the view as edits.
  for (std::size_t i = 0; i < ListModel::kMaxPendingChanges + 10; ++i) {
    model.SetCell(0, cols::kTaskState, std::to_string(i % 100) + ".00%");
  }
  adapter.Flush();
  EXPECT_EQ(resets, 0);
  EXPECT_EQ(view.currentIndex().row(), 2);
  EXPECT_TRUE(view.selectionModel()->isRowSelected(2, QModelIndex()));
  ExpectSameRows(model, adapter);
  // A reset that changes the rows' number is a real reset.
  for (std::size_t i = 0; i < ListModel::kMaxPendingChanges + 10; ++i) {
    model.SetCell(0, cols::kTaskState, std::to_string(i));
  }
  model.Remove(1);
  adapter.Flush();
  EXPECT_EQ(resets, 1);
  ExpectSameRows(model, adapter);
}

TEST(ListModelAdapterTest, SelectionFollowsInsertsAndRemovals) {
  ListModel model(extract_queue_columns());
  for (int i = 0; i < 5; ++i) model.Append({"f" + std::to_string(i), "%0", gbk("待解压")});
  ui::ListModelAdapter adapter(model);
  std::vector<int> reported;
  QObject::connect(&adapter, &ui::ListModelAdapter::SelectionChanged,
                   [&](int row) { reported.push_back(row); });
  model.Select(2);
  adapter.Flush();
  EXPECT_EQ(adapter.SelectedRow(), 2);
  model.Remove(0);  // the selected row moves up
  model.Insert(0, {"g", "%0", ""});
  model.Insert(0, {"h", "%0", ""});
  adapter.Flush();
  EXPECT_EQ(adapter.SelectedRow(), model.Selected());
  EXPECT_EQ(adapter.SelectedRow(), 3);
  model.Remove(3);  // removing it clears it
  adapter.Flush();
  EXPECT_EQ(adapter.SelectedRow(), -1);
  ASSERT_FALSE(reported.empty());
  EXPECT_EQ(reported.front(), 2);
  EXPECT_EQ(reported.back(), -1);
}

TEST(ListModelAdapterTest, HeadersAndHiddenColumnsComeFromTheModel) {
  ListModel model(download_queue_columns());
  ui::ListModelAdapter adapter(model);
  ASSERT_EQ(adapter.columnCount(), 7);
  EXPECT_EQ(adapter.headerData(0, Qt::Horizontal).toString(), QString::fromUtf8("地图名称"));
  EXPECT_EQ(adapter.headerData(2, Qt::Horizontal, Qt::SizeHintRole).toSize().width(), 0);
  EXPECT_FALSE(adapter.data(adapter.index(0, 0)).isValid());  // no rows, no data
  // A short row is padded by the model, so every cell exists.
  model.Append({"only_name"});
  adapter.Flush();
  EXPECT_EQ(adapter.data(adapter.index(0, 6)).toString(), QString());
  EXPECT_EQ(adapter.data(adapter.index(0, 0)).toString(), QStringLiteral("only_name"));
}

TEST(ListModelAdapterTest, AdapterMayGoAwayWhileAWorkerWrites) {
  ListModel model(resource_list_columns());
  std::atomic<bool> stop{false};
  std::thread worker([&] {
    int i = 0;
    while (!stop.load()) {
      model.Append({"m" + std::to_string(i++), gbk("需要下载")});
      if (model.RowCount() > 500) model.Clear();
    }
  });
  for (int round = 0; round < 20; ++round) {
    auto adapter = std::make_unique<ui::ListModelAdapter>(model);
    QCoreApplication::processEvents();
    adapter.reset();  // pings already posted to it are dropped with it
    QCoreApplication::processEvents();
  }
  stop = true;
  worker.join();
  ui::ListModelAdapter last(model);
  last.Flush();
  ExpectSameRows(model, last);
}

// Selection and context menus through the window's binding.
class BoundListTest : public ::testing::Test {
 protected:
  BoundListTest() : window(ports, ports) {
    ports.AttachWindow(&main);
    main.Bind(window, [] { return true; });
    main.show();
    window.SelectPage(names::kServerPage);
    for (int i = 0; i < 6; ++i) {
      window.server_list().Append({"server " + std::to_string(i), "de_x", "1/10",
                                   "127.0.0.1:" + std::to_string(27015 + i), ""});
    }
    main.Binder()->Flush();
    view = main.ControlAs<QTableView>(names::kServerList);
  }
  ~BoundListTest() override { ports.Shutdown(); }

  QPoint RowCentre(int row) { return view->visualRect(view->model()->index(row, 0)).center(); }

  ui::QtPorts ports;
  Window window;
  ui::MainWindow main;
  QTableView* view = nullptr;
};

TEST_F(BoundListTest, SelectionFollowsThePersonAndTheProgram) {
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, RowCentre(4));
  EXPECT_EQ(window.server_list().Selected(), 4);
  std::thread worker([&] { window.server_list().Select(1); });
  worker.join();
  ASSERT_TRUE(ProcessUntil([&] { return view->currentIndex().row() == 1; }));
  EXPECT_EQ(window.server_list().Selected(), 1);
  int joins = 0;
  window.Bind(names::kServerList, [&] { ++joins; });
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, RowCentre(3));
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, RowCentre(3));
  EXPECT_EQ(joins, 1);
  EXPECT_EQ(window.server_list().Selected(), 3);
}

TEST_F(BoundListTest, ContextMenuCommandActsOnTheRowUnderTheMouse) {
  std::string copied;
  window.Bind(names::menu_action(names::kServerList, names::kMenuCopyAddress), [&] {
    copied = window.server_list().Cell(window.server_list().Selected(), cols::kServerAddress);
  });
  QStringList items;
  QTimer::singleShot(0, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    for (QAction* a : menu->actions()) items << a->text();
    for (QAction* a : menu->actions()) {
      if (a->text() == QString::fromUtf8("复制地址")) {
        menu->setActiveAction(a);
        QTest::keyClick(menu, Qt::Key_Return);
        return;
      }
    }
    menu->close();
  });
  emit view->customContextMenuRequested(RowCentre(2));
  EXPECT_EQ(items, (QStringList{QString::fromUtf8("加入"), QString::fromUtf8("详情"),
                                QString::fromUtf8("复制地址"), QString::fromUtf8("添加到收藏")}));
  EXPECT_EQ(copied, "127.0.0.1:27017");
  // Below the last row there is no row, and no menu.
  bool menu_shown = false;
  QTimer::singleShot(0, [&] {
    if (auto* menu = QApplication::activePopupWidget()) {
      menu_shown = true;
      menu->close();
    }
  });
  emit view->customContextMenuRequested(QPoint(5, view->viewport()->height() - 2));
  QCoreApplication::processEvents();
  EXPECT_FALSE(menu_shown);
}

}  // namespace
}  // namespace brindle
