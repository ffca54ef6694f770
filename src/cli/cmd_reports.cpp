#include "app/report_kind.h"
#include "archive/report_list.h"
#include "cli/cli.h"
#include "cli/cli_steps.h"
#include "cli/command.h"
#include "cli/last_signing.h"
#include "operations/receipt_check.h"
#include "operations/report_actions.h"
#include "operations/report_status.h"
#include "operations/send_recovery.h"
#include "operations/submission.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

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
    if (text.isEmpty() && session.frontend.errorCount > 0 && !session.json)
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
        return runOn(session, *row, args);
    }

protected:
    virtual int runOn(CliSession& session, const ReportRow& row,
                      const QCommandLineParser& args) const = 0;
};

// The empty row of an empty archive; an unconfirmed send has no identifier but a state.
bool isPlaceholder(const ReportRow& row) {
    return row.id().isEmpty() && row.state().isEmpty();
}

class ReportsListCommand : public Command {
public:
    ReportsListCommand()
        : Command(QStringLiteral("reports list"), QString(),
                  QStringLiteral("отправленные отчеты (через табуляцию)")) {
        addJsonFlag();
    }

    int run(CliSession& session, const QCommandLineParser&) const override {
        RecoverSends(session.ctx);
        const ReportList rows = FillReportList(session.ctx);
        if (session.json) {
            static const char* const keys[ReportColumnCount] = {"id",   "source", "organisation",
                                                                "date", "state",  "listCode"};
            QJsonArray reports;
            for (const ReportRow& row : rows) {
                if (isPlaceholder(row))
                    continue;
                QJsonObject report;
                for (int column = 0; column < ReportColumnCount; ++column)
                    report.insert(QLatin1String(keys[column]), row.cells[column]);
                if (!row.detail.isEmpty())
                    report.insert(QStringLiteral("detail"), row.detail);
                reports.append(report);
            }
            return session.printJson(reports);
        }
        printRow(session.out, reportListHeaders());
        for (const ReportRow& row : rows)
            if (!isPlaceholder(row))
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
    int runOn(CliSession& session, const ReportRow& row, const QCommandLineParser&) const override {
        AppContext& ctx = session.ctx;
        const Result<RefreshOutcome> refreshed = RefreshReportState(ctx, session.gateway(), row);
        if (!refreshed)
            return failWith(session, refreshed.text());
        const RefreshOutcome& outcome = *refreshed;
        session.out << row.id() << '\t' << outcome.newState.value_or(row.state()) << Qt::endl;
        // A text without a new state: the answer was not the fund's, nothing was learned.
        if (outcome.status && !outcome.status->isEmpty() && !outcome.newState)
            return failWith(session, *outcome.status);
        if (outcome.receiptToCheck.isEmpty())
            return ExitDone;

        // The receipt is checked at once (a fresh download was checked before it was kept),
        // as the window does on its receipt page.
        const Result<crypto::CheckedReceipt> checked =
            outcome.checked ? *outcome.checked : crypto::CheckReceipt(ctx, outcome.receiptToCheck);
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
    int runOn(CliSession& session, const ReportRow& row, const QCommandLineParser&) const override {
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
    int runOn(CliSession& session, const ReportRow& row, const QCommandLineParser&) const override {
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
        addFlag(QStringLiteral("again"),
                QStringLiteral("отправить, даже если отчет уже отправлен"));
        addJsonFlag();
    }

    int run(CliSession& session, const QCommandLineParser& args) const override {
        session.frontend.sendAgain = args.isSet(QStringLiteral("again"));
        const bool named = args.isSet(QStringLiteral("out"));
        if (named != args.isSet(QStringLiteral("in")))
            return session.usage();
        SubmitInput input;
        if (named) {
            input.outputFile = QFileInfo(args.value(QStringLiteral("out"))).absoluteFilePath();
            input.inputFile = QFileInfo(args.value(QStringLiteral("in"))).absoluteFilePath();
        } else if (!loadLastSigning(session.ctx, input.inputFile, input.outputFile)) {
            return session.fail(QStringLiteral("Нет подписанного файла: сначала telva-cli sign, "
                                               "или укажите --out и --in."));
        }
        const Result<SentReport> sent = sendReport(session, input);
        if (!sent)
            return session.fail(sent.text());
        if (session.json)
            return session.printJson(QJsonObject{{QStringLiteral("id"), sent->id},
                                                 {QStringLiteral("status"), sent->text}});
        session.out << sent->text << '\n' << sent->id << Qt::endl;
        return ExitDone;
    }
};

// Follows one report until the fund has taken it or found errors in it, refreshing with
// the spacing every request keeps.
class ReportsWaitCommand : public ReportCommand {
public:
    ReportsWaitCommand()
        : ReportCommand(QStringLiteral("wait"),
                        QStringLiteral("ждать, пока отчет не будет принят или отклонен")) {
        addOption(QStringLiteral("timeout"), QStringLiteral("S"),
                  QStringLiteral("ждать не дольше S секунд (по умолчанию 3600)"));
    }

protected:
    int runOn(CliSession& session, const ReportRow& found,
              const QCommandLineParser& args) const override {
        bool ok = true;
        const int seconds = args.isSet(QStringLiteral("timeout"))
                                ? args.value(QStringLiteral("timeout")).toInt(&ok)
                                : 3600;
        if (!ok || seconds < 0)
            return session.usage();
        AppContext& ctx = session.ctx;
        // On the count that never jumps: a wall clock set back does not stretch the wait.
        const qint64 end = ctx.clock.ticks() + qint64(seconds) * 1000;
        ReportRow row = found;
        for (;;) {
            if (row.state() == stateHasErrors())
                return printState(session, row, ExitFailed);
            // In the background: the page with errors is stored, not opened.
            const Result<RefreshOutcome> refreshed =
                RefreshReportState(ctx, session.gateway(), row, true);
            if (!refreshed)
                return failWith(session, refreshed.text());
            // Nothing asked of the gateway: asking again would change nothing.
            if (!refreshed->status && refreshed->receiptToCheck.isEmpty())
                return printState(session, row, ExitFailed);
            if (refreshed->newState)
                row.cells[ColState] = *refreshed->newState;
            else if (refreshed->status && !refreshed->status->isEmpty())
                session.err << *refreshed->status << Qt::endl;
            if (!refreshed->receiptToCheck.isEmpty()) {
                printState(session, row, ExitDone);
                const Result<crypto::CheckedReceipt> checked =
                    refreshed->checked ? *refreshed->checked
                                       : crypto::CheckReceipt(ctx, refreshed->receiptToCheck);
                if (!checked)
                    return failWith(session, checked.text(),
                                    QStringLiteral("Квитанция не прошла проверку."));
                session.out << checked->archivePath << Qt::endl;
                return ExitDone;
            }
            if (row.state() != stateHasErrors() && ctx.clock.ticks() >= end)
                return printState(session, row, ExitProcessing);
        }
    }

private:
    static int printState(CliSession& session, const ReportRow& row, int code) {
        session.out << row.id() << '\t' << row.state() << Qt::endl;
        return code;
    }
};

} // namespace

void addReportCommands(CommandList& commands) {
    commands.push_back(std::make_unique<SendCommand>());
    commands.push_back(std::make_unique<ReportsListCommand>());
    commands.push_back(std::make_unique<ReportsRefreshCommand>());
    commands.push_back(std::make_unique<ReportsDeleteCommand>());
    commands.push_back(std::make_unique<ReportsShowAcceptedCommand>());
    commands.push_back(std::make_unique<ReportsWaitCommand>());
}

} // namespace telva
