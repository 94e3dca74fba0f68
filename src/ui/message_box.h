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
// The object name of the box's own close control.
inline constexpr char kMessageBoxCloseName[] = "MessageBoxClose";

// Builds the box without showing it. Each button carries its index in the property "answer".
// An empty list gives one "确定" button.
QMessageBox* BuildMessageBox(QWidget* parent, const QString& title, const QString& text,
                             const QStringList& buttons);

// Places `box` centred over the window that holds `over` (nothing when `over` is null).
void CentreOver(QWidget* box, const QWidget* over);

// Shows the box modally, centred over the parent's window, and returns the pressed button's index
// or kMessageBoxClosed.
int RunMessageBox(QWidget* parent, const QString& title, const QString& text,
                  const QStringList& buttons);

}  // namespace brindle::ui
