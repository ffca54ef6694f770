#include "archive/zip_reader.h"

#include "app/safe_file.h"
#include "app/texts.h"

#include <QFile>
#include <QStringDecoder>

#include <zlib.h>

#include <limits>
#include <optional>

#include <unistd.h>

namespace telva {

namespace {

QString multiDiskText() {
    return QStringLiteral("Многотомные ZIP-архивы не поддерживаются.");
}

constexpr quint32 kLocalSig = 0x04034B50;
constexpr quint32 kCentralSig = 0x02014B50;
constexpr quint32 kEndSig = 0x06054B50;
constexpr quint32 kEnd64Sig = 0x06064B50;
constexpr quint32 kEnd64LocatorSig = 0x07064B50;
constexpr qsizetype kEndSize = 22;
constexpr qsizetype kCentralSize = 46;
constexpr qsizetype kLocalSize = 30;
constexpr qsizetype kEnd64Size = 56;
constexpr qsizetype kEnd64LocatorSize = 20;

// Bounds-checked little-endian reading over the archive bytes.
class Bytes {
public:
    explicit Bytes(QByteArrayView data) : data_(data) {}
    qint64 size() const { return data_.size(); }
    bool has(qint64 at, qint64 count) const {
        return at >= 0 && count >= 0 && at <= size() && count <= size() - at;
    }
    quint16 u16(qint64 at) const { return quint16(b(at) | (b(at + 1) << 8)); }
    quint32 u32(qint64 at) const { return quint32(u16(at)) | (quint32(u16(at + 2)) << 16); }
    quint64 u64(qint64 at) const { return quint64(u32(at)) | (quint64(u32(at + 4)) << 32); }
    const char* ptr(qint64 at) const { return data_.data() + at; }

private:
    quint32 b(qint64 at) const { return quint8(data_[at]); }
    QByteArrayView data_;
};

struct CentralEntry {
    QString name;
    quint16 flags = 0;
    quint16 method = 0;
    quint32 crc = 0;
    quint64 compressedSize = 0;
    quint64 size = 0;
    quint64 localOffset = 0;
    quint32 diskStart = 0;
};

Error incomplete() {
    return Error{zipIncompleteText()};
}

Error damaged(const QString& name) {
    return Error{QStringLiteral("Данные записи \"%1\" ZIP-архива повреждены.").arg(name)};
}

// Entry names are UTF-8 when the archive says so (flag bit 11) or when they decode as
// UTF-8 cleanly; otherwise they are taken in the program's code page 1251.
QString decodeName(QByteArrayView raw, bool utf8Flag) {
    if (utf8Flag)
        return QString::fromUtf8(raw);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(raw);
    if (!utf8.hasError())
        return text;
    QStringDecoder cp1251("windows-1251");
    if (cp1251.isValid())
        return cp1251(raw);
    return QString::fromLatin1(raw);
}

// The file name part, without any folder inside the archive.
QString baseName(const QString& name) {
    const qsizetype slash =
        std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    return slash < 0 ? name : name.mid(slash + 1);
}

// Fills the 64-bit fields that the 32-bit header marks with all ones from the ZIP64
// extended information extra field (0x0001).
bool applyZip64Extra(const Bytes& in, qint64 at, qint64 length, quint32 size32,
                     quint32 compressed32, quint32 offset32, quint16 disk16, CentralEntry& e) {
    const qint64 end = at + length;
    while (at + 4 <= end) {
        const quint16 id = in.u16(at);
        const quint16 len = in.u16(at + 2);
        const qint64 body = at + 4;
        if (body + len > end)
            return false;
        if (id == 0x0001) {
            qint64 p = body;
            auto take64 = [&](quint64& field) {
                if (p + 8 > body + len)
                    return false;
                field = in.u64(p);
                p += 8;
                return true;
            };
            if (size32 == 0xFFFFFFFFu && !take64(e.size))
                return false;
            if (compressed32 == 0xFFFFFFFFu && !take64(e.compressedSize))
                return false;
            if (offset32 == 0xFFFFFFFFu && !take64(e.localOffset))
                return false;
            if (disk16 == 0xFFFF) {
                if (p + 4 > body + len)
                    return false;
                e.diskStart = in.u32(p);
            }
            return true;
        }
        at = body + len;
    }
    // No ZIP64 field although a header asked for one.
    return size32 != 0xFFFFFFFFu && compressed32 != 0xFFFFFFFFu && offset32 != 0xFFFFFFFFu &&
           disk16 != 0xFFFF;
}

struct Directory {
    quint64 offset = 0;
    quint64 size = 0;
    quint64 count = 0;
};

// Locates the end-of-central-directory record by searching backwards from the end.
Result<Directory> readEnd(const Bytes& in) {
    if (in.size() < kEndSize)
        return incomplete();
    const qint64 lowest = std::max<qint64>(0, in.size() - kEndSize - 0xFFFF);
    qint64 at = -1;
    for (qint64 p = in.size() - kEndSize; p >= lowest; --p) {
        if (in.u32(p) == kEndSig && p + kEndSize + in.u16(p + 20) <= in.size()) {
            at = p;
            break;
        }
    }
    if (at < 0)
        return incomplete();

    const quint16 disk = in.u16(at + 4);
    const quint16 cdDisk = in.u16(at + 6);
    const quint16 onDisk = in.u16(at + 8);
    Directory dir{in.u32(at + 16), in.u32(at + 12), in.u16(at + 10)};
    bool multiDisk = disk != 0 || cdDisk != 0 || onDisk != dir.count;

    const bool zip64 = dir.count == 0xFFFF || dir.size == 0xFFFFFFFFu || dir.offset == 0xFFFFFFFFu;
    const qint64 locator = at - kEnd64LocatorSize;
    if (zip64 || (locator >= 0 && in.u32(locator) == kEnd64LocatorSig)) {
        if (locator < 0 || in.u32(locator) != kEnd64LocatorSig)
            return incomplete();
        const quint64 end64 = in.u64(locator + 8);
        if (in.u32(locator + 4) != 0 || in.u32(locator + 16) > 1)
            multiDisk = true;
        if (!multiDisk) {
            if (end64 > quint64(locator) || !in.has(qint64(end64), kEnd64Size) ||
                in.u32(qint64(end64)) != kEnd64Sig)
                return incomplete();
            const qint64 e = qint64(end64);
            multiDisk =
                in.u32(e + 16) != 0 || in.u32(e + 20) != 0 || in.u64(e + 24) != in.u64(e + 32);
            dir = Directory{in.u64(e + 48), in.u64(e + 40), in.u64(e + 32)};
        }
    }
    if (multiDisk)
        return Error{multiDiskText()};
    // The directory must lie wholly before the record that points to it.
    if (dir.offset > quint64(at) || dir.size > quint64(at) - dir.offset)
        return incomplete();
    // Each header takes at least 46 bytes: a count that cannot fit is damage.
    if (dir.count > dir.size / kCentralSize)
        return incomplete();
    return dir;
}

// Reads the central directory and returns the first entry whose name matches.
Result<std::optional<CentralEntry>> findEntry(const Bytes& in, const Directory& dir,
                                              const QString& wanted) {
    qint64 at = qint64(dir.offset);
    const qint64 end = at + qint64(dir.size);
    for (quint64 i = 0; i < dir.count; ++i) {
        if (at + kCentralSize > end || in.u32(at) != kCentralSig)
            return incomplete();
        const quint16 nameLen = in.u16(at + 28);
        const quint16 extraLen = in.u16(at + 30);
        const quint16 commentLen = in.u16(at + 32);
        const qint64 next = at + kCentralSize + nameLen + extraLen + commentLen;
        if (next > end)
            return incomplete();

        CentralEntry e;
        e.flags = in.u16(at + 8);
        e.method = in.u16(at + 10);
        e.crc = in.u32(at + 16);
        const quint32 compressed32 = in.u32(at + 20);
        const quint32 size32 = in.u32(at + 24);
        const quint16 disk16 = in.u16(at + 34);
        const quint32 offset32 = in.u32(at + 42);
        e.compressedSize = compressed32;
        e.size = size32;
        e.diskStart = disk16;
        e.localOffset = offset32;
        const qint64 nameAt = at + kCentralSize;
        e.name = decodeName(QByteArrayView(in.ptr(nameAt), nameLen), e.flags & 0x0800);
        if (!applyZip64Extra(in, nameAt + nameLen, extraLen, size32, compressed32, offset32, disk16,
                             e))
            return incomplete();

        const bool folder = e.name.endsWith(QLatin1Char('/'));
        if (!folder && baseName(e.name).compare(wanted, Qt::CaseInsensitive) == 0)
            return std::optional<CentralEntry>(std::move(e));
        at = next;
    }
    return std::optional<CentralEntry>();
}

Result<QByteArray> inflateRaw(const char* data, quint64 compressedSize, quint64 size,
                              const QString& name) {
    QByteArray out;
    out.resize(qsizetype(size));
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
        return damaged(name);
    // zlib counts in 32-bit units; feed and drain in pieces.
    quint64 inLeft = compressedSize;
    quint64 outDone = 0;
    const char* next = data;
    int rc = Z_OK;
    constexpr quint64 kChunk = 1u << 30;
    while (rc != Z_STREAM_END) {
        if (z.avail_in == 0 && inLeft > 0) {
            const quint64 take = std::min(inLeft, kChunk);
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(next));
            z.avail_in = uInt(take);
            next += take;
            inLeft -= take;
        }
        // One spare byte beyond the declared size tells a lying header from a full one.
        char spare = 0;
        const bool full = outDone >= size;
        if (full) {
            z.next_out = reinterpret_cast<Bytef*>(&spare);
            z.avail_out = 1;
        } else {
            z.next_out = reinterpret_cast<Bytef*>(out.data() + outDone);
            z.avail_out = uInt(std::min(size - outDone, kChunk));
        }
        const uInt before = z.avail_out;
        rc = inflate(&z, Z_NO_FLUSH);
        const uInt produced = before - z.avail_out;
        if (full && produced > 0)
            rc = Z_DATA_ERROR; // more data than the directory says
        outDone += produced;
        if (rc == Z_BUF_ERROR && z.avail_in == 0 && inLeft == 0)
            rc = Z_DATA_ERROR;
        if (rc != Z_OK && rc != Z_STREAM_END)
            break;
    }
    inflateEnd(&z);
    if (rc != Z_STREAM_END || outDone != size)
        return damaged(name);
    return out;
}

} // namespace

