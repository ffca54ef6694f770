#include "app/texts.h"
#include "cli/cli.h"
#include "cli/command.h"
#include "crypto/cert_identity.h"
#include "crypto/cert_import.h"
#include "crypto/cert_rows.h"
#include "crypto/cert_store.h"
#include "crypto/gost_engine.h"
#include "crypto/provider_list.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

namespace telva {

using namespace telva::crypto;

namespace {

const QString kStore = QStringLiteral("store");

// "--store N": 0..7, the fallback when absent and not required; an error text otherwise.
Result<int> storeOption(const QCommandLineParser& args, bool required, int fallback = 0) {
    if (!args.isSet(kStore)) {
        if (required)
            return Result<int>::fail(QStringLiteral("Не указано хранилище (--store 0..7)."));
        return fallback;
    }
    bool ok = false;
    const int index = args.value(kStore).toInt(&ok);
    if (!ok || index < 0 || index >= kStoreCount)
        return Result<int>::fail(QStringLiteral("Хранилище должно быть числом от 0 до 7."));
    return index;
}

bool readFile(const QString& path, QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    bytes = file.readAll();
    return true;
}

class CertsImportCommand : public Command {
public:
    CertsImportCommand()
        : Command(QStringLiteral("certs import"), QStringLiteral("[CERT]"),
                  QStringLiteral("импорт сертификата (CERT с --key или --pkcs12)"), 0, 1) {
        addOption(kStore, QStringLiteral("N"), QStringLiteral("хранилище 0..7, по умолчанию 0"));
        addOption(QStringLiteral("key"), QStringLiteral("KEY"),
                  QStringLiteral("закрытый ключ сертификата"));
        addOption(QStringLiteral("pkcs12"), QStringLiteral("FILE"),
                  QStringLiteral("файл PKCS#12 вместо CERT"));
    }

    int run(CliSession& session, const QCommandLineParser& args) const override {
        const Result<int> store = storeOption(args, false);
        if (!store)
            return session.fail(store.text());
        const bool p12 = args.isSet(QStringLiteral("pkcs12"));
        const bool hasKey = args.isSet(QStringLiteral("key"));
        const QStringList files = args.positionalArguments();
        if (p12 == (files.size() == 1) || (p12 && hasKey))
            return session.usage();
        const QString source = p12 ? args.value(QStringLiteral("pkcs12")) : files.first();
        QByteArray bytes;
        if (!readFile(source, bytes))
            return session.fail(openErrorText(source));
        QByteArray keyBytes;
        const QString keyPath = args.value(QStringLiteral("key"));
        if (hasKey && !readFile(keyPath, keyBytes))
            return session.fail(openErrorText(keyPath));
        const Result<Certificate> cert =
            p12 ? ImportPkcs12(*store, bytes, &session.frontend)
                : ImportCertificate(*store, bytes, keyBytes, &session.frontend);
        if (!cert)
            return session.fail(cert.text());
        const QStringList row = certRow(*cert);
        session.out << "Сертификат импортирован в хранилище " << storeName(*store) << ": "
                    << row[ColSubject] << " (" << row[ColSerial] << ")" << Qt::endl;
        return ExitDone;
    }
};

class CertsListCommand : public Command {
public:
    CertsListCommand()
        : Command(QStringLiteral("certs list"), QString(),
                  QStringLiteral("сертификаты хранилища")) {
        addOption(kStore, QStringLiteral("N"), QStringLiteral("хранилище 0..7, по умолчанию 0"));
        addFlag(QStringLiteral("no-gost-filter"), QStringLiteral("показать и сертификаты не ГОСТ"));
        addFlag(QStringLiteral("no-kvb-filter"),
                QStringLiteral("показать и сертификаты без реквизитов КВБ (хранилище 0)"));
        addJsonFlag();
    }

