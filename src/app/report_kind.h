#pragma once

#include "app/result.h"

#include <QIODevice>
#include <QString>

namespace telva {

struct FundHosts;

// Which of the fund's gateways takes a kind's reports.
enum class ReportGateway {
    Main,      // the gateway, or the test gateway in test mode
    Documents, // the document gateway
};

// One row of the report kind table: everything that differs from kind to kind.
struct ReportKind {
    const char* rootMarker; // text the root element's name contains; the main kind's is also
                            // the element cut out of its accepted report
    QString displayName;    // shown in the kind field
    QString encExt;         // extension of the encrypted file, without dot
    QString listCode;       // code in the sent-reports list
    ReportGateway gateway;
};

// The three kinds, in the order they are tested; the first is the main kind.
const QList<ReportKind>& reportKinds();
const ReportKind& mainReportKind();

// The kind whose marker occurs in the root element's qualified name, or nothing.
const ReportKind* kindForRootName(const QString& qualifiedName);
// The kind of an encrypted file's extension, without dot, or nothing.
const ReportKind* kindForExtension(const QString& ext);
// The kind of a list code, or nothing.
const ReportKind* kindForListCode(const QString& listCode);
// List code for an encrypted file's extension with its dot (".er7" to "Р7"), or empty.
QString listCodeForExtension(const QString& dottedExt);
// The host that takes reports of a kind; an unknown kind goes to the document gateway.
const QString& gatewayHost(const ReportKind* kind, const FundHosts& hosts, bool testMode);

// Parses the whole document (any declared encoding; well-formedness checked) and returns
// the qualified name of its root element, or the parser's message.
Result<QString> readRootElementName(const QString& path);
// The same on bytes from a device; name stands for it in messages.
Result<QString> readRootElementName(QIODevice& in, const QString& name);

// The file's kind, or the failure's own message (without the "file open" prefix).
Result<const ReportKind*> detectKindOfFile(const QString& path);

// The output name: the extension after the last "/", "\" or ":" replaced (or added).
QString outputFileName(const QString& input, const QString& ext);

// Message box texts of a failed detection.
QString unknownKindText();
QString kindErrorText(const QString& reason);

} // namespace telva