QString zipIncompleteText() {
    return QStringLiteral("Incomplete Zip File");
}

Result<QByteArray> ExtractEntryFromBuffer(QByteArrayView archive, const QString& entryName) {
    const Bytes in(archive);
    const Result<Directory> dir = readEnd(in);
    if (!dir)
        return dir.error();
    const Result<std::optional<CentralEntry>> found = findEntry(in, *dir, entryName);
    if (!found)
        return found.error();
    if (!found->has_value())
        return QByteArray();
    const CentralEntry& e = **found;

    if (e.diskStart != 0)
        return Error{multiDiskText()};
    if (e.flags & 0x0001)
        return Error{QStringLiteral("Запись \"%1\" ZIP-архива зашифрована; зашифрованные "
                                    "записи не поддерживаются.")
                         .arg(e.name)};
    if (e.method != 0 && e.method != 8) {
        if (e.method >= 1 && e.method <= 6)
            return Error{QStringLiteral("Метод сжатия %1 записи \"%2\" ZIP-архива (устаревший "
                                        "метод PKWARE) не поддерживается.")
                             .arg(e.method)
                             .arg(e.name)};
        return Error{QStringLiteral("Unknown Compression Method"), kZipUnknownMethod};
    }
    if (e.size > quint64(kZipMaxEntrySize))
        return Error{QStringLiteral("Запись \"%1\" ZIP-архива больше 256 МБ; такой архив не "
                                    "принимается.")
                         .arg(e.name)};
    if (e.size > quint64(kZipRatioFloor) &&
        e.size / std::max<quint64>(e.compressedSize, 1) > quint64(kZipMaxRatio))
        return Error{QStringLiteral("Запись \"%1\" ZIP-архива сжата неправдоподобно сильно "
                                    "(более чем в %2 раз); такой архив не принимается.")
                         .arg(e.name)
                         .arg(kZipMaxRatio)};

    // The entry's data follow its local header.
    const qint64 local = qint64(std::min<quint64>(e.localOffset, quint64(in.size())));
    if (!in.has(local, kLocalSize) || in.u32(local) != kLocalSig)
        return damaged(e.name);
    const qint64 dataAt = local + kLocalSize + in.u16(local + 26) + in.u16(local + 28);
    if (e.compressedSize > quint64(std::numeric_limits<qint64>::max()) ||
        !in.has(dataAt, qint64(e.compressedSize)))
        return damaged(e.name);

    QByteArray bytes;
    if (e.method == 0) {
        if (e.compressedSize != e.size)
            return damaged(e.name);
        bytes = QByteArray(in.ptr(dataAt), qsizetype(e.size));
    } else {
        Result<QByteArray> inflated = inflateRaw(in.ptr(dataAt), e.compressedSize, e.size, e.name);
        if (!inflated)
            return inflated.error();
        bytes = std::move(*inflated);
    }

    uLong crc = crc32(0L, Z_NULL, 0);
    constexpr qsizetype kChunk = qsizetype(1) << 30;
    for (qsizetype at = 0; at < bytes.size(); at += kChunk)
        crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.constData() + at),
                    uInt(std::min(kChunk, bytes.size() - at)));
    if (quint32(crc) != e.crc)
        return Error{QStringLiteral("Контрольная сумма записи \"%1\" ZIP-архива не совпадает: "
                                    "архив поврежден.")
                         .arg(e.name)};
    return bytes;
}

Result<QByteArray> ExtractEntry(const QString& archivePath, const QString& entryName) {
    // Only a regular file of the archive is read: a link or a FIFO planted there is not.
    const int fd = openRegularFile(archivePath);
    QFile file;
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        return Error{openErrorText(archivePath)};
    }
    const qint64 size = file.size();
    if (size <= 0)
        return incomplete();
    if (uchar* mapped = file.map(0, size)) {
        Result<QByteArray> r = ExtractEntryFromBuffer(
            QByteArrayView(reinterpret_cast<const char*>(mapped), size), entryName);
        file.unmap(mapped);
        return r;
    }
    const QByteArray all = file.readAll();
    if (all.size() != size)
        return Error{readErrorText(archivePath)};
    return ExtractEntryFromBuffer(all, entryName);
}

} // namespace telva
