#include "ui/notice_window.h"

#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

namespace brindle::ui {
namespace {

// The panel's own colours, whatever the application's palette or the desktop's theme: light text
// on a dark, nearly opaque panel reads over every page.
const QColor kPanel(15, 23, 42, 240);
const QColor kText(255, 255, 255);

}  // namespace

int NoticeWindow::ShownMs(const QString& text) {
  const int characters = static_cast<int>(text.trimmed().size());
  return std::clamp(1500 + characters * kPerCharacterMs, kShortestMs, kLongestMs);
}

NoticeWindow::NoticeWindow(QWidget* host) : QFrame(host) {
  // The window gives the panel its design name as object name, so the style keys on a role.
  setProperty("role", "noticePanel");
  setAttribute(Qt::WA_StyledBackground);
  setFixedWidth(kWidth);
  setMinimumHeight(kHeight);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  QPalette colours = palette();
  colours.setColor(QPalette::Window, kPanel);
  colours.setColor(QPalette::WindowText, kText);
  setPalette(colours);
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
  label_->setPalette(colours);
  column->addWidget(label_);

  hide_timer_.setSingleShot(true);
  hide_timer_.setInterval(kShortestMs);
  connect(&hide_timer_, &QTimer::timeout, this, &QWidget::hide);
  host->installEventFilter(this);
  hide();
}

void NoticeWindow::Show(const QString& text) {
  label_->setText(text);
  // A long notice grows downwards rather than losing lines.
  const int margins = layout()->contentsMargins().top() + layout()->contentsMargins().bottom();
  setFixedHeight(std::max(kHeight, label_->heightForWidth(kWidth - 24) + margins));
  Place();
  show();
  raise();
  // A new notice restarts the clock, so a repeated refusal stays readable.
  hide_timer_.start(ShownMs(text));
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
