#include "app/event_log.h"
#include "gateway/connection_check.h"
#include "gateway/http_client.h"
#include "gui/help_page.h"
#include "gui/main_form.h"
#include "gui/page_controls.h"
#include "gui/page_host.h"
#include "gui/signing_page.h"
#include "gui/status_panel.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

namespace telva {

namespace {

QStringList localFiles(const QMimeData* data) {
    QStringList files;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            files.append(url.toLocalFile());
    }
    return files;
}

} // namespace

void TMainForm::createActions() {
    acProxy = makeAction(this, "acProxy", QStringLiteral("&Настройки прокси-сервера"));
    acTestConn = makeAction(this, "acTestConn", QStringLiteral("&Тестировать подключение"));
    acOpenLog = makeAction(this, "acOpenLog", QStringLiteral("Открыть &журнал"));
    connect(acOpenLog, &QAction::triggered, this, [this] {
        if (!openJournal(frontend_))
            frontend_.showError(QStringLiteral("Не удалось открыть журнал."));
    });
    auto* help = makeAction(this, "acHelp", QStringLiteral("Справка"));
    help->setShortcut(QKeySequence::HelpContents);
    addAction(help);
    connect(help, &QAction::triggered, this, [this] { HelpPage(ctx_, this).exec(); });
    auto* quit = makeAction(this, "acQuit", QStringLiteral("Выход"));
    quit->setShortcut(QKeySequence::Quit);
    addAction(quit);
    connect(quit, &QAction::triggered, this, &QWidget::close);
    host_->bind(acProxy, [this] { acProxyExecute(); });
    host_->bind(acTestConn, [this] { acTestConnExecute(); });
}

void TMainForm::createStatusBar() {
    pmCon_ = new QMenu(this);
    pmCon_->setObjectName(QStringLiteral("pmCon"));
    pmCon_->addAction(acTestConn);
    pmCon_->addAction(acProxy);
    pmCon_->addAction(acOpenLog);
    connect(statusPanel_, &StatusPanel::iconMenuRequested, this, &TMainForm::showConnectionMenu);
}

void TMainForm::showConnectionMenu() {
    const QRect frame = frameGeometry();
    pmCon_->popup(QPoint(frame.left() + 5, frame.top() + frame.height() - 70));
}

void TMainForm::acProxyExecute() {
    proxyDialogDeclined_ = false;
    const Status changed = ChangeProxySettings(ctx_, *http_);
    statusPanel_->setConnected(ctx_.connected);
    if (!changed)
        frontend_.showError(changed.text());
}

void TMainForm::acTestConnExecute() {
    proxyDialogDeclined_ = false;
    TestConnection(ctx_, *http_);
    statusPanel_->setConnected(ctx_.connected);
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
    if (!localFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event) {
    const QStringList files = localFiles(event->mimeData());
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    if (files.size() == 1)
        signPage_->InputFileChosen(files.first());
    else
        signPage_->openBatch(files);
}

} // namespace telva
