#include "operations/submission.h"

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
#include "archive/sent_log.h"
#include "gateway/http_client.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <unistd.h>

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

// Copies a file, replacing the target; the copy is private to the user.
bool copyReplacing(const QString& from, const QString& to) {
    QFile source;
    const int fd = openRegularFile(from);
    if (fd < 0 || !source.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    ReplacingFile target(to);
    if (!target.open())
        return false;
    char chunk[65536];
    for (;;) {
        const qint64 n = source.read(chunk, sizeof chunk);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        if (!target.write(chunk, n))
            return false;
    }
    return target.commit();
}

// Files the sent report in its folder; false when the folder or a copy cannot be written.
bool fileReport(const AppContext& ctx, const QString& reportId, const SubmitInput& input) {
    const QString folder = reportFolder(ctx.archiveBaseFolder, reportId);
    const QString name = reportFolderName(reportId);
    // A report folder planted as a link would file the report outside the archive.
    if (ctx.archiveBaseFolder.isEmpty() || !makePrivateFolder(folder))
        return false;
    if (name != reportId &&
        !writeFileReplacing(folder + QLatin1Char('/') + reportIdFileName(name), reportId.toUtf8())
             .ok())
        return false;
    if (!copyReplacing(input.inputFile,
                       folder + QLatin1Char('/') + QFileInfo(input.inputFile).fileName()) ||
        !copyReplacing(input.outputFile,
                       folder + QLatin1Char('/') + QFileInfo(input.outputFile).fileName()))
        return false;
    // Written last: its creation time is the sending date of the list.
    (void)writeFileReplacing(folder + QLatin1Char('/') + name + QStringLiteral(".inf"),
                             toCp1251(input.organisation));
    return true;
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

QString uploadAddress(const Settings& settings, bool testMode) {
    const QString& host = gatewayHost(kindForExtension(settings.encExt), settings.hosts, testMode);
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

QString alreadySentText(const SentMark& mark) {
    return QStringLiteral("Этот отчет уже отправлен %1 под номером %2. Отправить еще раз?")
        .arg(mark.date, mark.id);
}

QString rejectedIdText() {
    return QStringLiteral("???");
}

Result<SentReport> SubmitReport(AppContext& ctx, HttpClient& http, const SubmitInput& input) {
    const auto fail = [](const QString& text) { return Result<SentReport>::fail(text); };
    // The form streams the file when it is sent; an unreadable file is reported now, before
    // anything goes on the wire.
    QFile output(input.outputFile);
    if (input.outputFile.isEmpty() || !output.open(QIODevice::ReadOnly)) {
        return fail(openErrorText(input.outputFile));
    }
    // The same encrypted file, or the same source, goes out twice only when the person says so.
    SentIndex index =
        SentIndex::load(ctx.archiveBaseFolder, ctx.settings.srcExt, ctx.settings.kvitExt);
    const QByteArray hashes[] = {fileSha256(input.outputFile), fileSha256(input.inputFile)};
    for (const QByteArray& hash : hashes) {
        if (const std::optional<SentMark> earlier =
                hash.isEmpty() ? std::nullopt : index.find(hash)) {
            const QString question = alreadySentText(*earlier);
            if (!ctx.frontend.askSendAgain(question))
                return fail(question);
            break;
        }
    }

    MultipartForm form(ctx.clock.now());
    form.addFile(QByteArrayLiteral("filein"), input.outputFile, toCp1251(input.outputFile),
                 QByteArrayLiteral("multipart/form-data"));
    form.addField(QByteArrayLiteral("service"), QByteArrayLiteral("2"));
    form.addField(QByteArrayLiteral("inline"), QByteArrayLiteral("1"));

    http.setFollowRedirects(true);
    ctx.showProgress(QString::fromUtf8(kDownloadingText));
    http.WaitRequestSpacing();
    const Result<QByteArray> page =
        http.HttpPostMultipart(uploadAddress(ctx.settings, ctx.testMode), form);
    output.close();
    if (!page) {
        return fail(page.text());
    }

    const UploadAnswer answer = parseUploadAnswer(*page);
    if (answer.kind == UploadAnswer::Error) {
        return fail(fromCp1251(answer.text));
    }
    if (answer.kind == UploadAnswer::Unrecognised) {
        return fail(noMessageOnPageText());
    }
    const QString reportId = fromCp1251(answer.text);
    if (!isAcceptedReportId(reportId)) {
        return fail(rejectedIdText());
    }

    // Recorded before filing, so the identifier the fund knows the report by survives an
    // archive that cannot be written.
    const QString logPath = AppendSentLog(ctx.clock.now(), reportId, input.outputFile);
    if (!fileReport(ctx, reportId, input)) {
        return fail(archiveWriteFailedText(reportId, logPath));
    }
    const SentMark mark{formatSendDate(ctx.clock.now()), reportId};
    for (const QByteArray& hash : hashes)
        index.add(hash, mark);
    if (const Status saved = index.save(); !saved)
        logEvent(saved.text());
    return SentReport{reportId, reportSentText(reportId)};
}

} // namespace telva
