// The few widgets the stock set lacks: the slide switch, the navigation entry, the path label,
// the fallback for the embedded browser, and the drag handle of the frameless window.
#pragma once

#include <QAbstractButton>
#include <QFrame>
#include <QLabel>
#include <QObject>
#include <QPoint>
#include <QToolButton>
#include <QUrl>

#include "ui/icons.h"

class QPushButton;

namespace brindle::ui {

// An on/off slide switch; a checkable button, so toggled() and setChecked() work as usual.
class ToggleSwitch : public QAbstractButton {
  Q_OBJECT
 public:
  explicit ToggleSwitch(QWidget* parent = nullptr);
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// One entry of the navigation column: a button carrying an icon and, inside it, the caption
// label that the window design names separately.
class NavButton : public QToolButton {
  Q_OBJECT
 public:
  NavButton(Glyph glyph, QLabel* caption, QWidget* parent = nullptr);
  // The highlighted entry shows the page in view; set by the window, not by a click, because a
  // click can be refused while the program starts.
  void SetActive(bool active);
  bool IsActive() const { return active_; }

 private:
  QLabel* icon_;
  QLabel* caption_;
  Glyph glyph_;
  bool active_ = false;
};

// A label for folder paths: each line elided in its middle to the label's width (the drive and
// the last folders stay readable), the whole text as its tooltip; it never widens its card.
class PathLabel : public QLabel {
  Q_OBJECT
 public:
  using QLabel::QLabel;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
  // The lines of the text as drawn into `width` pixels.
  QStringList Shown(int width) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// Stands where the embedded web browser goes. This build carries no web engine, so it shows the
// address it was asked to display and offers to open it in the system's browser.
class BrowserPlaceholder : public QFrame {
  Q_OBJECT
 public:
  explicit BrowserPlaceholder(const QString& heading, QWidget* parent = nullptr);
  void Navigate(const QUrl& url);
  QUrl CurrentUrl() const { return url_; }
  void SetUserAgent(const QString& agent) { user_agent_ = agent; }
  QString UserAgent() const { return user_agent_; }

 signals:
  // The person asked to see the page in the system's browser.
  void OpenExternally(const QUrl& url);

 private:
  QLabel* address_;
  QPushButton* open_;
  QUrl url_;
  QString user_agent_;
};

// Makes a widget a handle that moves its top-level window (the window has no system frame).
class DragHandle : public QObject {
  Q_OBJECT
 public:
  static void Attach(QWidget* handle);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  explicit DragHandle(QObject* parent) : QObject(parent) {}
  QPoint press_offset_;
  bool dragging_ = false;
};

}  // namespace brindle::ui
