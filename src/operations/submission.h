#pragma once

#include "app/result.h"
#include "archive/send_journal.h"
#include "archive/sent_index.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace telva {

struct AppContext;
struct Settings;
class HttpClient;

// What the gateway's answer to an upload says.
struct UploadAnswer {
    enum Kind { Identifier, Error, Unrecognised };
    Kind kind = Unrecognised;
    // Identifier: the text cut out, raw 8-bit. Error: the message, already in code page 1251
    // (empty when it was not well-formed UTF-8).
    QByteArray text;
};

// Reads an upload answer page, taken as raw 8-bit text. An identifier span wins over an error
// span; the texts are cut at the first occurrences of the markers.
UploadAnswer parseUploadAnswer(const QByteArray& page);

// True for an identifier the program accepts: at least 10 characters with "-" as the 5th and
// the 10th; and, so that no answer can make the program write outside its archive, at most
// 128 characters with no "/", "\", "..", or control character.
bool isAcceptedReportId(const QString& reportId);

// The host for the kind of the encrypted file (the test gateway in test mode for the main
// kind) + "/uploadfile", over http unless the host names its scheme.
QString uploadAddress(const Settings& settings, bool testMode, const QString& encryptedFile);

// What the person has on the signing page when sending.
struct SubmitInput {
    QString outputFile;   // the signed and encrypted report (eFileOut)
    QString inputFile;    // the file that was signed (eFileIn)
    QString organisation; // the personal certificate's text (ePrivCert)
};

// A report the gateway took and the archive filed.
struct SentReport {
    QString id;   // the identifier the gateway gave
    QString text; // for the status line
};

// The error code of a send the person declined when asked about a repeat.
inline constexpr quint32 kSendDeclined = 0x53440001;

// Sends the encrypted report to the gateway, records the identifier the gateway gives in the
// sent log and the index of sent files and files the report in the report archive under it.
// Before the report leaves, the send is noted in the work mode's send journal, and closed once
// it is filed or the gateway refused it; an answer without a usable identifier is kept there
// and in the sent log. A file whose encrypted or source bytes were sent before in this work
// mode, or whose earlier send may have reached the gateway unconfirmed, is sent again only
// when the frontend agrees (askSendAgain); declined, the question's text is the failure, with
// the code kSendDeclined.
// Every outcome carries one text for the status line.
Result<SentReport> SubmitReport(AppContext& ctx, HttpClient& http, const SubmitInput& input);

// Status texts.
QString noMessageOnPageText(); // the answer names neither an identifier nor an error
QString reportSentText(const QString& reportId);
// "Ошибка при сохранении отчета." with the identifier the report was sent under, and where
// it was recorded (nowhere when the log's path is empty).
QString archiveWriteFailedText(const QString& reportId, const QString& logPath);
QString rejectedIdText(); // "???"
// The question before sending a file that was sent before in this work mode; it names the
// source file.
QString alreadySentText(const SentMark& mark, const QString& sourceFile);
// The question before sending a file whose earlier send got no identifier: when and which file.
QString mayHaveBeenAcceptedText(const SendIntent& send);

} // namespace telva
