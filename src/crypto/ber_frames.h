#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>
#include <vector>

// Frame headers of BER and DER encodings (single-byte tags, definite or indefinite
// lengths), and cutting a large value out of a message without decoding the rest.
namespace telva::crypto::ber {

struct Frame {
    unsigned tag = 0;
    qint64 at = 0;     // of the tag byte
    qint64 header = 0; // tag and length bytes
    qint64 length = 0; // of the content; -1 for the indefinite form

    bool indefinite() const { return length < 0; }
    qint64 contentAt() const { return at + header; }
    qint64 end() const { return at + header + length; } // definite frames only
};

// The longest header there is: a tag byte, a length-of-length byte and 8 length bytes.
inline constexpr qint64 kMaxHeader = 10;

// The header of the frame at `at`, when the first `available` bytes of data hold it;
// a definite frame's content need not be there yet.
std::optional<Frame> readHeader(const char* data, qint64 available, qint64 at);

// The bytes with [cutAt, cutEnd) replaced by `replacement`; each enclosing frame (outermost
// first, all of them around the cut) gets its definite length changed to match. Bytes
// after the outermost frame are dropped. Empty when the frames do not enclose the cut.
QByteArray splice(QByteArrayView bytes, const std::vector<Frame>& enclosing, qint64 cutAt,
                  qint64 cutEnd, QByteArrayView replacement = {});

} // namespace telva::crypto::ber
