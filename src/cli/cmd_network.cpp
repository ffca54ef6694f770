#include "app/context.h"
#include "cli/cli.h"
#include "cli/commands.h"
#include "crypto/cert_identity.h"
#include "gateway/connection_check.h"
#include "gateway/http_client.h"
#include "operations/install_certificate.h"

namespace telva {

int cmdCheckConnection(CliSession& session, QStringList args) {
    const bool detect = takeFlag(args, QStringLiteral("--detect"));
    if (!args.isEmpty())
        return session.fail(QStringLiteral("Использование: telva-cli check-connection [--detect]"));
    HttpClient client(session.ctx);
    bool connected = false;
    if (detect) {
        // As the window does at activation: the desktop's proxy when the site is out of reach.
        const Result<bool> checked = ConnectionCheckAtActivation(session.ctx, client);
        if (!checked)
            return session.fail(checked.text());
        connected = *checked;
    } else {
        connected = CheckConnection(session.ctx, client);
    }
    if (!connected) {
        if (!client.lastError().isEmpty())
            session.err << client.lastError() << Qt::endl;
        session.out << "Не подключено." << Qt::endl;
        return 1;
    }
    const ProxySettings& proxy = session.ctx.settings.proxy;
    session.out << "Подключено.";
    if (!proxy.host.isEmpty())
        session.out << " (" << proxy.host << ':' << proxy.port << ")";
    session.out << Qt::endl;
    return 0;
}

int cmdInstallCerts(CliSession& session, QStringList args) {
    if (!args.isEmpty())
        return session.fail(QStringLiteral("Использование: telva-cli install-certs"));
    HttpClient client(session.ctx);
    const Result<QString> installed = crypto::LoadFundCertificates(session.ctx, client);
    if (!installed) {
        if (!client.lastError().isEmpty())
            session.err << client.lastError() << Qt::endl;
        return session.fail(installed.text());
    }
    session.out << *installed << '\n'
                << crypto::identityLabel(session.ctx.settings.pub) << Qt::endl;
    return 0;
}

} // namespace telva
