#include "app/report_kind.h"

#include <QFile>
#include <QList>

#include <libxml/xmlreader.h>

namespace telva {

const QList<ReportKind>& reportKinds() {
    static const QList<ReportKind> kinds{
        {"R7REPORT", QStringLiteral("Форма 7"), QStringLiteral("er7"), QStringLiteral("Р7")},
        {"R7AREPORT", QStringLiteral("Форма 7а"), QStringLiteral("e7a"), QStringLiteral("Р7А")},
        {"ROWSET", QStringLiteral("Реестр пособий"), QStringLiteral("esl"), QStringLiteral("РП")},
    };
    return kinds;
}

const ReportKind* kindForRootName(const QString& qualifiedName) {
    for (const ReportKind& kind : reportKinds()) {
        if (qualifiedName.contains(QLatin1String(kind.rootMarker)))
            return &kind;
    }
    return nullptr;
}

QString listCodeForExtension(const QString& dottedExt) {
    for (const ReportKind& kind : reportKinds()) {
        if (dottedExt == QLatin1Char('.') + kind.encExt)
            return kind.listCode;
    }
    return {};
}

QString unknownKindText() {
    return QStringLiteral(
        "XML-файл содержит неизвестные данные. Невозможно определить вид документа");
}

QString kindErrorText(const QString& reason) {
    return QStringLiteral("Ошибка открытия файла: ") + reason;
}

namespace {

void collectError(void* arg, const char* msg, xmlParserSeverities severity,
                  xmlTextReaderLocatorPtr locator) {
    auto* message = static_cast<QString*>(arg);
    if (!message->isEmpty() ||
        (severity != XML_PARSER_SEVERITY_ERROR && severity != XML_PARSER_SEVERITY_VALIDITY_ERROR))
        return;
    *message = QString::fromUtf8(msg).trimmed();
    const int line = xmlTextReaderLocatorLineNumber(locator);
    if (line > 0)
        *message += QStringLiteral(" (строка %1)").arg(line);
}

} // namespace

Result<QString> readRootElementName(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Result<QString>::fail(
            QStringLiteral("не удается прочитать файл \"%1\". %2").arg(path, file.errorString()));
    file.close();

    // Streaming keeps memory flat for large reports; reading to the end checks that the
    // whole document is well-formed. No network and no entity expansion.
    xmlTextReaderPtr reader = xmlReaderForFile(QFile::encodeName(path).constData(), nullptr,
                                               XML_PARSE_NONET | XML_PARSE_NOERROR |
                                                   XML_PARSE_NOWARNING | XML_PARSE_HUGE);
    if (!reader)
        return Result<QString>::fail(QStringLiteral("не удается прочитать файл \"%1\".").arg(path));
    QString message;
    xmlTextReaderSetErrorHandler(reader, collectError, &message);
    QString root;
    int rc = 0;
    while ((rc = xmlTextReaderRead(reader)) == 1) {
        if (root.isNull() && xmlTextReaderNodeType(reader) == XML_READER_TYPE_ELEMENT)
            root = QString::fromUtf8(reinterpret_cast<const char*>(xmlTextReaderConstName(reader)));
    }
    xmlFreeTextReader(reader);
    if (rc < 0)
        return Result<QString>::fail(
            message.isEmpty() ? QStringLiteral("XML-документ содержит ошибки") : message);
    if (root.isNull())
        return Result<QString>::fail(QStringLiteral("в XML-документе нет корневого элемента"));
    return root;
}

Result<const ReportKind*> detectKindOfFile(const QString& path) {
    const Result<QString> root = readRootElementName(path);
    if (!root)
        return Result<const ReportKind*>(root.error());
    const ReportKind* kind = kindForRootName(*root);
    if (!kind)
        return Result<const ReportKind*>::fail(unknownKindText());
    return kind;
}

QString outputFileName(const QString& input, const QString& ext) {
    qsizetype separator = -1;
    for (QChar c : {QLatin1Char('/'), QLatin1Char('\\'), QLatin1Char(':')})
        separator = std::max(separator, input.lastIndexOf(c));
    const qsizetype dot = input.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > separator ? input.left(dot) : input;
    return stem + QLatin1Char('.') + ext;
}

} // namespace telva
