#include "view/list_model.h"

#include <utility>

#include "foundation/encoding.h"

namespace brindle {

ListModel::ListModel(std::vector<ListColumn> columns) : columns_(std::move(columns)) {}

ListRow ListModel::Fit(ListRow cells) const {
  cells.resize(columns_.size());
  return cells;
}

bool ListModel::Record(ListChange change) {
  if (!recording_) return false;
  const bool was_empty = pending_.empty() && !overflowed_;
  if (overflowed_) return false;
  if (pending_.size() >= kMaxPendingChanges) {
    // The view will get one reset built when it takes the changes.
    pending_.clear();
    pending_.shrink_to_fit();
    overflowed_ = true;
    return false;
  }
  pending_.push_back(std::move(change));
  return was_empty;
}

void ListModel::Ping(bool needed) {
  if (!needed) return;
  std::shared_ptr<Observer> observer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    observer = observer_;
  }
  if (observer && *observer) (*observer)();
}

int ListModel::Append(ListRow cells) {
  bool ping = false;
  int row = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    row = static_cast<int>(rows_.size());
    rows_.push_back(Fit(std::move(cells)));
    for (auto& [column, index] : key_index_) {
      index[rows_.back()[static_cast<std::size_t>(column)]].push_back(row);
    }
    ListChange change;
    change.kind = ListChange::Kind::kInsert;
    change.row = row;
    change.cells = rows_.back();
    ping = Record(std::move(change));
  }
  Ping(ping);
  return row;
}

bool ListModel::Insert(int row, ListRow cells) {
  bool ping = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (row < 0 || row > static_cast<int>(rows_.size())) return false;
    rows_.insert(rows_.begin() + row, Fit(std::move(cells)));
    key_index_.clear();
    ListChange change;
    change.kind = ListChange::Kind::kInsert;
    change.row = row;
    change.cells = rows_[static_cast<std::size_t>(row)];
    ping = Record(std::move(change));
    if (selected_ >= row) {
      ++selected_;
      ListChange select;
      select.kind = ListChange::Kind::kSelect;
      select.row = selected_;
      ping = Record(std::move(select)) || ping;
    }
  }
  Ping(ping);
  return true;
}

bool ListModel::Remove(int row) {
  bool ping = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (row < 0 || row >= static_cast<int>(rows_.size())) return false;
    rows_.erase(rows_.begin() + row);
    key_index_.clear();
    ListChange change;
    change.kind = ListChange::Kind::kRemove;
    change.row = row;
    ping = Record(std::move(change));
    if (selected_ >= row) {
      selected_ = selected_ == row ? -1 : selected_ - 1;
      ListChange select;
      select.kind = ListChange::Kind::kSelect;
      select.row = selected_;
      ping = Record(std::move(select)) || ping;
    }
  }
  Ping(ping);
  return true;
}

bool ListModel::SetCell(int row, int column, std::string text) {
  bool ping = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (row < 0 || row >= static_cast<int>(rows_.size())) return false;
    if (column < 0 || column >= ColumnCount()) return false;
    std::string& cell = rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
    if (cell == text) return true;
    cell = std::move(text);
    key_index_.erase(column);
    ListChange change;
    change.kind = ListChange::Kind::kSetCell;
    change.row = row;
    change.column = column;
    change.cells.push_back(cell);
    ping = Record(std::move(change));
  }
  Ping(ping);
  return true;
}

void ListModel::Clear() { Replace({}); }

void ListModel::Replace(std::vector<ListRow> rows) {
  bool ping = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (ListRow& row : rows) row = Fit(std::move(row));
    rows_ = std::move(rows);
    key_index_.clear();
    selected_ = -1;
    if (recording_ && !overflowed_) {
      // Earlier pending changes are overtaken by the reset.
      const bool was_empty = pending_.empty();
      pending_.clear();
      ListChange change;
      change.kind = ListChange::Kind::kReset;
      change.row = -1;
      change.rows = rows_;
      pending_.push_back(std::move(change));
      ping = was_empty;
    }
  }
  Ping(ping);
}

int ListModel::RowCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(rows_.size());
}

std::string ListModel::Cell(int row, int column) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (row < 0 || row >= static_cast<int>(rows_.size())) return {};
  if (column < 0 || column >= ColumnCount()) return {};
  return rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

std::optional<ListRow> ListModel::Row(int row) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (row < 0 || row >= static_cast<int>(rows_.size())) return std::nullopt;
  return rows_[static_cast<std::size_t>(row)];
}

std::vector<ListRow> ListModel::Rows() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return rows_;
}

int ListModel::FindRow(int column, std::string_view text, int from) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (column < 0 || column >= ColumnCount()) return -1;
  for (int i = from < 0 ? 0 : from; i < static_cast<int>(rows_.size()); ++i) {
    if (rows_[static_cast<std::size_t>(i)][static_cast<std::size_t>(column)] == text) return i;
  }
  return -1;
}

