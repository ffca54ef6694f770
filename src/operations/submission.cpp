#include "operations/submission.h"

#include "app/context.h"
#include "app/cp1251.h"
#include "app/event_log.h"
#include "app/frontend.h"
#include "app/fund_address.h"
#include "app/report_kind.h"
#include "app/settings.h"
#include "app/texts.h"
#include "archive/report_archive.h"
#include "archive/send_journal.h"
#include "archive/sent_log.h"
#include "gateway/http_client.h"
#include "operations/report_filing.h"
#include "operations/send_recovery.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace telva {

namespace {

// The patterns decide which case applies; run on the bytes as Latin-1 so that every byte is
// one character and nothing is decoded.
bool matches(const QRegularExpression& pattern, const QString& page) {
    return pattern.match(page).hasMatch();
}

const QRegularExpression& identifierPattern() {
    static const QRegularExpression re(
        QStringLiteral("<span id=\"identifier\"[^><]*>([^><]+)</span>"));
    return re;
}

const QRegularExpression& errorPattern() {
    static const QRegularExpression re(QStringLiteral("<span id=\"error\"[^><]*>([^><]+)</span>"));
    return re;
}

// The text after the first occurrence of the marker.
QByteArray after(const QByteArray& text, const QByteArray& marker) {
    const qsizetype at = text.indexOf(marker);
    return at < 0 ? text : text.mid(at + marker.size());
}

// The gateway may hold the report although the request failed: the body went out whole and
// the answer was lost, or an intermediary answered for a gateway that took too long.
bool mayHaveArrived(const Error& failure) {
    return failure.stopped() || failure.kind == ErrorKind::ServerFault;
}

// Checks whether the report was sent before (or may have been) and notes the intent to send
// it; both in one step under the journal's lock, so two programs sending the same report at
// once cannot both pass. A question declined is the failure.
Result<SendIntent> beginSend(AppContext& ctx, SendJournal& journal, const SendIntent& intent,
                             const SubmitInput& input) {
    if (const Status locked = journal.lock(); !locked)
        return locked.error();
    std::optional<QString> question;
    SentIndex index =
        SentIndex::load(ctx.archiveBaseFolder, ctx.settings.srcExt, ctx.settings.kvitExt,
                        [&ctx](const QString& text) { ctx.showProgress(text); });
    for (const auto& [hash, file] : {std::pair{intent.outputHash, input.outputFile},
                                     std::pair{intent.inputHash, input.inputFile}}) {
        if (const std::optional<SentMark> earlier = index.find(hash, QFileInfo(file).size())) {
            question = alreadySentText(*earlier, input.inputFile);
            break;
        }
    }
    if (!question)
        if (const std::optional<SendIntent> open =
                journal.unconfirmedOf(intent.outputHash, intent.inputHash))
            question = mayHaveBeenAcceptedText(*open);
    if (!question) {
        Result<SendIntent> begun = journal.begin(intent);
        journal.unlock();
        return begun;
    }
    journal.unlock();
    if (!ctx.frontend.askSendAgain(*question))
        return Result<SendIntent>::fail(*question, kSendDeclined);
    return journal.begin(intent);
}

} // namespace

UploadAnswer parseUploadAnswer(const QByteArray& page) {
    const QString latin = QString::fromLatin1(page);
    UploadAnswer answer;
    if (matches(identifierPattern(), latin)) {
        QByteArray rest = after(page, QByteArrayLiteral("<span id=\"identifier\""));
        // The gateway ends the span's opening tag with this attribute text.
        const QByteArray tagEnd = QByteArrayLiteral("Tahoma\">");
        if (rest.contains(tagEnd))
            rest = after(rest, tagEnd);
        const qsizetype end = rest.indexOf(QByteArrayLiteral("</span>"));
        answer.kind = UploadAnswer::Identifier;
        answer.text = end < 0 ? QByteArray() : rest.left(end);
        return answer;
    }
    if (matches(errorPattern(), latin)) {
        const QByteArray rest = after(page, QByteArrayLiteral("<span id=\"error\""));
        const qsizetype end = rest.indexOf(QByteArrayLiteral("</span>"));
        answer.kind = UploadAnswer::Error;
        // The first character is the ">" that closes the tag.
        answer.text = end <= 1 ? QByteArray() : utf8ToCp1251(rest.mid(1, end - 1));
        return answer;
    }
    return answer;
}

bool isAcceptedReportId(const QString& reportId) {
    return reportId.size() >= 10 && reportId.at(4) == QLatin1Char('-') &&
           reportId.at(9) == QLatin1Char('-') && isPlainReportId(reportId);
}

QString uploadAddress(const Settings& settings, bool testMode, const QString& encryptedFile) {
    // The file's own kind picks the gateway: a kind left over from another report must never
    // send this one to another gateway. A name of no known kind keeps the chosen kind.
    const ReportKind* kind = kindForExtension(QFileInfo(encryptedFile).suffix());
    const QString& host =
        gatewayHost(kind ? kind : kindForExtension(settings.encExt), settings.hosts, testMode);
    return fundAddress(host, QStringLiteral("/uploadfile"));
}

QString noMessageOnPageText() {
    return QStringLiteral(
        "Ошибка. Страница не найдена или ТЕЛВА не может найти сообщение на старнице");
}

QString reportSentText(const QString& reportId) {
    return QStringLiteral("Отчет успешно отправлен. Отчету присвоен номер ") + reportId +
           QLatin1Char('.');
}

QString archiveWriteFailedText(const QString& reportId, const QString& logPath) {
    const QString sent =
        QStringLiteral("Ошибка при сохранении отчета. Отчет отправлен, ему присвоен номер ") +
        reportId;
    if (logPath.isEmpty())
        return sent + QStringLiteral("; запишите этот номер.");
    return sent + QStringLiteral("; номер записан в файл ") + logPath + QLatin1Char('.');
}

