#include "crypto/streaming_digest.h"

#include "crypto/gost_engine.h"
#include "receipt_maker.h"
#include "test_pki.h"

#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

using namespace telva::crypto;
using namespace telva::test;

namespace {

QByteArray gost94(const QByteArray& data) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_Digest(data.constData(), size_t(data.size()), out, &len, EVP_get_digestbyname("md_gost94"),
               nullptr);
    return QByteArray(reinterpret_cast<char*>(out), int(len));
}

QByteArray chainDigest(BIO* chain) {
    EVP_MD_CTX* held = nullptr;
    BIO_get_md_ctx(chain, &held);
    MdCtxPtr copy(EVP_MD_CTX_new());
    EVP_MD_CTX_copy_ex(copy.get(), held);
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_DigestFinal_ex(copy.get(), out, &len);
    return QByteArray(reinterpret_cast<char*>(out), int(len));
}

// Feeds the message in small pieces from another thread while the digest follows; a window
// takes only what fits.
std::unique_ptr<StreamingContentDigest> follow(const QByteArray& message, GrowingBuffer& buffer,
                                               StreamingContentDigest::Sink sink = {}) {
    auto digest = std::make_unique<StreamingContentDigest>(buffer, std::move(sink));
    std::thread writer([&] {
        for (qsizetype at = 0, n = 0; at < message.size(); at += n) {
            n = std::min<qsizetype>(777, message.size() - at);
            if (buffer.sliding() && (n = std::min(n, buffer.waitRoom())) == 0)
                break;
            std::memcpy(buffer.writePos(), message.constData() + at, size_t(n));
            buffer.commit(n);
        }
        buffer.finish();
    });
    digest->run();
    writer.join();
    return digest;
}

class StreamingDigest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ensureGostEngine().ok()); }
    QTemporaryDir dir;
    const TestPki& pki = TestPki::instance();
};

} // namespace

TEST_F(StreamingDigest, HashesDerAndIndefiniteLengthContent) {
    const PkiFiles fund = writePkiFiles(pki.fundAp, dir.path(), "fund");
    QByteArray content(300000, '\0');
    for (qsizetype i = 0; i < content.size(); ++i)
        content[i] = char((i * 7919) >> 3);
    const QByteArray der = opensslSign(dir.path(), content, fund.certPem, fund.keyPem, true);
    // -stream writes BER: indefinite lengths and the content in chunks.
    const QByteArray ber = opensslSign(dir.path(), content, fund.certPem, fund.keyPem, false, true,
                                       {QStringLiteral("-stream")});
    ASSERT_FALSE(der.isEmpty());
    ASSERT_FALSE(ber.isEmpty());
    ASSERT_NE(ber.indexOf(QByteArray("\x24\x80", 2)), -1) << "not indefinite-length";

    // Whole, or through a window far smaller than the content, which goes to a sink.
    for (const bool window : {false, true}) {
        for (const QByteArray& message : {der, ber}) {
            GrowingBuffer whole(message.size());
            GrowingBuffer sliding(64 << 10, GrowingBuffer::Window{});
            GrowingBuffer& buffer = window ? sliding : whole;
            QByteArray sunk;
            const auto digest = follow(message, buffer, [&](const char* d, qint64 n) {
                sunk.append(d, qsizetype(n));
                return true;
            });
            ASSERT_TRUE(digest->complete()) << window;
            QByteArray joined;
            EXPECT_EQ(window ? sunk : digest->content(joined).toByteArray(), content);
            // The message without its content still parses, and carries no content.
            const QByteArray detached = digest->detachedMessage();
            EXPECT_LT(detached.size(), 4000);
            const unsigned char* p = reinterpret_cast<const unsigned char*>(detached.constData());
            CmsPtr cms(d2i_CMS_ContentInfo(nullptr, &p, long(detached.size())));
            ASSERT_TRUE(cms) << window;
            EXPECT_EQ(CMS_get0_SignerInfos(cms.get()) ? 1 : 0, 1);
            ASN1_OCTET_STRING** inner = CMS_get0_content(cms.get());
            EXPECT_TRUE(inner && !*inner);
            const BioPtr chain = digest->digestChain();
            ASSERT_TRUE(chain);
            EXPECT_EQ(chainDigest(chain.get()), gost94(content));
        }
    }
}

TEST_F(StreamingDigest, CutOffMessageIsNotComplete) {
    const PkiFiles fund = writePkiFiles(pki.fundAp, dir.path(), "fund");
    const QByteArray content(5000, 'a');
    const QByteArray der = opensslSign(dir.path(), content, fund.certPem, fund.keyPem, false);
    const QByteArray cut = der.left(2000);
    GrowingBuffer buffer(cut.size());
    const auto digest = follow(cut, buffer);
    EXPECT_FALSE(digest->complete());
}
