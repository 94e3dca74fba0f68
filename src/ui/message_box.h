// Message boxes with the buttons of a "a&&b&&c" list, in that order; the answer is the index of
// the pressed button, 0 for the first.
#pragma once

#include <QString>
#include <QStringList>

class QMessageBox;
class QWidget;

namespace brindle::ui {

// The answer when the box is closed without pressing a button.
inline constexpr int kMessageBoxClosed = -1;

// Builds the box without showing it. Each button carries its index in the property "answer".
// An empty list gives one "确定" button.
QMessageBox* BuildMessageBox(QWidget* parent, const QString& title, const QString& text,
                             const QStringList& buttons);

// Shows the box modally and returns the pressed button's index or kMessageBoxClosed.
int RunMessageBox(QWidget* parent, const QString& title, const QString& text,
                  const QStringList& buttons);

}  // namespace brindle::ui
