// The download page: map groups, the resource list and the download queue on the left; game
// settings, the extraction queue and the log on the right.
#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <initializer_list>

#include "ui/icons.h"
#include "ui/page_kit.h"
#include "ui/pages/pages.h"
#include "ui/progress_delegate.h"
#include "ui/style.h"
#include "ui/summary_label.h"
#include "ui/widgets.h"
#include "view/control_names.h"
#include "view/list_model.h"

namespace brindle::ui {
namespace {

QLabel* SectionLabel(QWidget* parent, const char* utf8) {
  auto* l = new QLabel(QString::fromUtf8(utf8), parent);
  l->setProperty("role", "section");
  return l;
}

QWidget* MapGroupsCard(QWidget* page) {
  QVBoxLayout* column = nullptr;
  QFrame* card = MakeCard(page, &column, 14, 10);
  column->addWidget(SectionLabel(card, "地图分组"));
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(8);
  grid->setVerticalSpacing(8);
  constexpr int kPerRow = 8;
  int i = 0;
  for (const char* name : names::kMapGroupButtons) {
    QPushButton* b = MakeButton(card, name, "chip");
    grid->addWidget(b, i / kPerRow, i % kPerRow);
    ++i;
  }
  QPushButton* patch = MakeButton(card, names::kPatch, "chip");
  patch->setProperty("accent", true);
  grid->addWidget(patch, i / kPerRow, i % kPerRow);
  column->addLayout(grid);
  return card;
}

// The actions share the heading row with the mirror lines: on a small screen every row of
// height goes to the lists.
QWidget* ResourceCard(QWidget* page) {
  QVBoxLayout* column = nullptr;
  QFrame* card = MakeCard(page, &column, 14, 10);
  auto* head = new QHBoxLayout;
  head->setSpacing(8);
  head->addWidget(SectionLabel(card, "待下载资源"));
  head->addSpacing(8);
  QPushButton* start = MakeButton(card, names::kStartDownload, "primary");
  start->setIcon(GlyphIcon(Glyph::kDownload, 16, Qt::white, Qt::white));
  head->addWidget(start);
  head->addWidget(MakeButton(card, names::kClearQueue));
  head->addSpacing(8);
  head->addWidget(MakeCheck(card, names::kAutoExtract));
  head->addStretch();
  auto* line = new QLabel(QString::fromUtf8("下载线路"), card);
  line->setProperty("role", "muted");
  head->addWidget(line);
  auto* mirrors = new QButtonGroup(card);
  for (const char* name : {names::kMirror1, names::kMirror2, names::kMirror3}) {
    head->addWidget(MakeRadio(card, name, mirrors));
  }
  column->addLayout(head);
  column->addWidget(MakeTable(card, names::kResourceList), 1);
  return card;
}

// Runs `fit` on a list's header once the window has attached the list's model and with it the
// columns (the page is built before the window binds it).
template <typename Fit>
void WhenColumnsExist(QTableView* view, Fit fit) {
  QHeaderView* header = view->horizontalHeader();
  QObject::connect(header, &QHeaderView::sectionCountChanged, header,
                   [header, fit](int, int count) {
                     if (count > 0) fit(header);
                   });
}

// The widest of `texts` in the list's cell font and its header font, with the item padding.
int FitWidth(const QTableView* view, std::initializer_list<const char*> texts) {
  const QFontMetrics cell(view->font());
  const QFontMetrics head(view->horizontalHeader()->font());
  int width = 0;
  for (const char* text : texts) {
    const QString t = QString::fromUtf8(text);
    width = std::max({width, cell.horizontalAdvance(t), head.horizontalAdvance(t)});
  }
  return width + 2 * 8 + 8;  // the style sheet's item padding and some air
}

// Gives one column of a list the width the other shown columns leave, never less than `minimum`
// (below that the list scrolls sideways). Follows the view's size and the person's resizing.
class FillColumn : public QObject {
 public:
  FillColumn(QTableView* view, int column, int minimum)
      : QObject(view), view_(view), column_(column), minimum_(minimum) {
    view->viewport()->installEventFilter(this);
    QHeaderView* header = view->horizontalHeader();
    connect(header, &QHeaderView::sectionResized, this, [this](int logical, int, int) {
      if (logical != column_) Fit();
    });
    connect(header, &QHeaderView::sectionCountChanged, this, [this] { Fit(); });
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Resize) Fit();
    return false;
  }

