#include "gateway/http_client.h"

#include <QFile>
#include <QFileInfo>

namespace telva {

namespace {

const QByteArray kCrlf = QByteArrayLiteral("\r\n");

// CR and LF only: a content type may hold quotes of its own.
QByteArray escapeLineBreaks(const QByteArray& text) {
    QByteArray out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\r')
            out += "%0D";
        else if (c == '\n')
            out += "%0A";
        else
            out += c;
    }
    return out;
}

} // namespace

MultipartForm::MultipartForm(const QDateTime& built) : boundary_(boundaryFor(built)) {}

QByteArray MultipartForm::boundaryFor(const QDateTime& built) {
    return QByteArrayLiteral("--------") +
           built.toLocalTime().toString(QStringLiteral("MMddyyHHmmsszzz")).toLatin1();
}

QByteArray MultipartForm::escapeHeaderText(const QByteArray& text) {
    return escapeLineBreaks(QByteArray(text).replace('"', "%22"));
}

void MultipartForm::addField(const QByteArray& name, const QByteArray& value) {
    parts_.append(Part{name, value, {}, {}, {}});
}

void MultipartForm::addFile(const QByteArray& name, const QString& filePath,
                            const QByteArray& fileName, const QByteArray& contentType) {
    parts_.append(Part{name, {}, filePath, fileName, contentType});
}

QByteArray MultipartForm::contentType() const {
    return QByteArrayLiteral("multipart/form-data; boundary=") + boundary_;
}

QByteArray MultipartForm::partHead(qsizetype index) const {
    const Part& part = parts_.at(index);
    QByteArray head = "--" + boundary_ + kCrlf + "Content-Disposition: form-data; name=\"" +
                      escapeHeaderText(part.name) + '"';
    if (part.isFile()) {
        head += "; filename=\"" + escapeHeaderText(part.fileName) + '"' + kCrlf +
                "Content-Type: " + escapeLineBreaks(part.contentType);
    }
    head += kCrlf + kCrlf;
    return head;
}

QByteArray MultipartForm::closing() const {
    return "--" + boundary_ + "--" + kCrlf;
}

Result<qint64> MultipartForm::contentLength() const {
    qint64 length = 0;
    for (qsizetype i = 0; i < parts_.size(); ++i) {
        const Part& part = parts_.at(i);
        length += partHead(i).size() + kCrlf.size();
        if (part.isFile()) {
            const QFileInfo info(part.filePath);
            if (!info.isFile())
                return Result<qint64>::fail(
                    QStringLiteral("Файл \"%1\" не найден.").arg(part.filePath));
            length += info.size();
        } else {
            length += part.value.size();
        }
    }
    return length + closing().size();
}

Result<QByteArray> MultipartForm::toBytes() const {
    QByteArray body;
    for (qsizetype i = 0; i < parts_.size(); ++i) {
        const Part& part = parts_.at(i);
        body += partHead(i);
        if (part.isFile()) {
            QFile file(part.filePath);
            if (!file.open(QIODevice::ReadOnly))
                return Result<QByteArray>::fail(
                    QStringLiteral("Не удалось открыть файл \"%1\".").arg(part.filePath));
            body += file.readAll();
        } else {
            body += part.value;
        }
        body += kCrlf;
    }
    return body + closing();
}

} // namespace telva
