#include "gui/proxy_dialog.h"

#include "gateway/connection_check.h"

#include "gui/dialog_buttons.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

namespace telva {

TGetProxyDlg::TGetProxyDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TGetProxyDlg"));
    setWindowTitle(QStringLiteral("Настройка подключения"));
    setModal(true);

    auto* heading = new QLabel(QStringLiteral("Укажите настройки прокси-сервера:"), this);
    heading->setObjectName(QStringLiteral("lHeading"));
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);

    eHost = new QLineEdit(this);
    eHost->setObjectName(QStringLiteral("eHost"));
    ePort = new QLineEdit(this);
    ePort->setObjectName(QStringLiteral("ePort"));
    ePort->setMaximumWidth(70);
    eUser = new QLineEdit(this);
    eUser->setObjectName(QStringLiteral("eUser"));
    connect(ePort, &QLineEdit::textChanged, this, &TGetProxyDlg::ePortChange);

    auto* hostRow = new QHBoxLayout;
    hostRow->addWidget(eHost, 1);
    hostRow->addWidget(new QLabel(QStringLiteral("порт"), this));
    hostRow->addWidget(ePort);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Адрес сервера"), hostRow);
    form->addRow(QStringLiteral("Пользователь"), eUser);

    QHBoxLayout* buttons = acceptExitButtons(this, btnOk, btnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addLayout(form);
    layout->addLayout(buttons);
    setMinimumWidth(360);
}

void TGetProxyDlg::setValues(const QString& host, const QString& port, const QString& user) {
    eHost->setText(host);
    ePort->setText(port);
    eUser->setText(user);
}

QString TGetProxyDlg::host() const {
    return eHost->text();
}

QString TGetProxyDlg::port() const {
    return ePort->text();
}

QString TGetProxyDlg::user() const {
    return eUser->text();
}

void TGetProxyDlg::ePortChange(const QString& text) {
    if (PortFieldText(text) != text)
        ePort->clear();
}

void TGetProxyDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Centred on the screen, not over the window behind it.
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

} // namespace telva
