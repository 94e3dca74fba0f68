// A list control as data: a table of GBK text cells with fixed columns, a current row, and a
// change log a view can pull from. Every member is safe to call from any thread; workers fill
// lists while the window shows them.
//
// Views follow the list without holding a lock across threads: attach with SetObserver (which
// hands over the rows at that instant), then whenever the observer is pinged, take the recorded
// changes with TakeChanges and apply them in order to the view's own copy. Many changes between
// two takes arrive as one batch; a very long batch collapses into one kReset.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace brindle {

struct ListColumn {
  std::string header;  // GBK; may be empty
  int width = 0;       // pixels; 0 = hidden column that still holds data
};

using ListRow = std::vector<std::string>;  // one GBK text per column

struct ListChange {
  enum class Kind {
    kInsert,   // `cells` inserted at `row` (row == old row count for an append)
    kRemove,   // `row` removed
    kSetCell,  // cell (`row`, `column`) is now `cells[0]`
    kReset,    // everything replaced by `rows`; the selection is `row`
    kSelect,   // current row is now `row` (-1 none); a view scrolls it into view
  };
  Kind kind = Kind::kReset;
  int row = -1;
  int column = -1;
  ListRow cells;
  std::vector<ListRow> rows;
};

class ListModel {
 public:
  // Pinged (from whichever thread made the change, outside the model's lock) when changes become
  // pending after the last TakeChanges. Must be cheap and must not block.
  using Observer = std::function<void()>;

  // Pending changes beyond this many collapse into one kReset.
  static constexpr std::size_t kMaxPendingChanges = 4096;
  // Every list of the window draws rows this high.
  static constexpr int kRowHeight = 36;

  explicit ListModel(std::vector<ListColumn> columns);
  ListModel(const ListModel&) = delete;
  ListModel& operator=(const ListModel&) = delete;

  const std::vector<ListColumn>& Columns() const { return columns_; }  // fixed at construction
  int ColumnCount() const { return static_cast<int>(columns_.size()); }

  // Rows are cut or padded with empty texts to the column count.
  int Append(ListRow cells);                            // the new row's index
  bool Insert(int row, ListRow cells);                  // 0 <= row <= RowCount()
  bool Remove(int row);                                 // false when out of range
  bool SetCell(int row, int column, std::string text);  // false when out of range
  void Clear();
  void Replace(std::vector<ListRow> rows);  // all rows at once; selection cleared

  int RowCount() const;
  std::string Cell(int row, int column) const;  // "" when out of range
  std::optional<ListRow> Row(int row) const;
  std::vector<ListRow> Rows() const;

  // First row at or after `from` whose cell in `column` equals `text` byte for byte; -1 if none.
  int FindRow(int column, std::string_view text, int from = 0) const;
  // Sets the listed cells of every row whose `key_column` equals `key`; returns how many rows.
  int SetCellsWhere(int key_column, std::string_view key,
                    const std::vector<std::pair<int, std::string>>& cells);
  // Removes every row whose `column` equals `text`; returns how many.
  int RemoveWhere(int column, std::string_view text);

  // The current row, -1 when none. Inserting or removing rows above it moves it along; removing
  // it clears it. Selecting an index out of range clears the selection.
  int Selected() const;
  void Select(int row);

  // Called after Select changed the current row (the person's choice, or a feature's), on the
  // selecting thread and outside the model's lock. One listener; an empty function removes it.
  // Rows moving or going away do not call it.
  using SelectionListener = std::function<void(int row)>;
  void SetSelectionListener(SelectionListener listener);

  // Attaches the one observer and returns the rows and selection at that instant; changes are
  // recorded from then on. An empty observer detaches and stops recording.
  std::pair<std::vector<ListRow>, int> SetObserver(Observer observer);
  // The changes since the last take, oldest first.
  std::vector<ListChange> TakeChanges();

 private:
  ListRow Fit(ListRow cells) const;
  // Records a change while mutex_ is held; returns true when the observer must be pinged.
  bool Record(ListChange change);
  void Ping(bool needed);
  // The rows (ascending) whose `column` holds `key`, from that column's index, built on first use.
  // A live query sets cells by server address once per answer, and a scan of thousands of rows
  // each time made a list load cost the square of its size.
  std::vector<int> KeyRows(int column, const std::string& key);

  const std::vector<ListColumn> columns_;
  mutable std::mutex mutex_;
  std::vector<ListRow> rows_;
  // Per key column used by SetCellsWhere: rows by cell text. Dropped when rows move (insert,
  // remove, replace) or a cell of that column changes; an appended row is added.
  std::map<int, std::unordered_map<std::string, std::vector<int>>> key_index_;
  int selected_ = -1;
  bool recording_ = false;
  bool overflowed_ = false;
  std::vector<ListChange> pending_;
  std::shared_ptr<Observer> observer_;
  std::shared_ptr<SelectionListener> selection_listener_;
};

// The column sets of the window's lists.
std::vector<ListColumn> server_list_columns();     // 服务器列表_EX
std::vector<ListColumn> favourites_columns();      // 服务器收藏列表_EX1
std::vector<ListColumn> player_list_columns();     // 玩家列表信息显示_EX
std::vector<ListColumn> resource_list_columns();   // 资源下载列表框_EX1
std::vector<ListColumn> download_queue_columns();  // 资源下载列表框_EX2
std::vector<ListColumn> extract_queue_columns();   // 解压队列列表框_EX

// Column indices, named so feature code reads as the tables do.
namespace cols {
// Server list.
inline constexpr int kServerName = 0, kServerMap = 1, kServerPlayers = 2, kServerAddress = 3,
                     kServerRegion = 4, kServerPing = 5, kServerLiveMap = 6, kServerColumns = 7;
// Favourites list.
inline constexpr int kFavName = 0, kFavMap = 1, kFavPlayers = 2, kFavAddress = 3, kFavGame = 4,
                     kFavLatency = 5, kFavVersion = 6, kFavSortId = 7, kFavTypeStr = 8,
                     kFavIpv4 = 9;
// Player list.
inline constexpr int kPlayerName = 0, kPlayerScore = 1, kPlayerTime = 2;
// Resource list.
inline constexpr int kResMapName = 0, kResStatus = 1, kResUrl = 2, kResChineseName = 3,
                     kResProgress = 4, kResState = 5, kResFileName = 6;
// Download queue.
inline constexpr int kTaskName = 0, kTaskState = 1, kTaskUrl = 2, kTaskRemark = 3,
                     kTaskProgress = 4, kTaskRunMark = 5, kTaskFileName = 6;
// Extraction queue.
inline constexpr int kExtractFile = 0, kExtractProgress = 1, kExtractState = 2;
}  // namespace cols

}  // namespace brindle
