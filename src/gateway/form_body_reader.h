#pragma once

#include "gateway/http_client.h"

#include <QFile>
#include <QList>

#include <algorithm>
#include <cstring>

namespace telva {

// The multipart body, produced piece by piece; the file parts are read from disk.
class FormBodyReader {
public:
    explicit FormBodyReader(const MultipartForm& form) {
        for (qsizetype i = 0; i < form.parts().size(); ++i) {
            const MultipartForm::Part& part = form.parts().at(i);
            segments_.append({form.partHead(i), {}});
            if (part.isFile())
                segments_.append({{}, part.filePath});
            else
                segments_.append({part.value, {}});
            segments_.append({QByteArrayLiteral("\r\n"), {}});
        }
        segments_.append({form.closing(), {}});
    }

    void rewind() {
        index_ = 0;
        offset_ = 0;
        file_.close();
    }

    // Fills up to size bytes; 0 at the end; -1 when a file cannot be read.
    qint64 read(char* out, qint64 size) {
        qint64 filled = 0;
        while (filled < size && index_ < segments_.size()) {
            const Segment& segment = segments_.at(index_);
            if (segment.file.isEmpty()) {
                const qint64 n = std::min<qint64>(size - filled, segment.bytes.size() - offset_);
                memcpy(out + filled, segment.bytes.constData() + offset_, size_t(n));
                filled += n;
                offset_ += n;
                if (offset_ >= segment.bytes.size())
                    next();
                continue;
            }
            if (!file_.isOpen()) {
                file_.setFileName(segment.file);
                if (!file_.open(QIODevice::ReadOnly))
                    return fail(segment.file);
            }
            const qint64 n = file_.read(out + filled, size - filled);
            if (n < 0)
                return fail(segment.file);
            if (n == 0) {
                file_.close();
                next();
                continue;
            }
            filled += n;
        }
        return filled;
    }

    QString failedFile() const { return failedFile_; }

private:
    struct Segment {
        QByteArray bytes;
        QString file;
    };
    void next() {
        ++index_;
        offset_ = 0;
    }
    qint64 fail(const QString& file) {
        failedFile_ = file;
        return -1;
    }

    QList<Segment> segments_;
    qsizetype index_ = 0;
    qint64 offset_ = 0;
    QFile file_;
    QString failedFile_;
};

} // namespace telva
