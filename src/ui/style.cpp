#include "ui/style.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOption>

namespace brindle::ui {
namespace {

// Fusion with our own check box and radio indicators: round, accent-filled, drawn at any scale.
class BrindleStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;

  int pixelMetric(PixelMetric metric, const QStyleOption* option,
                  const QWidget* widget) const override {
    switch (metric) {
      case PM_IndicatorWidth:
      case PM_IndicatorHeight:
      case PM_ExclusiveIndicatorWidth:
      case PM_ExclusiveIndicatorHeight:
        return 16;
      default:
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
  }

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
    if (element != PE_IndicatorCheckBox && element != PE_IndicatorRadioButton) {
      QProxyStyle::drawPrimitive(element, option, painter, widget);
      return;
    }
    const bool on = (option->state & State_On) != 0;
    const bool enabled = (option->state & State_Enabled) != 0;
    const bool hover = (option->state & State_MouseOver) != 0;
    QColor accent = palette::kAccent;
    QColor edge = on ? accent : (hover && enabled ? accent : QColor(148, 163, 184));
    if (!enabled) {
      accent = QColor(191, 203, 219);
      edge = QColor(203, 213, 225);
    }
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5);
    if (element == PE_IndicatorRadioButton) {
      painter->setPen(QPen(edge, 1));
      painter->setBrush(Qt::white);
      painter->drawEllipse(r);
      if (on) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(accent);
        painter->drawEllipse(r.center(), r.width() * 0.27, r.height() * 0.27);
      }
    } else {
      painter->setPen(on ? Qt::NoPen : QPen(edge, 1));
      painter->setBrush(on ? accent : QColor(Qt::white));
      painter->drawRoundedRect(r, 4, 4);
      if (on) {
        QPainterPath tick;
        tick.moveTo(r.left() + r.width() * 0.25, r.top() + r.height() * 0.52);
        tick.lineTo(r.left() + r.width() * 0.43, r.top() + r.height() * 0.70);
        tick.lineTo(r.left() + r.width() * 0.76, r.top() + r.height() * 0.32);
        painter->setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter->setBrush(Qt::NoBrush);
        painter->drawPath(tick);
      }
    }
    painter->restore();
  }
};

}  // namespace

QStringList UiFontFamilies() {
  return {QStringLiteral("Microsoft YaHei UI"),  QStringLiteral("Microsoft YaHei"),
          QStringLiteral("Noto Sans CJK SC"),    QStringLiteral("Noto Sans SC"),
          QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("sans-serif")};
}

QFont UiFont(int pixel_size, bool bold) {
  QFont font;
  font.setFamilies(UiFontFamilies());
  font.setPixelSize(pixel_size);
  font.setBold(bold);
  font.setHintingPreference(QFont::PreferNoHinting);
  return font;
}

