#include "ui/dialogs.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/icons.h"
#include "ui/page_kit.h"
#include "ui/style.h"
#include "view/control_names.h"

namespace brindle::ui {
namespace {

void DressDialog(QDialog* dialog, const char* name, int width) {
  dialog->setObjectName(QString::fromUtf8(name));
  dialog->setWindowTitle(DesignCaption(name));
  dialog->setWindowModality(Qt::ApplicationModal);
  dialog->setFixedWidth(width);
  // The window decides when a dialog closes (through its shown state), so Enter does not.
  dialog->setSizeGripEnabled(false);
}

}  // namespace

LoginDialog::LoginDialog(QWidget* parent) : QDialog(parent) {
  DressDialog(this, names::kLoginWindow, 380);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(24, 22, 24, 22);
  column->setSpacing(14);

  auto* heading = new QLabel(QString::fromUtf8("登录论坛账号"), this);
  heading->setProperty("role", "title");
  column->addWidget(heading);

  auto* form = new QVBoxLayout;
  form->setSpacing(6);
  form->addWidget(MakeLabel(this, names::kLoginUserLabel, "section"));
  form->addWidget(MakeEdit(this, names::kLoginUserBox));
  form->addSpacing(6);
  form->addWidget(MakeLabel(this, names::kLoginCodeLabel, "section"));
  QLineEdit* code = MakeEdit(this, names::kLoginCodeBox);
  code->setEchoMode(QLineEdit::Password);
  form->addWidget(code);
  column->addLayout(form);

  QPushButton* page = MakeButton(this, names::kLoginSecureCodePage, "ghost");
  page->setIcon(GlyphIcon(Glyph::kExternal, 14, palette::kAccent, palette::kAccentDark));
  column->addWidget(page, 0, Qt::AlignLeft);

  QPushButton* login = MakeButton(this, names::kLoginButton, "primary");
  login->setAutoDefault(false);
  login->setMinimumHeight(34);
  column->addWidget(login);
}

AddServerDialog::AddServerDialog(QWidget* parent) : QDialog(parent) {
  DressDialog(this, names::kAddServerWindow, 360);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(24, 22, 24, 22);
  column->setSpacing(10);
  column->addWidget(MakeLabel(this, names::kAddServerLabel, "section"));
  QLineEdit* box = MakeEdit(this, names::kAddServerBox, "127.0.0.1:27015");
  column->addWidget(box);
  auto* row = new QHBoxLayout;
  row->addStretch();
  QPushButton* confirm = MakeButton(this, names::kAddServerConfirm, "primary");
  confirm->setAutoDefault(false);
  row->addWidget(confirm);
  column->addLayout(row);
  // Enter in the box is the person pressing "确认添加"; the button's own handler decides whether
  // the dialog closes.
  connect(box, &QLineEdit::returnPressed, confirm, &QPushButton::click);
}

}  // namespace brindle::ui
