#include "app/report_kind.h"
#include "app/settings_table.h"
#include "cli/cli.h"
#include "cli/command.h"

#include <QJsonObject>

namespace telva {

namespace {

class KindCommand : public Command {
public:
    KindCommand()
        : Command(QStringLiteral("kind"), QStringLiteral("FILE"),
                  QStringLiteral("вид отчета и имя выходного файла"), 1, 1) {
        addJsonFlag();
    }

    int run(CliSession& session, const QCommandLineParser& args) const override {
        const QString file = args.positionalArguments().first();
        const Result<const ReportKind*> kind = detectKindOfFile(file);
        if (!kind)
            return session.fail(kindErrorText(kind.text()));
        session.ctx.settings.encExt = (*kind)->encExt;
        const QString out = outputFileName(file, (*kind)->encExt);
        if (session.json)
            return session.printJson(QJsonObject{{QStringLiteral("kind"), (*kind)->displayName},
                                                 {QStringLiteral("extension"), (*kind)->encExt},
                                                 {QStringLiteral("output"), out}});
        session.out << (*kind)->displayName << '\n' << (*kind)->encExt << '\n' << out << Qt::endl;
        return ExitDone;
    }
};

// The effective settings as Name=Value lines, or as one JSON object.
void printSettings(CliSession& session, const Settings& s) {
    if (!session.json) {
        session.out << settingsListing(s);
        session.out.flush();
        return;
    }
    QJsonObject json;
    for (const SettingEntry& entry : settingsTable())
        json.insert(QLatin1String(entry.name), entry.get(s));
    session.printJson(json);
}

class SettingsCommand : public Command {
public:
    SettingsCommand()
        : Command(QStringLiteral("settings"), QString(),
                  QStringLiteral("действующие настройки (Имя=Значение)")) {
        addJsonFlag();
    }

    int run(CliSession& session, const QCommandLineParser&) const override {
        printSettings(session, session.ctx.settings);
        return ExitDone;
    }
};

} // namespace

void addAppCommands(CommandList& commands) {
    commands.push_back(std::make_unique<KindCommand>());
    commands.push_back(std::make_unique<SettingsCommand>());
}

} // namespace telva
