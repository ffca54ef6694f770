#include "gui/command_line.h"

#include "app/program.h"
#include "gui/translations.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>
#include <cstring>

namespace telva {

std::optional<int> answerHelpOrVersion(int argc, char** argv) {
    bool asked = false;
    for (int i = 1; i < argc; ++i) {
        for (const char* flag : {"-h", "--help", "--help-all", "-v", "--version"})
            asked = asked || std::strcmp(argv[i], flag) == 0;
    }
    if (!asked)
        return std::nullopt;

    QCoreApplication app(argc, argv);
    installQtTranslations(app);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Подпись, шифрование и отправка отчетов в КВБ, проверка квитанций."));
    const QCommandLineOption help = parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("КВИТАНЦИЯ"),
        QStringLiteral("проверить квитанцию при запуске (-test: тестовый режим)"),
        QStringLiteral("[-test | КВИТАНЦИЯ]"));
    parser.parse(app.arguments());
    const QByteArray text = parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))
                                ? parser.helpText().toUtf8()
                                : QByteArray("telva ") + ProgramVersion().toUtf8() + '\n';
    std::fputs(text.constData(), stdout);
    return 0;
}

} // namespace telva
