#include "operations/report_status.h"

#include "app/context.h"
#include "app/cp1251.h"
#include "app/event_log.h"
#include "app/frontend.h"
#include "app/fund_address.h"
#include "app/report_kind.h"
#include "app/safe_file.h"
#include "app/settings.h"
#include "app/texts.h"
#include "archive/report_archive.h"
#include "archive/report_list.h"
#include "crypto/cms_shape.h"
#include "gateway/http_client.h"
#include "operations/report_actions.h"

#include <QFile>
#include <QFileInfo>

#include <cctype>

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

namespace {

// Whether the page links to the given invoice address of this very report: the identifier
// must end there, so that the page of report 12 is not taken for that of report 1.
bool linksTo(const QByteArray& page, const QByteArray& link) {
    for (qsizetype at = page.indexOf(link); at >= 0; at = page.indexOf(link, at + 1)) {
        const qsizetype end = at + link.size();
        if (end == page.size())
            return true;
        const char next = page.at(end);
        if (!std::isalnum(static_cast<unsigned char>(next)) && next != '-' && next != '_' &&
            next != '.')
            return true;
    }
    return false;
}

} // namespace

StatusPageKind classifyStatusPage(const QByteArray& page, const QString& reportId) {
    static const QByteArray errorWord = toCp1251(QStringLiteral("Ошибка"));
    const QByteArray id = toCp1251(reportId);
    if (linksTo(page, "invoice?fid=" + id) || linksTo(page, "invoice?lid=" + id))
        return StatusPageKind::HasErrors;
    // Errors without the fund's link to this report's protocol: a proxy's or a provider's
    // page (a login form saying "Ошибка авторизации") that says nothing about the report.
    if (page.contains("invoice?fid=") || page.contains("invoice?lid=") || page.contains(errorWord))
        return StatusPageKind::NotFundPage;
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

QString notFundPageText(const QString& address) {
    return QStringLiteral("Страница \"%1\" получена не от шлюза КВБ: в ней нет ссылки фонда на "
                          "протокол ошибок отчета (возможно, это страница входа прокси-сервера "
                          "или провайдера). Состояние отчета не изменено; он будет запрошен снова.")
        .arg(address);
}

QString diskFullText(const QString& path) {
    return QStringLiteral("Диск заполнен: квитанцию не удалось записать в \"%1\". Освободите "
                          "место на диске; квитанция будет запрошена снова при следующем "
                          "обновлении.")
        .arg(path);
}

QString badReceiptText(const QString& keptAs) {
    return QStringLiteral("Ответ шлюза не является квитанцией (сохранен в \"%1\"). "
                          "Квитанция будет запрошена снова при следующем обновлении.")
        .arg(keptAs);
}

QString rejectedReceiptText(const QString& why, const QString& keptAs) {
    return QStringLiteral("Квитанция не прошла проверку: %1 Отчет не считается принятым; "
                          "квитанция сохранена в \"%2\" и будет запрошена снова при следующем "
                          "обновлении.")
        .arg(why, keptAs);
}

QString receiptNotCheckedText(const QString& why) {
    return QStringLiteral("Квитанция получена, но не проверена: %1 Состояние отчета не "
                          "изменено; квитанция будет запрошена снова при следующем обновлении.")
        .arg(why);
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

// The fund's page with the report's errors, in the browser; without one, the copy kept in the
// archive inside the program; failing that, the status line says what is missing.
void showErrorPage(AppContext& ctx, const QString& address, const QString& errorFile,
                   const QString& reportId, RefreshOutcome& outcome) {
    if (ctx.frontend.openUrl(address))
        return;
    QFile kept(errorFile);
    if (kept.open(QIODevice::ReadOnly) &&
        ctx.frontend.showDocument(QStringLiteral("Ошибки в отчете ") + reportId,
                                  fromCp1251(kept.readAll()), true))
        return;
    outcome.status = noViewerText(address);
}

// A request's failure as the refresh's: stopped ones say why themselves, the others read as the
// step that failed, with the network's text kept behind it and its kind (the window turns its
// connection icon off for a gateway out of reach).
Result<RefreshOutcome> requestFailed(const Error& failure, const QString& stepText) {
    if (failure.stopped())
        return failure;
    Error error(stepText, 0, failure.kind);
    error.cause = failure.text;
    return error;
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
        showErrorPage(ctx, address, errorFile, reportId, outcome);
        return outcome;
    }

    ctx.showProgress(QStringLiteral("Идет загрузка c ") + address + QStringLiteral(" ..."));
    if (const Status waited = http.WaitRequestSpacing(); !waited)
        return waited.error();
    const Result<QByteArray> got = http.HttpGetToString(address);
    const QByteArray page = got ? utf8ToCp1251(*got) : QByteArray();
    if (page.isEmpty())
        return got ? fail(statusPageFailedText())
                   : requestFailed(got.error(), statusPageFailedText());
    outcome.status = QString();

    switch (classifyStatusPage(page, reportId)) {
    case StatusPageKind::HasErrors:
        // The browser shows the page all the same when the file cannot be written.
        (void)writeFileReplacing(errorFile, page);
        outcome.newState = stateHasErrors();
        if (!inBackground)
            showErrorPage(ctx, address, errorFile, reportId, outcome);
        return outcome;
    case StatusPageKind::NotFundPage:
        outcome.status = notFundPageText(address);
        return outcome;
    case StatusPageKind::Processing:
        outcome.newState = stateProcessing();
        return outcome;
    case StatusPageKind::ReceiptReady:
        break;
    }

    // The receipt goes to a file of its own first: only a whole CMS message takes its name.
    // It is written beside that name and put there only once it is whole on the disk, so a
    // receipt that does not fit leaves nothing.
    const QString partPath = receiptPath + QStringLiteral(".part");
    ReplacingFile part(partPath);
    if (!part.open()) {
        ctx.frontend.showError(
            QStringLiteral("Не могу создать файл \"%1\". %2").arg(partPath, part.errorString()));
        return fail(QString());
    }
    ctx.showProgress(QString::fromUtf8(kDownloadingText));
    RequestOptions options;
    options.maxBytes = kMaxReceiptBytes;
    ReplacingFileDevice sink(part);
    const Status downloaded = http.HttpGetToStream(
        receiptAddress(ctx.settings, ctx.testMode, row.listCode(), reportId), sink, options);
    if (!part.failed() && downloaded)
        (void)part.commit();
    if (part.failed()) {
        if (part.noSpace())
            return fail(diskFullText(receiptPath));
        ctx.frontend.showError(
            QStringLiteral("Не могу создать файл \"%1\". %2").arg(partPath, part.errorString()));
        return fail(QString());
    }
    if (!downloaded)
        return requestFailed(downloaded.error(), QString::fromUtf8(kDownloadFailedText));
    const QString badPath = receiptPath + QStringLiteral(".bad");
    if (!crypto::isWholeCmsMessage(partPath)) {
        const Status kept = replaceFile(partPath, badPath);
        return fail(kept ? badReceiptText(badPath) : kept.text());
    }
    // Checked before it takes the receipt's name: that name alone marks the report accepted.
    crypto::ReceiptVerdict verdict = crypto::ReceiptVerdict::NotChecked;
    Result<crypto::CheckedReceipt> checked =
        crypto::CheckReceiptAs(ctx, partPath, receiptPath, verdict);
    if (verdict == crypto::ReceiptVerdict::Rejected) {
        const Status kept = replaceFile(partPath, badPath);
        logEvent(QStringLiteral("Квитанция отчета %1 отложена в \"%2\": %3")
                     .arg(reportId, badPath, checked.text()));
        return fail(kept ? rejectedReceiptText(checked.text(), badPath) : kept.text());
    }
    if (verdict == crypto::ReceiptVerdict::NotChecked) {
        QFile::remove(partPath);
        return fail(receiptNotCheckedText(checked.text()));
    }
    const Status written = replaceFile(partPath, receiptPath);
    if (!written) {
        QFile::remove(partPath);
        ctx.frontend.showError(
            QStringLiteral("Не могу создать файл \"%1\". %2").arg(receiptPath, written.text()));
        return fail(QString());
    }
    outcome.newState = stateAccepted();
    outcome.receiptToCheck = receiptPath;
    outcome.checked = std::move(checked);
    return outcome;
}

} // namespace telva
