#include "cli/cli.h"

#include "app/event_log.h"
#include "app/paths.h"
#include "app/program.h"
#include "cli/commands.h"

namespace telva {

namespace {

struct Command {
    const char* name;
    int (*run)(CliSession&, QStringList);
    const char* usage;
};

const Command kCommands[] = {
    {"kind", cmdKind, "kind FILE                 вид отчета и имя выходного файла"},
    {"settings", cmdSettings, "settings                  действующие настройки (Имя=Значение)"},
    {"certs", cmdCerts,
     "certs import [--store N] CERT [--key KEY] | --pkcs12 FILE   импорт сертификата\n"
     "  certs list [--store N] [--no-gost-filter] [--no-kvb-filter]  сертификаты хранилища\n"
     "  certs choose personal|fund --store N --serial HEX [--issuer ТЕКСТ]   выбор сертификата"},
    {"providers", cmdProviders, "providers                 криптопровайдеры ГОСТ"},
    {"sign", cmdSign, "sign [--answer yes|no] IN [OUT]   подписать и зашифровать файл"},
    {"check-receipt", cmdCheckReceipt,
     "check-receipt FILE [--html OUT] [--pdf OUT]   проверить квитанцию, записать архив (.zip), "
     "страницу и PDF"},
    {"check-connection", cmdCheckConnection,
     "check-connection [--detect]   проверить подключение к сайту КВБ (--detect: найти прокси)"},
    {"install-certs", cmdInstallCerts,
     "install-certs             загрузить и установить сертификаты КВБ"},
    {"send", cmdSend,
     "send [--out FILE --in FILE]   отправить в КВБ (по умолчанию файлы последней подписи)"},
    {"reports", cmdReports,
     "reports list              отправленные отчеты (через табуляцию)\n"
     "  reports refresh ID        обновить информацию об отчете, проверить квитанцию\n"
     "  reports delete ID         удалить отчет из архива\n"
     "  reports show-accepted ID  построить принятый отчет и вывести путь к нему"},
};

void printUsage(QTextStream& out) {
    out << "telva-cli " << ProgramVersion() << "\n"
        << "Использование: telva-cli [--proxy ХОСТ:ПОРТ] [--proxy-user ИМЯ] [--save] [--test] "
           "[--yes|--no] [-v] КОМАНДА ...\n"
        << "       (--proxy и --proxy-user действуют на этот запуск; --save сохраняет их)\n"
        << "       telva-cli --version\n"
        << "       telva-cli КОМАНДА --help\n\nКоманды:\n";
    for (const Command& command : kCommands)
        out << "  " << command.usage << "\n";
    out.flush();
}

} // namespace

int CliSession::fail(const QString& text) {
    logEvent(QStringLiteral("Ошибка: ") + text);
    err << text << Qt::endl;
    return 1;
}

std::optional<QString> takeOption(QStringList& args, const QString& name, bool* missingValue) {
    const qsizetype at = args.indexOf(name);
    if (at < 0)
        return std::nullopt;
    if (at + 1 >= args.size()) {
        if (missingValue)
            *missingValue = true;
        args.removeAt(at);
        return std::nullopt;
    }
    const QString value = args.at(at + 1);
    args.remove(at, 2);
    return value;
}

bool takeFlag(QStringList& args, const QString& name) {
    return args.removeAll(name) > 0;
}

int runCli(const QStringList& arguments, QTextStream& out, QTextStream& err, QTextStream& in) {
    QStringList args = arguments;
    if (args.isEmpty() || args.first() == QLatin1String("--help") ||
        args.first() == QLatin1String("-h")) {
        printUsage(args.isEmpty() ? err : out);
        return args.isEmpty() ? 2 : 0;
    }
    if (args.first() == QLatin1String("--version")) {
        out << ProgramVersion() << Qt::endl;
        return 0;
    }

    CliSession session(out, err, in);
    AppContext& ctx = session.ctx;
    LoadSettings(ctx.settings, session.frontend);
    ctx.archiveBaseFolder = InitArchiveBaseFolder(ctx.settings.activeMode);
    // A new process has sent nothing yet: only the time other runs left counts for spacing.
    ctx.lastRequestTime = QDateTime();
    ctx.lastRequestFile = lastRequestFile();

    bool missing = false;
    const std::optional<QString> proxy = takeOption(args, QStringLiteral("--proxy"), &missing);
    const std::optional<QString> proxyUser =
        takeOption(args, QStringLiteral("--proxy-user"), &missing);
    const bool saveProxy = takeFlag(args, QStringLiteral("--save"));
    const ProxySettings savedProxy = ctx.settings.proxy;
    ctx.testMode = takeFlag(args, QStringLiteral("--test"));
    if (takeFlag(args, QStringLiteral("--yes")))
        session.frontend.fixedAnswer = true;
    if (takeFlag(args, QStringLiteral("--no")))
        session.frontend.fixedAnswer = false;
    session.frontend.verbose = takeFlag(args, QStringLiteral("-v"));
    // The journal's lines go to standard error for this run only.
    struct EchoGuard {
        ~EchoGuard() { setLogEcho({}); }
    } echoGuard;
    if (session.frontend.verbose)
        setLogEcho([&err](const QString& line) { err << line << Qt::endl; });
    if (missing)
        return session.fail(QStringLiteral("Не указано значение параметра."));
    if (proxy) {
        ctx.settings.proxy.host.clear();
        ctx.settings.proxy.port = 0;
        const Status split =
            SplitHostPort(*proxy, ctx.settings.proxy.host, ctx.settings.proxy.port);
        if (!split)
            return session.fail(split.text());
    }
    if (proxyUser)
        ctx.settings.proxy.user = *proxyUser;
    // The upload never asks for the proxy password, so a password given in the environment
    // is taken up front; GETs still ask on the terminal when there is none.
    if (!ctx.settings.proxy.user.isEmpty())
        ctx.settings.proxy.password = session.frontend.proxyPassword;
    if (args.isEmpty()) {
        printUsage(err);
        return 2;
    }

    const QString name = args.takeFirst();
    for (const Command& command : kCommands) {
        if (name == QLatin1String(command.name)) {
            // Asked before anything runs, so no command takes "--help" for a file name.
            if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
                out << "Использование: telva-cli " << command.usage << Qt::endl;
                return 0;
            }
            const int rc = command.run(session, args);
            if ((proxy || proxyUser) && !saveProxy) {
                ctx.settings.proxy.host = savedProxy.host;
                ctx.settings.proxy.port = savedProxy.port;
                ctx.settings.proxy.user = savedProxy.user;
            }
            SaveSettings(ctx.settings, session.frontend);
            return rc;
        }
    }
    err << "Неизвестная команда: " << name << Qt::endl;
    printUsage(err);
    return 2;
}

} // namespace telva