QString alreadySentText(const SentMark& mark, const QString& sourceFile) {
    return QStringLiteral("Отчет \"%1\" уже отправлен %2 под номером %3. Отправить еще раз?")
        .arg(QFileInfo(sourceFile).fileName(), mark.date, mark.id);
}

QString mayHaveBeenAcceptedText(const SendIntent& send) {
    return QStringLiteral("Отчет мог быть принят шлюзом при прошлой отправке (%1, файл %2). "
                          "Отправить еще раз?")
        .arg(formatSendDate(send.time), QFileInfo(send.outputFile).fileName());
}

QString rejectedIdText() {
    return QStringLiteral("???");
}

Result<SentReport> SubmitReport(AppContext& ctx, HttpClient& http, const SubmitInput& input) {
    const auto fail = [](const QString& text) { return Result<SentReport>::fail(text); };
    // Both files are checked before anything goes on the wire: a report the fund took but
    // whose source is gone could not be filed. The form streams the file when it is sent.
    QFile output(input.outputFile);
    if (input.outputFile.isEmpty() || !output.open(QIODevice::ReadOnly)) {
        return fail(openErrorText(input.outputFile));
    }
    if (!QFileInfo(input.inputFile).isFile())
        return fail(openErrorText(input.inputFile));
    RecoverSends(ctx);
    // The report is hashed, sent and filed from this one descriptor: another program signing
    // the same file anew meanwhile changes none of the three.
    const QString sentPath = QStringLiteral("/proc/self/fd/%1").arg(output.handle());
    QCryptographicHash outputHash(QCryptographicHash::Sha256);
    if (!outputHash.addData(&output) || !output.seek(0))
        return fail(readErrorText(input.outputFile));
    SendIntent intent;
    intent.time = ctx.clock.now().toSecsSinceEpoch();
    intent.outputHash = outputHash.result().toHex();
    intent.inputHash = fileSha256(chosenFile(input.inputFile));
    intent.outputFile = input.outputFile;
    intent.inputFile = input.inputFile;
    intent.organisation = input.organisation;
    // Noted before the report leaves: from here until its identifier is recorded, a kill or a
    // lost answer leaves a report the gateway may hold, and the next send of it asks first.
    SendJournal journal(SendJournal::pathFor(ctx.settings.activeMode));
    const Result<SendIntent> begun = beginSend(ctx, journal, intent, input);
    if (!begun)
        return begun.error();
    const QByteArray& token = begun->token;

    MultipartForm form(ctx.clock.now());
    form.addFile(QByteArrayLiteral("filein"), sentPath, toCp1251(input.outputFile),
                 QByteArrayLiteral("multipart/form-data"));
    form.addField(QByteArrayLiteral("service"), QByteArrayLiteral("2"));
    form.addField(QByteArrayLiteral("inline"), QByteArrayLiteral("1"));

    http.setFollowRedirects(true);
    ctx.showProgress(QString::fromUtf8(kDownloadingText));
    if (const Status waited = http.WaitRequestSpacing(); !waited) {
        (void)journal.closed(token);
        return waited.error();
    }
    const Result<QByteArray> page =
        http.HttpPostMultipart(uploadAddress(ctx.settings, ctx.testMode, input.outputFile), form);
    if (!page) {
        if (!mayHaveArrived(page.error())) {
            (void)journal.closed(token);
            return page.error();
        }
        // Cancelled (Ctrl+C) or stopped while the body was still going out: the part that
        // arrived may be enough, so the person hears the same as after a lost answer.
        if (page.kind() == ErrorKind::Cancelled)
            return Result<SentReport>::fail(mayHaveArrivedText(page.text()),
                                            ErrorKind::MayHaveArrived);
        return page.error();
    }

    const UploadAnswer answer = parseUploadAnswer(*page);
    if (answer.kind == UploadAnswer::Error) {
        (void)journal.closed(token);
        return fail(fromCp1251(answer.text));
    }
    SentLogEntry logged{ctx.clock.now(),
                        fromCp1251(answer.text),
                        input.outputFile,
                        ctx.settings.activeMode,
                        intent.outputHash,
                        intent.inputHash,
                        token,
                        QString()};
    // An answer without a usable identifier is kept, so the report can be traced at the fund.
    if (answer.kind == UploadAnswer::Unrecognised || !isAcceptedReportId(logged.reportId)) {
        logged.answer = keptAnswer(*page);
        (void)journal.noteAnswer(token, logged.answer);
        if (answer.kind == UploadAnswer::Unrecognised)
            return fail(noMessageOnPageText());
        logged.reportId = rejectedIdText();
        (void)AppendSentLog(logged);
        return fail(rejectedIdText());
    }
    const QString& reportId = logged.reportId;

    // Recorded before filing, so the identifier the fund knows the report by survives an
    // archive that cannot be written, and a second send is caught even if filing is cut short.
    const QString logPath = AppendSentLog(logged);
    if (const Status indexed =
            SentIndex::record(ctx.archiveBaseFolder, {intent.outputHash, intent.inputHash},
                              {formatSendDate(logged.time), reportId});
        !indexed)
        logEvent(indexed.text());
    (void)journal.recorded(token, reportId);
    if (!fileReport(ctx, reportId, *begun, false, output.handle()))
        return fail(archiveWriteFailedText(reportId, logPath));
    (void)journal.closed(token);
    // The person chose to send again over an unconfirmed send: that question is answered.
    while (const std::optional<SendIntent> earlier =
               journal.unconfirmedOf(intent.outputHash, intent.inputHash))
        if (!journal.closed(earlier->token))
            break;
    return SentReport{reportId, reportSentText(reportId)};
}

} // namespace telva
