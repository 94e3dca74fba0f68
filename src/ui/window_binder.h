// Ties the Qt widgets to the window model: control states flow model → widgets (on the GUI
// thread, coalesced per control), the person's clicks, checks and typing flow widgets → model,
// and each list view shows its list model through an adapter.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "view/controls.h"

class QTableView;

namespace brindle {
class Window;
}

namespace brindle::ui {

class ListModelAdapter;
class MainWindow;
class ServerListProxy;

class WindowBinder : public QObject {
  Q_OBJECT
 public:
  WindowBinder(MainWindow* main, Window& window, std::function<bool()> initialised);
  ~WindowBinder() override;

  ListModelAdapter* Adapter(std::string_view list) const;
  // The sorting and filtering between a server list's adapter and its view; nullptr for the
  // other lists.
  ServerListProxy* Proxy(std::string_view list) const;
  // Applies every pending control state and list change now. Normally this happens by itself on
  // the next turn of the event loop; tests call it to look at the window at once.
  void Flush();
  // Control names the window model holds but no widget shows (file dialogs, mostly).
  const std::vector<std::string>& Unshown() const { return unshown_; }
  Window& window() const { return window_; }

 private:
  struct Relay;
  struct Bound {
    QPointer<QWidget> widget;
    names::ControlKind kind = names::ControlKind::kLabel;
  };

  void BindControl(const std::string& name, QWidget* widget, names::ControlKind kind);
  void BindList(const char* name, bool with_menu);
  void BindDefaultNavigation();
  void Apply(const std::string& name, const ControlState& state);
  Q_INVOKABLE void FlushControls();
  bool eventFilter(QObject* watched, QEvent* event) override;

  MainWindow* main_;
  Window& window_;
  std::function<bool()> initialised_;
  std::map<std::string, Bound, std::less<>> bound_;
  std::map<std::string, ListModelAdapter*, std::less<>> adapters_;
  std::map<std::string, ServerListProxy*, std::less<>> proxies_;
  std::vector<std::string> unshown_;
  std::shared_ptr<Relay> relay_;
  bool applying_ = false;
};

}  // namespace brindle::ui
