#include "ui/widgets.h"

#include <QDesktopServices>
#include <QEvent>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <QWindow>

#include "ui/style.h"

namespace brindle::ui {

ToggleSwitch::ToggleSwitch(QWidget* parent) : QAbstractButton(parent) {
  setCheckable(true);
  setCursor(Qt::PointingHandCursor);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize ToggleSwitch::sizeHint() const { return {42, 24}; }

void ToggleSwitch::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF track = QRectF(rect()).adjusted(1, 3, -1, -3);
  QColor fill = isChecked() ? palette::kAccent : QColor(203, 213, 225);
  if (!isEnabled()) fill.setAlpha(110);
  p.setPen(Qt::NoPen);
  p.setBrush(fill);
  p.drawRoundedRect(track, track.height() / 2, track.height() / 2);
  const qreal d = track.height() - 4;
  const qreal x = isChecked() ? track.right() - d - 2 : track.left() + 2;
  p.setBrush(Qt::white);
  p.drawEllipse(QRectF(x, track.top() + 2, d, d));
}

NavButton::NavButton(Glyph glyph, QLabel* caption, QWidget* parent)
    : QToolButton(parent), icon_(new QLabel(this)), caption_(caption), glyph_(glyph) {
  setCursor(Qt::PointingHandCursor);
  setMinimumHeight(44);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(18, 0, 8, 0);
  row->setSpacing(12);
  icon_->setAttribute(Qt::WA_TransparentForMouseEvents);
  icon_->setFixedSize(20, 20);
  row->addWidget(icon_);
  caption_->setParent(this);
  caption_->setAttribute(Qt::WA_TransparentForMouseEvents);
  row->addWidget(caption_);
  row->addStretch();
  SetActive(false);
}

void NavButton::SetActive(bool active) {
  active_ = active;
  setProperty("active", active);
  caption_->setProperty("active", active);
  icon_->setPixmap(GlyphPixmap(glyph_, 20, active ? QColor(Qt::white) : palette::kNavText));
  for (QWidget* w : {static_cast<QWidget*>(this), static_cast<QWidget*>(caption_)}) {
    w->style()->unpolish(w);
    w->style()->polish(w);
  }
  update();
}

BrowserPlaceholder::BrowserPlaceholder(const QString& heading, QWidget* parent) : QFrame(parent) {
  setProperty("role", "browser");
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(32, 32, 32, 32);
  column->setSpacing(12);
  column->addStretch(2);

  auto* globe = new QLabel(this);
  globe->setPixmap(GlyphPixmap(Glyph::kGlobe, 48, palette::kMuted));
  globe->setAlignment(Qt::AlignCenter);
  column->addWidget(globe);

  auto* title = new QLabel(heading, this);
  title->setProperty("role", "browserTitle");
  title->setAlignment(Qt::AlignCenter);
  column->addWidget(title);

  auto* note =
      new QLabel(QString::fromUtf8("此版本未内置网页浏览器，可在系统浏览器中打开本页。"), this);
  note->setProperty("role", "muted");
  note->setAlignment(Qt::AlignCenter);
  column->addWidget(note);

  address_ = new QLabel(this);
  address_->setProperty("role", "address");
  address_->setAlignment(Qt::AlignCenter);
  address_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  address_->setWordWrap(true);
  column->addWidget(address_);

  open_ = new QPushButton(QString::fromUtf8("在系统浏览器中打开"), this);
  open_->setProperty("variant", "primary");
  open_->setIcon(GlyphIcon(Glyph::kExternal, 16, Qt::white, Qt::white));
  open_->setCursor(Qt::PointingHandCursor);
  open_->setEnabled(false);
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(open_);
  row->addStretch();
  column->addLayout(row);
  column->addStretch(3);

  connect(open_, &QPushButton::clicked, this, [this] {
    if (url_.isValid()) emit OpenExternally(url_);
  });
  // Without an embedded engine the page opens in the person's own browser.
  connect(this, &BrowserPlaceholder::OpenExternally, this,
          [](const QUrl& url) { QDesktopServices::openUrl(url); });
  Navigate(QUrl());
}

void BrowserPlaceholder::Navigate(const QUrl& url) {
  url_ = url;
  address_->setText(url.isEmpty() ? QString::fromUtf8("（尚未打开页面）") : url.toString());
  open_->setEnabled(url.isValid() && !url.isEmpty());
}

void DragHandle::Attach(QWidget* handle) { handle->installEventFilter(new DragHandle(handle)); }

bool DragHandle::eventFilter(QObject* watched, QEvent* event) {
  auto* widget = qobject_cast<QWidget*>(watched);
  if (widget == nullptr) return false;
  QWidget* top = widget->window();
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      auto* e = static_cast<QMouseEvent*>(event);
      if (e->button() != Qt::LeftButton) return false;
      // The window manager moves the window when it can; otherwise follow the mouse by hand.
      if (top->windowHandle() != nullptr && top->windowHandle()->startSystemMove()) return true;
      dragging_ = true;
      press_offset_ = e->globalPosition().toPoint() - top->frameGeometry().topLeft();
      return true;
    }
    case QEvent::MouseMove:
      if (dragging_) {
        auto* e = static_cast<QMouseEvent*>(event);
        top->move(e->globalPosition().toPoint() - press_offset_);
        return true;
      }
      return false;
    case QEvent::MouseButtonRelease:
      dragging_ = false;
      return false;
    case QEvent::MouseButtonDblClick:
      return false;
    default:
      return false;
  }
}

QStringList PathLabel::Shown(int width) const {
  const QFontMetrics metrics(font());
  QStringList lines = text().split(u'\n');
  for (QString& line : lines) line = metrics.elidedText(line, Qt::ElideMiddle, width);
  return lines;
}

QSize PathLabel::sizeHint() const {
  const QFontMetrics metrics(font());
  const int lines = static_cast<int>(text().count(u'\n')) + 1;
  return {120,
          lines * metrics.lineSpacing() + contentsMargins().top() + contentsMargins().bottom()};
}

QSize PathLabel::minimumSizeHint() const { return {40, sizeHint().height()}; }

void PathLabel::paintEvent(QPaintEvent*) {
  // The binder sets the text; the tooltip follows it here, where a change of text shows first.
  if (toolTip() != text()) setToolTip(text());
  QPainter painter(this);
  painter.setFont(font());
  painter.setPen(palette().color(foregroundRole()));
  const QRect area = contentsRect();
  const QStringList lines = Shown(area.width());
  const int step = QFontMetrics(font()).lineSpacing();
  for (int i = 0; i < lines.size(); ++i) {
    painter.drawText(QRect(area.left(), area.top() + i * step, area.width(), step),
                     Qt::AlignLeft | Qt::AlignVCenter, lines[i]);
  }
}

}  // namespace brindle::ui