 private:
  void Fit() {
    QHeaderView* header = view_->horizontalHeader();
    if (header->count() <= column_) return;
    int others = 0;
    for (int c = 0; c < header->count(); ++c) {
      if (c != column_ && !header->isSectionHidden(c)) others += header->sectionSize(c);
    }
    header->resizeSection(column_, std::max(minimum_, view_->viewport()->width() - others));
  }

  QTableView* view_;
  int column_;
  int minimum_;
};

// The queue with its summary line in the heading: the counters and the speed stay in view beside
// the rows they describe.
QWidget* QueueCard(QWidget* page) {
  QVBoxLayout* column = nullptr;
  QFrame* card = MakeCard(page, &column, 14, 8);
  auto* head = new QHBoxLayout;
  head->setSpacing(16);
  head->addWidget(SectionLabel(card, "下载队列"));
  auto* summary = new SummaryLine(card);
  summary->Label()->setObjectName(QString::fromUtf8(names::kDownloadSummary));
  head->addWidget(summary, 1);
  head->addWidget(MakeButton(card, names::kCancelDownloads));
  column->addLayout(head);
  QTableView* queue = MakeTable(card, names::kDownloadQueue);
  queue->setItemDelegateForColumn(cols::kTaskState, new QueueStateDelegate(queue));
  // The progress bar takes the room the other columns leave (they keep the design's widths), and
  // the progress column, which is never written, is not shown beside the bar that shows progress.
  WhenColumnsExist(queue, [](QHeaderView* header) {
    if (header->count() <= cols::kTaskFileName) return;
    header->setStretchLastSection(false);
    header->setSectionResizeMode(cols::kTaskState, QHeaderView::Fixed);
    header->setSectionHidden(cols::kTaskProgress, true);
  });
  new FillColumn(queue, cols::kTaskState, 230);
  column->addWidget(queue, 1);
  return card;
}

QWidget* SettingsCard(QWidget* page) {
  QVBoxLayout* column = nullptr;
  QFrame* card = MakeCard(page, &column, 14, 10);
  auto* path = new PathLabel(QString::fromUtf8("游戏路径配置:"), card);
  path->setObjectName(QString::fromUtf8(names::kGamePathLabel));
  path->setProperty("role", "section");
  column->addWidget(path);
  auto* paths = new QHBoxLayout;
  paths->setSpacing(8);
  for (const char* name : {names::kChooseCsgo, names::kChooseCs2}) {
    QPushButton* b = MakeButton(card, name);
    b->setIcon(GlyphIcon(Glyph::kFolder, 16, palette::kMuted, palette::kAccent));
    paths->addWidget(b);
  }
  column->addLayout(paths);
  column->addStretch();
  auto* pre_row = new QHBoxLayout;
  pre_row->addWidget(MakeLabel(card, names::kPreDownloadLabel, "section"));
  auto* note = new QLabel(QString::fromUtf8("自动下载即将上线的地图"), card);
  note->setProperty("role", "muted");
  pre_row->addWidget(note);
  pre_row->addStretch();
  auto* toggle = new ToggleSwitch(card);
  toggle->setObjectName(QString::fromUtf8(names::kPreDownloadSwitch));
  pre_row->addWidget(toggle);
  column->addLayout(pre_row);
  return card;
}

// The extraction queue and the log share one card as two tabs.
QWidget* SideCard(QWidget* page) {
  QVBoxLayout* column = nullptr;
  QFrame* card = MakeCard(page, &column, 10, 6);
  auto* tabs = new QTabWidget(card);
  tabs->setProperty("role", "cardTabs");
  tabs->setDocumentMode(true);
  auto* extract_page = new QWidget(tabs);
  auto* extract_column = new QVBoxLayout(extract_page);
  extract_column->setContentsMargins(0, 8, 0, 0);
  QTableView* extract = MakeTable(extract_page, names::kExtractQueue);
  // The card is narrower than the design's columns: the file name takes what the progress and
  // state columns leave, so the state stays in view.
  WhenColumnsExist(extract, [extract](QHeaderView* header) {
    if (header->count() <= cols::kExtractState) return;
    header->setStretchLastSection(false);
    header->setSectionResizeMode(cols::kExtractFile, QHeaderView::Stretch);
    header->setSectionResizeMode(cols::kExtractProgress, QHeaderView::Fixed);
    header->resizeSection(cols::kExtractProgress, FitWidth(extract, {"进度", "%0"}));
    header->setSectionResizeMode(cols::kExtractState, QHeaderView::Fixed);
    header->resizeSection(cols::kExtractState, FitWidth(extract, {"待解压"}));
  });
  extract_column->addWidget(extract);
  tabs->addTab(extract_page, QString::fromUtf8("解压队列"));
  auto* log_page = new QWidget(tabs);
  auto* log_column = new QVBoxLayout(log_page);
  log_column->setContentsMargins(0, 4, 0, 0);
  log_column->addWidget(MakeLog(log_page, names::kLog));
  tabs->addTab(log_page, QString::fromUtf8("日志"));
  column->addWidget(tabs, 1);
  return card;
}

}  // namespace

