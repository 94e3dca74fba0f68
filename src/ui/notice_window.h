// The transient notice: a small dark panel near the top of the main window that hides itself.
#pragma once

#include <QFrame>
#include <QTimer>

class QLabel;

namespace brindle::ui {

class NoticeWindow : public QFrame {
  Q_OBJECT
 public:
  static constexpr int kWidth = 230;
  static constexpr int kHeight = 60;
  static constexpr int kTopOffset = 10;
  // How long a notice stays: long enough to read it, a little longer for every character.
  static constexpr int kShortestMs = 2500;
  static constexpr int kPerCharacterMs = 250;
  static constexpr int kLongestMs = 8000;
  static int ShownMs(const QString& text);

  // `host` is the main window; the notice lives inside it and follows its size.
  explicit NoticeWindow(QWidget* host);

  void Show(const QString& text);
  QString Text() const;
  // The text's own widget, for those who check how it reads.
  const QLabel* Label() const { return label_; }
  // The hide clock, for those who need to know when the notice goes away.
  const QTimer& HideTimer() const { return hide_timer_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Place();
  QLabel* label_;
  QTimer hide_timer_;
};

}  // namespace brindle::ui
