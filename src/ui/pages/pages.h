// The five pages of the main window, in design order. Each builder creates the page's named
// controls inside a new page widget; the window binds them by name afterwards.
#pragma once

class QVBoxLayout;
class QWidget;

namespace brindle::ui {

QWidget* BuildDownloadPage(QWidget* parent);
QWidget* BuildServerPage(QWidget* parent);
QWidget* BuildFavouritesPage(QWidget* parent);
QWidget* BuildForumPage(QWidget* parent);
QWidget* BuildToolsPage(QWidget* parent);

// The download page's summary line: the queue's counters and speed, or a map group check's
// result. The window design names no control for it, so the page names it here; the window binds
// it once the window model holds a label of this name.
inline constexpr const char* kDownloadSummaryLabel = "标签_下载统计";

// A page's empty shell: background role and the outer margins every page shares.
QWidget* NewPage(QWidget* parent, QVBoxLayout** column);

}  // namespace brindle::ui
