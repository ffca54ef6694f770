#include "app/report_kind.h"
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
    const QList<std::pair<const char*, QString>> values{
        {"ActiveMode", s.activeMode},
        {"KVBRootCertUrl", s.kvbRootCertUrl},
        {"ProvName", s.provName},
        {"ProvType", QString::number(s.provType)},
        {"Left", QString::number(s.left)},
        {"Top", QString::number(s.top)},
        {"Height", QString::number(s.height)},
        {"Width", QString::number(s.width)},
        {"proxy", s.proxy.host + QLatin1Char(':') + QString::number(s.proxy.port)},
        {"proxy_user", s.proxy.user},
        {"KVBSiteHost", s.hosts.kvbSite},
        {"GateHost", s.hosts.gate},
        {"DocGateHost", s.hosts.docGate},
        {"TestGateHost", s.hosts.testGate},
        {"StyleHost", s.hosts.style},
        {"SrcExt", s.srcExt},
        {"EncExt", s.encExt},
        {"KvitExt", s.kvitExt},
        {"APCertURL", s.apCertUrl},
        {"GateSendURL", s.gateSendUrl},
        {"GateInfoURL", s.gateInfoUrl},
        {"GateLoadURL", s.gateLoadUrl},
        {"PrivSubject", s.priv.subject},
        {"PrivOrg", s.priv.org},
        {"PrivIssuer", s.priv.issuer},
        {"PrivSernum", s.priv.sernum},
        {"PrivStore", QString::number(s.priv.store)},
        {"PubSubject", s.pub.subject},
        {"PubOrg", s.pub.org},
        {"PubIssuer", s.pub.issuer},
        {"PubSernum", s.pub.sernum},
        {"PubStore", QString::number(s.pub.store)},
    };
    QJsonObject json;
    for (const auto& [name, value] : values) {
        if (session.json)
            json.insert(QLatin1String(name), value);
        else
            session.out << name << '=' << value << '\n';
    }
    if (session.json)
        session.printJson(json);
    session.out.flush();
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
