#include "gateway/report_status.h"

#include "app/context.h"
#include "app/frontend.h"
#include "app/settings.h"
#include "archive/cp1251.h"
#include "archive/report_actions.h"
#include "archive/report_archive.h"
#include "archive/report_list.h"
#include "gateway/http_client.h"

#include <QFileInfo>

namespace telva {

namespace {

const QString& hostFor(const Settings& settings, bool testMode, const QString& listCode) {
    if (listCode == QStringLiteral("Р7"))
        return testMode ? settings.hosts.testGate : settings.hosts.gate;
    return settings.hosts.docGate;
}

} // namespace

StatusPageKind classifyStatusPage(const QByteArray& page) {
    static const QByteArray errorWord = toCp1251(QStringLiteral("Ошибка"));
    if (page.contains("invoice?fid=") || page.contains("invoice?lid=") || page.contains(errorWord))
        return StatusPageKind::HasErrors;
    if (!page.contains("invoice?id="))
        return StatusPageKind::Processing;
    return StatusPageKind::ReceiptReady;
}

QString statusPageAddress(const Settings& settings, bool testMode, const QString& listCode,
                          const QString& reportId) {
    return QStringLiteral("http://") + hostFor(settings, testMode, listCode) +
           QStringLiteral("/kvb/statusreport?id=") + reportId;
}

QString receiptAddress(const Settings& settings, bool testMode, const QString& listCode,
                       const QString& reportId) {
    return QStringLiteral("http://") + hostFor(settings, testMode, listCode) +
           QStringLiteral("/invoice?id=") + reportId;
}

QString statusPageFailedText() {
    return QStringLiteral("Ошибка загрузки. Не удалось получить страницу");
}

RefreshOutcome RefreshReportState(AppContext& ctx, HttpClient& http, const ReportRow& row) {
    RefreshOutcome outcome;
    ctx.downloadBuffer.clear();
    const QString& reportId = row.id();
    // Only identifiers of folders in the archive: the placeholder row of an empty list would
    // otherwise put files into the archive folder itself.
    if (!isPlainReportId(reportId) || ctx.archiveBaseFolder.isEmpty())
        return outcome;
    const QString stem = reportFileStem(ctx, reportId);
    const QString receiptPath = stem + QLatin1Char('.') + ctx.settings.kvitExt;

    if (row.state() == stateAccepted()) {
        outcome.receiptToCheck = receiptPath;
        return outcome;
    }
    const QString address = statusPageAddress(ctx.settings, ctx.testMode, row.listCode(), reportId);
    const QString errorFile = stem + QStringLiteral(".err");
    if (row.state() == stateHasErrors() && QFileInfo::exists(errorFile)) {
        ctx.frontend.openUrl(address);
        return outcome;
    }

    ctx.showProgress(QStringLiteral("Идет загрузка c ") + address + QStringLiteral(" ..."));
    http.WaitRequestSpacing();
    const QByteArray page = utf8ToCp1251(http.HttpGetToString(address));
    if (page.isEmpty()) {
        ctx.showStatus(statusPageFailedText());
        return outcome;
    }
    ctx.showStatus(QString());

    switch (classifyStatusPage(page)) {
    case StatusPageKind::HasErrors:
        // The browser shows the page all the same when the file cannot be written.
        (void)writeWholeFile(errorFile, page);
        outcome.newState = stateHasErrors();
        ctx.frontend.openUrl(address);
        return outcome;
    case StatusPageKind::Processing:
        outcome.newState = stateProcessing();
        return outcome;
    case StatusPageKind::ReceiptReady:
        break;
    }

    ctx.showProgress(QString::fromUtf8(kDownloadingText));
    if (!http.HttpGetToStream(receiptAddress(ctx.settings, ctx.testMode, row.listCode(), reportId),
                              ctx.downloadBuffer)) {
        ctx.showStatus(QString::fromUtf8(kDownloadFailedText));
        return outcome;
    }
    ctx.showStatus(QString());
    const Status written = writeWholeFile(receiptPath, ctx.downloadBuffer);
    if (!written) {
        ctx.frontend.showError(
            QStringLiteral("Не могу создать файл \"%1\". %2").arg(receiptPath, written.text()));
        return outcome;
    }
    outcome.newState = stateAccepted();
    outcome.receiptToCheck = receiptPath;
    return outcome;
}

} // namespace telva
