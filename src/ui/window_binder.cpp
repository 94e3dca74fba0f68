#include "ui/window_binder.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QDialog>
#include <QEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTableView>

#include "ui/icons.h"
#include "ui/list_model_adapter.h"
#include "ui/main_window.h"
#include "ui/message_box.h"
#include "ui/qt_text.h"
#include "ui/server_list_proxy.h"
#include "ui/style.h"
#include "view/window.h"

namespace brindle::ui {

using names::ControlKind;

// Shared with the controls observer, which runs on whichever thread changed a control. It keeps
// the newest state per control until the GUI thread takes them all.
struct WindowBinder::Relay {
  std::mutex mutex;
  WindowBinder* target = nullptr;
  bool scheduled = false;
  std::map<std::string, ControlState> pending;

  void Changed(const std::string& name, const ControlState& state) {
    std::lock_guard lock(mutex);
    if (target == nullptr) return;
    pending[name] = state;
    if (scheduled) return;
    scheduled = true;
    QMetaObject::invokeMethod(target, "FlushControls", Qt::QueuedConnection);
  }
};

WindowBinder::WindowBinder(MainWindow* main, Window& window, std::function<bool()> initialised)
    : QObject(main),
      main_(main),
      window_(window),
      initialised_(std::move(initialised)),
      relay_(std::make_shared<Relay>()) {
  relay_->target = this;
  Controls& controls = window_.controls();
  std::weak_ptr<Relay> weak = relay_;
  controls.SetObserver([weak](const std::string& name, const ControlState& state) {
    if (auto relay = weak.lock()) relay->Changed(name, state);
  });

  for (const std::string& name : controls.Names()) {
    const names::ControlInfo* info = names::find_control(name);
    const ControlKind kind = info != nullptr ? info->kind : ControlKind::kLabel;
    QWidget* widget = main_->Control(name);
    if (widget == nullptr) {
      unshown_.push_back(name);
      continue;
    }
    BindControl(name, widget, kind);
  }
  BindList(names::kServerList, true);
  BindList(names::kFavouritesList, true);
  BindList(names::kPlayerList, false);
  BindList(names::kResourceList, false);
  BindList(names::kDownloadQueue, true);
  BindList(names::kExtractQueue, false);
  BindDefaultNavigation();

  // The model's state as it is now; later changes arrive through the observer.
  applying_ = true;
  for (const auto& [name, bound] : bound_) Apply(name, controls.Get(name));
  applying_ = false;
}

WindowBinder::~WindowBinder() {
  window_.controls().SetObserver({});
  std::lock_guard lock(relay_->mutex);
  relay_->target = nullptr;
  relay_->pending.clear();
}

ListModelAdapter* WindowBinder::Adapter(std::string_view list) const {
  const auto it = adapters_.find(list);
  return it == adapters_.end() ? nullptr : it->second;
}

void WindowBinder::Flush() {
  FlushControls();
  for (auto& [name, adapter] : adapters_) adapter->Flush();
}

void WindowBinder::FlushControls() {
  std::map<std::string, ControlState> pending;
  {
    std::lock_guard lock(relay_->mutex);
    relay_->scheduled = false;
    pending.swap(relay_->pending);
  }
  applying_ = true;
  for (const auto& [name, state] : pending) Apply(name, state);
  applying_ = false;
}

namespace {

void SetRadioChecked(QAbstractButton* b, bool checked) {
  if (b->isChecked() == checked) return;
  QButtonGroup* group = b->group();
  // An exclusive group refuses to leave none checked; the model may want exactly that.
  const bool exclusive = group != nullptr && group->exclusive();
  if (exclusive && !checked) group->setExclusive(false);
  b->setChecked(checked);
  if (exclusive && !checked) group->setExclusive(true);
}
}  // namespace

void WindowBinder::BindControl(const std::string& name, QWidget* widget, ControlKind kind) {
  bound_[name] = Bound{widget, kind};
  Controls& controls = window_.controls();
  switch (kind) {
    case ControlKind::kButton:
      if (auto* b = qobject_cast<QAbstractButton*>(widget)) {
        connect(b, &QAbstractButton::clicked, this, [this, name, b, &controls] {
          if (applying_) return;
          window_.Activate(name);
          // A checkable button shows the model's choice, not Qt's own toggle of the click.
          if (b->isCheckable()) SetRadioChecked(b, controls.Checked(name));
        });
      }
      break;
    case ControlKind::kRadio:
    case ControlKind::kCheck:
    case ControlKind::kSlideSwitch:
      if (auto* b = qobject_cast<QAbstractButton*>(widget)) {
        connect(b, &QAbstractButton::clicked, this, [this, name, &controls](bool checked) {
          if (applying_) return;
          controls.SetChecked(name, checked);
          window_.Activate(name);
        });
      }
      break;
    case ControlKind::kEdit:
      if (auto* e = qobject_cast<QLineEdit*>(widget)) {
        connect(e, &QLineEdit::textEdited, this, [this, name, &controls](const QString& text) {
          if (!applying_) controls.SetCaption(name, ToGbk(text));
        });
        connect(e, &QLineEdit::returnPressed, this, [this, name] {
          if (!applying_) window_.Activate(name);
        });
      }
      break;
    case ControlKind::kLabel:
      // Labels act when the design gives them a handler (the forum page's titles, say).
      widget->installEventFilter(this);
      break;
    case ControlKind::kDialog:
      if (auto* d = qobject_cast<QDialog*>(widget)) {
        connect(d, &QDialog::finished, this, [this, name, &controls] {
          if (!applying_) controls.SetVisible(name, false);
        });
      }
      break;
    default:
      break;
  }
}

bool WindowBinder::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease) {
    auto* e = static_cast<QMouseEvent*>(event);
    auto* w = qobject_cast<QWidget*>(watched);
    if (e->button() == Qt::LeftButton && w != nullptr &&
        w->rect().contains(e->position().toPoint())) {
      const std::string name = w->objectName().toStdString();
      if (window_.HasAction(name)) {
        window_.Activate(name);
        return true;
      }
    }
  }
  return QObject::eventFilter(watched, event);
}

