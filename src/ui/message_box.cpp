#include "ui/message_box.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>

#include "ui/icons.h"
#include "ui/style.h"

namespace brindle::ui {
namespace {

constexpr int kCloseSize = 28;
constexpr int kCloseInset = 6;

// A box that can always be closed: by its own close control (no window manager, a frameless
// window, or one that draws no close button on dialogs) and by the frame's, which QMessageBox
// ignores when no button reads as "cancel". Closing answers kMessageBoxClosed.
class ClosableBox : public QMessageBox {
 public:
  explicit ClosableBox(QWidget* parent) : QMessageBox(parent) {
    close_ = new QToolButton(this);
    close_->setObjectName(QString::fromLatin1(kMessageBoxCloseName));
    close_->setToolTip(QString::fromUtf8("关闭"));
    close_->setAccessibleName(QString::fromUtf8("关闭"));
    close_->setProperty("role", "window");
    close_->setIcon(GlyphIcon(Glyph::kClose, 14, palette::kMuted, palette::kText));
    close_->setFixedSize(kCloseSize, kCloseSize);
    close_->setCursor(Qt::PointingHandCursor);
    connect(close_, &QToolButton::clicked, this, [this] { done(QDialog::Rejected); });
  }

  // Room above the text for the close control; called once the box's own layout is complete.
  void MakeRoom() {
    if (QLayout* grid = layout()) {
      QMargins m = grid->contentsMargins();
      m.setTop(std::max(m.top(), kCloseSize + kCloseInset));
      m.setRight(std::max(m.right(), kCloseInset + 8));
      grid->setContentsMargins(m);
    }
  }

 protected:
  void closeEvent(QCloseEvent* event) override {
    event->accept();
    done(QDialog::Rejected);
  }
  void resizeEvent(QResizeEvent* event) override {
    QMessageBox::resizeEvent(event);
    close_->move(width() - kCloseSize - kCloseInset, kCloseInset);
    close_->raise();
  }

 private:
  QToolButton* close_ = nullptr;
};

}  // namespace

QMessageBox* BuildMessageBox(QWidget* parent, const QString& title, const QString& text,
                             const QStringList& buttons) {
  auto* box = new ClosableBox(parent);
  box->setWindowTitle(title);
  // Texts written for the Windows toolkit carry "\r\n" line breaks.
  QString body = text;
  body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  box->setTextFormat(Qt::PlainText);
  box->setText(body);
  box->setIcon(QMessageBox::NoIcon);
  const QStringList labels = buttons.isEmpty() ? QStringList{QString::fromUtf8("确定")} : buttons;
  for (int i = 0; i < labels.size(); ++i) {
    // One role for all keeps the buttons in the order of the list.
    QPushButton* b = box->addButton(labels[i], QMessageBox::ActionRole);
    b->setProperty("answer", i);
    if (i == 0) {
      b->setProperty("variant", "primary");
      box->setDefaultButton(b);
    }
  }
  box->MakeRoom();
  return box;
}

void CentreOver(QWidget* box, const QWidget* over) {
  if (over == nullptr) return;
  box->adjustSize();
  const QRect area = over->window()->geometry();
  // Moved by hand, the box is not placed again by the toolkit (which may pick the focused control).
  box->move(area.center() - QPoint(box->width() / 2, box->height() / 2));
}

int RunMessageBox(QWidget* parent, const QString& title, const QString& text,
                  const QStringList& buttons) {
  QMessageBox* box = BuildMessageBox(parent, title, text, buttons);
  CentreOver(box, parent);
  box->exec();
  int answer = kMessageBoxClosed;
  if (QAbstractButton* pressed = box->clickedButton()) {
    bool ok = false;
    const int index = pressed->property("answer").toInt(&ok);
    if (ok) answer = index;
  }
  delete box;
  return answer;
}

}  // namespace brindle::ui
