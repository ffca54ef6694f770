#include "cli/cli.h"

#include "app/event_log.h"
#include "app/paths.h"
#include "app/program.h"
#include "app/safe_file.h"
#include "app/texts.h"
#include "archive/sent_log.h"
#include "cli/command.h"
#include "gateway/connection_check.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace telva {

namespace {

const QString kProgram = QStringLiteral("telva-cli");

CommandList allCommands() {
    CommandList commands;
    addAppCommands(commands);
    addCertCommands(commands);
    addSignCommands(commands);
    addReceiptCommands(commands);
    addNetworkCommands(commands);
    addReportCommands(commands);
    return commands;
}

// Options of the whole run, accepted before the command and after it.
QList<QCommandLineOption> globalOptions() {
    return {
        QCommandLineOption(QStringLiteral("proxy"), QStringLiteral("прокси-сервер на этот запуск"),
                           QStringLiteral("ХОСТ:ПОРТ")),
        QCommandLineOption(QStringLiteral("proxy-user"),
                           QStringLiteral("имя пользователя прокси-сервера на этот запуск"),
                           QStringLiteral("ИМЯ")),
        QCommandLineOption(QStringLiteral("save"),
                           QStringLiteral("сохранить --proxy и --proxy-user в настройках")),
        QCommandLineOption(QStringLiteral("test"),
                           QStringLiteral("тестовый режим: отчеты уходят на тестовый шлюз")),
        QCommandLineOption(QStringLiteral("yes"), QStringLiteral("ответить \"Да\" на все вопросы")),
        QCommandLineOption(QStringLiteral("no"), QStringLiteral("ответить \"Нет\" на все вопросы")),
        QCommandLineOption(QStringLiteral("v"),
                           QStringLiteral("выводить сообщения и строки журнала по мере появления")),
    };
}

QCommandLineOption helpOption() {
    return QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")},
                              QStringLiteral("вывести справку"));
}

QString optionHead(const QCommandLineOption& option) {
    const QString name = option.names().first();
    QString head = (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
    if (!option.valueName().isEmpty())
        head += QLatin1Char(' ') + option.valueName();
    return head;
}

QString twoColumns(const QString& left, const QString& right) {
    if (left.size() <= 26)
        return QStringLiteral("  ") + left.leftJustified(26) + QLatin1Char(' ') + right + '\n';
    return QStringLiteral("  ") + left + QStringLiteral("\n        ") + right + '\n';
}

void printUsage(QTextStream& out, const CommandList& commands) {
    QString synopsis;
    QString options;
    for (const QCommandLineOption& option : globalOptions()) {
        synopsis += QStringLiteral("[") + optionHead(option) + QStringLiteral("] ");
        options += twoColumns(optionHead(option), option.description());
    }
    out << kProgram << ' ' << ProgramVersion() << "\n"
        << "Использование: telva-cli " << synopsis << "КОМАНДА ...\n"
        << "       telva-cli --version\n"
        << "       telva-cli КОМАНДА --help\n\nПараметры:\n"
        << options << "\nКоманды:\n";
    for (const auto& command : commands)
        out << twoColumns(command->synopsis(), command->description());
    out << "\nКоды возврата: 0 - готово, 1 - ошибка, 2 - неверная командная строка, "
           "3 - отчет еще обрабатывается, 4 - не читается файл настроек.\n";
    out.flush();
}

QString firstWord(const QString& name) {
    return name.section(QLatin1Char(' '), 0, 0);
}

// The usage of every command of a group ("certs", "reports").
QString groupHelp(const CommandList& commands, const QString& group) {
    QString text;
    for (const auto& command : commands) {
        if (firstWord(command->name()) != group)
            continue;
        text += (text.isEmpty() ? QStringLiteral("Использование: telva-cli ")
                                : QStringLiteral("       telva-cli ")) +
                command->synopsis() + QLatin1Char('\n');
    }
    return text;
}

bool asksForHelp(const QStringList& args) {
    return args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"));
}

// The command named by the first words of the arguments; those words are taken out.
const Command* findCommand(const CommandList& commands, QStringList& words) {
    if (words.isEmpty())
        return nullptr;
    for (const auto& command : commands) {
        const QStringList name = command->name().split(QLatin1Char(' '));
        if (words.mid(0, name.size()) == name) {
            words.remove(0, name.size());
            return command.get();
        }
    }
    return nullptr;
}

} // namespace

int CliSession::fail(const QString& text) {
    logEvent(errorEventText(text));
    if (json) {
        printJson(QJsonObject{{QStringLiteral("error"), text}});
        return ExitFailed;
    }
    err << text << Qt::endl;
    return ExitFailed;
}

int CliSession::usage() {
    err << "Использование: telva-cli " << command->synopsis() << Qt::endl;
    return ExitUsage;
}

int CliSession::printJson(const QJsonValue& document) {
    const QJsonDocument doc =
        document.isArray() ? QJsonDocument(document.toArray()) : QJsonDocument(document.toObject());
    out << QString::fromUtf8(doc.toJson(QJsonDocument::Compact)) << Qt::endl;
    return ExitDone;
}

HttpClient& CliSession::gateway() {
    if (!http) {
        http = std::make_unique<HttpClient>(ctx);
        http->setBeforeFirstGatewayRequest([this] { (void)CheckConnection(ctx, *http); });
    }
    return *http;
}

