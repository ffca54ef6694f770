#include "operations/report_status.h"

#include "app/context.h"
#include "app/cp1251.h"
#include "app/frontend.h"
#include "app/fund_address.h"
#include "app/report_kind.h"
#include "app/safe_file.h"
#include "app/settings.h"
#include "archive/report_archive.h"
#include "archive/report_list.h"
#include "crypto/cms_shape.h"
#include "gateway/http_client.h"
#include "operations/report_actions.h"

#include <QFile>
#include <QFileInfo>

namespace telva {

namespace {

// Only what would end or split the query, or read as an escape, is encoded; every other byte
// goes as it is.
QString queryValue(const QString& value) {
    QString out;
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '#':
        case '&':
        case ';':
        case '+':
        case '%':
            out += QLatin1Char('%') + QString::number(c.unicode(), 16).toUpper();
            break;
        default:
            out += c;
        }
    }
    return out;
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
    return fundAddress(gatewayHost(kindForListCode(listCode), settings.hosts, testMode),
                       QStringLiteral("/kvb/statusreport?id=") + queryValue(reportId));
}

QString receiptAddress(const Settings& settings, bool testMode, const QString& listCode,
                       const QString& reportId) {
    return fundAddress(gatewayHost(kindForListCode(listCode), settings.hosts, testMode),
                       QStringLiteral("/invoice?id=") + queryValue(reportId));
}

QString statusPageFailedText() {
    return QStringLiteral("Ошибка загрузки. Не удалось получить страницу");
}

QString badReceiptText(const QString& keptAs) {
    return QStringLiteral("Ответ шлюза не является квитанцией (сохранен в \"%1\"). "
                          "Квитанция будет запрошена снова при следующем обновлении.")
        .arg(keptAs);
}

namespace {

// Puts a file in place of another, replacing it.
Status replaceFile(const QString& from, const QString& to) {
    QFile::remove(to);
    QFile file(from);
    if (!file.rename(to))
        return Status::fail(file.errorString());
    return {};
}

} // namespace

Result<RefreshOutcome> RefreshReportState(AppContext& ctx, HttpClient& http, const ReportRow& row,
                                          bool inBackground) {
    const auto fail = [](const QString& text) { return Result<RefreshOutcome>::fail(text); };
    RefreshOutcome outcome;
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
        return fail(http.lastStopped() ? http.lastError() : statusPageFailedText());
    }
    outcome.status = QString();

    switch (classifyStatusPage(page)) {
    case StatusPageKind::HasErrors:
        // The browser shows the page all the same when the file cannot be written.
        (void)writeFileReplacing(errorFile, page);
        outcome.newState = stateHasErrors();
        if (!inBackground)
            ctx.frontend.openUrl(address);
        return outcome;
    case StatusPageKind::Processing:
        outcome.newState = stateProcessing();
        return outcome;
    case StatusPageKind::ReceiptReady:
        break;
    }

    // The receipt goes to a file of its own first: only a whole CMS message takes its name.
    const QString partPath = receiptPath + QStringLiteral(".part");
    QFile part(partPath);
    // A fresh file (O_EXCL): a link left at that name is removed, never written through.
    QFile::remove(partPath);
    if (!part.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        ctx.frontend.showError(
            QStringLiteral("Не могу создать файл \"%1\". %2").arg(partPath, part.errorString()));
        return fail(QString());
    }
    ctx.showProgress(QString::fromUtf8(kDownloadingText));
    RequestOptions options;
    options.maxBytes = kMaxReceiptBytes;
    const bool downloaded = http.HttpGetToStream(
        receiptAddress(ctx.settings, ctx.testMode, row.listCode(), reportId), part, options);
    part.close();
    if (!downloaded) {
        part.remove();
        return fail(http.lastStopped() ? http.lastError() : QString::fromUtf8(kDownloadFailedText));
    }
    if (!crypto::isWholeCmsMessage(partPath)) {
        const QString badPath = receiptPath + QStringLiteral(".bad");
        const Status kept = replaceFile(partPath, badPath);
        return fail(kept ? badReceiptText(badPath) : kept.text());
    }
    const Status written = replaceFile(partPath, receiptPath);
    if (!written) {
        part.remove();
        ctx.frontend.showError(
            QStringLiteral("Не могу создать файл \"%1\". %2").arg(receiptPath, written.text()));
        return fail(QString());
    }
    outcome.newState = stateAccepted();
    outcome.receiptToCheck = receiptPath;
    return outcome;
}

} // namespace telva
