// Helpers that build the named controls of the window with their captions and style roles.
// Control names and captions are UTF-8 here (source literals); the window binds by objectName.
#pragma once

#include <QFrame>
#include <QString>
#include <string_view>

class QButtonGroup;
class QCheckBox;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTableView;
class QVBoxLayout;
class QWidget;

namespace brindle::ui {

inline QString Utf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The design caption of a named control (empty when the design gives none).
QString DesignCaption(std::string_view name);

// Named controls carrying their design caption.
QPushButton* MakeButton(QWidget* parent, std::string_view name, const char* variant = nullptr);
QLabel* MakeLabel(QWidget* parent, std::string_view name, const char* role = nullptr);
QRadioButton* MakeRadio(QWidget* parent, std::string_view name, QButtonGroup* group);
QCheckBox* MakeCheck(QWidget* parent, std::string_view name);
QLineEdit* MakeEdit(QWidget* parent, std::string_view name, std::string_view placeholder = {});
QPlainTextEdit* MakeLog(QWidget* parent, std::string_view name);
// The least height of a list: its header, two rows and a horizontal scroll bar. Window height
// beyond the minimum goes to the lists.
inline constexpr int kListMinimumHeight = 34 + 2 * 36 + 14;

// A list view dressed as the design wants: rows 36 pixels high, no row numbers, whole-row
// selection, at least kListMinimumHeight high. Columns and their widths come from the model
// attached later.
QTableView* MakeTable(QWidget* parent, std::string_view name);

// A white rounded panel with a layout the caller fills.
QFrame* MakeCard(QWidget* parent, QVBoxLayout** column, int margin = 16, int spacing = 10);
// The page's heading row: big title and a muted subtitle; returns the row for extra widgets.
QHBoxLayout* MakeHeading(QVBoxLayout* column, QLabel* title, QLabel* subtitle = nullptr);

}  // namespace brindle::ui