int runCli(const QStringList& arguments, QTextStream& out, QTextStream& err, QTextStream& in) {
    const CommandList commands = allCommands();
    QCommandLineParser global;
    global.addOptions(globalOptions());
    global.addOption(helpOption());
    global.addOption(QCommandLineOption(QStringLiteral("version"), QStringLiteral("версия")));
    global.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    if (!global.parse(QStringList{kProgram} + arguments)) {
        err << global.errorText() << Qt::endl;
        printUsage(err, commands);
        return ExitUsage;
    }
    if (global.isSet(QStringLiteral("help"))) {
        printUsage(out, commands);
        return ExitDone;
    }
    if (global.isSet(QStringLiteral("version"))) {
        out << ProgramVersion() << Qt::endl;
        return ExitDone;
    }
    QStringList rest = global.positionalArguments();
    if (rest.isEmpty()) {
        printUsage(err, commands);
        return ExitUsage;
    }
    const QString name = rest.first();
    const Command* command = findCommand(commands, rest);
    if (!command) {
        const QString group = groupHelp(commands, name);
        if (group.isEmpty()) {
            err << "Неизвестная команда: " << name << Qt::endl;
            printUsage(err, commands);
            return ExitUsage;
        }
        // Asked before anything runs, so no command takes "--help" for a file name.
        const bool help = asksForHelp(rest);
        (help ? out : err) << group << Qt::flush;
        return help ? ExitDone : ExitUsage;
    }
    if (asksForHelp(rest)) {
        out << command->help() << Qt::flush;
        return ExitDone;
    }

    CliSession session(out, err, in);
    session.command = command;
    QCommandLineParser local;
    local.addOptions(globalOptions());
    local.addOptions(command->options());
    if (!local.parse(QStringList{kProgram} + rest)) {
        err << (local.unknownOptionNames().isEmpty()
                    ? QStringLiteral("Не указано значение параметра.")
                    : QStringLiteral("Неизвестный параметр: ") + local.unknownOptionNames().first())
            << Qt::endl;
        return session.usage();
    }
    if (!command->acceptsArgumentCount(local.positionalArguments().size()))
        return session.usage();
    const auto isSet = [&](const QString& option) {
        return global.isSet(option) || local.isSet(option);
    };
    const auto value = [&](const QString& option) -> std::optional<QString> {
        if (local.isSet(option))
            return local.value(option);
        if (global.isSet(option))
            return global.value(option);
        return std::nullopt;
    };
    session.json =
        command->hasOption(QStringLiteral("json")) && local.isSet(QStringLiteral("json"));

    AppContext& ctx = session.ctx;
    // Refused rather than run on the default hosts, which would reach the real fund.
    if (const Status readable = CheckSettingsStore(); !readable) {
        session.fail(readable.text());
        return ExitSettingsUnreadable;
    }
    LoadSettings(ctx.settings, session.frontend);
    ctx.archiveBaseFolder = InitArchiveBaseFolder(ctx.settings.activeMode);
    // A new process has sent nothing yet: only the time other runs left counts for spacing.
    ctx.lastRequestTime = QDateTime();
    ctx.lastRequestFile = lastRequestFile();
    for (const QString& text : specialStateFiles({logFilePath(), sentLogPath(), lastRequestFile()}))
        err << text << Qt::endl;

    const std::optional<QString> proxy = value(QStringLiteral("proxy"));
    const std::optional<QString> proxyUser = value(QStringLiteral("proxy-user"));
    const bool saveProxy = isSet(QStringLiteral("save"));
    const ProxySettings savedProxy = ctx.settings.proxy;
    ctx.testMode = isSet(QStringLiteral("test"));
    if (isSet(QStringLiteral("yes")))
        session.frontend.fixedAnswer = true;
    if (isSet(QStringLiteral("no")))
        session.frontend.fixedAnswer = false;
    session.frontend.verbose = isSet(QStringLiteral("v"));
    // The journal's lines go to standard error for this run only.
    struct EchoGuard {
        ~EchoGuard() { setLogEcho({}); }
    } echoGuard;
    if (session.frontend.verbose)
        setLogEcho([&err](const QString& line) { err << line << Qt::endl; });
    if (proxy) {
        ctx.settings.proxy.host.clear();
        ctx.settings.proxy.port = 0;
        const qsizetype colon = proxy->indexOf(QLatin1Char(':'));
        const Result<int> port = colon < 0 ? Result<int>(80) : ParsePort(proxy->mid(colon + 1));
        if (!port)
            return session.fail(port.text());
        ctx.settings.proxy.host = proxy->left(colon);
        ctx.settings.proxy.port = *port;
    }
    if (proxyUser)
        ctx.settings.proxy.user = *proxyUser;
    // The upload never asks for the proxy password, so a password given in the environment
    // is taken up front; GETs still ask on the terminal when there is none.
    if (!ctx.settings.proxy.user.isEmpty())
        ctx.settings.proxy.password = session.frontend.proxyPassword;

    const int rc = command->run(session, local);
    if ((proxy || proxyUser) && !saveProxy) {
        ctx.settings.proxy.host = savedProxy.host;
        ctx.settings.proxy.port = savedProxy.port;
        ctx.settings.proxy.user = savedProxy.user;
    }
    SaveSettings(ctx.settings, session.frontend);
    return rc;
}

} // namespace telva
