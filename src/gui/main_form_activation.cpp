#include "app/program.h"
#include "gateway/connection_check.h"
#include "gateway/http_client.h"
#include "gui/main_form.h"
#include "gui/page_host.h"
#include "gui/sent_reports_page.h"
#include "gui/signing_page.h"
#include "gui/status_panel.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWindow>

namespace telva {

void TMainForm::watchFocus() {
    // Focus events come before this signal, so at activation focusFrom_ still tells where
    // the focus was before.
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* window) {
        if (!window)
            focusFrom_ = FocusFrom::OtherProgram;
        else if (window != windowHandle())
            focusFrom_ = host_->checking() ? FocusFrom::CheckWindow : FocusFrom::OwnWindow;
    });
}

void TMainForm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::ActivationChange || !isActiveWindow() || host_->checking())
        return;
    if (!framed_) {
        framed_ = true;
        keepWindowOnScreen();
    }
    const bool due = focusFrom_ == FocusFrom::Start || focusFrom_ == FocusFrom::OwnWindow;
    focusFrom_ = FocusFrom::OtherProgram;
    if (!due)
        return;
    host_->setChecking(true);
    FormActivate();
    host_->setChecking(false);
}

void TMainForm::FormActivate() {
    const QString kept = host_->operationStatus();
    const StatusKind keptKind = host_->operationKind();
    const ProxyDialog dialog = proxyDialogDeclined_ ? ProxyDialog::Skip : ProxyDialog::Offer;
    const Result<Connection> connected = ConnectionCheckAtActivation(ctx_, *http_, dialog);
    statusPanel_->setConnected(ctx_.connected);
    if (!connected) {
        frontend_.showError(connected.text());
    } else {
        if (!*connected && dialog == ProxyDialog::Offer)
            proxyDialogDeclined_ = true;
        showNetworkActions(ctx_.connected);
    }
    // The icon tells the connection's state; the line keeps what the user's operation said,
    // or else tells a failed check as a failure.
    if (!kept.isEmpty())
        statusPanel_->setStatusText(kept, keptKind);
    else if (!ctx_.connected)
        statusPanel_->setStatusText(statusPanel_->statusText(), StatusKind::Error);
    host_->keepSettings();
}

void TMainForm::showNetworkActions(bool shown) {
    // The buttons go, the actions stay usable: a double click still refreshes a report.
    for (QAction* action : signPage_->networkActions() + reportsPage_->networkActions()) {
        for (QObject* object : action->associatedObjects()) {
            auto* widget = qobject_cast<QWidget*>(object);
            if (widget && widget != this)
                widget->setVisible(shown);
        }
    }
}

QString TMainForm::refusalFor(const QStringList& arguments) const {
    // Test reports must never reach the live gateway: a start in test mode does not hand
    // itself to a window in work mode.
    if (parseCommandLine(arguments, ctx_.settings.kvitExt).testMode && !ctx_.testMode)
        return QStringLiteral("ТЕЛВА уже открыта в рабочем режиме. Чтобы работать в режиме "
                              "тестирования, закройте ее окно и запустите программу снова с "
                              "ключом -test.");
    return {};
}

void TMainForm::takeArguments(const QStringList& arguments) {
    pendingArguments_.append(arguments);
    cameToFront();
    takePendingArguments();
}

void TMainForm::takePendingArguments() {
    // A dialog's question or a step under way comes first; what was handed over waits for it
    // instead of being dropped.
    if (QApplication::activeModalWidget() || host_->running() > 0) {
        if (!pendingTimer_) {
            pendingTimer_ = new QTimer(this);
            pendingTimer_->setSingleShot(true);
            pendingTimer_->setInterval(300);
            connect(pendingTimer_, &QTimer::timeout, this, &TMainForm::takePendingArguments);
        }
        pendingTimer_->start();
        return;
    }
    while (!pendingArguments_.isEmpty()) {
        const QString receipt =
            parseCommandLine(pendingArguments_.takeFirst(), ctx_.settings.kvitExt).receiptFile;
        if (receipt.isEmpty())
            continue;
        cameToFront();
        checkReceipt(receipt);
        // The check may have asked a question; the next receipt waits for its answer.
        if (!pendingArguments_.isEmpty())
            QTimer::singleShot(0, this, &TMainForm::takePendingArguments);
        return;
    }
}

} // namespace telva
