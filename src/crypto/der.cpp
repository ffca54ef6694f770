#include "crypto/der.h"

#include "crypto/ber_frames.h"

namespace telva::crypto::der {

std::optional<Tlv> read(const QByteArray& bytes, qsizetype offset, qsizetype limit) {
    if (limit > bytes.size() || offset < 0)
        return std::nullopt;
    const std::optional<ber::Frame> frame = ber::readHeader(bytes.constData(), limit, offset);
    if (!frame || frame->indefinite() || frame->end() > limit)
        return std::nullopt;
    return Tlv{quint8(frame->tag), offset, qsizetype(frame->header), qsizetype(frame->length)};
}

std::optional<Tlv> readWhole(const QByteArray& bytes) {
    const std::optional<Tlv> tlv = read(bytes, 0, bytes.size());
    if (!tlv || tlv->end() != bytes.size())
        return std::nullopt;
    return tlv;
}

std::optional<QList<Tlv>> children(const QByteArray& bytes, const Tlv& parent) {
    QList<Tlv> list;
    qsizetype at = parent.contentOffset();
    while (at < parent.end()) {
        const std::optional<Tlv> child = read(bytes, at, parent.end());
        if (!child)
            return std::nullopt;
        list.append(*child);
        at = child->end();
    }
    return list;
}

QByteArray header(quint8 tag, quint64 length) {
    QByteArray out;
    out.append(static_cast<char>(tag));
    if (length < 0x80) {
        out.append(static_cast<char>(length));
        return out;
    }
    QByteArray digits;
    while (length > 0) {
        digits.prepend(static_cast<char>(length & 0xFF));
        length >>= 8;
    }
    out.append(static_cast<char>(0x80 | digits.size()));
    out.append(digits);
    return out;
}

QByteArray frame(quint8 tag, const QByteArray& content) {
    return header(tag, static_cast<quint64>(content.size())) + content;
}

QByteArray oidText(const QByteArray& bytes, const Tlv& oid) {
    if (oid.tag != kOid || oid.length == 0)
        return {};
    const auto* p = reinterpret_cast<const quint8*>(bytes.constData()) + oid.contentOffset();
    QByteArray text;
    quint64 value = 0;
    bool first = true;
    for (qsizetype i = 0; i < oid.length; ++i) {
        if (value > (quint64(1) << 56))
            return {};
        value = (value << 7) | (p[i] & 0x7F);
        if (p[i] & 0x80)
            continue;
        if (first) {
            const quint64 top = value < 40 ? 0 : value < 80 ? 1 : 2;
            text = QByteArray::number(top) + '.' + QByteArray::number(value - top * 40);
            first = false;
        } else {
            text += '.' + QByteArray::number(value);
        }
        value = 0;
    }
    if (p[oid.length - 1] & 0x80)
        return {};
    return text;
}

} // namespace telva::crypto::der
