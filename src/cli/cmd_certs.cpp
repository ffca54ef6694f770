#include "cli/cli.h"
#include "cli/commands.h"
#include "crypto/cert_identity.h"
#include "crypto/cert_import.h"
#include "crypto/cert_rows.h"
#include "crypto/cert_store.h"
#include "crypto/gost_engine.h"
#include "crypto/provider_list.h"

#include <QFile>

namespace telva {

using namespace telva::crypto;

namespace {

// "--store N": 0..7; nothing and an error text otherwise.
std::optional<int> storeOption(QStringList& args, bool required, int fallback, QString& error) {
    bool missing = false;
    const std::optional<QString> text = takeOption(args, QStringLiteral("--store"), &missing);
    if (missing || (!text && required)) {
        error = QStringLiteral("Не указано хранилище (--store 0..7).");
        return std::nullopt;
    }
    if (!text)
        return fallback;
    bool ok = false;
    const int index = text->toInt(&ok);
    if (!ok || index < 0 || index >= kStoreCount) {
        error = QStringLiteral("Хранилище должно быть числом от 0 до 7.");
        return std::nullopt;
    }
    return index;
}

bool readFile(const QString& path, QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    bytes = file.readAll();
    return true;
}

int certsImport(CliSession& session, QStringList args) {
    QString error;
    const std::optional<int> store = storeOption(args, false, 0, error);
    if (!store)
        return session.fail(error);
    bool missing = false;
    const std::optional<QString> keyPath = takeOption(args, QStringLiteral("--key"), &missing);
    const std::optional<QString> p12Path = takeOption(args, QStringLiteral("--pkcs12"), &missing);
    const QString usage = QStringLiteral(
        "Использование: telva-cli certs import [--store N] CERT [--key KEY] | --pkcs12 FILE");
    if (missing || (p12Path && (!args.isEmpty() || keyPath)) || (!p12Path && args.size() != 1))
        return session.fail(usage);
    const QString source = p12Path ? *p12Path : args.first();
    QByteArray bytes;
    if (!readFile(source, bytes))
        return session.fail(QStringLiteral("Ошибка открытия \"%1\".").arg(source));
    QByteArray keyBytes;
    if (keyPath && !readFile(*keyPath, keyBytes))
        return session.fail(QStringLiteral("Ошибка открытия \"%1\".").arg(*keyPath));
    const Result<Certificate> cert =
        p12Path ? ImportPkcs12(*store, bytes, &session.frontend)
                : ImportCertificate(*store, bytes, keyBytes, &session.frontend);
    if (!cert)
        return session.fail(cert.text());
    const QStringList row = certRow(*cert);
    session.out << "Сертификат импортирован в хранилище " << storeName(*store) << ": "
                << row[ColSubject] << " (" << row[ColSerial] << ")" << Qt::endl;
    return 0;
}

int certsList(CliSession& session, QStringList args) {
    QString error;
    const std::optional<int> store = storeOption(args, false, 0, error);
    if (!store)
        return session.fail(error);
    const bool gost = !takeFlag(args, QStringLiteral("--no-gost-filter"));
    const bool kvb = !takeFlag(args, QStringLiteral("--no-kvb-filter"));
    if (!args.isEmpty())
        return session.fail(QStringLiteral("Использование: telva-cli certs list [--store N] "
                                           "[--no-gost-filter] [--no-kvb-filter]"));
    for (const QStringList& row : ListCertificates(*store, gost, kvb).rows)
        session.out << row.join(QLatin1Char('\t')) << '\n';
    session.out.flush();
    return 0;
}

int certsChoose(CliSession& session, QStringList args) {
    const QString usage = QStringLiteral("Использование: telva-cli certs choose personal|fund "
                                         "--store N --serial HEX [--issuer ТЕКСТ]");
    QString error;
    const std::optional<int> store = storeOption(args, true, 0, error);
    if (!store)
        return session.fail(error);
    bool missing = false;
    const std::optional<QString> serial = takeOption(args, QStringLiteral("--serial"), &missing);
    const std::optional<QString> issuer = takeOption(args, QStringLiteral("--issuer"), &missing);
    if (missing || !serial || args.size() != 1)
        return session.fail(usage);
    const QString which = args.first();
    if (which != QLatin1String("personal") && which != QLatin1String("fund"))
        return session.fail(usage);
    for (const QStringList& row : ListCertificates(*store, false, false).rows) {
        if (row[ColSerial].compare(*serial, Qt::CaseInsensitive) != 0)
            continue;
        if (issuer && !row[ColIssuer].contains(*issuer))
            continue;
        CertIdentity& identity = which == QLatin1String("personal") ? session.ctx.settings.priv
                                                                    : session.ctx.settings.pub;
        identity = identityFromRow(*store, row);
        session.out << identityLabel(identity) << Qt::endl;
        return 0;
    }
    return session.fail(QStringLiteral("Сертификат с серийным номером %1 в хранилище %2 не найден.")
                            .arg(*serial, storeName(*store)));
}

} // namespace

int cmdCerts(CliSession& session, QStringList args) {
    const QString sub = args.isEmpty() ? QString() : args.takeFirst();
    if (sub == QLatin1String("import"))
        return certsImport(session, args);
    if (sub == QLatin1String("list"))
        return certsList(session, args);
    if (sub == QLatin1String("choose"))
        return certsChoose(session, args);
    return session.fail(QStringLiteral("Использование: telva-cli certs import|list|choose ..."));
}

int cmdProviders(CliSession& session, QStringList args) {
    if (!args.isEmpty())
        return session.fail(QStringLiteral("Использование: telva-cli providers"));
    if (const Status engine = ensureGostEngine(); !engine)
        return session.fail(engine.text());
    const ProviderList list = FillProviderList(session.ctx.settings.provName);
    for (qsizetype i = 0; i < list.entries.size(); ++i) {
        session.out << (i == list.selected ? "* " : "  ") << list.entries[i].name << '\t'
                    << list.entries[i].type << '\n';
    }
    session.out.flush();
    return 0;
}

} // namespace telva
