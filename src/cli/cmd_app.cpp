#include "app/report_kind.h"
#include "cli/cli.h"
#include "cli/commands.h"

namespace telva {

int cmdKind(CliSession& session, QStringList args) {
    if (args.size() != 1)
        return session.fail(QStringLiteral("Использование: telva-cli kind FILE"));
    const Result<const ReportKind*> kind = detectKindOfFile(args.first());
    if (!kind)
        return session.fail(kindErrorText(kind.text()));
    session.ctx.settings.encExt = (*kind)->encExt;
    session.out << (*kind)->displayName << '\n'
                << (*kind)->encExt << '\n'
                << outputFileName(args.first(), (*kind)->encExt) << Qt::endl;
    return 0;
}

int cmdSettings(CliSession& session, QStringList args) {
    if (!args.isEmpty())
        return session.fail(QStringLiteral("Использование: telva-cli settings"));
    const Settings& s = session.ctx.settings;
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
    for (const auto& [name, value] : values)
        session.out << name << '=' << value << '\n';
    session.out.flush();
    return 0;
}

} // namespace telva