    int run(CliSession& session, const QCommandLineParser& args) const override {
        const Result<int> store = storeOption(args, false);
        if (!store)
            return session.fail(store.text());
        // The fund's requirements are those of personal certificates: as in the chooser, the
        // filter applies to the personal store only.
        const CertListing listing = ListCertificates(
            *store, !args.isSet(QStringLiteral("no-gost-filter")),
            *store == toIndex(Store::My) && !args.isSet(QStringLiteral("no-kvb-filter")));
        if (session.json) {
            static const char* const keys[CertColumnCount] = {
                "subject", "organisation", "regNumber", "issuer", "validFrom", "validTo", "serial"};
            QJsonArray certs;
            for (const QStringList& row : listing.rows) {
                QJsonObject cert;
                for (int column = 0; column < CertColumnCount; ++column)
                    cert.insert(QLatin1String(keys[column]), row.value(column));
                certs.append(cert);
            }
            return session.printJson(certs);
        }
        for (const QStringList& row : listing.rows)
            session.out << row.join(QLatin1Char('\t')) << '\n';
        session.out.flush();
        return ExitDone;
    }
};

class CertsChooseCommand : public Command {
public:
    CertsChooseCommand()
        : Command(QStringLiteral("certs choose"), QStringLiteral("personal|fund"),
                  QStringLiteral("выбор сертификата по хранилищу и серийному номеру"), 1, 1) {
        addOption(kStore, QStringLiteral("N"), QStringLiteral("хранилище 0..7"));
        addOption(QStringLiteral("serial"), QStringLiteral("HEX"),
                  QStringLiteral("серийный номер сертификата"));
        addOption(QStringLiteral("issuer"), QStringLiteral("ТЕКСТ"),
                  QStringLiteral("часть имени издателя, если номера совпадают"));
    }

    int run(CliSession& session, const QCommandLineParser& args) const override {
        const Result<int> store = storeOption(args, true);
        if (!store)
            return session.fail(store.text());
        const QString which = args.positionalArguments().first();
        if (!args.isSet(QStringLiteral("serial")) ||
            (which != QLatin1String("personal") && which != QLatin1String("fund")))
            return session.usage();
        const QString serial = args.value(QStringLiteral("serial"));
        const bool byIssuer = args.isSet(QStringLiteral("issuer"));
        const QString issuer = args.value(QStringLiteral("issuer"));
        for (const QStringList& row : ListCertificates(*store, false, false).rows) {
            if (row[ColSerial].compare(serial, Qt::CaseInsensitive) != 0)
                continue;
            if (byIssuer && !row[ColIssuer].contains(issuer))
                continue;
            CertIdentity& identity = which == QLatin1String("personal") ? session.ctx.settings.priv
                                                                        : session.ctx.settings.pub;
            identity = identityFromRow(*store, row);
            session.out << identityLabel(identity) << Qt::endl;
            return ExitDone;
        }
        return session.fail(
            QStringLiteral("Сертификат с серийным номером %1 в хранилище %2 не найден.")
                .arg(serial, storeName(*store)));
    }
};

class ProvidersCommand : public Command {
public:
    ProvidersCommand()
        : Command(QStringLiteral("providers"), QString(), QStringLiteral("криптопровайдеры ГОСТ")) {
    }

    int run(CliSession& session, const QCommandLineParser&) const override {
        if (const Status engine = ensureGostEngine(); !engine)
            return session.fail(engine.text());
        const ProviderList list = FillProviderList(session.ctx.settings.provName);
        if (session.json) {
            QJsonArray providers;
            for (qsizetype i = 0; i < list.entries.size(); ++i)
                providers.append(QJsonObject{{QStringLiteral("name"), list.entries[i].name},
                                             {QStringLiteral("type"), list.entries[i].type},
                                             {QStringLiteral("selected"), i == list.selected}});
            return session.printJson(providers);
        }
        for (qsizetype i = 0; i < list.entries.size(); ++i) {
            session.out << (i == list.selected ? "* " : "  ") << list.entries[i].name << '\t'
                        << list.entries[i].type << '\n';
        }
        session.out.flush();
        return ExitDone;
    }
};

} // namespace

void addCertCommands(CommandList& commands) {
    commands.push_back(std::make_unique<CertsImportCommand>());
    commands.push_back(std::make_unique<CertsListCommand>());
    commands.push_back(std::make_unique<CertsChooseCommand>());
    commands.push_back(std::make_unique<ProvidersCommand>());
}

} // namespace telva
