#include "app/last_request.h"
#include "archive/report_list.h"
#include "gateway/http_client.h"
#include "gui/desktop_notifier.h"
#include "gui/main_form.h"
#include "gui/status_panel.h"
#include "operations/receipt_check.h"
#include "operations/report_status.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>

namespace telva {

namespace {

// How often the window looks whether a report's turn has come; asking is rarer.
constexpr int kLookEveryMs = 15000;

} // namespace

void TMainForm::startFollowUp() {
    notifier_ = new DesktopNotifier(QDBusConnection::sessionBus(), this);
    connect(notifier_, &DesktopNotifier::activated, this, &TMainForm::showReport);
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &TMainForm::followUp);
    timer->start(kLookEveryMs);
    connect(cbAutoRefresh_, &QCheckBox::toggled, this, [this](bool on) {
        ctx_.settings.autoRefresh = on;
        keepSettings();
    });
}

bool TMainForm::requestWouldWait() const {
    const QDateTime now = ctx_.clock.now();
    const QDateTime last = lastSpacedRequest(ctx_.lastRequestTime, ctx_.lastRequestFile, now);
    return last.isValid() && now < last.addMSecs(kRequestSpacingMs);
}

void TMainForm::followUp() {
    // Only when nothing else happens: no operation or dialog of the person's, a connection,
    // and the gateway's spacing already kept, so that no request has to wait.
    if (!ctx_.settings.autoRefresh || running_ > 0 || checking_ || !ctx_.connected ||
        QApplication::activeModalWidget() || requestWouldWait())
        return;
    const QString id = followUp_.takeDue(ctx_.clock.ticks());
    if (id.isEmpty())
        return;
    size_t index = 0;
    while (index < reports_.size() && reports_[index].id() != id)
        ++index;
    if (index == reports_.size())
        return;
    // The status line keeps what the person's last operation said.
    const QString kept = statusPanel_->statusText();
    const StatusKind keptKind = statusPanel_->statusKind();
    ++running_;
    const Result<RefreshOutcome> refreshed =
        RefreshReportState(ctx_, *http_, reports_[index], true);
    const RefreshOutcome outcome = refreshed ? *refreshed : RefreshOutcome();
    --running_;
    if (outcome.newState)
        setReportState(index, *outcome.newState);
    tellOutcome(id, outcome);
    statusPanel_->setStatusText(kept, keptKind);
}

void TMainForm::tellOutcome(const QString& reportId, const RefreshOutcome& outcome) {
    const QString summary = QStringLiteral("Отчет ") + reportId;
    if (outcome.newState == stateHasErrors()) {
        notifier_->notify(reportId, summary, QStringLiteral("Фонд обнаружил ошибки в отчете."));
        return;
    }
    if (outcome.receiptToCheck.isEmpty())
        return;
    // Only a receipt whose signature holds is news worth a notification.
    const Result<crypto::CheckedReceipt> receipt =
        outcome.checked ? *outcome.checked : crypto::CheckReceipt(ctx_, outcome.receiptToCheck);
    if (receipt)
        notifier_->notify(reportId, summary,
                          QStringLiteral("Получена квитанция, подпись верна. Подписал: ") +
                              receipt->signer);
}

void TMainForm::showReport(const QString& reportId) {
    if (!cameToFront())
        return;
    pcMain_->setCurrentIndex(ReportsPage);
    eReportFilter_->clear();
    for (size_t index = 0; index < reports_.size(); ++index) {
        if (reports_[index].id() == reportId)
            gRep_->setCurrentCell(gridRowOf(index), 0);
    }
}

} // namespace telva
