#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/encoding.h"
#include "view/list_model.h"

namespace brindle {
namespace {

// What a view does with the change log: keep its own copy up to date.
struct Mirror {
  std::vector<ListRow> rows;
  int selected = -1;

  void Apply(const std::vector<ListChange>& changes) {
    for (const ListChange& c : changes) {
      switch (c.kind) {
        case ListChange::Kind::kInsert:
          rows.insert(rows.begin() + c.row, c.cells);
          break;
        case ListChange::Kind::kRemove:
          rows.erase(rows.begin() + c.row);
          break;
        case ListChange::Kind::kSetCell:
          rows[static_cast<std::size_t>(c.row)][static_cast<std::size_t>(c.column)] = c.cells[0];
          break;
        case ListChange::Kind::kReset:
          rows = c.rows;
          selected = c.row;
          break;
        case ListChange::Kind::kSelect:
          selected = c.row;
          break;
      }
    }
  }
};

ListModel ThreeColumns() { return ListModel({{"a", 10}, {"b", 0}, {"c", 20}}); }

TEST(ListColumns, MatchTheWindowLists) {
  const auto servers = server_list_columns();
  ASSERT_EQ(servers.size(), 7u);
  EXPECT_EQ(servers[0].header, gbk("服务器"));
  EXPECT_EQ(servers[1].width, 425);
  EXPECT_EQ(servers[cols::kServerAddress].header, "IPAddress");
  EXPECT_EQ(servers[cols::kServerAddress].width, 0);
  EXPECT_EQ(servers[cols::kServerRegion].header, gbk("区域Region"));
  EXPECT_EQ(servers[cols::kServerPing].header, gbk("延迟"));
  EXPECT_EQ(servers[cols::kServerLiveMap].width, 0);

  const auto favourites = favourites_columns();
  ASSERT_EQ(favourites.size(), 10u);
  int visible_width = 0;
  for (const ListColumn& c : favourites) visible_width += c.width;
  EXPECT_EQ(visible_width, 400 + 250 + 64 + 64 + 90 + 100);
  EXPECT_EQ(favourites[cols::kFavIpv4].header, "ipv4");
  EXPECT_EQ(favourites[cols::kFavVersion].width, 100);

  EXPECT_EQ(player_list_columns().size(), 3u);
  const auto resources = resource_list_columns();
  ASSERT_EQ(resources.size(), 7u);
  EXPECT_EQ(resources[cols::kResUrl].width, 0);
  EXPECT_EQ(resources[cols::kResChineseName].width, 0);
  const auto queue = download_queue_columns();
  ASSERT_EQ(queue.size(), 7u);
  for (std::size_t i = 0; i < queue.size(); ++i) {  // captioned as the resource list
    EXPECT_EQ(queue[i].header, resources[i].header) << i;
    EXPECT_EQ(queue[i].width, resources[i].width) << i;
  }
  EXPECT_EQ(queue[cols::kTaskName].header, gbk("地图名称"));
  const auto extract = extract_queue_columns();
  ASSERT_EQ(extract.size(), 3u);
  EXPECT_EQ(extract[0].header, gbk("文件"));
}

TEST(ListModel, RowsAreFittedToTheColumns) {
  ListModel list = ThreeColumns();
  EXPECT_EQ(list.Append({"x"}), 0);
  EXPECT_EQ(list.Append({"1", "2", "3", "4"}), 1);
  EXPECT_EQ(list.Row(0), (ListRow{"x", "", ""}));
  EXPECT_EQ(list.Row(1), (ListRow{"1", "2", "3"}));
  EXPECT_EQ(list.Cell(1, 1), "2");  // hidden columns hold data
  EXPECT_EQ(list.Cell(1, 3), "");
  EXPECT_EQ(list.Cell(2, 0), "");
  EXPECT_EQ(list.Cell(-1, 0), "");
  EXPECT_FALSE(list.Row(2).has_value());
  EXPECT_FALSE(list.SetCell(0, 3, "z"));
  EXPECT_FALSE(list.SetCell(2, 0, "z"));
  EXPECT_FALSE(list.Insert(3, {"z"}));
  EXPECT_FALSE(list.Remove(2));
  EXPECT_TRUE(list.Insert(2, {"end"}));
  EXPECT_EQ(list.RowCount(), 3);
}

TEST(ListModel, FindRowComparesExactBytes) {
  ListModel list = ThreeColumns();
  list.Append({"s1", "1.2.3.4:27015"});
  list.Append({"s2", "1.2.3.4:2701"});
  list.Append({"s3", "1.2.3.4:27015"});
  EXPECT_EQ(list.FindRow(1, "1.2.3.4:2701"), 1);
  EXPECT_EQ(list.FindRow(1, "1.2.3.4:27015"), 0);
  EXPECT_EQ(list.FindRow(1, "1.2.3.4:27015", 1), 2);
  EXPECT_EQ(list.FindRow(1, "1.2.3.4"), -1);
  EXPECT_EQ(list.FindRow(1, "1.2.3.4:27015 "), -1);
  EXPECT_EQ(list.FindRow(7, "s1"), -1);
  EXPECT_EQ(list.FindRow(1, "1.2.3.4:27015", -5), 0);

  EXPECT_EQ(list.SetCellsWhere(1, "1.2.3.4:27015", {{0, "named"}, {2, "csgo"}, {9, "ignored"}}), 2);
  EXPECT_EQ(list.Cell(0, 0), "named");
  EXPECT_EQ(list.Cell(2, 2), "csgo");
  EXPECT_EQ(list.Cell(1, 0), "s2");
  EXPECT_EQ(list.RemoveWhere(1, "1.2.3.4:27015"), 2);
  EXPECT_EQ(list.Rows(), (std::vector<ListRow>{{"s2", "1.2.3.4:2701", ""}}));
}

TEST(ListModel, SetCellsWhereFollowsRowsAndKeysAsTheyChange) {
  ListModel list = ThreeColumns();
  for (const char* key : {"a", "b", "a"}) list.Append({"", key});
  EXPECT_EQ(list.SetCellsWhere(1, "a", {{0, "1"}}), 2);  // builds the lookup
  list.Append({"", "a"});
  list.Insert(0, {"", "b"});
  list.Remove(1);                                        // rows move up under the lookup
  list.SetCell(0, 1, "a");                               // a key changed by hand
  EXPECT_EQ(list.SetCellsWhere(1, "b", {{1, "c"}}), 1);  // changes the key it looked up by
  EXPECT_EQ(list.SetCellsWhere(1, "a", {{0, "2"}}), 3);
  EXPECT_EQ(list.SetCellsWhere(1, "c", {{2, "x"}}), 1);
  EXPECT_EQ(list.SetCellsWhere(1, "b", {{2, "y"}}), 0);
  EXPECT_EQ(list.Rows(),
            (std::vector<ListRow>{{"2", "a", ""}, {"", "c", "x"}, {"2", "a", ""}, {"2", "a", ""}}));
  list.Replace({{"", "z"}});
  EXPECT_EQ(list.SetCellsWhere(1, "a", {{0, "3"}}), 0);
  EXPECT_EQ(list.SetCellsWhere(1, "z", {{0, "3"}}), 1);
}

TEST(ListModel, SelectionFollowsItsRow) {
  ListModel list = ThreeColumns();
  for (const char* name : {"r0", "r1", "r2", "r3"}) list.Append({name});
  list.Select(2);
  list.Insert(0, {"new"});
  EXPECT_EQ(list.Selected(), 3);
  EXPECT_EQ(list.Cell(list.Selected(), 0), "r2");
  list.Remove(4);  // below: unchanged
  EXPECT_EQ(list.Selected(), 3);
  list.Remove(1);  // above: moves up
  EXPECT_EQ(list.Cell(list.Selected(), 0), "r2");
  list.Remove(list.Selected());  // itself: cleared
  EXPECT_EQ(list.Selected(), -1);
  list.Select(1);
  list.Select(99);
  EXPECT_EQ(list.Selected(), -1);
  list.Select(0);
  list.Clear();
  EXPECT_EQ(list.Selected(), -1);
  EXPECT_EQ(list.RowCount(), 0);
}

TEST(ListModel, SelectionListenerHearsSelectOnly) {
  ListModel list = ThreeColumns();
  for (const char* name : {"r0", "r1", "r2"}) list.Append({name});
  std::vector<int> heard;
  list.SetSelectionListener([&](int row) { heard.push_back(row); });
  list.Select(1);
  list.Select(1);  // no change
  list.Remove(0);  // the row moves up; not a choice
  list.Select(7);  // out of range: cleared
  list.SetSelectionListener(nullptr);
  list.Select(0);
  EXPECT_EQ(heard, (std::vector<int>{1, -1}));
}

TEST(ListModel, ChangeLogRebuildsTheListInAView) {
  ListModel list = ThreeColumns();
  list.Append({"before"});
  int pings = 0;
  Mirror mirror;
  auto [rows, selected] = list.SetObserver([&] { ++pings; });
  mirror.rows = rows;
  mirror.selected = selected;

  list.Append({"a", "1"});
  list.Insert(0, {"b"});
  list.SetCell(2, 2, "c");
  list.SetCell(2, 2, "c");  // no change, no entry
  list.Select(2);
  list.Remove(0);
  list.SetCellsWhere(1, "1", {{0, "A"}});
  EXPECT_EQ(pings, 1);  // one ping per batch
  const auto changes = list.TakeChanges();
  EXPECT_EQ(changes.size(), 7u);
  mirror.Apply(changes);
  EXPECT_EQ(mirror.rows, list.Rows());
  EXPECT_EQ(mirror.selected, list.Selected());

  EXPECT_TRUE(list.TakeChanges().empty());
  list.Replace({{"x"}, {"y"}});
  EXPECT_EQ(pings, 2);
  mirror.Apply(list.TakeChanges());
  EXPECT_EQ(mirror.rows, list.Rows());
  EXPECT_EQ(mirror.selected, -1);

  list.SetObserver(nullptr);
  list.Append({"unseen"});
  EXPECT_TRUE(list.TakeChanges().empty());
  EXPECT_EQ(pings, 2);
}

TEST(ListModel, LongBatchCollapsesIntoOneReset) {
  ListModel list = ThreeColumns();
  list.SetObserver([] {});
  for (std::size_t i = 0; i < ListModel::kMaxPendingChanges + 10; ++i) {
    list.Append({std::to_string(i)});
  }
  list.Select(5);
  const auto changes = list.TakeChanges();
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].kind, ListChange::Kind::kReset);
  EXPECT_EQ(changes[0].rows.size(), ListModel::kMaxPendingChanges + 10);
  EXPECT_EQ(changes[0].row, 5);
  // Recording resumes normally afterwards.
  list.Remove(0);
  const auto after = list.TakeChanges();
  ASSERT_EQ(after.size(), 2u);
  EXPECT_EQ(after[0].kind, ListChange::Kind::kRemove);
  EXPECT_EQ(after[1].kind, ListChange::Kind::kSelect);
}

