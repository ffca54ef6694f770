#include "archive/zip_writer.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <zlib.h>

namespace telva {

namespace {

constexpr quint32 kLocalSig = 0x04034b50;
constexpr quint32 kDescriptorSig = 0x08074b50;
constexpr quint32 kCentralSig = 0x02014b50;
constexpr quint32 kEndSig = 0x06054b50;
// Sizes follow the data (the file is read once), and names are UTF-8.
constexpr quint16 kFlags = 0x0008 | 0x0800;
constexpr quint16 kDeflated = 8;
constexpr quint16 kVersionNeeded = 20;
// Made on Unix, so unzip gives the files the permissions below.
constexpr quint16 kVersionMadeBy = (3 << 8) | 20;
constexpr quint32 kFileMode = 0100600;
constexpr qint64 kPiece = 256 * 1024;
constexpr quint64 kLimit = 0xFFFFFFFFull;

struct Bytes {
    QByteArray data;
    Bytes& u16(quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        data.append(b, 2);
        return *this;
    }
    Bytes& u32(quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        data.append(b, 4);
        return *this;
    }
};

// The DOS date and time fields, in local time; years before 1980 cannot be written.
std::pair<quint16, quint16> dosStamp(const QDateTime& when) {
    const QDateTime local = when.toLocalTime();
    const QDate d = local.date();
    const QTime t = local.time();
    if (d.year() < 1980)
        return {0, (1 << 5) | 1};
    return {quint16((t.hour() << 11) | (t.minute() << 5) | (t.second() / 2)),
            quint16(((d.year() - 1980) << 9) | (d.month() << 5) | d.day())};
}

} // namespace

ZipWriter::ZipWriter(const QString& path) : path_(path), file_(path) {}

Status ZipWriter::failed() const {
    return Status::fail(QStringLiteral("Ошибка записи \"%1\".").arg(path_));
}

bool ZipWriter::put(const QByteArray& bytes) {
    written_ += quint64(bytes.size());
    return written_ <= kLimit && file_.write(bytes.constData(), bytes.size());
}

Status ZipWriter::open() {
    return file_.open() ? Status() : failed();
}

Status ZipWriter::addFile(const QString& entryName, const QString& sourcePath) {
    QFile source(sourcePath);
    if (!source.open(QIODevice::ReadOnly))
        return Status::fail(QStringLiteral("Ошибка открытия \"%1\".").arg(sourcePath));
    if (entries_.size() >= 0xFFFF || quint64(source.size()) >= kLimit)
        return Status::fail(QStringLiteral("Слишком большой архив для ZIP: \"%1\".").arg(path_));
    Entry entry;
    entry.name = entryName.toUtf8();
    entry.offset = quint32(written_);
    std::tie(entry.time, entry.date) = dosStamp(QFileInfo(source).lastModified());
    Bytes local;
    local.u32(kLocalSig).u16(kVersionNeeded).u16(kFlags).u16(kDeflated);
    local.u16(entry.time).u16(entry.date).u32(0).u32(0).u32(0);
    local.u16(quint16(entry.name.size())).u16(0);
    if (!put(local.data + entry.name))
        return failed();

    z_stream zs{};
    if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK)
        return failed();
    struct Ender {
        z_stream* zs;
        ~Ender() { deflateEnd(zs); }
    } ender{&zs};
    uLong crc = crc32(0, nullptr, 0);
    quint64 size = 0;
    quint64 packed = 0;
    QByteArray out(kPiece, Qt::Uninitialized);
    for (bool last = false; !last;) {
        QByteArray in = source.read(kPiece);
        if (in.isEmpty() && source.error() != QFileDevice::NoError)
            return Status::fail(QStringLiteral("Ошибка чтения \"%1\".").arg(sourcePath));
        last = in.size() < kPiece;
        crc = crc32(crc, reinterpret_cast<const Bytef*>(in.constData()), uInt(in.size()));
        size += quint64(in.size());
        zs.next_in = reinterpret_cast<Bytef*>(in.data());
        zs.avail_in = uInt(in.size());
        do {
            zs.next_out = reinterpret_cast<Bytef*>(out.data());
            zs.avail_out = uInt(out.size());
            deflate(&zs, last ? Z_FINISH : Z_NO_FLUSH);
            const qint64 produced = out.size() - qint64(zs.avail_out);
            packed += quint64(produced);
            if (!put(out.first(produced)))
                return failed();
        } while (zs.avail_out == 0);
    }
    if (size >= kLimit)
        return Status::fail(QStringLiteral("Слишком большой архив для ZIP: \"%1\".").arg(path_));
    entry.crc = quint32(crc);
    entry.size = quint32(size);
    entry.packed = quint32(packed);
    Bytes descriptor;
    descriptor.u32(kDescriptorSig).u32(entry.crc).u32(entry.packed).u32(entry.size);
    if (!put(descriptor.data))
        return failed();
    entries_.append(entry);
    return {};
}

Status ZipWriter::commit() {
    const quint64 start = written_;
    Bytes central;
    for (const Entry& e : entries_) {
        central.u32(kCentralSig).u16(kVersionMadeBy).u16(kVersionNeeded).u16(kFlags);
        central.u16(kDeflated).u16(e.time).u16(e.date).u32(e.crc).u32(e.packed).u32(e.size);
        central.u16(quint16(e.name.size())).u16(0).u16(0).u16(0).u16(0);
        central.u32(kFileMode << 16).u32(e.offset);
        central.data += e.name;
    }
    Bytes end;
    end.u32(kEndSig).u16(0).u16(0).u16(quint16(entries_.size())).u16(quint16(entries_.size()));
    end.u32(quint32(central.data.size())).u32(quint32(start)).u16(0);
    if (!put(central.data) || !put(end.data) || !file_.commit())
        return failed();
    return {};
}

} // namespace telva
