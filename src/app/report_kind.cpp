#include "app/report_kind.h"

#include "app/settings.h"

#include <QFile>
#include <QList>

#include <libxml/parser.h>

namespace telva {

const QList<ReportKind>& reportKinds() {
    static const QList<ReportKind> kinds{
        {"R7REPORT", QStringLiteral("Форма 7"), QStringLiteral("er7"), QStringLiteral("Р7"),
         ReportGateway::Main},
        {"R7AREPORT", QStringLiteral("Форма 7а"), QStringLiteral("e7a"), QStringLiteral("Р7А"),
         ReportGateway::Documents},
        {"ROWSET", QStringLiteral("Реестр пособий"), QStringLiteral("esl"), QStringLiteral("РП"),
         ReportGateway::Documents},
    };
    return kinds;
}

const ReportKind& mainReportKind() {
    return reportKinds().first();
}

const ReportKind* kindForRootName(const QString& qualifiedName) {
    for (const ReportKind& kind : reportKinds()) {
        if (qualifiedName.contains(QLatin1String(kind.rootMarker)))
            return &kind;
    }
    return nullptr;
}

const ReportKind* kindForExtension(const QString& ext) {
    for (const ReportKind& kind : reportKinds()) {
        if (ext == kind.encExt)
            return &kind;
    }
    return nullptr;
}

const ReportKind* kindForListCode(const QString& listCode) {
    for (const ReportKind& kind : reportKinds()) {
        if (listCode == kind.listCode)
            return &kind;
    }
    return nullptr;
}

QString listCodeForExtension(const QString& dottedExt) {
    const ReportKind* kind =
        dottedExt.startsWith(QLatin1Char('.')) ? kindForExtension(dottedExt.mid(1)) : nullptr;
    return kind ? kind->listCode : QString();
}

const QString& gatewayHost(const ReportKind* kind, const FundHosts& hosts, bool testMode) {
    if (kind && kind->gateway == ReportGateway::Main)
        return testMode ? hosts.testGate : hosts.gate;
    return hosts.docGate;
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
    int open = 0; // elements begun and not yet ended
    bool entityDeclared = false;
};

QString entitiesRefusedText() {
    return QStringLiteral("XML-документ объявляет сущности (<!ENTITY>), такие документы не "
                          "принимаются");
}

QString cannotReadText(const QString& name) {
    return QStringLiteral("не удается прочитать файл \"%1\".").arg(name);
}

QString cannotReadText(const QString& name, const QString& reason) {
    return cannotReadText(name) + QLatin1Char(' ') + reason;
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
    ++capture->open;
    if (!capture->root.isNull())
        return;
    const QString local = QString::fromUtf8(reinterpret_cast<const char*>(localname));
    capture->root =
        prefix ? QString::fromUtf8(reinterpret_cast<const char*>(prefix)) + QLatin1Char(':') + local
               : local;
}

void onEndElement(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) {
    auto* parser = static_cast<xmlParserCtxtPtr>(ctx);
    --static_cast<RootCapture*>(parser->_private)->open;
}

// What broke, in the user's words; empty when the parser's own code says nothing plainer.
QString parserReason(int code, bool cutShort) {
    if (cutShort && code == XML_ERR_DOCUMENT_END)
        code = XML_ERR_TAG_NOT_FINISHED;
    switch (code) {
    case XML_ERR_DOCUMENT_START:
    case XML_ERR_DOCUMENT_EMPTY:
        return QStringLiteral("нет корневого элемента");
    case XML_ERR_DOCUMENT_END:
    case XML_ERR_EXTRA_CONTENT:
        return QStringLiteral("после корневого элемента есть посторонние данные");
    case XML_ERR_TAG_NAME_MISMATCH:
    case XML_ERR_LTSLASH_REQUIRED:
        return QStringLiteral("закрывающий тег не соответствует открывающему");
    case XML_ERR_TAG_NOT_FINISHED:
        return QStringLiteral("документ оборван, не все элементы закрыты");
    case XML_ERR_INVALID_CHAR:
    case XML_ERR_INVALID_ENCODING:
        return QStringLiteral("недопустимый символ или символы не в объявленной кодировке");
    case XML_ERR_UNSUPPORTED_ENCODING:
        return QStringLiteral("неизвестная кодировка");
    case XML_ERR_UNDECLARED_ENTITY:
    case XML_ERR_ENTITYREF_SEMICOL_MISSING:
        return QStringLiteral("неверная ссылка на символ или сущность");
    case XML_ERR_ATTRIBUTE_NOT_STARTED:
    case XML_ERR_ATTRIBUTE_NOT_FINISHED:
    case XML_ERR_ATTRIBUTE_WITHOUT_VALUE:
    case XML_ERR_ATTRIBUTE_REDEFINED:
    case XML_ERR_LT_IN_ATTRIBUTE:
    case XML_ERR_STRING_NOT_CLOSED:
        return QStringLiteral("неверный атрибут");
    default:
        return {};
    }
}

// The parser's failure as a person reads it, with the line where the document broke.
QString parserMessage(xmlParserCtxtPtr parser, bool empty, bool cutShort) {
    QString message = QStringLiteral("Файл не является документом XML");
    if (empty)
        return message + QStringLiteral(": файл пуст");
    const xmlError* error = xmlCtxtGetLastError(parser);
    const QString reason = error ? parserReason(error->code, cutShort) : QString();
    if (!reason.isEmpty())
        message += QStringLiteral(": ") + reason;
    if (error && error->line > 0)
        message += QStringLiteral(" (строка %1)").arg(error->line);
    return message;
}

} // namespace

Result<QString> readRootElementName(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Result<QString>::fail(cannotReadText(path, file.errorString()));
    return readRootElementName(file, path);
}

Result<QString> readRootElementName(QIODevice& in, const QString& name) {
    // A push parser with no tree and no text callbacks: reading to the end checks that the
    // whole document is well-formed while memory stays flat. No network, and the parser's
    // limits on depth and sizes stay on; a declared entity stops it, so none is expanded.
    xmlSAXHandler sax{};
    sax.initialized = XML_SAX2_MAGIC;
    sax.startElementNs = onStartElement;
    sax.endElementNs = onEndElement;
    sax.entityDecl = onEntityDecl;
    RootCapture capture;
    xmlParserCtxtPtr parser = xmlCreatePushParserCtxt(&sax, nullptr, nullptr, 0, nullptr);
    if (!parser)
        return Result<QString>::fail(cannotReadText(name));
    parser->_private = &capture;
    xmlCtxtUseOptions(parser, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    QByteArray chunk(1 << 18, Qt::Uninitialized);
    bool failed = false;
    qint64 total = 0;
    while (!failed) {
        const qint64 n = in.read(chunk.data(), chunk.size());
        if (n < 0) {
            xmlFreeDoc(parser->myDoc);
            xmlFreeParserCtxt(parser);
            return Result<QString>::fail(cannotReadText(name, in.errorString()));
        }
        total += n;
        failed = xmlParseChunk(parser, chunk.constData(), static_cast<int>(n), n == 0) != 0;
        if (n == 0)
            break;
    }
    const bool wellFormed = !failed && parser->wellFormed && !capture.entityDeclared;
    const QString message = capture.entityDeclared ? entitiesRefusedText()
                            : wellFormed           ? QString()
                                         : parserMessage(parser, total == 0, capture.open > 0);
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
