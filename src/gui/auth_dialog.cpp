#include "gui/auth_dialog.h"

#include "gui/dialog_buttons.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

namespace telva {

TGetAuth::TGetAuth(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TGetAuth"));
    setWindowTitle(QStringLiteral("Авторизация"));
    setModal(true);

    eUser = new QLineEdit(this);
    eUser->setObjectName(QStringLiteral("eUser"));
    ePsw = new QLineEdit(this);
    ePsw->setObjectName(QStringLiteral("ePsw"));
    ePsw->setEchoMode(QLineEdit::Password);
    ePsw->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Пользователь"), eUser);
    form->addRow(QStringLiteral("Пароль"), ePsw);

    QHBoxLayout* buttons = acceptExitButtons(this, btnOk, btnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    setMinimumWidth(300);
}

void TGetAuth::setValues(const QString& user, const QString& password) {
    eUser->setText(user);
    ePsw->setText(password);
    // The password is what is missing; start there when the name is known.
    if (!user.isEmpty())
        ePsw->setFocus();
}

QString TGetAuth::user() const {
    return eUser->text();
}

QString TGetAuth::password() const {
    return ePsw->text();
}

void TGetAuth::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Centred on the screen, not over the window behind it.
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

} // namespace telva