// Workers fill and edit the list while a view thread follows it through the change log, as the
// window does; at the end the view's copy equals the list.
TEST(ListModel, ViewFollowsConcurrentWriters) {
  ListModel list({{"name", 100}, {"state", 100}, {"key", 0}});
  std::mutex mutex;
  std::condition_variable cv;
  bool pinged = false;
  Mirror mirror;
  auto initial = list.SetObserver([&] {
    std::lock_guard<std::mutex> lock(mutex);
    pinged = true;
    cv.notify_one();
  });
  mirror.rows = initial.first;

  std::atomic<bool> done{false};
  std::thread view([&] {
    while (true) {
      {
        std::unique_lock<std::mutex> lock(mutex);
        cv.wait(lock, [&] { return pinged || done.load(); });
        pinged = false;
      }
      mirror.Apply(list.TakeChanges());
      if (done.load()) {
        mirror.Apply(list.TakeChanges());
        return;
      }
    }
  });

  std::vector<std::thread> writers;
  for (int t = 0; t < 3; ++t) {
    writers.emplace_back([&, t] {
      for (int i = 0; i < 300; ++i) {
        const std::string key = std::to_string(t) + ":" + std::to_string(i);
        list.Append({"row", "new", key});
        list.SetCellsWhere(2, key, {{1, "seen"}});
        if (i % 3 == 0) list.RemoveWhere(2, key);
        if (i % 50 == 0) list.Select(list.RowCount() / 2);
      }
    });
  }
  for (std::thread& writer : writers) writer.join();
  done = true;
  {
    std::lock_guard<std::mutex> lock(mutex);
    cv.notify_one();
  }
  view.join();

  EXPECT_EQ(list.RowCount(), 3 * 200);
  EXPECT_EQ(mirror.rows, list.Rows());
  EXPECT_EQ(mirror.selected, list.Selected());
  for (const ListRow& row : list.Rows()) EXPECT_EQ(row[1], "seen");
}

}  // namespace
}  // namespace brindle
