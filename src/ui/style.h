// The look of the window: one palette, one style sheet, one font choice.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QApplication;

namespace brindle::ui {

namespace palette {
inline const QColor kAccent{59, 130, 246};
inline const QColor kAccentDark{37, 99, 235};
inline const QColor kSidebar{17, 24, 39};
inline const QColor kNavText{148, 163, 184};
inline const QColor kText{15, 23, 42};
inline const QColor kMuted{100, 116, 139};
inline const QColor kPage{243, 245, 249};
inline const QColor kDanger{185, 28, 28};  // on the white of a list: contrast above 6:1
}  // namespace palette

// Families in order of preference: the design's Chinese UI font on Windows, Noto CJK elsewhere.
QStringList UiFontFamilies();
QFont UiFont(int pixel_size, bool bold = false);

// The whole style sheet of the application.
QString StyleSheet();

// Font, palette and style sheet for the application; call once after QApplication exists.
void ApplyStyle(QApplication& app);

}  // namespace brindle::ui
