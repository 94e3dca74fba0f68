// Shows a list model of the window in a Qt view. The list model may change on any thread; the
// adapter keeps the GUI thread's copy of the rows and applies the recorded changes there, a whole
// batch per event-loop turn, so a worker filling thousands of rows costs a few repaints.
#pragma once

#include <QAbstractTableModel>
#include <memory>
#include <vector>

#include "view/list_model.h"

namespace brindle::ui {

class ListModelAdapter : public QAbstractTableModel {
  Q_OBJECT
 public:
  // A batch inserting and removing more rows than this resets the view instead of editing it row
  // by row. Cell changes never reset: however many arrive, a batch tells the view once per run
  // of them, for the rectangle of cells they touched, so a stream of progress texts costs one
  // repaint per event-loop turn and the view keeps its selection and scroll position.
  static constexpr std::size_t kResetThreshold = 256;

  // Attaches to `model` (which must outlive the adapter) and takes its rows as they are now.
  // Construct on the GUI thread.
  explicit ListModelAdapter(ListModel& model, QObject* parent = nullptr);
  ~ListModelAdapter() override;

  ListModel& Model() const { return model_; }
  const std::vector<ListColumn>& Columns() const { return model_.Columns(); }
  // The model's current row as last applied (-1 none).
  int SelectedRow() const { return selected_; }
  // True while a batch is being applied, so views can tell the model's changes from the
  // person's.
  bool Applying() const { return applying_; }
  // Batches applied so far.
  int BatchCount() const { return batches_; }

  // Applies every pending change now. Runs by itself on the GUI thread after the model reports
  // changes; tests and the window may call it to catch up at once.
  Q_INVOKABLE void Flush();

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 signals:
  // The model's current row changed (-1: none); a view selects it and scrolls it into view.
  void SelectionChanged(int row);

 private:
  struct Relay;
  // Cells changed since the views were last told: a bounding rectangle, empty when none.
  struct Dirty {
    int top = -1, bottom = -1, left = -1, right = -1;
    void Add(int row, int column);
  };
  void Apply(std::vector<ListChange> changes);
  void ApplyOne(ListChange& change, int& selected);
  bool SetCell(ListChange& change);
  void TellDirty(Dirty& dirty);
  void ReplaceRows(std::vector<ListRow> rows, Dirty& dirty);

  ListModel& model_;
  std::shared_ptr<Relay> relay_;
  std::vector<ListRow> rows_;
  int selected_ = -1;
  bool applying_ = false;
  int batches_ = 0;
};

}  // namespace brindle::ui
