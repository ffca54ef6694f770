#include "gui/gui_frontend.h"

#include "app/event_log.h"
#include "app/program.h"
#include "app/texts.h"
#include "gui/auth_dialog.h"
#include "gui/input_gate.h"
#include "gui/proxy_dialog.h"
#include "gui/receipt_view.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace telva {

namespace {

QMessageBox::Icon toQt(Frontend::Icon icon) {
    switch (icon) {
    case Frontend::Icon::Information:
        return QMessageBox::Information;
    case Frontend::Icon::Warning:
        return QMessageBox::Warning;
    case Frontend::Icon::Error:
        return QMessageBox::Critical;
    case Frontend::Icon::Question:
        return QMessageBox::Question;
    case Frontend::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

void GuiFrontend::showStatus(const QString& text) {
    if (statusSink_)
        statusSink_(text);
}

void GuiFrontend::processEvents() {
    // Paint and keep the window alive, but let no click start a second action.
    ++paintCount_;
    if (gate_)
        gate_->processEvents();
    else
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void GuiFrontend::setCancellable(bool on) {
    // A cancel belongs to the step it was pressed in, not to the waits before the next one.
    cancelled_ = false;
    if (cancelSink_)
        cancelSink_(on);
}

void GuiFrontend::showPercent(int percent) {
    if (percentSink_)
        percentSink_(percent);
}

void GuiFrontend::messageBox(const QString& text, const QString& caption, Icon icon) {
    QMessageBox box(toQt(icon), caption, text, QMessageBox::Ok, parent_);
    box.exec();
}

bool GuiFrontend::askYesNo(const QString& text, const QString& caption, Icon icon) {
    return ask(text, caption, icon, false);
}

bool GuiFrontend::askYesNoDefaultNo(const QString& text, const QString& caption, Icon icon) {
    return ask(text, caption, icon, true);
}

bool GuiFrontend::ask(const QString& text, const QString& caption, Icon icon, bool defaultNo) {
    QMessageBox box(toQt(icon), caption, text, QMessageBox::NoButton, parent_);
    QAbstractButton* yes = box.addButton(QStringLiteral("Да"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("Нет"), QMessageBox::NoRole);
    if (defaultNo)
        box.setDefaultButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void GuiFrontend::showError(const QString& text) {
    logEvent(errorEventText(text));
    QMessageBox box(QMessageBox::Critical, programTitle(), text, QMessageBox::Ok, parent_);
    box.exec();
}

bool GuiFrontend::askProxyCredentials(QString& user, QString& password) {
    TGetAuth dialog(parent_);
    dialog.setValues(user, password);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    user = dialog.user();
    password = dialog.password();
    return true;
}

bool GuiFrontend::editProxySettings(QString& host, QString& portText, QString& user) {
    TGetProxyDlg dialog(parent_);
    dialog.setValues(host, portText, user);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    host = dialog.host();
    portText = dialog.port();
    user = dialog.user();
    return true;
}

std::optional<QString> GuiFrontend::askKeyPassword(const QString& prompt) {
    bool ok = false;
    const QString entered = QInputDialog::getText(parent_, QStringLiteral("Пароль"), prompt,
                                                  QLineEdit::Password, QString(), &ok);
    if (!ok)
        return std::nullopt;
    return entered;
}

bool GuiFrontend::openFile(const QString& path) {
    if (!QFileInfo::exists(path))
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool GuiFrontend::openUrl(const QString& url) {
    return QDesktopServices::openUrl(QUrl(url));
}

bool GuiFrontend::showDocument(const QString& title, const QString& text, bool html) {
    auto* dialog = new QDialog(parent_);
    dialog->setObjectName(QStringLiteral("DocumentView"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(title);
    // The receipt view loads nothing from outside the text, whatever the page asks for.
    auto* view = new ReceiptView(dialog);
    view->setObjectName(QStringLiteral("DocumentText"));
    if (html)
        view->setHtml(text);
    else
        view->setPlainText(text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(view, 1);
    layout->addWidget(buttons);
    dialog->resize(700, 500);
    dialog->show();
    return true;
}

} // namespace telva
