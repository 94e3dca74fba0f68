#include "ui/message_box.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

namespace brindle::ui {

QMessageBox* BuildMessageBox(QWidget* parent, const QString& title, const QString& text,
                             const QStringList& buttons) {
  auto* box = new QMessageBox(parent);
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
  return box;
}

int RunMessageBox(QWidget* parent, const QString& title, const QString& text,
                  const QStringList& buttons) {
  QMessageBox* box = BuildMessageBox(parent, title, text, buttons);
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
