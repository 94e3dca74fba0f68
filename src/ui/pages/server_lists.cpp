// What the two server lists have only in the view: filter boxes, counts, the empty-list layer,
// fitting columns and the way back to the top of the list.
#include <QAbstractButton>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <algorithm>
#include <vector>

#include "ui/list_model_adapter.h"
#include "ui/pages/pages.h"
#include "ui/server_list_proxy.h"
#include "ui/window_binder.h"
#include "view/control_names.h"

namespace brindle::ui {
namespace {

// Keeps the visible columns of a list within its width: the design's widths, shared out in their
// proportions over the room there is, so no column is pushed off the page when the player panel
// takes its place beside the list, and none leaves a gap when the window grows.
class ColumnFitter : public QObject {
 public:
  ColumnFitter(QTableView* view, std::vector<int> widths)
      : QObject(view->viewport()),
        view_(view),
        viewport_(view->viewport()),
        widths_(std::move(widths)) {
    view_->horizontalHeader()->setStretchLastSection(false);
    view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport_->installEventFilter(this);
    Fit();
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    // Only the viewport's own resize: the view may be on its way out for other events.
    if (watched == viewport_ && event->type() == QEvent::Resize) Fit();
    return QObject::eventFilter(watched, event);
  }

 private:
  void Fit() {
    const int room = viewport_->width();
    int total = 0;
    for (int width : widths_) total += width;
    if (room <= 0 || total <= 0) return;
    int used = 0;
    int last = -1;
    for (int c = 0; c < static_cast<int>(widths_.size()); ++c) {
      if (widths_[static_cast<std::size_t>(c)] <= 0) continue;
      const int width = std::max(40, widths_[static_cast<std::size_t>(c)] * room / total);
      view_->setColumnWidth(c, width);
      used += width;
      last = c;
    }
    // Rounding leaves a few pixels: the last column takes them.
    if (last >= 0 && used < room)
      view_->setColumnWidth(last, view_->columnWidth(last) + room - used);
  }

  QTableView* view_;
  QWidget* viewport_;
  std::vector<int> widths_;
};

void DressList(QWidget* main, WindowBinder& binder, const char* list, const char* filter_name,
               const char* count_name, const QString& noun, QWidget* overlay) {
  auto* view = main->findChild<QTableView*>(QString::fromUtf8(list));
  ServerListProxy* proxy = binder.Proxy(list);
  ListModelAdapter* adapter = binder.Adapter(list);
  if (view == nullptr || proxy == nullptr || adapter == nullptr) return;

  std::vector<int> widths;
  for (const ListColumn& column : adapter->Columns()) widths.push_back(column.width);
  new ColumnFitter(view, std::move(widths));

  if (auto* filter = main->findChild<QLineEdit*>(QString::fromUtf8(filter_name))) {
    QObject::connect(filter, &QLineEdit::textChanged, proxy, &ServerListProxy::SetFilterText);
  }
  auto* count = main->findChild<QLabel*>(QString::fromUtf8(count_name));
  auto update = [proxy, adapter, count, overlay, noun] {
    if (count != nullptr)
      count->setText(ServerCountText(proxy->rowCount(), adapter->rowCount(), noun));
    if (overlay != nullptr) overlay->setVisible(adapter->rowCount() == 0);
  };
  QObject::connect(proxy, &QAbstractItemModel::rowsInserted, proxy, update);
  QObject::connect(proxy, &QAbstractItemModel::rowsRemoved, proxy, update);
  QObject::connect(proxy, &QAbstractItemModel::modelReset, proxy, update);
  QObject::connect(proxy, &QAbstractItemModel::layoutChanged, proxy, update);
  // A filter that hides every row leaves the proxy empty while the list is not: counted too.
  QObject::connect(adapter, &QAbstractItemModel::rowsInserted, proxy, update);
  QObject::connect(adapter, &QAbstractItemModel::rowsRemoved, proxy, update);
  QObject::connect(adapter, &QAbstractItemModel::modelReset, proxy, update);
  update();
}

}  // namespace

void DressServerLists(QWidget* main, WindowBinder& binder) {
  auto* overlay = main->findChild<QWidget*>(QString::fromUtf8(kServerListOverlay));
  DressList(main, binder, names::kServerList, names::kServerFilter, kServerCountLabel,
            QStringLiteral("服务器"), overlay);
  DressList(main, binder, names::kFavouritesList, names::kFavouritesFilter, kFavouritesCountLabel,
            QStringLiteral("收藏"), nullptr);

  // Every category starts at the top of its list.
  auto* servers = main->findChild<QTableView*>(QString::fromUtf8(names::kServerList));
  if (servers == nullptr) return;
  std::vector<const char*> buttons = {names::kAllServers};
  buttons.insert(buttons.end(), names::kCategoryButtons.begin(), names::kCategoryButtons.end());
  for (const char* name : buttons) {
    if (auto* button = main->findChild<QAbstractButton*>(QString::fromUtf8(name))) {
      QObject::connect(button, &QAbstractButton::clicked, servers, &QTableView::scrollToTop);
    }
  }
  if (ServerListProxy* proxy = binder.Proxy(names::kServerList)) {
    QObject::connect(proxy, &QAbstractItemModel::modelReset, servers, &QTableView::scrollToTop);
  }
}

}  // namespace brindle::ui
