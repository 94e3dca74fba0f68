#include "ui/list_model_adapter.h"

#include <QMetaObject>
#include <QSize>
#include <algorithm>
#include <mutex>

#include "ui/qt_text.h"

namespace brindle::ui {

// Shared between the adapter and the model's observer. The observer may run on any thread, even
// while the adapter is being destroyed; the mutex and `alive` make posting to a dying adapter
// impossible, and Qt drops a posted call whose receiver is gone.
struct ListModelAdapter::Relay {
  std::mutex mutex;
  ListModelAdapter* target = nullptr;  // null once the adapter is going away
  bool scheduled = false;

  void Ping() {
    std::lock_guard lock(mutex);
    if (target == nullptr || scheduled) return;
    scheduled = true;
    // By name: the queued call then carries no functor of ours across threads.
    QMetaObject::invokeMethod(target, "Flush", Qt::QueuedConnection);
  }
};

ListModelAdapter::ListModelAdapter(ListModel& model, QObject* parent)
    : QAbstractTableModel(parent), model_(model), relay_(std::make_shared<Relay>()) {
  relay_->target = this;
  std::weak_ptr<Relay> weak = relay_;
  auto [rows, selected] = model_.SetObserver([weak] {
    if (auto relay = weak.lock()) relay->Ping();
  });
  rows_ = std::move(rows);
  selected_ = selected;
}

ListModelAdapter::~ListModelAdapter() {
  model_.SetObserver({});
  std::lock_guard lock(relay_->mutex);
  relay_->target = nullptr;
}

void ListModelAdapter::Flush() {
  {
    std::lock_guard lock(relay_->mutex);
    relay_->scheduled = false;
  }
  std::vector<ListChange> changes = model_.TakeChanges();
  if (!changes.empty()) Apply(std::move(changes));
}

void ListModelAdapter::Dirty::Add(int row, int column) {
  if (top < 0) {
    top = bottom = row;
    left = right = column;
    return;
  }
  top = std::min(top, row);
  bottom = std::max(bottom, row);
  left = std::min(left, column);
  right = std::max(right, column);
}

void ListModelAdapter::Apply(std::vector<ListChange> changes) {
  applying_ = true;
  ++batches_;
  int selected = selected_;
  const auto structural = static_cast<std::size_t>(
      std::count_if(changes.begin(), changes.end(), [](const ListChange& c) {
        return c.kind == ListChange::Kind::kInsert || c.kind == ListChange::Kind::kRemove;
      }));
  if (structural > kResetThreshold) {
    // Replay on a private copy and show the result in one go.
    beginResetModel();
    for (ListChange& c : changes) ApplyOne(c, selected);
    endResetModel();
  } else {
    Dirty dirty;
    for (std::size_t i = 0; i < changes.size(); ++i) {
      ListChange& c = changes[i];
      if (c.kind == ListChange::Kind::kSetCell) {
        if (SetCell(c)) dirty.Add(c.row, c.column);
        continue;
      }
      if (c.kind == ListChange::Kind::kSelect) {
        selected = c.row;
        continue;
      }
      // Rows are about to move: the cells changed so far are reported where they are now.
      TellDirty(dirty);
      if (c.kind == ListChange::Kind::kInsert && c.row >= 0 &&
          c.row <= static_cast<int>(rows_.size())) {
        // A run of inserts at consecutive rows (appends, typically) becomes one notification.
        std::size_t end = i + 1;
        while (end < changes.size() && changes[end].kind == ListChange::Kind::kInsert &&
               changes[end].row == changes[end - 1].row + 1) {
          ++end;
        }
        const int first = c.row;
        const int last = first + static_cast<int>(end - i) - 1;
        beginInsertRows(QModelIndex(), first, last);
        for (std::size_t k = i; k < end; ++k) {
          rows_.insert(rows_.begin() + changes[k].row, std::move(changes[k].cells));
          if (selected >= changes[k].row) ++selected;
        }
        endInsertRows();
        i = end - 1;
        continue;
      }
      switch (c.kind) {
        case ListChange::Kind::kRemove:
          if (c.row < 0 || c.row >= static_cast<int>(rows_.size())) break;
          beginRemoveRows(QModelIndex(), c.row, c.row);
          rows_.erase(rows_.begin() + c.row);
          endRemoveRows();
          if (selected == c.row)
            selected = -1;
          else if (selected > c.row)
            --selected;
          break;
        case ListChange::Kind::kReset:
          ReplaceRows(std::move(c.rows), dirty);
          selected = c.row;
          break;
        case ListChange::Kind::kInsert:
          break;  // out of range: the log and the copy disagree; nothing sane to insert
        case ListChange::Kind::kSetCell:
        case ListChange::Kind::kSelect:
          break;  // handled above
      }
    }
    TellDirty(dirty);
  }
  const bool moved =
      selected != selected_ || std::any_of(changes.begin(), changes.end(), [](const ListChange& c) {
        return c.kind == ListChange::Kind::kSelect || c.kind == ListChange::Kind::kReset;
      });
  selected_ = selected;
  if (moved) emit SelectionChanged(selected_);
  applying_ = false;
}

bool ListModelAdapter::SetCell(ListChange& c) {
  if (c.row < 0 || c.row >= static_cast<int>(rows_.size()) || c.column < 0 ||
      c.column >= columnCount() || c.cells.empty()) {
    return false;
  }
  rows_[static_cast<std::size_t>(c.row)][static_cast<std::size_t>(c.column)] =
      std::move(c.cells[0]);
  return true;
}

void ListModelAdapter::TellDirty(Dirty& dirty) {
  if (dirty.top < 0) return;
  emit dataChanged(index(dirty.top, dirty.left), index(dirty.bottom, dirty.right));
  dirty = Dirty{};
}

// Applies one change to the copy without telling views (inside a model reset).
void ListModelAdapter::ApplyOne(ListChange& c, int& selected) {
  const int count = static_cast<int>(rows_.size());
  switch (c.kind) {
    case ListChange::Kind::kInsert:
      if (c.row < 0 || c.row > count) return;
      rows_.insert(rows_.begin() + c.row, std::move(c.cells));
      if (selected >= c.row) ++selected;
      return;
    case ListChange::Kind::kRemove:
      if (c.row < 0 || c.row >= count) return;
      rows_.erase(rows_.begin() + c.row);
      if (selected == c.row)
        selected = -1;
      else if (selected > c.row)
        --selected;
      return;
    case ListChange::Kind::kSetCell:
      SetCell(c);
      return;
    case ListChange::Kind::kReset:
      rows_ = std::move(c.rows);
      selected = c.row;
      return;
    case ListChange::Kind::kSelect:
      selected = c.row;
      return;
  }
}

// The model replaced every row (it does so when a writer outruns the view by thousands of
// changes). Rows of the same number and width are edited in place, so the view keeps its
// selection and scroll position; anything else resets it.
void ListModelAdapter::ReplaceRows(std::vector<ListRow> rows, Dirty& dirty) {
  const bool same_shape =
      rows.size() == rows_.size() &&
      std::equal(rows.begin(), rows.end(), rows_.begin(),
                 [](const ListRow& a, const ListRow& b) { return a.size() == b.size(); });
  if (!same_shape) {
    dirty = Dirty{};
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
    return;
  }
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t c = 0; c < rows[r].size(); ++c) {
      if (rows_[r][c] == rows[r][c]) continue;
      rows_[r][c] = std::move(rows[r][c]);
      dirty.Add(static_cast<int>(r), static_cast<int>(c));
    }
  }
}

int ListModelAdapter::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ListModelAdapter::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : model_.ColumnCount();
}

QVariant ListModelAdapter::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
  const ListRow& row = rows_[static_cast<std::size_t>(index.row())];
  if (index.column() >= static_cast<int>(row.size())) return {};
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
      return FromGbk(row[static_cast<std::size_t>(index.column())]);
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    default:
      return {};
  }
}

QVariant ListModelAdapter::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= model_.ColumnCount()) {
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  const ListColumn& column = model_.Columns()[static_cast<std::size_t>(section)];
  switch (role) {
    case Qt::DisplayRole:
      return FromGbk(column.header);
    case Qt::SizeHintRole:
      return QSize(column.width, 34);
    default:
      return QAbstractTableModel::headerData(section, orientation, role);
  }
}

}  // namespace brindle::ui
