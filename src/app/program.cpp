#include "app/program.h"

#include "version.h"

namespace telva {

QString ProgramVersion() {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(TELVA_VERSION_MAJOR)
        .arg(TELVA_VERSION_MINOR)
        .arg(TELVA_VERSION_RELEASE)
        .arg(TELVA_VERSION_BUILD);
}

QString programTitle() {
    return QStringLiteral("ТЕЛВА подписания и шифрования электронных документов");
}

QString windowCaption(bool testMode) {
    QString caption = programTitle() + QStringLiteral(" (") + ProgramVersion() + QLatin1Char(')');
    if (testMode)
        caption += QStringLiteral(" - тестовый режим !!!");
    return caption;
}

QString windowUsage() {
    return QStringLiteral("telva %1\n"
                          "Использование: telva [-test | КВИТАНЦИЯ.p7e]\n"
                          "       telva --version | --help\n\n"
                          "  -test           тестовый режим (тестовый шлюз)\n"
                          "  КВИТАНЦИЯ.p7e   проверить квитанцию при запуске\n"
                          "  --version       версия программы\n"
                          "  --help, -h      эта справка\n")
        .arg(ProgramVersion());
}

CommandLine parseCommandLine(const QStringList& arguments, const QString& kvitExt) {
    CommandLine result;
    if (arguments.isEmpty())
        return result;
    const QString& first = arguments.first();
    result.testMode = first == QLatin1String("-test");
    if (!result.testMode && first.contains(kvitExt))
        result.receiptFile = first;
    return result;
}

} // namespace telva
