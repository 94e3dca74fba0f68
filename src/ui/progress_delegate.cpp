#include "ui/progress_delegate.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <algorithm>
#include <charconv>
#include <string>
#include <system_error>

#include "ui/style.h"

namespace brindle::ui {
namespace {

bool AsciiDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// The texts the download queue writes before the first progress figures arrive.
const QString& WaitingText() {
  static const QString text = QString::fromUtf8("等待下载");
  return text;
}
const QString& StartingText() {
  static const QString text = QString::fromUtf8("下载中");
  return text;
}

constexpr int kPadding = 8;  // matches the item padding of the style sheet
constexpr int kBarHeight = 20;
const QColor kTrack{226, 232, 240};
const QColor kTrackEdge{203, 213, 225};
const QColor kTextOnTrack{30, 41, 59};

QRectF BarRect(const QRect& cell) {
  const QRect area = cell.adjusted(kPadding, 0, -kPadding, 0);
  const int height = std::min(kBarHeight, std::max(0, area.height() - 8));
  return QRectF(area.left(), area.top() + (area.height() - height) / 2.0, area.width(), height);
}

// The bar: the track, the part filled to `percent`, and `text` centred on it, dark over the track
// and white over the fill so every character stays readable where the fill edge crosses it.
void DrawBar(QPainter* p, const QRectF& bar, double percent, const QString& text, QFont font) {
  if (bar.width() <= 2 || bar.height() <= 2) return;
  const qreal radius = bar.height() / 2;
  QPainterPath track;
  track.addRoundedRect(bar, radius, radius);
  p->setPen(QPen(kTrackEdge, 1));
  p->setBrush(kTrack);
  p->drawPath(track);

  const QRectF filled(bar.left(), bar.top(), bar.width() * percent / 100.0, bar.height());
  if (filled.width() > 0) {
    p->save();
    p->setClipRect(filled, Qt::IntersectClip);
    p->fillPath(track, palette::kAccent);
    p->restore();
  }

  font.setPixelSize(12);
  font.setBold(true);
  p->setFont(font);
  const QRectF text_box = bar.adjusted(radius, 0, -radius, 0);
  const QString shown =
      p->fontMetrics().elidedText(text, Qt::ElideRight, static_cast<int>(text_box.width()));
  p->setPen(kTextOnTrack);
  p->drawText(text_box, Qt::AlignCenter, shown);
  if (filled.width() > 0) {
    p->save();
    p->setClipRect(filled, Qt::IntersectClip);
    p->setPen(Qt::white);
    p->drawText(text_box, Qt::AlignCenter, shown);
    p->restore();
  }
}

}  // namespace

std::optional<double> LeadingPercent(QStringView text) {
  const qsizetype n = text.size();
  qsizetype i = 0;
  while (i < n && text[i] == u' ') ++i;
  bool negative = false;
  if (i < n && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  std::string number;  // ASCII digits and the point, for a locale-free conversion
  int digits = 0;
  for (; i < n && AsciiDigit(text[i]); ++i, ++digits)
    number += static_cast<char>(text[i].unicode());
  if (i < n && text[i] == u'.') {
    number += '.';
    for (++i; i < n && AsciiDigit(text[i]); ++i, ++digits) {
      number += static_cast<char>(text[i].unicode());
    }
  }
  if (digits == 0 || i >= n || text[i] != u'%') return std::nullopt;
  double value = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error == std::errc::result_out_of_range) {
    value = 100;  // a run of digits too long for a double is at least 100
  } else if (error != std::errc() || end != number.data() + number.size()) {
    return std::nullopt;
  }
  if (negative || value <= 0) return 0.0;  // no "-0"
  return std::min(value, 100.0);
}

QueueStateLook ClassifyQueueState(QStringView text) {
  if (const std::optional<double> percent = LeadingPercent(text)) {
    return {QueueStateLook::Kind::kProgress, *percent};
  }
  if (text == WaitingText()) return {QueueStateLook::Kind::kWaiting, 0};
  static const QString stalled_start = StartingText() + QString::fromUtf8(" 等待数据...");
  if (text == StartingText() || text == stalled_start) {
    return {QueueStateLook::Kind::kStarting, 0};
  }
  static const QString failed_download = QString::fromUtf8("下载失败");
  static const QString failed_install = QString::fromUtf8("解压失败");
  static const QString cancelled = QString::fromUtf8("已取消");
  if (text.startsWith(failed_download) || text.startsWith(failed_install)) {
    return {QueueStateLook::Kind::kFailed, 0};
  }
  if (text == cancelled) return {QueueStateLook::Kind::kCancelled, 0};
  return {};
}

void QueueStateDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
  const QString text = index.data(Qt::DisplayRole).toString();
  const QueueStateLook look = ClassifyQueueState(text);
  if (look.kind == QueueStateLook::Kind::kText) {
    QStyledItemDelegate::paint(painter, option, index);
    return;
  }
  // The cell's own background, selection and separator as the style draws them, without text.
  QStyleOptionViewItem cell = option;
  initStyleOption(&cell, index);
  cell.text.clear();
  const QWidget* widget = cell.widget;
  QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
  style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);

  painter->save();
  painter->setRenderHint(QPainter::Antialiasing);
  painter->setRenderHint(QPainter::TextAntialiasing);
  switch (look.kind) {
    case QueueStateLook::Kind::kProgress:
      DrawBar(painter, BarRect(option.rect), look.percent, text, option.font);
      break;
    case QueueStateLook::Kind::kStarting:
      DrawBar(painter, BarRect(option.rect), 0, text, option.font);
      break;
    case QueueStateLook::Kind::kWaiting:
    case QueueStateLook::Kind::kFailed:
    case QueueStateLook::Kind::kCancelled: {
      // A dot before the text: hollow while queued, filled once the task has stopped (red when
      // it failed, so a failed row stands out among the others).
      const bool failed = look.kind == QueueStateLook::Kind::kFailed;
      const QColor colour = failed ? palette::kDanger : palette::kMuted;
      const QRect area = option.rect.adjusted(kPadding, 0, -kPadding, 0);
      const QPointF dot(area.left() + 5, area.center().y() + 0.5);
      painter->setPen(QPen(colour, 1.4));
      painter->setBrush(look.kind == QueueStateLook::Kind::kWaiting ? QBrush(Qt::NoBrush)
                                                                    : QBrush(colour));
      painter->drawEllipse(dot, 3.5, 3.5);
      painter->setFont(option.font);
      painter->setPen(colour);
      const QRect text_box = area.adjusted(16, 0, 0, 0);
      painter->drawText(text_box, Qt::AlignLeft | Qt::AlignVCenter,
                        painter->fontMetrics().elidedText(text, Qt::ElideRight, text_box.width()));
      break;
    }
    case QueueStateLook::Kind::kText:
      break;
  }
  painter->restore();
}

}  // namespace brindle::ui
