#include "app/event_log.h"
#include "app/last_request.h"
#include "archive/report_list.h"
#include "gateway/http_client.h"
#include "gui/desktop_notifier.h"
#include "gui/page_host.h"
#include "gui/sent_reports_page.h"
#include "operations/background_refresh.h"
#include "operations/report_status.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTableWidget>
#include <QThread>
#include <QTimer>

namespace telva {

namespace {

// How often the window looks whether a report's turn has come; asking is rarer.
constexpr int kLookEveryMs = 15000;

QString passwordWantedText() {
    return QStringLiteral("Квитанция готова, но для ее проверки нужен пароль ключа. Нажмите "
                          "«Обновить информацию об отчете».");
}

} // namespace

SentReportsPage::~SentReportsPage() {
    if (asking_) {
        asking_->cancel = true;
        asking_->thread->wait();
        delete asking_->thread;
    }
}

void SentReportsPage::start() {
    notifier_ = new DesktopNotifier(QDBusConnection::sessionBus(), this);
    connect(notifier_, &DesktopNotifier::activated, this, &SentReportsPage::reportWanted);
    // The reports in processing are followed from the start, not only once the list is seen.
    acGreedRefreshExecute();
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &SentReportsPage::followUp);
    timer->start(kLookEveryMs);
    watchArchive();
}

void SentReportsPage::follow(const QString& reportId) {
    followUp_.add(reportId, host_.ctx.clock.ticks(), host_.ctx.clock.ticks());
}

bool SentReportsPage::requestWouldWait() const {
    const QDateTime now = host_.ctx.clock.now();
    const QDateTime last =
        lastSpacedRequest(host_.ctx.lastRequestTime, host_.ctx.lastRequestFile, now);
    return last.isValid() && now < last.addMSecs(kRequestSpacingMs);
}

void SentReportsPage::followUp() {
    // Only when nothing else happens: no ask under way, no operation or dialog of the
    // person's, a connection, and the gateway's spacing already kept, so that no request has
    // to wait.
    if (asking_ || !host_.ctx.settings.autoRefresh || host_.running() > 0 || host_.checking() ||
        !host_.ctx.connected || QApplication::activeModalWidget() || requestWouldWait())
        return;
    const QString id = followUp_.takeDue(host_.ctx.clock.ticks());
    if (id.isEmpty())
        return;
    // The report as its folder says now: the terminal program may have refreshed or deleted it.
    const ReportList rows = FillReportList(host_.ctx);
    const ReportRow* row = findReportRow(rows, id);
    if (!row || row->state() != stateProcessing()) {
        followUp_.forget(id);
        return;
    }
    asking_ = std::make_unique<BackgroundAsk>();
    BackgroundAsk* ask = asking_.get();
    ask->sourceFile = row->cells[ColSourceFile];
    ask->number = ++asksStarted_;
    const BackgroundRefreshJob job =
        BackgroundRefreshJob::of(host_.ctx, *row, host_.http.followRedirects());
    Clock* clock = &host_.ctx.clock;
    ask->thread = QThread::create(
        [job, clock, ask] { ask->done = RefreshInBackground(job, *clock, ask->cancel); });
    const int number = ask->number;
    connect(ask->thread, &QThread::finished, this, [this, number] {
        if (asking_ && asking_->number == number)
            takeBackgroundAsk();
    });
    ask->thread->start();
}

bool SentReportsPage::followUpRunning() const {
    return asking_ != nullptr;
}

void SentReportsPage::stopFollowUp() {
    if (!asking_)
        return;
    asking_->cancel = true;
    takeBackgroundAsk();
}

