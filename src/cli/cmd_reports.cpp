#include "app/report_kind.h"
#include "archive/report_list.h"
#include "cli/cli.h"
#include "cli/command.h"
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

// A failure with its text; one without text has been shown in the error box already.
int failWith(CliSession& session, const QString& text, const QString& otherwise = QString()) {
    if (text.isEmpty() && session.frontend.errorCount > 0)
        return ExitFailed;
    return session.fail(text.isEmpty() ? otherwise : text);
}

// A command on one report of the archive, named by its identifier.
class ReportCommand : public Command {
public:
    ReportCommand(const QString& action, const QString& description)
        : Command(QStringLiteral("reports ") + action, QStringLiteral("ID"), description, 1, 1) {}

    int run(CliSession& session, const QCommandLineParser& args) const override {
        const QString id = args.positionalArguments().first();
        const ReportList list = FillReportList(session.ctx);
        const ReportRow* row = findReportRow(list, id);
        if (!row)
            return session.fail(QStringLiteral("Отчет %1 не найден в архиве.").arg(id));
        return runOn(session, *row);
    }

protected:
    virtual int runOn(CliSession& session, const ReportRow& row) const = 0;
};

class ReportsListCommand : public Command {
public:
    ReportsListCommand()
        : Command(QStringLiteral("reports list"), QString(),
                  QStringLiteral("отправленные отчеты (через табуляцию)")) {}

    int run(CliSession& session, const QCommandLineParser&) const override {
        printRow(session.out, reportListHeaders());
        for (const ReportRow& row : FillReportList(session.ctx))
            if (!row.id().isEmpty())
                printRow(session.out, row.cells);
        session.out.flush();
        return ExitDone;
    }
};

class ReportsRefreshCommand : public ReportCommand {
public:
    ReportsRefreshCommand()
        : ReportCommand(QStringLiteral("refresh"),
                        QStringLiteral("обновить информацию об отчете, проверить квитанцию")) {}

protected:
    int runOn(CliSession& session, const ReportRow& row) const override {
        AppContext& ctx = session.ctx;
        HttpClient http(ctx);
        http.setBeforeFirstGatewayRequest([&] { CheckConnection(ctx, http); });
        const Result<RefreshOutcome> refreshed = RefreshReportState(ctx, http, row);
        if (!refreshed)
            return failWith(session, refreshed.text());
        const RefreshOutcome& outcome = *refreshed;
        session.out << row.id() << '\t' << outcome.newState.value_or(row.state()) << Qt::endl;
        if (outcome.receiptToCheck.isEmpty())
            return ExitDone;

        // The receipt is checked at once, as the window does on its receipt page.
        const Result<crypto::CheckedReceipt> checked =
            crypto::CheckReceipt(ctx, outcome.receiptToCheck);
        if (!checked)
            return failWith(session, checked.text(),
                            QStringLiteral("Квитанция не прошла проверку."));
        session.out << checked->archivePath << Qt::endl;
        return ExitDone;
    }
};

class ReportsDeleteCommand : public ReportCommand {
public:
    ReportsDeleteCommand()
        : ReportCommand(QStringLiteral("delete"), QStringLiteral("удалить отчет из архива")) {}

protected:
    int runOn(CliSession& session, const ReportRow& row) const override {
        const Result<QString> deleted = DeleteReport(session.ctx, row);
        if (!deleted)
            return failWith(session, deleted.text());
        session.ctx.showStatus(*deleted);
        session.out << *deleted << Qt::endl;
        return ExitDone;
    }
};

class ReportsShowAcceptedCommand : public ReportCommand {
public:
    ReportsShowAcceptedCommand()
        : ReportCommand(QStringLiteral("show-accepted"),
                        QStringLiteral("построить принятый отчет и вывести путь к нему")) {}

protected:
    int runOn(CliSession& session, const ReportRow& row) const override {
        if (!CanShowAcceptedReport(session.ctx, row))
            return session.fail(
                QStringLiteral("Квитанция отчета %1 еще не проверена.").arg(row.id()));
        // The terminal's way of opening a file is printing its path.
        const Status shown = ShowAcceptedReport(session.ctx, row);
        return shown ? ExitDone : failWith(session, shown.text());
    }
};

class SendCommand : public Command {
public:
    SendCommand()
        : Command(QStringLiteral("send"), QString(),
                  QStringLiteral("отправить в КВБ (по умолчанию файлы последней подписи)")) {
        addOption(QStringLiteral("out"), QStringLiteral("FILE"),
                  QStringLiteral("зашифрованный отчет (вместе с --in)"));
        addOption(QStringLiteral("in"), QStringLiteral("FILE"),
                  QStringLiteral("исходный файл отчета (вместе с --out)"));
    }

    int run(CliSession& session, const QCommandLineParser& args) const override {
        const bool named = args.isSet(QStringLiteral("out"));
        if (named != args.isSet(QStringLiteral("in")))
            return session.usage();
        AppContext& ctx = session.ctx;
        SubmitInput input;
        if (named) {
            input.outputFile = QFileInfo(args.value(QStringLiteral("out"))).absoluteFilePath();
            input.inputFile = QFileInfo(args.value(QStringLiteral("in"))).absoluteFilePath();
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
        const Result<SentReport> sent = SubmitReport(ctx, http, input);
        if (!sent)
            return failWith(session, sent.text(), QStringLiteral("Отчет не отправлен."));
        ctx.showStatus(sent->text);
        session.out << sent->text << '\n' << sent->id << Qt::endl;
        return ExitDone;
    }
};

} // namespace

void addReportCommands(CommandList& commands) {
    commands.push_back(std::make_unique<SendCommand>());
    commands.push_back(std::make_unique<ReportsListCommand>());
    commands.push_back(std::make_unique<ReportsRefreshCommand>());
    commands.push_back(std::make_unique<ReportsDeleteCommand>());
    commands.push_back(std::make_unique<ReportsShowAcceptedCommand>());
}

} // namespace telva