void WindowBinder::BindList(const char* name, bool with_menu) {
  auto* view = main_->ControlAs<QTableView>(name);
  ListModel* model = window_.list(name);
  if (view == nullptr || model == nullptr) return;
  auto* adapter = new ListModelAdapter(*model, this);
  adapters_[name] = adapter;
  // The server lists sort and filter in the view; the model's rows keep their order, so rows
  // cross between the two through the proxy.
  ServerListProxy* proxy = nullptr;
  if (std::string_view(name) == names::kServerList ||
      std::string_view(name) == names::kFavouritesList) {
    proxy = new ServerListProxy(this);
    proxy->setSourceModel(adapter);
    proxies_[name] = proxy;
    view->setModel(proxy);
    // No sort until the person clicks a header: the list shows the service's order.
    view->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    view->setSortingEnabled(true);
    view->horizontalHeader()->setSortIndicatorShown(true);
  } else {
    view->setModel(adapter);
  }
  auto to_model = [proxy](const QModelIndex& index) {
    if (!index.isValid()) return -1;
    return proxy != nullptr ? proxy->mapToSource(index).row() : index.row();
  };
  auto to_view = [proxy, adapter](int row) {
    const QModelIndex source = adapter->index(row, 0);
    return proxy != nullptr ? proxy->mapFromSource(source) : source;
  };
  const auto& columns = model->Columns();
  for (int c = 0; c < static_cast<int>(columns.size()); ++c) {
    const int width = columns[static_cast<std::size_t>(c)].width;
    // Width 0 columns hold data the features read but nobody should see.
    if (width == 0) view->setColumnHidden(c, true);
    // A page that sized or hid a column itself (to fit a narrow card) keeps its choice.
    const bool page_sized =
        view->horizontalHeader()->sectionResizeMode(c) != QHeaderView::Interactive;
    if (width > 0 && !page_sized) view->setColumnWidth(c, width);
  }

  const std::string list = name;
  connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this, adapter, model, to_model](const QModelIndex& current) {
            if (applying_ || adapter->Applying()) return;
            model->Select(to_model(current));
          });
  connect(adapter, &ListModelAdapter::SelectionChanged, view, [view, adapter, to_view](int row) {
    const QModelIndex shown = row >= 0 && row < adapter->rowCount() ? to_view(row) : QModelIndex();
    if (!shown.isValid()) {
      view->clearSelection();
      return;
    }
    view->selectRow(shown.row());
    view->scrollTo(shown);
  });
  connect(view, &QTableView::doubleClicked, this,
          [this, model, list, to_model](const QModelIndex& index) {
            if (!index.isValid()) return;
            model->Select(to_model(index));
            window_.Activate(list);
          });
  if (!with_menu) {
    view->setContextMenuPolicy(Qt::NoContextMenu);
    return;
  }
  connect(view, &QWidget::customContextMenuRequested, this,
          [this, view, model, list, to_model](const QPoint& pos) {
            const QModelIndex index = view->indexAt(pos);
            if (!index.isValid()) return;
            model->Select(to_model(index));
            view->selectRow(index.row());
            QMenu menu(view);
            menu.setFont(UiFont(14));
            std::vector<const char*> items;
            if (list == names::kServerList) {
              items.assign(names::kServerListMenu.begin(), names::kServerListMenu.end());
            } else if (list == names::kDownloadQueue) {
              items.assign(names::kDownloadQueueMenu.begin(), names::kDownloadQueueMenu.end());
            } else {
              items.assign(names::kFavouritesMenu.begin(), names::kFavouritesMenu.end());
            }
            for (const char* item : items)
              menu.addAction(QString::fromUtf8(item))->setData(QString::fromUtf8(item));
            QAction* chosen = menu.exec(view->viewport()->mapToGlobal(pos));
            if (chosen == nullptr) return;
            window_.Activate(names::menu_action(list, chosen->data().toString().toStdString()));
          });
}

