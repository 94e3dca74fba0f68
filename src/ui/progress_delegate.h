// Draws the state cell of a download queue row: the running task's progress text as a bar filled
// to its percentage with the text on it, the waiting and starting states as quieter marks.
#pragma once

#include <QStringView>
#include <QStyledItemDelegate>
#include <optional>

namespace brindle::ui {

// The percentage a progress text starts with ("45.20%(12.34MB/27.30MB)" gives 45.2), clamped to
// 0..100; nothing when the text does not start with a number followed by "%". Leading spaces and
// a sign are allowed; exponents, "nan", "inf" and a bare "%" are not.
std::optional<double> LeadingPercent(QStringView text);

// How a queue state cell is drawn.
struct QueueStateLook {
  enum class Kind {
    kText,       // anything else: drawn as the plain text it is
    kWaiting,    // "等待下载": muted text
    kStarting,   // "下载中": an empty bar with the text on it
    kProgress,   // "NN.NN%...": a bar filled to `percent` with the whole text on it
    kFailed,     // "下载失败…", "解压失败…": a red mark and the reason
    kCancelled,  // "已取消": muted, with the mark of a stopped task
  };
  Kind kind = Kind::kText;
  double percent = 0;  // 0..100, for kProgress
};
QueueStateLook ClassifyQueueState(QStringView text);

class QueueStateDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
};

}  // namespace brindle::ui
