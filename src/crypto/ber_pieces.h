#pragma once

#include "crypto/ber_frames.h"

#include <optional>
#include <vector>

namespace telva::crypto::ber {

// The primitive pieces of an octet string that lies in a file: one piece for a primitive
// frame, or each piece of a constructed one (definite or open, nested a few levels), in
// order. Only frame headers are read, through a small buffer, so a string of any size and
// any number of pieces is walked in bounded memory.
class FilePieces {
public:
    struct Piece {
        qint64 at = 0;
        qint64 length = 0;
    };

    // The string whose frame (read already) starts the walk, in the open file of fileSize bytes.
    FilePieces(int fd, qint64 fileSize, const Frame& string);

    // The next piece; nothing once the string has ended or when it is damaged (failed()).
    std::optional<Piece> next();
    bool failed() const { return failed_; }
    // Just after the string's last byte (its end-of-contents included), once next() gave
    // nothing without a failure.
    qint64 end() const { return pos_; }

private:
    std::optional<Frame> headerAt(qint64 at);

    int fd_;
    qint64 fileSize_;
    std::optional<Piece> single_;
    std::vector<qint64> ends_; // of the open constructed frames, innermost last; -1 when open
    qint64 pos_ = 0;
    bool failed_ = false;
    std::vector<char> buffer_;
    qint64 bufferAt_ = 0;
    qint64 buffered_ = 0;
};

} // namespace telva::crypto::ber
