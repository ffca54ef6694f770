#include "crypto/cms_shape.h"

#include "crypto/ber_frames.h"
#include "crypto/der.h"
#include "crypto/oids.h"

#include <QFile>

namespace telva::crypto {

namespace {

// Deeper nesting than any receipt has is taken as damage, not walked.
constexpr int kMaxDepth = 64;

// Walks the frames in [at, end); with `open`, up to and including the end-of-contents
// marker of an indefinite frame. Sets `next` to the byte after what was walked.
bool walk(const char* data, qint64 at, qint64 end, bool open, int depth, qint64& next) {
    if (depth > kMaxDepth)
        return false;
    while (at < end) {
        const std::optional<ber::Frame> frame = ber::readHeader(data, end, at);
        if (!frame)
            return false;
        if (open && frame->tag == 0 && frame->length == 0) {
            next = at + 2;
            return true;
        }
        const bool constructed = frame->tag & 0x20;
        if (frame->indefinite()) {
            if (!walk(data, frame->contentAt(), end, true, depth + 1, at))
                return false;
            continue;
        }
        if (frame->end() > end)
            return false;
        qint64 inner = 0;
        if (constructed && !walk(data, frame->contentAt(), frame->end(), false, depth + 1, inner))
            return false;
        at = frame->end();
    }
    next = at;
    return !open;
}

} // namespace

bool isWholeCmsMessage(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 2)
        return false;
    const qint64 size = file.size();
    const uchar* mapped = file.map(0, size);
    if (!mapped)
        return false;
    const char* data = reinterpret_cast<const char*>(mapped);
    const std::optional<ber::Frame> outer = ber::readHeader(data, size, 0);
    // A ContentInfo: a SEQUENCE that opens with an object identifier under 1.2.840.113549.1.7.
    const QByteArray typePrefix =
        der::header(der::kOid, oid::kCmsTypeArc.size() + 1) + oid::kCmsTypeArc;
    if (!outer || outer->tag != der::kSequence || size - outer->contentAt() <= typePrefix.size() ||
        QByteArrayView(data + outer->contentAt(), typePrefix.size()) != typePrefix)
        return false;
    qint64 next = 0;
    if (outer->indefinite())
        return walk(data, outer->contentAt(), size, true, 1, next) && next == size;
    return outer->end() == size && walk(data, outer->contentAt(), size, false, 1, next);
}

} // namespace telva::crypto
