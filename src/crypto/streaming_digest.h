#pragma once

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
// with every digest algorithm the message lists. The result is used only when the ranges
// hashed are byte for byte the content that the full parser later extracts (matches()).
class StreamingContentDigest {
public:
    explicit StreamingContentDigest(const GrowingBuffer& buffer) : buffer_(buffer) {}
    // The reader's work; returns when the content has been hashed or cannot be followed.
    void run();

    // Whether the bytes hashed are exactly this content.
    bool matches(const unsigned char* content, qsizetype size) const;
    // A chain of message-digest BIOs holding the digests, for CMS_SignerInfo_verify_content.
    BioPtr digestChain() const;

private:
    struct Tlv {
        unsigned tag = 0;
        qint64 length = 0; // -1 for the indefinite form
        qint64 header = 0;
    };

    bool readTlv(qint64 at, Tlv& tlv);
    bool readDigestAlgorithms(qint64 at, const Tlv& set);
    bool walkOctets(qint64 at, const Tlv& tlv, int depth, qint64& next);
    bool hashRange(qint64 at, qint64 length);
    bool follow();

    const GrowingBuffer& buffer_;
    std::vector<MdCtxPtr> digests_;
    std::vector<std::pair<qint64, qint64>> ranges_;
    bool complete_ = false;
};

} // namespace telva::crypto
