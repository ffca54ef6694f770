#include "app/report_kind.h"

#include <QFile>
#include <QList>

#include <libxml/parser.h>

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

struct RootCapture {
    QString root;
    bool entityDeclared = false;
};

QString entitiesRefusedText() {
    return QStringLiteral("XML-документ объявляет сущности (<!ENTITY>), такие документы не "
                          "принимаются");
}

// Reports never declare entities; one that does could expand without bound.
void onEntityDecl(void* ctx, const xmlChar*, int, const xmlChar*, const xmlChar*, xmlChar*) {
    auto* parser = static_cast<xmlParserCtxtPtr>(ctx);
    static_cast<RootCapture*>(parser->_private)->entityDeclared = true;
    xmlStopParser(parser);
}

void onStartElement(void* ctx, const xmlChar* localname, const xmlChar* prefix, const xmlChar*, int,
                    const xmlChar**, int, int, const xmlChar**) {
    auto* parser = static_cast<xmlParserCtxtPtr>(ctx);
    auto* capture = static_cast<RootCapture*>(parser->_private);
    if (!capture->root.isNull())
        return;
    const QString local = QString::fromUtf8(reinterpret_cast<const char*>(localname));
    capture->root =
        prefix ? QString::fromUtf8(reinterpret_cast<const char*>(prefix)) + QLatin1Char(':') + local
               : local;
}

QString parserMessage(xmlParserCtxtPtr parser) {
    const xmlError* error = xmlCtxtGetLastError(parser);
    if (!error || !error->message)
        return QStringLiteral("XML-документ содержит ошибки");
    QString message = QString::fromUtf8(error->message).trimmed();
    if (error->line > 0)
        message += QStringLiteral(" (строка %1)").arg(error->line);
    return message;
}

} // namespace

Result<QString> readRootElementName(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Result<QString>::fail(
            QStringLiteral("не удается прочитать файл \"%1\". %2").arg(path, file.errorString()));
    return readRootElementName(file, path);
}

Result<QString> readRootElementName(QIODevice& in, const QString& name) {
    // A push parser with no tree and no text callbacks: reading to the end checks that the
    // whole document is well-formed while memory stays flat. No network, and the parser's
    // limits on depth and sizes stay on; a declared entity stops it, so none is expanded.
    xmlSAXHandler sax{};
    sax.initialized = XML_SAX2_MAGIC;
    sax.startElementNs = onStartElement;
    sax.entityDecl = onEntityDecl;
    RootCapture capture;
    xmlParserCtxtPtr parser = xmlCreatePushParserCtxt(&sax, nullptr, nullptr, 0, nullptr);
    if (!parser)
        return Result<QString>::fail(QStringLiteral("не удается прочитать файл \"%1\".").arg(name));
    parser->_private = &capture;
    xmlCtxtUseOptions(parser, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    QByteArray chunk(1 << 18, Qt::Uninitialized);
    bool failed = false;
    while (!failed) {
        const qint64 n = in.read(chunk.data(), chunk.size());
        if (n < 0) {
            xmlFreeDoc(parser->myDoc);
            xmlFreeParserCtxt(parser);
            return Result<QString>::fail(
                QStringLiteral("не удается прочитать файл \"%1\". %2").arg(name, in.errorString()));
        }
        failed = xmlParseChunk(parser, chunk.constData(), static_cast<int>(n), n == 0) != 0;
        if (n == 0)
            break;
    }
    const bool wellFormed = !failed && parser->wellFormed && !capture.entityDeclared;
    const QString message = capture.entityDeclared ? entitiesRefusedText()
                            : wellFormed           ? QString()
                                                   : parserMessage(parser);
    // An entity declaration makes libxml2 keep a document of its own even without a tree;
    // freeing the parser leaves it behind.
    xmlFreeDoc(parser->myDoc);
    xmlFreeParserCtxt(parser);
    if (!wellFormed)
        return Result<QString>::fail(message);
    if (capture.root.isNull())
        return Result<QString>::fail(QStringLiteral("в XML-документе нет корневого элемента"));
    return capture.root;
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
