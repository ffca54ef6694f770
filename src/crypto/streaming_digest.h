#pragma once

#include "crypto/ber_frames.h"
#include "crypto/ossl.h"

#include <QByteArray>
#include <QByteArrayView>
#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

namespace telva::crypto {

// A buffer of fixed capacity that one thread fills while another reads what is there.
class GrowingBuffer {
public:
    explicit GrowingBuffer(qsizetype capacity);

    char* writePos() { return base_ + written_; }
    qsizetype room() const { return data_.size() - written_; }
    // Makes n more bytes visible to the reader.
    void commit(qsizetype n);
    // No more bytes will come (also after a failure).
    void finish();
    // Blocks until at least `end` bytes are there or the writer finished; the count there.
    qsizetype waitFor(qsizetype end) const;
    const char* data() const { return base_; }
    // The storage, once both sides are done; views into it stay valid.
    QByteArray release() { return std::move(data_); }
    // The bytes written so far, for the writer's thread or once the reader is done.
    QByteArrayView written() const { return QByteArrayView(base_, written_); }

private:
    QByteArray data_;
    char* base_ = nullptr; // fixed once allocated; read by both threads
    qsizetype written_ = 0;
    mutable std::mutex mutex_;
    mutable std::condition_variable grown_;
    qsizetype visible_ = 0;
    bool finished_ = false;
};

// Hashes the content of a DER or BER signed-data while its bytes arrive in a GrowingBuffer,
// with every digest algorithm the message lists. Once complete, the message can be taken
// apart: the signed-data without its content (for the signer information) and the content
// itself, which is exactly the bytes that were hashed.
class StreamingContentDigest {
public:
    explicit StreamingContentDigest(const GrowingBuffer& buffer) : buffer_(buffer) {}
    // The reader's work; returns when the content has been hashed or cannot be followed.
    void run();

    // Whether the whole content was found and hashed.
    bool complete() const { return complete_; }
    // The signed-data with its content left out (detached), ready for the CMS parser.
    QByteArray detachedMessage() const;
    // The content hashed: its place in the buffer when it lies in one piece, else a copy.
    QByteArrayView content(QByteArray& joined) const;
    // A chain of message-digest BIOs holding the digests, for CMS_SignerInfo_verify_content.
    BioPtr digestChain() const;

private:
    std::optional<ber::Frame> readTlv(qint64 at);
    bool readDigestAlgorithms(const ber::Frame& set);
    bool walkOctets(const ber::Frame& tlv, int depth, qint64& next);
    bool hashRange(qint64 at, qint64 length);
    bool follow();

    const GrowingBuffer& buffer_;
    std::vector<MdCtxPtr> digests_;
    std::vector<std::pair<qint64, qint64>> ranges_;
    std::vector<ber::Frame> enclosing_; // around the content, outermost first
    qint64 cutAt_ = 0;                  // the [0] frame holding the content
    qint64 cutEnd_ = 0;
    bool complete_ = false;
};

} // namespace telva::crypto