void SentReportsPage::takeBackgroundAsk() {
    std::unique_ptr<BackgroundAsk> ask = std::move(asking_);
    ask->thread->wait();
    delete ask->thread;
    const BackgroundRefreshDone& done = ask->done;
    const QString& id = done.reportId;
    if (done.lastRequestTime.isValid() &&
        (!host_.ctx.lastRequestTime.isValid() || done.lastRequestTime > host_.ctx.lastRequestTime))
        host_.ctx.lastRequestTime = done.lastRequestTime;
    if (done.cancelled) {
        followUp_.askAgainSoon(id, host_.ctx.clock.ticks());
        return;
    }
    if (done.wantsPassword) {
        followUp_.hold(id);
        noteFollowUp(id, ask->sourceFile, passwordWantedText());
        return;
    }
    // A failure's own text is noted below; what else would have come up in a box goes to the
    // journal here.
    const QString why = done.outcome                    ? QString()
                        : done.outcome.text().isEmpty() ? done.said.value(0)
                                                        : done.outcome.text();
    for (const QString& text : done.said) {
        if (text != why)
            logEvent(QStringLiteral("Отчет %1: %2").arg(id, text));
    }
    if (done.unreachable()) {
        // Not news about the report but about the connection: the icon says it, and the asks
        // wait for the next check to find the gateway again.
        host_.setConnected(false);
        followUp_.askAgainSoon(id, host_.ctx.clock.ticks());
        logEvent(QStringLiteral("Отчет %1: %2").arg(id, why));
        followUpNotes_.insert(id, why);
        return;
    }
    if (!done.outcome) {
        noteFollowUp(id, ask->sourceFile, why);
        return;
    }
    const RefreshOutcome& outcome = *done.outcome;
    if (outcome.status && !outcome.status->isEmpty()) {
        noteFollowUp(id, ask->sourceFile, *outcome.status);
        return;
    }
    followUpNotes_.remove(id);
    toldFailures_.remove(id);
    if (outcome.newState) {
        if (const ReportRow* row = findReportRow(reports_, id))
            setReportState(size_t(row - reports_.data()), *outcome.newState);
        if (*outcome.newState != stateProcessing())
            followUp_.forget(id);
    }
    acShowFinalXmlUpdate();
    tellOutcome(id, ask->sourceFile, outcome);
}

void SentReportsPage::noteFollowUp(const QString& reportId, const QString& sourceFile,
                                   const QString& text) {
    logEvent(QStringLiteral("Отчет %1: %2").arg(reportId, text));
    followUpNotes_.insert(reportId, text);
    if (const ReportRow* row = findReportRow(reports_, reportId)) {
        const int gridRow = gridRowOf(size_t(row - reports_.data()));
        if (QTableWidgetItem* cell = gRep_->item(gridRow, ColState); cell && row->detail.isEmpty())
            cell->setToolTip(text);
    }
    // The same trouble again an hour later is not news.
    if (toldFailures_.value(reportId) == text)
        return;
    toldFailures_.insert(reportId, text);
    notifier_->notify(reportId, notificationSummary(reportId, sourceFile), text);
}

QString SentReportsPage::notificationSummary(const QString& reportId, const QString& sourceFile) {
    const QString summary = QStringLiteral("Отчет ") + reportId;
    return sourceFile.isEmpty() ? summary : summary + QStringLiteral(" (") + sourceFile + ')';
}

void SentReportsPage::tellOutcome(const QString& reportId, const QString& sourceFile,
                                  const RefreshOutcome& outcome) {
    const QString summary = notificationSummary(reportId, sourceFile);
    if (outcome.newState == stateHasErrors()) {
        notifier_->notify(reportId, summary, QStringLiteral("Фонд обнаружил ошибки в отчете."));
        return;
    }
    // Only a receipt whose signature holds is news worth a notification; a background ask
    // keeps only such a receipt.
    if (outcome.newState == stateAccepted() && outcome.checked && *outcome.checked)
        notifier_->notify(reportId, summary,
                          QStringLiteral("Получена квитанция, подпись верна. Подписал: ") +
                              (*outcome.checked)->signer);
}

void SentReportsPage::choose(const QString& reportId) {
    eReportFilter_->clear();
    for (size_t index = 0; index < reports_.size(); ++index) {
        if (reports_[index].id() == reportId)
            gRep_->setCurrentCell(gridRowOf(index), 0);
    }
}

} // namespace telva
