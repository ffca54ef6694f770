#pragma once

#include "crypto/ber_frames.h"
#include "crypto/ossl.h"

#include <QByteArray>
#include <QByteArrayView>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

namespace telva::crypto {

// A buffer of fixed capacity that one thread fills while another reads what is there.
// Whole, it keeps every byte; as a sliding window, bytes are given back once the reader has
// dropped them, so any amount passes through the same memory. Offsets are always counted
// from the first byte written; in a window, any span up to the capacity is contiguous.
class GrowingBuffer {
public:
    struct Window {};

    explicit GrowingBuffer(qsizetype capacity);
    // A sliding window of capacity bytes (rounded up to whole pages).
    GrowingBuffer(qsizetype capacity, Window);
    ~GrowingBuffer();
    GrowingBuffer(const GrowingBuffer&) = delete;
    GrowingBuffer& operator=(const GrowingBuffer&) = delete;

    bool sliding() const { return ring_ != nullptr; }
    char* writePos() { return base_ + offsetOf(written_); }
    // Room left of a whole buffer.
    qsizetype room() const { return data_.size() - written_; }
    // Room of a window, waiting until there is some; 0 once the reader has given up.
    qsizetype waitRoom();
    // Makes n more bytes visible to the reader.
    void commit(qsizetype n);
    // No more bytes will come (also after a failure).
    void finish();
    // Blocks until at least `end` bytes are there or the writer finished; the count there.
    // In a window, only up to what fits is waited for.
    qsizetype waitFor(qsizetype end) const;
    const char* at(qint64 offset) const { return base_ + offsetOf(offset); }
    // A window's bytes before upTo are no longer needed; a whole buffer keeps them.
    void drop(qint64 upTo);
    // The reader stops reading; a waiting writer is let go.
    void abandon();
    const char* data() const { return base_; }
    // The storage, once both sides are done; views into it stay valid.
    QByteArray release() { return std::move(data_); }
    // The bytes written so far, for the writer's thread or once the reader is done.
    QByteArrayView written() const { return QByteArrayView(base_, written_); }

private:
    qsizetype offsetOf(qint64 offset) const { return ring_ ? offset % capacity_ : offset; }

    QByteArray data_;
    char* ring_ = nullptr; // a window: its pages mapped twice in a row
    qsizetype capacity_ = 0;
    char* base_ = nullptr; // fixed once allocated; read by both threads
    qsizetype written_ = 0;
    mutable std::mutex mutex_;
    mutable std::condition_variable grown_;
    qsizetype visible_ = 0;
    qint64 dropped_ = 0;
    bool finished_ = false;
    bool abandoned_ = false;
};

// Hashes the content of a DER or BER signed-data while its bytes arrive in a GrowingBuffer,
// with every digest algorithm the message lists. Once complete, the message can be taken
// apart: the signed-data without its content (for the signer information) and the content
// itself, which is exactly the bytes that were hashed. Over a sliding window, the content is
// handed to a sink as it is hashed and only the rest of the message is kept.
class StreamingContentDigest {
public:
    using Sink = std::function<bool(const char* data, qint64 size)>;

    explicit StreamingContentDigest(GrowingBuffer& buffer, Sink sink = {})
        : buffer_(buffer), sink_(std::move(sink)) {}
    // The reader's work; returns when the content has been hashed or cannot be followed.
    void run();

    // Whether the whole content was found and hashed (and taken by the sink).
    bool complete() const { return complete_; }
    // Whether the sink refused the content.
    bool sinkFailed() const { return sinkFailed_; }
    // The signed-data with its content left out (detached), ready for the CMS parser.
    QByteArray detachedMessage() const;
    // The content hashed: its place in the buffer when it lies in one piece, else a copy;
    // nothing over a window.
    QByteArrayView content(QByteArray& joined) const;
    // A chain of message-digest BIOs holding the digests, for CMS_SignerInfo_verify_content.
    BioPtr digestChain() const;

private:
    std::optional<ber::Frame> readTlv(qint64 at);
    bool readDigestAlgorithms(const ber::Frame& set);
    bool walkOctets(const ber::Frame& tlv, int depth, qint64& next);
    bool hashRange(qint64 at, qint64 length);
    bool follow();
    bool keepTail();

    GrowingBuffer& buffer_;
    Sink sink_;
    QByteArray kept_; // over a window: the message before and after the content
    std::vector<MdCtxPtr> digests_;
    std::vector<std::pair<qint64, qint64>> ranges_;
    std::vector<ber::Frame> enclosing_; // around the content, outermost first
    qint64 cutAt_ = 0;                  // the [0] frame holding the content
    qint64 cutEnd_ = 0;
    bool complete_ = false;
    bool sinkFailed_ = false;
};

} // namespace telva::crypto
