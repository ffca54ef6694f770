#pragma once

#include "app/result.h"
#include "operations/receipt_check.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace telva {

struct AppContext;
struct ReportRow;
struct Settings;
class HttpClient;

// What a status page says about a report, by the first rule that applies.
enum class StatusPageKind {
    HasErrors,   // the fund's link to the report's error protocol: "invoice?fid=" (or
                 // "invoice?lid=") followed by the report's identifier
    NotFundPage, // any other "invoice?fid=", "invoice?lid=" or "Ошибка": a page not of the fund
    Processing,   // no "invoice?id="
    ReceiptReady, // "invoice?id="
};

// Classifies a status page of the report, already converted to code page 1251.
StatusPageKind classifyStatusPage(const QByteArray& cp1251Page, const QString& reportId);

// The status page and receipt addresses of a report: the test gateway in test mode for the
// main kind (list code "Р7"), otherwise the gateway or the document gateway by list code.
// The identifier goes into the query as it is, but for the bytes that would end or split the
// query or read as an escape ("#", "&", ";", "+", "%"), which are percent-encoded.
QString statusPageAddress(const Settings& settings, bool testMode, const QString& listCode,
                          const QString& reportId);
QString receiptAddress(const Settings& settings, bool testMode, const QString& listCode,
                       const QString& reportId);

// What a refresh leaves for the caller to do.
struct RefreshOutcome {
    // The new text of the row's state cell, when it changes.
    std::optional<QString> newState;
    // A receipt in the report folder to show now (the page "Проверить квитанцию"); it still
    // has to be checked unless `checked` holds its check.
    QString receiptToCheck;
    // The check of the receipt just downloaded, shown as it is rather than run again (a
    // failure has been shown already).
    std::optional<Result<crypto::CheckedReceipt>> checked;
    // The status line's new text, when it changes (an empty text clears it).
    std::optional<QString> status;
};

// Brings one report of the sent-reports list up to date: a report with a receipt only
// re-opens it, one with errors re-opens its status page in the browser; otherwise the
// status page is fetched and its errors stored, or the receipt downloaded and checked. A page
// that is not the fund's (StatusPageKind::NotFundPage) changes nothing and stores nothing; its
// status text says so, and the report is asked again later. Only a receipt that decrypts and
// whose signer verifies takes the receipt's name (and so marks the report accepted).
// Downloaded bytes that are not a whole CMS message, or a receipt that fails its check, are
// kept aside as the receipt's name + ".bad" (the reason in the journal); one that could not be
// judged (the person's key not opened, a disk failure) is dropped, and a receipt that does not
// fit on the disk leaves no file (the text says the disk is full). Either way the row keeps
// its state, so the next refresh asks again. A row without an identifier does nothing. Asked
// in the background (inBackground), a page with errors is
// stored but not opened in the browser. A failure carries the status line's text, or none
// when a file could not be written and the error box has said so.
Result<RefreshOutcome> RefreshReportState(AppContext& ctx, HttpClient& http, const ReportRow& row,
                                          bool inBackground = false);

// Status texts.
QString statusPageFailedText(); // "Ошибка загрузки. Не удалось получить страницу"
QString badReceiptText(const QString& keptAs);
QString rejectedReceiptText(const QString& why, const QString& keptAs);
QString receiptNotCheckedText(const QString& why);
QString notFundPageText(const QString& statusAddress);
QString diskFullText(const QString& path);

} // namespace telva
