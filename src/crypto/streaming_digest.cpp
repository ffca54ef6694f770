#include "crypto/streaming_digest.h"

#include <cstring>

#include <openssl/x509.h>

namespace telva::crypto {

namespace {

// 1.2.840.113549.1.7.2, id-signedData
const unsigned char kSignedDataOid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
constexpr unsigned kSequence = 0x30, kSet = 0x31, kOid = 0x06, kInteger = 0x02, kOctets = 0x04,
                   kConstructedOctets = 0x24, kContext0 = 0xA0;
constexpr qint64 kHashChunk = 256 * 1024;
constexpr int kMaxDigests = 4;
constexpr int kMaxNesting = 8;

} // namespace

GrowingBuffer::GrowingBuffer(qsizetype capacity) {
    data_.resize(capacity);
    base_ = data_.data();
}

void GrowingBuffer::commit(qsizetype n) {
    written_ += n;
    {
        std::lock_guard lock(mutex_);
        visible_ = written_;
    }
    grown_.notify_all();
}

void GrowingBuffer::finish() {
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    grown_.notify_all();
}

qsizetype GrowingBuffer::waitFor(qsizetype end) const {
    std::unique_lock lock(mutex_);
    grown_.wait(lock, [&] { return finished_ || visible_ >= end; });
    return visible_;
}

bool StreamingContentDigest::readTlv(qint64 at, Tlv& tlv) {
    const unsigned char* d = reinterpret_cast<const unsigned char*>(buffer_.data());
    if (buffer_.waitFor(at + 2) < at + 2)
        return false;
    tlv.tag = d[at];
    if ((tlv.tag & 0x1F) == 0x1F)
        return false; // multi-byte tags never occur here
    const unsigned first = d[at + 1];
    if (first < 0x80) {
        tlv.length = first;
        tlv.header = 2;
        return true;
    }
    if (first == 0x80) {
        tlv.length = -1;
        tlv.header = 2;
        return (tlv.tag & 0x20) != 0;
    }
    const int count = int(first & 0x7F);
    if (count > 7 || buffer_.waitFor(at + 2 + count) < at + 2 + count)
        return false;
    qint64 length = 0;
    for (int i = 0; i < count; ++i)
        length = (length << 8) | d[at + 2 + i];
    tlv.length = length;
    tlv.header = 2 + count;
    return true;
}

bool StreamingContentDigest::readDigestAlgorithms(qint64 at, const Tlv& set) {
    if (set.tag != kSet || set.length < 0)
        return false;
    const qint64 end = at + set.header + set.length;
    if (buffer_.waitFor(end) < end)
        return false;
    qint64 p = at + set.header;
    while (p < end) {
        Tlv algorithm;
        if (!readTlv(p, algorithm) || algorithm.tag != kSequence || algorithm.length < 0)
            return false;
        const qint64 next = p + algorithm.header + algorithm.length;
        if (next > end || int(digests_.size()) >= kMaxDigests)
            return false;
        const unsigned char* der = reinterpret_cast<const unsigned char*>(buffer_.data()) + p;
        X509_ALGOR* parsed = d2i_X509_ALGOR(nullptr, &der, long(next - p));
        if (!parsed)
            return false;
        const EVP_MD* md = EVP_get_digestbyobj(parsed->algorithm);
        X509_ALGOR_free(parsed);
        if (md) {
            MdCtxPtr ctx(EVP_MD_CTX_new());
            if (!ctx || EVP_DigestInit_ex(ctx.get(), md, nullptr) <= 0)
                return false;
            digests_.push_back(std::move(ctx));
        }
        p = next;
    }
    return !digests_.empty();
}

bool StreamingContentDigest::hashRange(qint64 at, qint64 length) {
    ranges_.emplace_back(at, length);
    qint64 done = 0;
    while (done < length) {
        const qint64 want = at + std::min(length, done + kHashChunk);
        const qint64 there = std::min<qint64>(buffer_.waitFor(want), want);
        if (there <= at + done)
            return false;
        for (const MdCtxPtr& ctx : digests_)
            if (EVP_DigestUpdate(ctx.get(), buffer_.data() + at + done,
                                 size_t(there - at - done)) <= 0)
                return false;
        done = there - at;
    }
    return true;
}

bool StreamingContentDigest::walkOctets(qint64 at, const Tlv& tlv, int depth, qint64& next) {
    if (tlv.tag == kOctets && tlv.length >= 0) {
        if (!hashRange(at + tlv.header, tlv.length))
            return false;
        next = at + tlv.header + tlv.length;
        return true;
    }
    if (tlv.tag != kConstructedOctets || depth >= kMaxNesting)
        return false;
    qint64 p = at + tlv.header;
    const qint64 end = tlv.length >= 0 ? p + tlv.length : -1;
    while (end < 0 || p < end) {
        Tlv piece;
        if (!readTlv(p, piece))
            return false;
        if (end < 0 && piece.tag == 0 && piece.length == 0) {
            p += 2; // end of contents
            break;
        }
        if (!walkOctets(p, piece, depth + 1, p))
            return false;
    }
    if (end >= 0 && p != end)
        return false;
    next = p;
    return true;
}

bool StreamingContentDigest::follow() {
    Tlv t;
    qint64 p = 0;
    // ContentInfo SEQUENCE, contentType signedData
    if (!readTlv(p, t) || t.tag != kSequence)
        return false;
    p += t.header;
    if (!readTlv(p, t) || t.tag != kOid || t.length != qint64(sizeof kSignedDataOid))
        return false;
    if (buffer_.waitFor(p + t.header + t.length) < p + t.header + t.length ||
        std::memcmp(buffer_.data() + p + t.header, kSignedDataOid, sizeof kSignedDataOid) != 0)
        return false;
    p += t.header + t.length;
    // [0] EXPLICIT SignedData SEQUENCE { version, digestAlgorithms, encapContentInfo ...
    if (!readTlv(p, t) || t.tag != kContext0)
        return false;
    p += t.header;
    if (!readTlv(p, t) || t.tag != kSequence)
        return false;
    p += t.header;
    if (!readTlv(p, t) || t.tag != kInteger || t.length < 0)
        return false;
    p += t.header + t.length;
    if (!readTlv(p, t) || !readDigestAlgorithms(p, t))
        return false;
    p += t.header + t.length;
    // encapContentInfo SEQUENCE { eContentType, [0] EXPLICIT OCTET STRING }
    if (!readTlv(p, t) || t.tag != kSequence)
        return false;
    p += t.header;
    if (!readTlv(p, t) || t.tag != kOid || t.length < 0)
        return false;
    p += t.header + t.length;
    if (!readTlv(p, t) || t.tag != kContext0)
        return false;
    p += t.header;
    if (!readTlv(p, t))
        return false;
    qint64 next = 0;
    return walkOctets(p, t, 0, next);
}

void StreamingContentDigest::run() {
    complete_ = follow();
}

bool StreamingContentDigest::matches(const unsigned char* content, qsizetype size) const {
    if (!complete_)
        return false;
    qint64 offset = 0;
    for (const auto& [at, length] : ranges_) {
        if (length > size - offset ||
            std::memcmp(content + offset, buffer_.data() + at, size_t(length)) != 0)
            return false;
        offset += length;
    }
    return offset == size;
}

BioPtr StreamingContentDigest::digestChain() const {
    BioPtr chain;
    for (const MdCtxPtr& ctx : digests_) {
        BioPtr bio(BIO_new(BIO_f_md()));
        EVP_MD_CTX* held = nullptr;
        if (!bio || BIO_set_md(bio.get(), EVP_MD_CTX_get0_md(ctx.get())) <= 0 ||
            BIO_get_md_ctx(bio.get(), &held) <= 0 || !held ||
            EVP_MD_CTX_copy_ex(held, ctx.get()) <= 0)
            return {};
        if (chain)
            BIO_push(bio.get(), chain.release());
        chain = std::move(bio);
    }
    return chain;
}

} // namespace telva::crypto
