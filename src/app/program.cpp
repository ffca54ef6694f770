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

CommandLine parseCommandLine(const QStringList& arguments, const QString& kvitExt) {
    CommandLine result;
    if (arguments.isEmpty())
        return result;
    const QString& first = arguments.first();
    result.testMode = first == QLatin1String("-test");
    // The extension, not a mere occurrence: "/home/p7e-archive/report.xml" is no receipt.
    if (!result.testMode && first.endsWith(QLatin1Char('.') + kvitExt))
        result.receiptFile = first;
    return result;
}

} // namespace telva
