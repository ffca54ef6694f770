#pragma once

#include <QByteArray>
#include <QList>
#include <optional>

// A small reader and writer of DER tag-length-value frames: enough to walk a message and
// to put a large content into a structure without copying it.
namespace telva::crypto::der {

inline constexpr quint8 kSequence = 0x30;
inline constexpr quint8 kSet = 0x31;
inline constexpr quint8 kInteger = 0x02;
inline constexpr quint8 kOctetString = 0x04;
inline constexpr quint8 kOid = 0x06;
inline constexpr quint8 kContext0 = 0xA0;          // [0] constructed
inline constexpr quint8 kContext0Primitive = 0x80; // [0] IMPLICIT primitive

struct Tlv {
    quint8 tag = 0;
    qsizetype offset = 0;    // of the tag byte
    qsizetype headerLen = 0; // tag and length bytes
    qsizetype length = 0;    // of the content

    qsizetype contentOffset() const { return offset + headerLen; }
    qsizetype end() const { return offset + headerLen + length; }
    qsizetype size() const { return headerLen + length; }
};

// The frame that starts at offset and ends before limit (single-byte tags, definite
// lengths only), its header read as ber::readHeader reads it; nothing when the bytes do not
// hold one.
std::optional<Tlv> read(const QByteArray& bytes, qsizetype offset, qsizetype limit);
// The frame that fills bytes whole.
std::optional<Tlv> readWhole(const QByteArray& bytes);
// The frames inside a constructed frame, in order; nothing when they do not tile it.
std::optional<QList<Tlv>> children(const QByteArray& bytes, const Tlv& parent);

// Tag and length bytes of a frame whose content is length bytes long.
QByteArray header(quint8 tag, quint64 length);
// A whole frame.
QByteArray frame(quint8 tag, const QByteArray& content);

// The dotted text of an OBJECT IDENTIFIER frame's content; empty when malformed.
QByteArray oidText(const QByteArray& bytes, const Tlv& oid);

} // namespace telva::crypto::der
