// The main window: a frameless frame with the navigation column, the five pages, the status line
// and the notice, plus the two dialog windows. It shows controls; `Bind` ties them to the
// program's window model, from which every caption, state, list and action comes.
#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string_view>

#include "view/control_names.h"

class QLabel;
class QTabWidget;

namespace brindle {
class Window;
}

namespace brindle::ui {

class AddServerDialog;
class BrowserHost;
class EmbeddedBrowser;
class LoginDialog;
class NavButton;
class NoticeWindow;
class WindowBinder;

class MainWindow : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kDefaultWidth = 1280;
  static constexpr int kDefaultHeight = 840;
  // Every caption whole and every list two rows high, within a 1280x720 screen less its task
  // bar; the lists give up their rows first. (The layouts may ask for more with other fonts.)
  static constexpr int kMinimumWidth = 1200;
  static constexpr int kMinimumHeight = 670;

  // The size the window opens at on a screen whose free area (task bar excluded) is `available`:
  // the design size, smaller where the screen is, never below the minimum.
  static QSize OpeningSize(const QSize& available);

  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

  // A control by its design name, searching the dialogs too; nullptr when absent.
  QWidget* Control(std::string_view name) const;
  template <typename T>
  T* ControlAs(std::string_view name) const {
    return qobject_cast<T*>(Control(name));
  }

  QTabWidget* Pages() const { return pages_; }
  NoticeWindow* Notice() const { return notice_; }
  LoginDialog* Login() const { return login_; }
  AddServerDialog* AddServer() const { return add_server_; }
  NavButton* Nav(int page) const { return nav_[static_cast<std::size_t>(page)]; }

  // The program folder, once the program knows it: the browsers keep their profile in its
  // qdata/miniblink/ (cookies in cookies.dat there). Until then, and if never told, the browsers
  // keep nothing. Set it before the forum page is first shown.
  void SetProgramFolder(const QString& program_dir);
  // Where the browsers' engine comes from.
  BrowserHost* Browsers() const { return browsers_.get(); }

  // Shows `page` and highlights its navigation entry; the player panel moves beside the page's
  // list when the page has a place for it. Display only: page switches that the person asks for
  // go through the window model (and its start-up guard).
  void ShowPage(int page);

  // Ties every control to `window`: captions and states follow the model, the person's actions
  // reach it, the lists show its list models. `initialised` tells whether start-up is complete;
  // the navigation entries refuse to switch pages until it is. The window must outlive this
  // object or a later Unbind.
  void Bind(Window& window, std::function<bool()> initialised);
  void Unbind();
  WindowBinder* Binder() const { return binder_.get(); }

 signals:
  void Closing();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QWidget* BuildSidebar();
  QWidget* BuildTopBar();
  QWidget* BuildStatusBar();
  void PlacePlayerPanel(int page);

  QTabWidget* pages_ = nullptr;
  NoticeWindow* notice_ = nullptr;
  LoginDialog* login_ = nullptr;
  AddServerDialog* add_server_ = nullptr;
  QWidget* player_panel_ = nullptr;
  std::array<NavButton*, names::kPageCount> nav_{};
  std::unique_ptr<BrowserHost> browsers_;
  std::unique_ptr<WindowBinder> binder_;
};

}  // namespace brindle::ui
