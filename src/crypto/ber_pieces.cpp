#include "crypto/ber_pieces.h"

#include <cerrno>
#include <unistd.h>

namespace telva::crypto::ber {

namespace {

constexpr unsigned kOctets = 0x04, kConstructedOctets = 0x24;
constexpr int kMaxNesting = 8;
constexpr qsizetype kHeaderBuffer = 64 * 1024;

} // namespace

FilePieces::FilePieces(int fd, qint64 fileSize, const Frame& string)
    : fd_(fd), fileSize_(fileSize), pos_(string.contentAt()) {
    if (!(string.tag & 0x20)) {
        if (string.end() > fileSize)
            failed_ = true;
        else
            single_ = Piece{string.contentAt(), string.length};
        return;
    }
    if (!string.indefinite() && string.end() > fileSize)
        failed_ = true;
    ends_.push_back(string.indefinite() ? -1 : string.end());
}

std::optional<Frame> FilePieces::headerAt(qint64 at) {
    if (at < bufferAt_ || at + kMaxHeader > bufferAt_ + buffered_) {
        buffer_.resize(kHeaderBuffer);
        qint64 got = 0;
        while (got < kHeaderBuffer) {
            const ssize_t n =
                ::pread(fd_, buffer_.data() + got, size_t(kHeaderBuffer - got), off_t(at + got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += n;
        }
        bufferAt_ = at;
        buffered_ = got;
    }
    std::optional<Frame> frame =
        readHeader(buffer_.data() + (at - bufferAt_), buffered_ - (at - bufferAt_), 0);
    if (frame)
        frame->at = at;
    return frame;
}

std::optional<FilePieces::Piece> FilePieces::next() {
    if (failed_)
        return std::nullopt;
    if (single_) {
        const Piece piece = *single_;
        single_.reset();
        pos_ = piece.at + piece.length;
        ends_.clear();
        return piece;
    }
    while (!ends_.empty()) {
        const qint64 end = ends_.back();
        if (end >= 0 && pos_ == end) {
            ends_.pop_back();
            continue;
        }
        const std::optional<Frame> frame = headerAt(pos_);
        const qint64 limit = end >= 0 ? end : fileSize_;
        if (!frame || (!frame->indefinite() && frame->end() > limit)) {
            failed_ = true;
            return std::nullopt;
        }
        if (end < 0 && frame->tag == 0 && frame->length == 0) {
            pos_ = frame->end(); // end of contents
            ends_.pop_back();
            continue;
        }
        if (frame->tag == kOctets) {
            pos_ = frame->end();
            return Piece{frame->contentAt(), frame->length};
        }
        if (frame->tag != kConstructedOctets || int(ends_.size()) >= kMaxNesting) {
            failed_ = true;
            return std::nullopt;
        }
        pos_ = frame->contentAt();
        ends_.push_back(frame->indefinite() ? -1 : frame->end());
    }
    return std::nullopt;
}

} // namespace telva::crypto::ber
