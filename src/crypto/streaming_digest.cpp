#include "crypto/streaming_digest.h"

#include "crypto/oids.h"

#include <sys/mman.h>
#include <unistd.h>

#include <openssl/x509.h>

namespace telva::crypto {

namespace {

constexpr unsigned kSequence = 0x30, kSet = 0x31, kOid = 0x06, kInteger = 0x02, kOctets = 0x04,
                   kConstructedOctets = 0x24, kContext0 = 0xA0;
constexpr qint64 kHashChunk = 256 * 1024;
constexpr int kMaxDigests = 4;
constexpr int kMaxNesting = 8;
// What a window keeps of a message besides its content: certificates and signer information.
constexpr qint64 kMaxKept = qint64(16) << 20;

} // namespace

GrowingBuffer::GrowingBuffer(qsizetype capacity) {
    data_.resize(capacity);
    base_ = data_.data();
}

GrowingBuffer::GrowingBuffer(qsizetype capacity, Window) {
    const qsizetype page = qsizetype(sysconf(_SC_PAGESIZE));
    capacity_ = (capacity + page - 1) / page * page;
    // The same pages twice in a row: a span that runs past the end continues at the start.
    const int fd = memfd_create("telva-window", MFD_CLOEXEC);
    void* area =
        fd >= 0 && ftruncate(fd, capacity_) == 0
            ? mmap(nullptr, size_t(2 * capacity_), PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)
            : MAP_FAILED;
    if (area != MAP_FAILED) {
        char* first = static_cast<char*>(area);
        if (mmap(first, size_t(capacity_), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, fd, 0) ==
                MAP_FAILED ||
            mmap(first + capacity_, size_t(capacity_), PROT_READ | PROT_WRITE,
                 MAP_SHARED | MAP_FIXED, fd, 0) == MAP_FAILED) {
            munmap(area, size_t(2 * capacity_));
            area = MAP_FAILED;
        }
    }
    if (fd >= 0)
        ::close(fd);
    if (area == MAP_FAILED) {
        // Without a window nothing passes: the reader sees no bytes and gives up.
        capacity_ = 0;
        finished_ = true;
        abandoned_ = true;
        return;
    }
    ring_ = static_cast<char*>(area);
    base_ = ring_;
}

GrowingBuffer::~GrowingBuffer() {
    if (ring_)
        munmap(ring_, size_t(2 * capacity_));
}

qsizetype GrowingBuffer::waitRoom() {
    std::unique_lock lock(mutex_);
    grown_.wait(lock, [&] { return abandoned_ || written_ - dropped_ < capacity_; });
    return abandoned_ ? 0 : capacity_ - qsizetype(written_ - dropped_);
}

void GrowingBuffer::drop(qint64 upTo) {
    if (!ring_)
        return;
    {
        std::lock_guard lock(mutex_);
        dropped_ = std::max(dropped_, upTo);
    }
    grown_.notify_all();
}

void GrowingBuffer::abandon() {
    {
        std::lock_guard lock(mutex_);
        abandoned_ = true;
    }
    grown_.notify_all();
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
    // A window holds no more than its capacity past what was dropped: waiting for more
    // would never end.
    const qint64 reachable = ring_ ? std::min<qint64>(end, dropped_ + capacity_) : end;
    grown_.wait(lock, [&] { return finished_ || visible_ >= reachable; });
    return visible_;
}

std::optional<ber::Frame> StreamingContentDigest::readTlv(qint64 at) {
    const qint64 there = buffer_.waitFor(at + ber::kMaxHeader);
    // The header read where it lies, as if the buffer began there.
    const std::optional<ber::Frame> frame = ber::readHeader(buffer_.at(at), there - at, 0);
    if (!frame)
        return std::nullopt;
    ber::Frame placed = *frame;
    placed.at = at;
    return placed;
}

bool StreamingContentDigest::readDigestAlgorithms(const ber::Frame& set) {
    if (set.tag != kSet || set.indefinite())
        return false;
    const qint64 end = set.end();
    if (buffer_.waitFor(end) < end)
        return false;
    qint64 p = set.contentAt();
    while (p < end) {
        const std::optional<ber::Frame> algorithm = readTlv(p);
        if (!algorithm || algorithm->tag != kSequence || algorithm->indefinite() ||
            algorithm->end() > end || int(digests_.size()) >= kMaxDigests)
            return false;
        const unsigned char* der = reinterpret_cast<const unsigned char*>(buffer_.at(p));
        X509_ALGOR* parsed = d2i_X509_ALGOR(nullptr, &der, long(algorithm->end() - p));
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
        p = algorithm->end();
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
        const char* piece = buffer_.at(at + done);
        const qint64 size = there - at - done;
        for (const MdCtxPtr& ctx : digests_)
            if (EVP_DigestUpdate(ctx.get(), piece, size_t(size)) <= 0)
                return false;
        if (sink_ && !sink_(piece, size)) {
            sinkFailed_ = true;
            return false;
        }
        done = there - at;
        buffer_.drop(there);
    }
    return true;
}

bool StreamingContentDigest::walkOctets(const ber::Frame& tlv, int depth, qint64& next) {
    if (tlv.tag == kOctets && !tlv.indefinite()) {
        if (!hashRange(tlv.contentAt(), tlv.length))
            return false;
        next = tlv.end();
        return true;
    }
    if (tlv.tag != kConstructedOctets || depth >= kMaxNesting)
        return false;
    qint64 p = tlv.contentAt();
    const qint64 end = tlv.indefinite() ? -1 : tlv.end();
    while (end < 0 || p < end) {
        const std::optional<ber::Frame> piece = readTlv(p);
        if (!piece)
            return false;
        if (end < 0 && piece->tag == 0 && piece->length == 0) {
            p += 2; // end of contents
            break;
        }
        if (!walkOctets(*piece, depth + 1, p))
            return false;
    }
    if (end >= 0 && p != end)
        return false;
    next = p;
    return true;
}

bool StreamingContentDigest::follow() {
    qint64 p = 0;
    // ContentInfo SEQUENCE { contentType signedData, [0] EXPLICIT SignedData SEQUENCE {
    //   version, digestAlgorithms, encapContentInfo SEQUENCE {
    //     eContentType, [0] EXPLICIT OCTET STRING } ... } }
    std::optional<ber::Frame> t = readTlv(p);
    if (!t || t->tag != kSequence)
        return false;
    enclosing_.push_back(*t);
    p = t->contentAt();
    t = readTlv(p);
    if (!t || t->tag != kOid || t->length != oid::kSignedData.size())
        return false;
    if (buffer_.waitFor(t->end()) < t->end() ||
        QByteArrayView(buffer_.at(t->contentAt()), t->length) != oid::kSignedData)
        return false;
    p = t->end();
    for (unsigned tag : {kContext0, kSequence}) {
        t = readTlv(p);
        if (!t || t->tag != tag)
            return false;
        enclosing_.push_back(*t);
        p = t->contentAt();
    }
    t = readTlv(p);
    if (!t || t->tag != kInteger || t->indefinite())
        return false;
    p = t->end();
    t = readTlv(p);
    if (!t || !readDigestAlgorithms(*t))
        return false;
    p = t->end();
    t = readTlv(p);
    if (!t || t->tag != kSequence)
        return false;
    enclosing_.push_back(*t);
    p = t->contentAt();
    t = readTlv(p);
    if (!t || t->tag != kOid || t->indefinite())
        return false;
    p = t->end();
    const std::optional<ber::Frame> wrapper = readTlv(p);
    if (!wrapper || wrapper->tag != kContext0)
        return false;
    if (buffer_.sliding())
        kept_ = QByteArray(buffer_.at(0), wrapper->at);
    t = readTlv(wrapper->contentAt());
    qint64 next = 0;
    if (!t || !walkOctets(*t, 0, next))
        return false;
    if (wrapper->indefinite()) {
        const auto* d = reinterpret_cast<const unsigned char*>(buffer_.at(next));
        if (buffer_.waitFor(next + 2) < next + 2 || d[0] != 0 || d[1] != 0)
            return false;
        next += 2;
    } else if (next != wrapper->end()) {
        return false;
    }
    cutAt_ = wrapper->at;
    cutEnd_ = next;
    return true;
}

// Over a window: everything after the content, up to the end of what comes.
bool StreamingContentDigest::keepTail() {
    for (qint64 p = cutEnd_;;) {
        const qint64 there = buffer_.waitFor(p + kHashChunk);
        if (there <= p)
            return true;
        if (kept_.size() + (there - p) > kMaxKept)
            return false;
        kept_.append(buffer_.at(p), qsizetype(there - p));
        buffer_.drop(there);
        p = there;
    }
}

void StreamingContentDigest::run() {
    complete_ = follow() && (!buffer_.sliding() || keepTail());
    if (!complete_)
        buffer_.abandon();
}

QByteArray StreamingContentDigest::detachedMessage() const {
    if (!complete_)
        return {};
    if (!buffer_.sliding())
        return ber::splice(buffer_.written(), enclosing_, cutAt_, cutEnd_);
    // The kept bytes lack the content already: the frames around it are that much shorter.
    std::vector<ber::Frame> shortened = enclosing_;
    for (ber::Frame& frame : shortened)
        if (!frame.indefinite())
            frame.length -= cutEnd_ - cutAt_;
    return ber::splice(kept_, shortened, cutAt_, cutAt_);
}

QByteArrayView StreamingContentDigest::content(QByteArray& joined) const {
    if (buffer_.sliding())
        return {};
    if (ranges_.size() == 1)
        return QByteArrayView(buffer_.data() + ranges_[0].first, ranges_[0].second);
    joined.clear();
    for (const auto& [at, length] : ranges_)
        joined.append(buffer_.data() + at, length);
    return joined;
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
