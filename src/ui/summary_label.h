// The one-line summary under the download queue: the counters and the speed of the downloads, or
// the result of a map group check. A label, so the window binds its text like any other; it
// draws the text itself so that a short room elides the counters and never the speed.
#pragma once

#include <QLabel>
#include <QString>
#include <utility>

namespace brindle::ui {

// A summary line cut before its speed part: {"已下载:3 … 解压失败:0", "速度:1.52MB/s"}. The speed
// part runs from the last "速度:" to the end; without one it is empty and the line stays whole.
// The space before "速度:" belongs to neither part.
std::pair<QString, QString> SplitSpeed(const QString& line);

class SummaryLabel : public QLabel {
  Q_OBJECT
 public:
  explicit SummaryLabel(QWidget* parent = nullptr);
  // Room for a typical line; the text never asks for more, it elides.
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
  // The text as drawn into `width` pixels: the counters elided at the right when needed and the
  // speed whole; when not even the speed fits, the whole line elided in the middle (speed empty).
  struct Shown {
    QString counters;
    QString speed;
  };
  Shown Fit(int width) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;
};

// Where a layout puts the summary label. The label takes this holder's size as its fixed size: a
// label of fixed size asks no layout to run again when its text changes, and a layout pass over
// the whole window costs far more than drawing one line once a second (or far more often).
class SummaryLine : public QWidget {
  Q_OBJECT
 public:
  explicit SummaryLine(QWidget* parent = nullptr);
  SummaryLabel* Label() const { return label_; }
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  SummaryLabel* label_;
};

}  // namespace brindle::ui
