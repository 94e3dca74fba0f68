// The two small dialog windows over the main window: the forum login and the add-server window.
// They only show controls; what their buttons do is bound by name like every other control.
#pragma once

#include <QDialog>

namespace brindle::ui {

class LoginDialog : public QDialog {
  Q_OBJECT
 public:
  explicit LoginDialog(QWidget* parent);
};

class AddServerDialog : public QDialog {
  Q_OBJECT
 public:
  explicit AddServerDialog(QWidget* parent);
};

}  // namespace brindle::ui
