#include "ui/notice_window.h"

#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QVBoxLayout>

namespace brindle::ui {

NoticeWindow::NoticeWindow(QWidget* host) : QFrame(host) {
  setObjectName(QStringLiteral("NoticeWindow"));
  setFixedSize(kWidth, kHeight);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  auto* shadow = new QGraphicsDropShadowEffect(this);
  shadow->setBlurRadius(24);
  shadow->setOffset(0, 6);
  shadow->setColor(QColor(15, 23, 42, 90));
  setGraphicsEffect(shadow);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(12, 6, 12, 6);
  label_ = new QLabel(this);
  label_->setProperty("role", "notice");
  label_->setAlignment(Qt::AlignCenter);
  label_->setWordWrap(true);
  column->addWidget(label_);

  hide_timer_.setSingleShot(true);
  hide_timer_.setInterval(kShownMs);
  connect(&hide_timer_, &QTimer::timeout, this, &QWidget::hide);
  host->installEventFilter(this);
  hide();
}

void NoticeWindow::Show(const QString& text) {
  label_->setText(text);
  Place();
  show();
  raise();
  // A new notice restarts the clock, so a repeated refusal stays readable.
  hide_timer_.start();
}

QString NoticeWindow::Text() const { return label_->text(); }

void NoticeWindow::Place() {
  const QWidget* host = parentWidget();
  move(host->width() / 2 - kWidth / 2, kTopOffset);
}

bool NoticeWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parentWidget() && event->type() == QEvent::Resize) Place();
  return QFrame::eventFilter(watched, event);
}

}  // namespace brindle::ui