ServerListProxy* WindowBinder::Proxy(std::string_view list) const {
  const auto it = proxies_.find(list);
  return it == proxies_.end() ? nullptr : it->second;
}

void WindowBinder::BindDefaultNavigation() {
  const char* nav[names::kPageCount] = {names::kNavDownload, names::kNavServers,
                                        names::kNavFavourites, names::kNavForum, names::kNavTools};
  Window* window = &window_;
  for (int page = 0; page < names::kPageCount; ++page) {
    if (window_.HasAction(nav[page])) continue;  // the program's own handler wins
    window_.Bind(nav[page], [window, page, initialised = initialised_] {
      if (window->RequireInitialised(initialised ? initialised() : true)) window->SelectPage(page);
    });
  }
}

namespace {

void SetLog(QPlainTextEdit* log, const QString& text) {
  const QString old = log->toPlainText();
  if (old == text) return;
  QScrollBar* bar = log->verticalScrollBar();
  const bool at_end = bar->value() == bar->maximum();
  if (!old.isEmpty() && text.startsWith(old)) {
    // A growing log only appends, so the view does not jump.
    QTextCursor cursor(log->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text.mid(old.size()));
  } else {
    log->setPlainText(text);
  }
  if (at_end) bar->setValue(bar->maximum());
}

}  // namespace

void WindowBinder::Apply(const std::string& name, const ControlState& state) {
  const auto it = bound_.find(name);
  if (it == bound_.end() || it->second.widget == nullptr) return;
  QWidget* w = it->second.widget;
  const ControlKind kind = it->second.kind;
  const QString caption = FromGbk(state.caption);

  // The notice is driven by its port, not by a state.
  if (name == names::kNoticePanel) return;

  w->setEnabled(state.enabled);

  switch (kind) {
    case ControlKind::kDialog: {
      auto* d = qobject_cast<QDialog*>(w);
      if (d == nullptr) break;
      d->setWindowTitle(caption);
      if (state.visible && !d->isVisible()) {
        CentreOver(d, main_);
        d->show();
        d->raise();
        d->activateWindow();
      } else if (!state.visible && d->isVisible()) {
        d->hide();
      }
      return;
    }
    case ControlKind::kPageContainer:
      main_->ShowPage(state.value);
      return;
    case ControlKind::kPicture:
      if (auto* l = qobject_cast<QLabel*>(w)) {
        const int size = l->width();
        if (state.image.empty()) {
          l->setPixmap(DefaultAvatar(size));
        } else {
          QPixmap picture;
          // Undecodable bytes leave the picture as it was.
          if (picture.loadFromData(reinterpret_cast<const uchar*>(state.image.data()),
                                   static_cast<uint>(state.image.size()))) {
            l->setPixmap(RoundAvatar(picture, size));
          }
        }
      }
      break;
    case ControlKind::kBrowser:
    case ControlKind::kList:
    case ControlKind::kPanel:
      break;
    default:
      if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        if (b->text() != caption) b->setText(caption);
        if (b->isCheckable()) SetRadioChecked(b, state.checked);
      } else if (auto* l = qobject_cast<QLabel*>(w)) {
        if (l->text() != caption) l->setText(caption);
      } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
        if (e->text() != caption) e->setText(caption);
      } else if (auto* log = qobject_cast<QPlainTextEdit*>(w)) {
        SetLog(log, caption);
      }
      break;
  }
  if (w->isHidden() == state.visible) {
    w->setVisible(state.visible);
    // Browsers share one place: the one shown last comes to the front.
    if (state.visible && kind == ControlKind::kBrowser) w->raise();
  }
}

}  // namespace brindle::ui