QWidget* BuildDownloadPage(QWidget* parent) {
  QVBoxLayout* column = nullptr;
  QWidget* page = NewPage(parent, &column);

  QHBoxLayout* heading = MakeHeading(column, MakeLabel(page, names::kDownloadTitle),
                                     MakeLabel(page, names::kDownloadSubtitle));
  QLabel* search_label = MakeLabel(page, names::kSearchLabel, "muted");
  heading->addWidget(search_label);
  QLineEdit* search = MakeEdit(page, names::kSearchBox, "地图名称或中文名");
  search->setFixedWidth(220);
  search->addAction(GlyphIcon(Glyph::kSearch, 16, palette::kMuted, palette::kMuted),
                    QLineEdit::LeadingPosition);
  heading->addWidget(search);
  heading->addWidget(MakeButton(page, names::kSearchButton, "primary"));

  // Map groups and the game settings on top, the resource list across the page (its columns
  // need the width), then the queue beside the extraction queue and the log.
  auto* top = new QHBoxLayout;
  top->setSpacing(14);
  top->addWidget(MapGroupsCard(page), 1);
  QWidget* settings = SettingsCard(page);
  settings->setFixedWidth(340);
  top->addWidget(settings);
  column->addLayout(top);

  // The resource list holds a whole group's missing maps, the queue at most five: the resource
  // list takes the larger share of the height.
  column->addWidget(ResourceCard(page), 3);

  // The queue holds a handful of rows (at most four wait) and its progress bar wants width; the
  // extraction queue needs only a file name and two short texts.
  auto* bottom = new QHBoxLayout;
  bottom->setSpacing(14);
  bottom->addWidget(QueueCard(page), 1);
  QWidget* side = SideCard(page);
  side->setFixedWidth(300);
  bottom->addWidget(side);
  column->addLayout(bottom, 2);
  return page;
}

QWidget* NewPage(QWidget* parent, QVBoxLayout** column) {
  auto* page = new QWidget(parent);
  page->setProperty("role", "page");
  page->setAttribute(Qt::WA_StyledBackground);
  auto* c = new QVBoxLayout(page);
  c->setContentsMargins(24, 0, 24, 12);
  c->setSpacing(12);
  *column = c;
  return page;
}

}  // namespace brindle::ui
