#include "crypto/ber_frames.h"

#include "crypto/der.h"

namespace telva::crypto::ber {

std::optional<Frame> readHeader(const char* data, qint64 available, qint64 at) {
    if (at < 0 || available - at < 2)
        return std::nullopt;
    const auto* d = reinterpret_cast<const unsigned char*>(data);
    Frame frame;
    frame.at = at;
    frame.tag = d[at];
    if ((frame.tag & 0x1F) == 0x1F)
        return std::nullopt;
    const unsigned first = d[at + 1];
    if (first < 0x80) {
        frame.header = 2;
        frame.length = first;
        return frame;
    }
    if (first == 0x80) {
        if (!(frame.tag & 0x20))
            return std::nullopt; // only constructed frames may be open
        frame.header = 2;
        frame.length = -1;
        return frame;
    }
    const int count = int(first & 0x7F);
    if (count > 7 || available - at < 2 + count)
        return std::nullopt;
    qint64 length = 0;
    for (int i = 0; i < count; ++i)
        length = (length << 8) | d[at + 2 + i];
    frame.header = 2 + count;
    frame.length = length;
    return frame;
}

QByteArray splice(QByteArrayView bytes, const std::vector<Frame>& enclosing, qint64 cutAt,
                  qint64 cutEnd, QByteArrayView replacement) {
    const qint64 change = replacement.size() - (cutEnd - cutAt);
    const qint64 end = enclosing.empty() || enclosing.front().indefinite()
                           ? bytes.size()
                           : enclosing.front().end();
    if (cutAt < 0 || cutAt > cutEnd || cutEnd > end || end > bytes.size())
        return {};
    for (const Frame& frame : enclosing)
        if (frame.at > cutAt || (!frame.indefinite() && frame.end() < cutEnd))
            return {};
    // Innermost first: a shorter length may also shorten the header that carries it.
    std::vector<QByteArray> headers(enclosing.size());
    qint64 shift = change;
    for (size_t i = enclosing.size(); i-- > 0;) {
        const Frame& frame = enclosing[i];
        if (frame.indefinite()) {
            headers[i] = bytes.sliced(frame.at, frame.header).toByteArray();
            continue;
        }
        headers[i] = der::header(quint8(frame.tag), quint64(frame.length + shift));
        shift += headers[i].size() - frame.header;
    }
    QByteArray out;
    out.reserve(qsizetype(end + shift + 16));
    qint64 cursor = 0;
    for (size_t i = 0; i < enclosing.size(); ++i) {
        out.append(bytes.sliced(cursor, enclosing[i].at - cursor));
        out.append(headers[i]);
        cursor = enclosing[i].contentAt();
    }
    out.append(bytes.sliced(cursor, cutAt - cursor));
    out.append(replacement);
    out.append(bytes.sliced(cutEnd, end - cutEnd));
    return out;
}

} // namespace telva::crypto::ber
