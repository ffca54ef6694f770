#include "app/context.h"
#include "app/texts.h"
#include "cli/cli.h"
#include "cli/command.h"
#include "crypto/cert_identity.h"
#include "gateway/connection_check.h"
#include "gateway/http_client.h"
#include "operations/install_certificate.h"

namespace telva {

namespace {

class CheckConnectionCommand : public Command {
public:
    CheckConnectionCommand()
        : Command(QStringLiteral("check-connection"), QString(),
                  QStringLiteral("проверить подключение к сайту КВБ")) {
        addFlag(QStringLiteral("detect"),
                QStringLiteral("найти прокси-сервер в настройках рабочего стола"));
    }

    int run(CliSession& session, const QCommandLineParser& args) const override {
        HttpClient client(session.ctx);
        Connection connection;
        if (args.isSet(QStringLiteral("detect"))) {
            // As the window does at activation: the desktop's proxy when the site is out of
            // reach.
            const Result<Connection> checked = ConnectionCheckAtActivation(session.ctx, client);
            if (!checked)
                return session.fail(checked.text());
            connection = *checked;
        } else {
            connection = CheckConnection(session.ctx, client);
        }
        if (!connection) {
            if (!connection.text().isEmpty())
                session.err << connection.text() << Qt::endl;
            session.out << notConnectedText() << Qt::endl;
            return ExitFailed;
        }
        const ProxySettings& proxy = session.ctx.settings.proxy;
        session.out << connectedText();
        if (!proxy.host.isEmpty())
            session.out << " (" << proxy.host << ':' << proxy.port << ")";
        session.out << Qt::endl;
        return ExitDone;
    }
};

class InstallCertsCommand : public Command {
public:
    InstallCertsCommand()
        : Command(QStringLiteral("install-certs"), QString(),
                  QStringLiteral("загрузить и установить сертификаты КВБ")) {}

    int run(CliSession& session, const QCommandLineParser&) const override {
        HttpClient client(session.ctx);
        const Result<QString> installed = crypto::LoadFundCertificates(session.ctx, client);
        if (!installed) {
            if (!installed.error().cause.isEmpty())
                session.err << installed.error().cause << Qt::endl;
            return session.fail(installed.text());
        }
        session.out << *installed << '\n'
                    << crypto::identityLabel(session.ctx.settings.pub) << Qt::endl;
        return ExitDone;
    }
};

} // namespace

void addNetworkCommands(CommandList& commands) {
    commands.push_back(std::make_unique<CheckConnectionCommand>());
    commands.push_back(std::make_unique<InstallCertsCommand>());
}

} // namespace telva
