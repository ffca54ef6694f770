#include "app/report_kind.h"
#include "cli/cli.h"
#include "cli/cli_steps.h"
#include "cli/command.h"
#include "cli/last_signing.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <climits>

namespace telva {

namespace {

class SignCommand : public Command {
public:
    SignCommand()
        : Command(QStringLiteral("sign"), QStringLiteral("IN [OUT]"),
                  QStringLiteral("подписать и зашифровать файл"), 1, 2) {
        addOption(QStringLiteral("answer"), QStringLiteral("yes|no"),
                  QStringLiteral("ответ на вопрос \"Прервать операцию ?\" о сроке действия "
                                 "сертификата"));
    }

    int run(CliSession& session, const QCommandLineParser& args) const override {
        if (args.isSet(QStringLiteral("answer"))) {
            const QString answer = args.value(QStringLiteral("answer"));
            if (answer != QLatin1String("yes") && answer != QLatin1String("no"))
                return session.usage();
            session.frontend.fixedAnswer = answer == QLatin1String("yes");
        }
        AppContext& ctx = session.ctx;
        const QString in = args.positionalArguments().at(0);
        QString out = args.positionalArguments().value(1);
        if (out.isEmpty()) {
            // As the window does when the input file is picked: its kind names the output.
            const Result<const ReportKind*> kind = detectKindOfFile(in);
            if (!kind)
                return session.fail(kindErrorText(kind.text()));
            ctx.settings.encExt = (*kind)->encExt;
            out = outputFileName(in, (*kind)->encExt);
        }
        const Result<QString> done = signReport(session, in, out);
        if (!done)
            return session.fail(done.text());
        saveLastSigning(ctx, QFileInfo(in).absoluteFilePath(), QFileInfo(out).absoluteFilePath());
        session.out << *done << '\n' << out << Qt::endl;
        return ExitDone;
    }
};

// The files a send-all names: a folder's regular files by name, or the files themselves.
QStringList filesOf(const QStringList& names) {
    QStringList files;
    for (const QString& name : names) {
        if (!QFileInfo(name).isDir()) {
            files.append(QFileInfo(name).absoluteFilePath());
            continue;
        }
        const QDir folder(name);
        for (const QString& file : folder.entryList(QDir::Files, QDir::Name))
            files.append(folder.absoluteFilePath(file));
    }
    return files;
}

class SendAllCommand : public Command {
public:
    SendAllCommand()
        : Command(QStringLiteral("send-all"), QStringLiteral("DIR|FILES..."),
                  QStringLiteral("подписать, зашифровать и отправить каждый отчет"), 1, INT_MAX) {
        addFlag(QStringLiteral("again"), QStringLiteral("отправить и уже отправленные отчеты"));
        addFlag(QStringLiteral("json"), QStringLiteral("по объекту JSON в строке на каждый файл"));
    }

    int run(CliSession& session, const QCommandLineParser& args) const override {
        session.frontend.sendAgain = args.isSet(QStringLiteral("again"));
        int failed = 0;
        for (const QString& file : filesOf(args.positionalArguments())) {
            const QJsonObject line = sendOne(session, file);
            if (line.contains(QLatin1String("error")))
                ++failed;
            print(session, line);
        }
        return failed ? ExitFailed : ExitDone;
    }

private:
    // Signs and sends one file; what happened as {"file", "result", "id"|"error"|"reason"}.
    static QJsonObject sendOne(CliSession& session, const QString& file) {
        QJsonObject line{{QStringLiteral("file"), file}};
        const Result<const ReportKind*> kind = detectKindOfFile(file);
        if (!kind) {
            line.insert(QStringLiteral("result"), QStringLiteral("skipped"));
            line.insert(QStringLiteral("reason"), kindErrorText(kind.text()));
            return line;
        }
        session.ctx.settings.encExt = (*kind)->encExt;
        const QString out = outputFileName(file, (*kind)->encExt);
        const Result<QString> done = signReport(session, file, out);
        const Result<SentReport> sent =
            done ? sendReport(session, {out, file, QString()}) : Result<SentReport>(done.error());
        if (!sent) {
            line.insert(QStringLiteral("result"), QStringLiteral("failed"));
            line.insert(QStringLiteral("error"), sent.text());
            return line;
        }
        line.insert(QStringLiteral("result"), QStringLiteral("sent"));
        line.insert(QStringLiteral("id"), sent->id);
        return line;
    }

    // One line per file: the file, "отправлен", "ошибка" or "пропущен", and the detail.
    static void print(CliSession& session, const QJsonObject& line) {
        if (session.json) {
            session.printJson(line);
            return;
        }
        const QString result = line.value(QLatin1String("result")).toString();
        const char* word = result == QLatin1String("sent")     ? "отправлен"
                           : result == QLatin1String("failed") ? "ошибка"
                                                               : "пропущен";
        const QString detail = line.value(QLatin1String("id")).toString() +
                               line.value(QLatin1String("error")).toString() +
                               line.value(QLatin1String("reason")).toString();
        session.out << line.value(QLatin1String("file")).toString() << '\t' << word << '\t'
                    << detail << Qt::endl;
    }
};

} // namespace

void addSignCommands(CommandList& commands) {
    commands.push_back(std::make_unique<SignCommand>());
    commands.push_back(std::make_unique<SendAllCommand>());
}

} // namespace telva