int ListModel::SetCellsWhere(int key_column, std::string_view key,
                             const std::vector<std::pair<int, std::string>>& cells) {
  bool ping = false;
  int count = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (key_column < 0 || key_column >= ColumnCount()) return 0;
    // A copy: a cell set below may be in an indexed column, which drops that index.
    for (const int row : KeyRows(key_column, std::string(key))) {
      const auto r = static_cast<std::size_t>(row);
      ++count;
      for (const auto& [column, text] : cells) {
        if (column < 0 || column >= ColumnCount()) continue;
        std::string& cell = rows_[r][static_cast<std::size_t>(column)];
        if (cell == text) continue;
        cell = text;
        key_index_.erase(column);
        ListChange change;
        change.kind = ListChange::Kind::kSetCell;
        change.row = static_cast<int>(r);
        change.column = column;
        change.cells.push_back(text);
        ping = Record(std::move(change)) || ping;
      }
    }
  }
  Ping(ping);
  return count;
}

std::vector<int> ListModel::KeyRows(int column, const std::string& key) {
  auto [it, fresh] = key_index_.try_emplace(column);
  auto& index = it->second;
  if (fresh) {
    for (std::size_t r = 0; r < rows_.size(); ++r) {
      index[rows_[r][static_cast<std::size_t>(column)]].push_back(static_cast<int>(r));
    }
  }
  const auto found = index.find(key);
  return found == index.end() ? std::vector<int>{} : found->second;
}

int ListModel::RemoveWhere(int column, std::string_view text) {
  bool ping = false;
  int count = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (column < 0 || column >= ColumnCount()) return 0;
    for (int r = static_cast<int>(rows_.size()) - 1; r >= 0; --r) {
      if (rows_[static_cast<std::size_t>(r)][static_cast<std::size_t>(column)] != text) continue;
      rows_.erase(rows_.begin() + r);
      key_index_.clear();
      ++count;
      ListChange change;
      change.kind = ListChange::Kind::kRemove;
      change.row = r;
      ping = Record(std::move(change)) || ping;
      if (selected_ >= r) {
        selected_ = selected_ == r ? -1 : selected_ - 1;
        ListChange select;
        select.kind = ListChange::Kind::kSelect;
        select.row = selected_;
        ping = Record(std::move(select)) || ping;
      }
    }
  }
  Ping(ping);
  return count;
}

int ListModel::Selected() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return selected_;
}

void ListModel::Select(int row) {
  bool ping = false;
  std::shared_ptr<SelectionListener> listener;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (row < 0 || row >= static_cast<int>(rows_.size())) row = -1;
    if (row == selected_) return;
    selected_ = row;
    ListChange change;
    change.kind = ListChange::Kind::kSelect;
    change.row = row;
    ping = Record(std::move(change));
    listener = selection_listener_;
  }
  Ping(ping);
  if (listener && *listener) (*listener)(row);
}

void ListModel::SetSelectionListener(SelectionListener listener) {
  std::lock_guard<std::mutex> lock(mutex_);
  selection_listener_ =
      listener ? std::make_shared<SelectionListener>(std::move(listener)) : nullptr;
}

std::pair<std::vector<ListRow>, int> ListModel::SetObserver(Observer observer) {
  std::lock_guard<std::mutex> lock(mutex_);
  pending_.clear();
  overflowed_ = false;
  recording_ = static_cast<bool>(observer);
  observer_ = recording_ ? std::make_shared<Observer>(std::move(observer)) : nullptr;
  return {rows_, selected_};
}

std::vector<ListChange> ListModel::TakeChanges() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<ListChange> out;
  if (overflowed_) {
    ListChange change;
    change.kind = ListChange::Kind::kReset;
    change.row = selected_;
    change.rows = rows_;
    out.push_back(std::move(change));
    overflowed_ = false;
    return out;
  }
  out.swap(pending_);
  return out;
}

namespace {

std::vector<ListColumn> Columns(std::initializer_list<std::pair<const char*, int>> columns) {
  std::vector<ListColumn> out;
  for (const auto& [header, width] : columns) out.push_back({gbk(header), width});
  return out;
}

}  // namespace

std::vector<ListColumn> server_list_columns() {
  // The round trip and the map the server itself names come from the live query.
  return Columns({{"服务器", 335},
                  {"地图", 425},
                  {"人数", 100},
                  {"IPAddress", 0},
                  {"区域Region", 0},
                  {"延迟", 90},
                  {"实时地图", 0}});
}

std::vector<ListColumn> favourites_columns() {
  return Columns({{"服务器", 400},
                  {"地图", 250},
                  {"人数", 64},
                  {"IPAddress", 0},
                  {"游戏", 64},
                  {"延迟", 90},
                  {"版本", 100},
                  {"排序ID", 0},
                  {"TypeStr", 0},
                  {"ipv4", 0}});
}

std::vector<ListColumn> player_list_columns() {
  return Columns({{"名称", 125}, {"分数", 50}, {"时间", 100}});
}

std::vector<ListColumn> resource_list_columns() {
  return Columns({{"地图名称", 230},
                  {"地图文件状态", 325},
                  {"", 0},
                  {"", 0},
                  {"下载进度", 100},
                  {"下载状态", 100},
                  {"文件名称", 100}});
}

// The queue's rows are the resource list's rows moved over: same captions, same widths.
std::vector<ListColumn> download_queue_columns() { return resource_list_columns(); }

// Only the first two headers are given; the state column is unnamed and the widths are ours.
std::vector<ListColumn> extract_queue_columns() {
  return Columns({{"文件", 300}, {"进度", 100}, {"", 100}});
}

}  // namespace brindle
