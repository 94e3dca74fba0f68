#include "ui/summary_label.h"

#include <QEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QToolTip>

#include "ui/style.h"

namespace brindle::ui {
namespace {

const QString& SpeedMark() {
  static const QString mark = QString::fromUtf8("速度:");
  return mark;
}

// A line as long as a busy session's, for the size the label asks for.
const QString& TypicalLine() {
  static const QString line =
      QString::fromUtf8(" 已下载:12 已解压:10 待解压:2 下载失败:0 解压失败:0 速度:12.34MB/s");
  return line;
}

const QColor kCounters{51, 65, 85};

QFont SpeedFont(const QFont& base) {
  QFont bold = base;
  bold.setBold(true);
  return bold;
}

}  // namespace

std::pair<QString, QString> SplitSpeed(const QString& line) {
  const qsizetype at = line.lastIndexOf(SpeedMark());
  if (at < 0) return {line, QString()};
  QString counters = line.left(at);
  while (counters.endsWith(u' ')) counters.chop(1);
  return {counters, line.mid(at)};
}

SummaryLabel::SummaryLabel(QWidget* parent) : QLabel(parent) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  setTextFormat(Qt::PlainText);
}

QSize SummaryLabel::sizeHint() const {
  const QFontMetrics metrics(font());
  return {metrics.horizontalAdvance(TypicalLine()) + 8, metrics.height() + 4};
}

QSize SummaryLabel::minimumSizeHint() const { return {0, QFontMetrics(font()).height() + 4}; }

SummaryLabel::Shown SummaryLabel::Fit(int width) const {
  const auto [counters, speed] = SplitSpeed(text());
  const QFontMetrics plain(font());
  if (speed.isEmpty()) return {plain.elidedText(counters, Qt::ElideMiddle, width), QString()};
  const QFontMetrics bold(SpeedFont(font()));
  const int speed_width = bold.horizontalAdvance(speed);
  const int gap = plain.horizontalAdvance(u' ');
  const int room = width - speed_width - gap;
  // Elided counters shorter than a few characters say nothing; then the whole line elides.
  if (room < plain.horizontalAdvance(QStringLiteral("MMMM"))) {
    return {plain.elidedText(text(), Qt::ElideMiddle, width), QString()};
  }
  return {plain.elidedText(counters, Qt::ElideRight, room), speed};
}

void SummaryLabel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::TextAntialiasing);
  const QRect box = contentsRect();
  const Shown shown = Fit(box.width());
  p.setFont(font());
  p.setPen(kCounters);
  p.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, shown.counters);
  if (shown.speed.isEmpty()) return;
  const QFontMetrics plain(font());
  const int offset = shown.counters.isEmpty()
                         ? 0
                         : plain.horizontalAdvance(shown.counters) + plain.horizontalAdvance(u' ');
  p.setFont(SpeedFont(font()));
  p.setPen(palette::kAccentDark);
  p.drawText(box.adjusted(offset, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, shown.speed);
}

bool SummaryLabel::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip && !text().isEmpty()) {
    // The whole line, for when the room was too short to show it.
    QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text(), this);
    return true;
  }
  return QLabel::event(event);
}

SummaryLine::SummaryLine(QWidget* parent) : QWidget(parent), label_(new SummaryLabel(this)) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  label_->setFixedSize(label_->sizeHint());
}

QSize SummaryLine::sizeHint() const { return label_->SummaryLabel::sizeHint(); }

QSize SummaryLine::minimumSizeHint() const { return label_->SummaryLabel::minimumSizeHint(); }

void SummaryLine::resizeEvent(QResizeEvent*) { label_->setFixedSize(size()); }

}  // namespace brindle::ui
