#include "app/report_kind.h"
#include "archive/report_list.h"
#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/last_signing.h"
#include "crypto/cert_identity.h"
#include "gateway/connection_check.h"
#include "gateway/http_client.h"
#include "operations/receipt_check.h"
#include "operations/report_actions.h"
#include "operations/report_status.h"
#include "operations/submission.h"

#include <QFileInfo>

namespace telva {

namespace {

QString reportsUsage() {
    return QStringLiteral("Использование: telva-cli reports list | refresh ID | delete ID | "
                          "show-accepted ID");
}

// One cell of a tab-separated line: tabs, line breaks and backslashes written as escapes.
QString tsvCell(QString text) {
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    text.replace(QLatin1Char('\t'), QLatin1String("\\t"));
    text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    text.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    return text;
}

void printRow(QTextStream& out, const std::array<QString, ReportColumnCount>& cells) {
    for (int column = 0; column < ReportColumnCount; ++column)
        out << (column ? "\t" : "") << tsvCell(cells[column]);
    out << '\n';
}

int listReports(CliSession& session) {
    printRow(session.out, reportListHeaders());
    for (const ReportRow& row : FillReportList(session.ctx))
        if (!row.id().isEmpty())
            printRow(session.out, row.cells);
    session.out.flush();
    return 0;
}

// The failure the core left on the status line, or the given text.
int failWithStatus(CliSession& session, const QString& otherwise) {
    const QString text = session.frontend.lastStatus;
    if (text.isEmpty() && session.frontend.errorCount > 0)
        return 1; // shown in the error box
    return session.fail(text.isEmpty() ? otherwise : text);
}

int refreshReport(CliSession& session, const ReportRow& row) {
    AppContext& ctx = session.ctx;
    HttpClient http(ctx);
    http.setBeforeFirstGatewayRequest([&] { CheckConnection(ctx, http); });
    session.frontend.lastStatus.clear();
    const RefreshOutcome outcome = RefreshReportState(ctx, http, row);
    if (!session.frontend.lastStatus.isEmpty() || session.frontend.errorCount > 0)
        return failWithStatus(session, QString());
    session.out << row.id() << '\t' << outcome.newState.value_or(row.state()) << Qt::endl;
    if (outcome.receiptToCheck.isEmpty())
        return 0;

    // The receipt is checked at once, as the window does on its receipt page.
    const Result<crypto::CheckedReceipt> checked =
        crypto::CheckReceipt(ctx, outcome.receiptToCheck);
    if (!checked)
        return failWithStatus(session, QStringLiteral("Квитанция не прошла проверку."));
    session.out << checked->archivePath << Qt::endl;
    return 0;
}

} // namespace

int cmdSend(CliSession& session, QStringList args) {
    const QString usage = QStringLiteral("Использование: telva-cli send [--out FILE --in FILE]");
    bool missing = false;
    std::optional<QString> out = takeOption(args, QStringLiteral("--out"), &missing);
    std::optional<QString> in = takeOption(args, QStringLiteral("--in"), &missing);
    if (missing || !args.isEmpty() || out.has_value() != in.has_value())
        return session.fail(usage);
    AppContext& ctx = session.ctx;
    SubmitInput input;
    if (out) {
        input.outputFile = QFileInfo(*out).absoluteFilePath();
        input.inputFile = QFileInfo(*in).absoluteFilePath();
    } else if (!loadLastSigning(ctx, input.inputFile, input.outputFile)) {
        return session.fail(QStringLiteral("Нет подписанного файла: сначала telva-cli sign, "
                                           "или укажите --out и --in."));
    }
    // The kind of the encrypted file picks the gateway, as choosing its source does in the
    // window.
    const QString ext = QFileInfo(input.outputFile).suffix();
    for (const ReportKind& kind : reportKinds())
        if (kind.encExt == ext)
            ctx.settings.encExt = ext;
    input.organisation = crypto::identityLabel(ctx.settings.priv);

    // Both files are checked before anything goes to the gateway.
    for (const QString& file : {input.outputFile, input.inputFile})
        if (!QFileInfo(file).isFile())
            return session.fail(QStringLiteral("Ошибка открытия \"%1\".").arg(file));
    HttpClient http(ctx);
    http.setBeforeFirstGatewayRequest([&] { CheckConnection(ctx, http); });
    session.frontend.lastStatus.clear();
    const std::optional<QString> id = SubmitReport(ctx, http, input);
    if (!id)
        return failWithStatus(session, QStringLiteral("Отчет не отправлен."));
    session.out << session.frontend.lastStatus << '\n' << *id << Qt::endl;
    return 0;
}

int cmdReports(CliSession& session, QStringList args) {
    if (args.isEmpty())
        return session.fail(reportsUsage());
    const QString action = args.takeFirst();
    if (action == QLatin1String("list")) {
        if (!args.isEmpty())
            return session.fail(reportsUsage());
        return listReports(session);
    }
    if (args.size() != 1)
        return session.fail(reportsUsage());
    const ReportList list = FillReportList(session.ctx);
    const ReportRow* row = findReportRow(list, args.first());
    if (!row)
        return session.fail(QStringLiteral("Отчет %1 не найден в архиве.").arg(args.first()));

    if (action == QLatin1String("refresh"))
        return refreshReport(session, *row);
    session.frontend.lastStatus.clear();
    if (action == QLatin1String("delete")) {
        if (!DeleteReport(session.ctx, *row))
            return failWithStatus(session, QString());
        session.out << session.frontend.lastStatus << Qt::endl;
        return 0;
    }
    if (action == QLatin1String("show-accepted")) {
        if (!CanShowAcceptedReport(session.ctx, *row))
            return session.fail(
                QStringLiteral("Квитанция отчета %1 еще не проверена.").arg(row->id()));
        // The terminal's way of opening a file is printing its path.
        return ShowAcceptedReport(session.ctx, *row) ? 0 : failWithStatus(session, QString());
    }
    return session.fail(reportsUsage());
}

} // namespace telva
