#pragma once

#include "app/result.h"

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
    // A receipt in the report folder to check and show now (the page "Проверить квитанцию").
    QString receiptToCheck;
    // The status line's new text, when it changes (an empty text clears it).
    std::optional<QString> status;
};

// Brings one report of the sent-reports list up to date: a report with a receipt only
// re-opens it, one with errors re-opens its status page in the browser; otherwise the
// status page is fetched and its errors stored, or the receipt downloaded into the report
// folder. A page that is not the fund's (StatusPageKind::NotFundPage) changes nothing and
// stores nothing; its status text says so, and the report is asked again later. A receipt
// that does not fit on the disk leaves no file; the text says the disk is full. Downloaded
// bytes that are not a whole CMS message are kept aside as the receipt's
// name + ".bad" and the row keeps its state, so the next refresh asks again. A row without
// an identifier does nothing. Asked in the background (inBackground), a page with errors is
// stored but not opened in the browser. A failure carries the status line's text, or none
// when a file could not be written and the error box has said so.
Result<RefreshOutcome> RefreshReportState(AppContext& ctx, HttpClient& http, const ReportRow& row,
                                          bool inBackground = false);

// Status texts.
QString statusPageFailedText(); // "Ошибка загрузки. Не удалось получить страницу"
QString badReceiptText(const QString& keptAs);
QString notFundPageText(const QString& statusAddress);
QString diskFullText(const QString& path);

} // namespace telva