// Selectors use dynamic properties ("role", "variant", "active") set where the widgets are
// built, so the sheet stays the single place that knows colours and spacing.
QString StyleSheet() {
  return QStringLiteral(R"css(
* { outline: none; }
QWidget { color: #0f172a; font-size: 13px; }
QWidget#MainRoot { background: #f3f5f9; }
QWidget[role="page"] { background: #f3f5f9; }

/* ---- navigation column ---- */
QFrame#Sidebar { background: #111827; }
QLabel[role="brand"] { color: #ffffff; font-size: 17px; font-weight: 700; }
QLabel[role="brandSub"] { color: #64748b; font-size: 11px; }
QToolButton[role="nav"] {
  background: transparent; border: none; border-radius: 10px;
  padding-left: 16px; text-align: left; margin: 0 10px;
  qproperty-toolButtonStyle: ToolButtonIconOnly;
}
QToolButton[role="nav"]:hover { background: #1f2937; }
QToolButton[role="nav"][active="true"] { background: #1e3a8a; }
QLabel[role="navCaption"] { color: #cbd5e1; font-size: 14px; background: transparent; }
QLabel[role="navCaption"][active="true"] { color: #ffffff; font-weight: 600; }
QFrame#UserCard { background: #1f2937; border-radius: 12px; }
QLabel[role="userName"] { color: #e2e8f0; font-size: 13px; font-weight: 600; }
QPushButton[variant="sidebar"] {
  background: #334155; color: #e2e8f0; border: none; border-radius: 8px;
  padding: 5px 12px; font-size: 12px;
}
QPushButton[variant="sidebar"]:hover { background: #3b82f6; color: #ffffff; }
QLabel[role="version"] { color: #64748b; font-size: 11px; }

/* ---- top bar and status line ---- */
QFrame#TopBar { background: #f3f5f9; }
QToolButton[role="window"] { background: transparent; border: none; border-radius: 6px; }
QToolButton[role="window"]:hover { background: #e2e8f0; }
QToolButton[role="window"][danger="true"]:hover { background: #ef4444; }
QFrame#StatusBar { background: #ffffff; border-top: 1px solid #e5e7eb; }
QLabel[role="status"] { color: #475569; font-size: 12px; }

/* ---- page text ---- */
QLabel[role="title"] { font-size: 22px; font-weight: 700; color: #0f172a; }
QLabel[role="subtitle"] { font-size: 13px; color: #64748b; }
QLabel[role="section"] { font-size: 13px; font-weight: 600; color: #334155; }
QLabel[role="muted"] { color: #64748b; font-size: 12px; }
QLabel[role="tab"] {
  color: #64748b; font-size: 14px; padding: 6px 14px; border-radius: 8px;
}
QLabel[role="tab"][active="true"] { color: #1d4ed8; background: #dbeafe; font-weight: 600; }

/* ---- cards ---- */
QFrame[role="card"] { background: #ffffff; border: 1px solid #e5e7eb; border-radius: 12px; }
QFrame[role="card"] QLabel { background: transparent; }

/* ---- buttons ---- */
QPushButton {
  background: #ffffff; color: #1e293b; border: 1px solid #d6dce6; border-radius: 8px;
  padding: 6px 14px; min-height: 20px;
}
QPushButton:hover { background: #f1f5fb; border-color: #b8c4d6; }
QPushButton:pressed { background: #e2e8f0; }
QPushButton:disabled { color: #94a3b8; background: #f8fafc; border-color: #e2e8f0; }
QPushButton[variant="primary"] { background: #3b82f6; color: #ffffff; border: none; font-weight: 600; }
QPushButton[variant="primary"]:hover { background: #2563eb; }
QPushButton[variant="primary"]:pressed { background: #1d4ed8; }
QPushButton[variant="primary"]:disabled { background: #93c5fd; color: #eff6ff; }
QPushButton[variant="chip"] {
  background: #f1f5f9; border: 1px solid transparent; border-radius: 8px; color: #334155;
  padding: 6px 8px; min-height: 22px;
}
QPushButton[variant="chip"]:hover { background: #dbeafe; color: #1d4ed8; border-color: #bfdbfe; }
QPushButton[variant="chip"]:pressed { background: #bfdbfe; }
QPushButton[variant="chip"]:disabled { color: #94a3b8; background: #f8fafc; }
QPushButton[variant="chip"]:checked { background: #3b82f6; color: #ffffff; border-color: #3b82f6; }
QPushButton[variant="chip"]:checked:disabled { background: #93c5fd; color: #eff6ff; }
QPushButton[variant="chip"][accent="true"] { background: #eef2ff; color: #4338ca; }
QPushButton[variant="chip"][accent="true"]:hover { background: #e0e7ff; }
QPushButton[variant="danger"] { color: #b91c1c; border-color: #fecaca; background: #fff5f5; }
QPushButton[variant="danger"]:hover { background: #fee2e2; }
QPushButton[variant="ghost"] { background: transparent; border: none; color: #64748b; }
QPushButton[variant="ghost"]:hover { background: #f1f5f9; color: #0f172a; }

/* ---- inputs ---- */
QLineEdit {
  background: #ffffff; border: 1px solid #d6dce6; border-radius: 8px; padding: 6px 10px;
  selection-background-color: #bfdbfe; selection-color: #0f172a;
}
QLineEdit:focus { border-color: #3b82f6; }
QPlainTextEdit {
  background: #f8fafc; border: 1px solid #e5e7eb; border-radius: 8px; padding: 4px;
  font-family: "DejaVu Sans Mono", "Consolas", monospace; font-size: 11px; color: #334155;
}
QRadioButton, QCheckBox { spacing: 6px; color: #1e293b; background: transparent; }
/* ---- lists ---- */
QTableView {
  background: #ffffff; border: 1px solid #e5e7eb; border-radius: 10px;
  gridline-color: transparent; selection-background-color: #dbeafe; selection-color: #0f172a;
  alternate-background-color: #f8fafc;
}
QTableView::item { padding: 0 8px; border-bottom: 1px solid #f1f5f9; }
QTableView::item:selected { background: #dbeafe; color: #0f172a; }
QHeaderView { background: transparent; }
QHeaderView::section {
  background: #f8fafc; color: #64748b; border: none; border-bottom: 1px solid #e5e7eb;
  padding: 0 8px; height: 34px; font-weight: 600; font-size: 12px;
}
QTableCornerButton::section { background: #f8fafc; border: none; }
QScrollBar:vertical { background: transparent; width: 10px; margin: 4px 2px; }
QScrollBar::handle:vertical { background: #cbd5e1; border-radius: 3px; min-height: 28px; }
QScrollBar::handle:vertical:hover { background: #94a3b8; }
QScrollBar:horizontal { background: transparent; height: 10px; margin: 2px 4px; }
QScrollBar::handle:horizontal { background: #cbd5e1; border-radius: 3px; min-width: 28px; }
QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; }
QScrollBar::add-page, QScrollBar::sub-page { background: transparent; }

/* ---- page container without its own tabs (the navigation column switches) ---- */
QTabWidget::pane { border: none; background: transparent; }
QTabBar::tab {
  background: transparent; color: #64748b; border: none; border-bottom: 2px solid transparent;
  padding: 4px 12px 6px 12px; font-weight: 600;
}
QTabBar::tab:selected { color: #1d4ed8; border-bottom: 2px solid #3b82f6; }
QTabBar::tab:hover:!selected { color: #0f172a; }

/* ---- notice, browser fallback, menus, dialogs ---- */
QFrame[role="noticePanel"] { background: rgba(15, 23, 42, 240); border-radius: 12px; }
QLabel[role="notice"] { color: #ffffff; font-size: 14px; font-weight: 600; background: transparent; }
QFrame[role="browser"] { background: #ffffff; border: 1px solid #e5e7eb; border-radius: 12px; }
QLabel[role="browserTitle"] { font-size: 18px; font-weight: 700; }
QLabel[role="address"] {
  color: #1d4ed8; background: #eff6ff; border-radius: 6px; padding: 6px 10px; font-size: 12px;
}
QMenu { background: #ffffff; border: 1px solid #e2e8f0; border-radius: 8px; padding: 4px; }
QMenu::item { padding: 6px 16px; border-radius: 6px; min-width: 268px; min-height: 16px; }
QMenu::item:selected { background: #dbeafe; color: #1d4ed8; }
QDialog, QMessageBox { background: #ffffff; }
QFrame[role="playerPanel"] { background: #ffffff; border: 1px solid #c7d2fe; border-radius: 12px; }
QFrame[role="playerPanel"] QLabel { background: transparent; }
QToolTip { background: #0f172a; color: #ffffff; border: none; padding: 4px 8px; }
)css");
}

void ApplyStyle(QApplication& app) {
  // Fusion draws the same on every platform and honours the style sheet fully.
  app.setStyle(new BrindleStyle(QStyleFactory::create(QStringLiteral("Fusion"))));
  app.setFont(UiFont(13));
  QPalette pal = app.palette();
  pal.setColor(QPalette::Window, palette::kPage);
  pal.setColor(QPalette::WindowText, palette::kText);
  pal.setColor(QPalette::Base, Qt::white);
  pal.setColor(QPalette::Text, palette::kText);
  pal.setColor(QPalette::Highlight, QColor(219, 234, 254));
  pal.setColor(QPalette::HighlightedText, palette::kText);
  pal.setColor(QPalette::Button, Qt::white);
  pal.setColor(QPalette::ButtonText, palette::kText);
  app.setPalette(pal);
  app.setStyleSheet(StyleSheet());
}

}  // namespace brindle::ui
