#include "crypto/receipt_cms.h"

#include "app/safe_file.h"
#include "crypto/ber_frames.h"
#include "crypto/ber_pieces.h"
#include "crypto/cert_format.h"
#include "crypto/cipher_params.h"
#include "crypto/gost_engine.h"
#include "crypto/key_store.h"
#include "crypto/oids.h"
#include "crypto/receipt_signer.h"
#include "crypto/streaming_digest.h"

#include <algorithm>
#include <cerrno>
#include <functional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include <openssl/err.h>

namespace telva::crypto {

namespace {

QString notDecryptedText() {
    return QStringLiteral("не удалось расшифровать содержимое");
}
QString notEnvelopeText() {
    return QStringLiteral("файл не является зашифрованным сообщением PKCS #7");
}
QString contentNotPkcs7Text() {
    return QStringLiteral("содержимое квитанции не является сообщением PKCS #7");
}

constexpr int kReadChunk = 256 * 1024;

ReceiptFailure failure(ReceiptStage stage, const QString& known, const QString& detail = {}) {
    const QString reason = detail.isEmpty() ? known : known + QStringLiteral(": ") + detail;
    return ReceiptFailure{stage, reason};
}

ReceiptFailure badSignature() {
    takeOpenSslError();
    return failure(ReceiptStage::Verify, QStringLiteral("подпись неверна"));
}

CmsPtr parseCms(QByteArrayView der) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(der.constData());
    CmsPtr cms(d2i_CMS_ContentInfo(nullptr, &p, long(der.size())));
    return cms;
}

// The local certificates with a key that are recipients of the message, in store order.
QList<Certificate> recipientCandidates(CMS_ContentInfo* cms, const CertCollection& stores,
                                       bool& onlyKeyAgreement) {
    STACK_OF(CMS_RecipientInfo)* infos = CMS_get0_RecipientInfos(cms);
    const QList<Certificate> local = stores.certificates();
    QList<Certificate> candidates;
    int transport = 0;
    int agreement = 0;
    for (int i = 0; i < sk_CMS_RecipientInfo_num(infos); ++i) {
        CMS_RecipientInfo* ri = sk_CMS_RecipientInfo_value(infos, i);
        const int type = CMS_RecipientInfo_type(ri);
        if (type == CMS_RECIPINFO_AGREE)
            ++agreement;
        if (type != CMS_RECIPINFO_TRANS)
            continue;
        ++transport;
        for (const Certificate& cert : local) {
            if (CMS_RecipientInfo_ktri_cert_cmp(ri, x509Of(cert)) == 0 && HasPrivateKey(cert) &&
                !candidates.contains(cert))
                candidates.append(cert);
        }
    }
    onlyKeyAgreement = transport == 0 && agreement > 0;
    return candidates;
}

// Sets the content-encryption key from the first candidate whose key opens it.
std::optional<ReceiptFailure> unlockContentKey(CMS_ContentInfo* cms, const CertCollection& stores,
                                               Frontend* frontend) {
    bool onlyKeyAgreement = false;
    const QList<Certificate> candidates = recipientCandidates(cms, stores, onlyKeyAgreement);
    if (onlyKeyAgreement)
        return failure(ReceiptStage::Decrypt,
                       QStringLiteral("получатели с согласованием ключей не поддерживаются"));
    if (candidates.isEmpty())
        return failure(ReceiptStage::Decrypt,
                       QStringLiteral("среди получателей нет установленного сертификата с "
                                      "закрытым ключом"));
    // A wrong key must fail loudly instead of yielding random bytes; GOST key transport
    // carries its own MAC, so nothing is given away by reporting it.
    CMS_decrypt(cms, nullptr, nullptr, nullptr, nullptr, CMS_DEBUG_DECRYPT);
    ReceiptFailure last{ReceiptStage::Decrypt, {}};
    bool keyOpened = false;
    for (const Certificate& cert : candidates) {
        Result<PKeyPtr> key = LoadPrivateKey(cert, frontend);
        if (!key) {
            last = failure(ReceiptStage::Decrypt, key.text());
            continue;
        }
        keyOpened = true;
        ERR_clear_error();
        if (CMS_decrypt_set1_pkey_and_peer(cms, key->get(), x509Of(cert), nullptr) > 0)
            return std::nullopt;
        last = failure(ReceiptStage::Decrypt, QStringLiteral("ключ получателя не подходит"),
                       takeOpenSslError());
    }
    last.keyNotOpened = !keyOpened;
    return last;
}

// Decrypts the content into the buffer, chunk by chunk, so that a reader can follow.
// The cipher text comes from source when given (the chain takes it over), else from the
// message itself.
std::optional<ReceiptFailure> decryptContent(CMS_ContentInfo* cms, BIO* source,
                                             GrowingBuffer& out) {
    BIO* chain = CMS_dataInit(cms, source);
    if (!chain) {
        BIO_free(source);
        return failure(ReceiptStage::Decrypt, notDecryptedText(), takeOpenSslError());
    }
    std::optional<ReceiptFailure> result;
    for (;;) {
        if (out.room() == 0) {
            // Stream ciphers never grow the text; more output than input means damage.
            char probe = 0;
            if (BIO_read(chain, &probe, 1) > 0)
                result = failure(ReceiptStage::Decrypt,
                                 QStringLiteral("расшифрованное содержимое длиннее "
                                                "зашифрованного"));
            break;
        }
        const int n =
            BIO_read(chain, out.writePos(), int(std::min<qsizetype>(out.room(), kReadChunk)));
        if (n <= 0)
            break;
        out.commit(n);
    }
    if (!result && BIO_method_type(chain) == BIO_TYPE_CIPHER && !BIO_get_cipher_status(chain))
        result = failure(ReceiptStage::Decrypt, notDecryptedText(), takeOpenSslError());
    // The whole chain goes, the source of the cipher text included.
    BIO_free_all(chain);
    return result;
}

// Hashes the content in one pass when the streamed digest could not be used.
BioPtr digestSequentially(CMS_ContentInfo* cms) {
    BioPtr chain(CMS_dataInit(cms, nullptr));
    if (!chain)
        return {};
    std::vector<char> scratch(kReadChunk);
    while (BIO_read(chain.get(), scratch.data(), int(scratch.size())) > 0) {
    }
    return chain;
}

// Verifies the first signer of a signed-data with the fund's certificate from the stores;
// the digests of the content come from digestsOf once the signer is known.
std::optional<ReceiptFailure> verifySigner(CMS_ContentInfo* cms, const CertCollection& stores,
                                           const QDateTime& receivedAt,
                                           const std::function<BioPtr()>& digestsOf,
                                           ReceiptContent& content) {
    if (OBJ_obj2nid(CMS_get0_type(cms)) != NID_pkcs7_signed)
        return failure(ReceiptStage::FindSigner,
                       QStringLiteral("содержимое квитанции не является подписанным сообщением"));
    STACK_OF(CMS_SignerInfo)* signers = CMS_get0_SignerInfos(cms);
    if (sk_CMS_SignerInfo_num(signers) <= 0)
        return failure(ReceiptStage::FindSigner,
                       QStringLiteral("в сообщении нет сведений о подписавшем"));
    CMS_SignerInfo* signer = sk_CMS_SignerInfo_value(signers, 0);

    std::variant<Certificate, ReceiptFailure> found = FundSigner(cms, signer, stores, receivedAt);
    if (const ReceiptFailure* refused = std::get_if<ReceiptFailure>(&found))
        return *refused;
    const Certificate* cert = &std::get<Certificate>(found);

    // Only the certificate found here speaks for the signer.
    CMS_SignerInfo_set1_signer_cert(signer, x509Of(*cert));
    ERR_clear_error();
    if (CMS_signed_get_attr_count(signer) >= 0 && CMS_SignerInfo_verify(signer) <= 0)
        return badSignature();
    const BioPtr digests = digestsOf();
    if (!digests || CMS_SignerInfo_verify_content(signer, digests.get()) <= 0)
        return badSignature();
    content.signer = ownerName(*cert);
    content.signerCert = *cert;
    return std::nullopt;
}

std::variant<ReceiptContent, ReceiptFailure> verifySigned(GrowingBuffer& plain,
                                                          const StreamingContentDigest& streamed,
                                                          const CertCollection& stores,
                                                          const QDateTime& receivedAt) {
    // The usual way: the content was hashed while it was decrypted, so the parser gets the
    // message without it and the content is never copied.
    if (streamed.complete()) {
        if (const CmsPtr shell = parseCms(streamed.detachedMessage())) {
            ReceiptContent content;
            if (std::optional<ReceiptFailure> f = verifySigner(
                    shell.get(), stores, receivedAt, [&] { return streamed.digestChain(); },
                    content))
                return *f;
            QByteArray joined;
            const QByteArrayView bytes = streamed.content(joined);
            if (joined.isEmpty()) {
                content.bytes = bytes;
                content.storage = plain.release();
            } else {
                content.storage = std::move(joined);
                content.bytes = content.storage;
            }
            return content;
        }
    }

    // A message the stream reader could not follow: parse it whole.
    const CmsPtr cms = parseCms(plain.written());
    if (!cms)
        return failure(ReceiptStage::FindSigner, contentNotPkcs7Text());
    ASN1_OCTET_STRING** inner = CMS_get0_content(cms.get());
    const bool attached = inner && *inner;
    ReceiptContent content;
    if (std::optional<ReceiptFailure> f = verifySigner(
            cms.get(), stores, receivedAt,
            [&] { return attached ? digestSequentially(cms.get()) : BioPtr(); }, content))
        return *f;
    content.storage = QByteArray(reinterpret_cast<const char*>((*inner)->data), (*inner)->length);
    content.bytes = content.storage;
    return content;
}

// Where the encrypted content lies in an enveloped-data laid out as usual, read from the
// first `available` of `total` bytes; the content itself need not be among them. The content
// is one primitive string (DER), or pieces inside a constructed one (BER, as streaming
// writers produce it), whose end is known only once the pieces have been walked.
struct EnvelopeLayout {
    std::vector<ber::Frame> enclosing; // around the encrypted content, outermost first
    ber::Frame content;                // the encrypted content's [0] frame
};

std::optional<EnvelopeLayout> envelopeLayout(const char* d, qint64 available, qint64 total) {
    EnvelopeLayout layout;
    auto definite = [&](qint64 at, unsigned tag) -> std::optional<ber::Frame> {
        std::optional<ber::Frame> f = ber::readHeader(d, available, at);
        if (!f || f->tag != tag || f->indefinite() || f->end() > total)
            return std::nullopt;
        return f;
    };
    auto open = [&](qint64 at, unsigned tag) -> std::optional<ber::Frame> {
        std::optional<ber::Frame> f = ber::readHeader(d, available, at);
        if (!f || f->tag != tag || (!f->indefinite() && f->end() > total))
            return std::nullopt;
        layout.enclosing.push_back(*f);
        return f;
    };
    std::optional<ber::Frame> f = open(0, 0x30);
    if (!f)
        return std::nullopt;
    f = definite(f->contentAt(), 0x06);
    if (!f || f->end() > available ||
        QByteArrayView(d + f->contentAt(), f->length) != oid::kEnvelopedData)
        return std::nullopt;
    if (!(f = open(f->end(), 0xA0)) || !(f = open(f->contentAt(), 0x30)) ||
        !(f = definite(f->contentAt(), 0x02)))
        return std::nullopt;
    qint64 p = f->end();
    if (std::optional<ber::Frame> originator = definite(p, 0xA0))
        p = originator->end();
    if (!(f = definite(p, 0x31)) || !(f = open(f->end(), 0x30)) ||
        !(f = definite(f->contentAt(), 0x06)) || !(f = definite(f->end(), 0x30)))
        return std::nullopt;
    const qint64 contentAt = f->end();
    if (!(f = definite(contentAt, 0x80))) {
        f = ber::readHeader(d, available, contentAt);
        if (!f || f->tag != 0xA0 || (!f->indefinite() && f->end() > total))
            return std::nullopt;
    }
    layout.content = *f;
    return layout;
}

// The encrypted content cut out of an enveloped-data (leaving an empty one in its place),
// so that the parser does not copy it.
struct DetachedEnvelope {
    QByteArray shell;
    qint64 cipherAt = 0;
    qint64 cipherLength = 0;
};

std::optional<DetachedEnvelope> detachEnvelope(const QByteArray& m) {
    const std::optional<EnvelopeLayout> layout = envelopeLayout(m.constData(), m.size(), m.size());
    if (!layout || layout->content.tag != 0x80)
        return std::nullopt;
    const ber::Frame& content = layout->content;
    DetachedEnvelope envelope;
    envelope.shell =
        ber::splice(m, layout->enclosing, content.at, content.end(), QByteArrayView("\x80\x00", 2));
    envelope.cipherAt = content.contentAt();
    envelope.cipherLength = content.length;
    if (envelope.shell.isEmpty())
        return std::nullopt;
    return envelope;
}

std::variant<ReceiptContent, ReceiptFailure> openMessage(QByteArray message,
                                                         const CertCollection& stores,
                                                         const QDateTime& receivedAt,
                                                         Frontend* frontend) {
    const Status engine = ensureGostEngine();
    if (!engine)
        return failure(ReceiptStage::Decrypt, engine.text());
    ERR_clear_error();

    // The encrypted content is read where it lies in the message when the message is laid
    // out as usual; otherwise the parser's copy is used.
    const std::optional<DetachedEnvelope> detached = detachEnvelope(message);
    CmsPtr enveloped = parseCms(detached ? QByteArrayView(detached->shell) : message);
    if (!detached)
        message = QByteArray();
    if (!enveloped || OBJ_obj2nid(CMS_get0_type(enveloped.get())) != NID_pkcs7_enveloped)
        return failure(ReceiptStage::Decrypt, notEnvelopeText());
    ASN1_OCTET_STRING** encrypted = CMS_get0_content(enveloped.get());
    if (!encrypted || !*encrypted)
        return failure(ReceiptStage::Decrypt,
                       QStringLiteral("зашифрованные данные не вложены в сообщение"));
    if (Status params = checkContentCipherParameters(enveloped.get()); !params)
        return failure(ReceiptStage::Decrypt, params.text());
    if (std::optional<ReceiptFailure> f = unlockContentKey(enveloped.get(), stores, frontend))
        return *f;
    BIO* cipherText = detached ? BIO_new_mem_buf(message.constData() + detached->cipherAt,
                                                 int(detached->cipherLength))
                               : nullptr;
    const qint64 size = detached ? detached->cipherLength : (*encrypted)->length;

    // The content is hashed on a second thread while it is being decrypted.
    GrowingBuffer plain(size);
    StreamingContentDigest streamed(plain);
    std::thread reader([&] { streamed.run(); });
    const std::optional<ReceiptFailure> f = decryptContent(enveloped.get(), cipherText, plain);
    plain.finish();
    reader.join();
    if (f)
        return *f;
    enveloped.reset();
    message = QByteArray();
    return verifySigned(plain, streamed, stores, receivedAt);
}

std::variant<ReceiptContent, ReceiptFailure> openSigned(const QByteArray& signedData,
                                                        const CertCollection& stores,
                                                        const QDateTime& receivedAt) {
    const Status engine = ensureGostEngine();
    if (!engine)
        return failure(ReceiptStage::FindSigner, engine.text());
    ERR_clear_error();
    GrowingBuffer plain(signedData.size());
    std::copy(signedData.begin(), signedData.end(), plain.writePos());
    plain.commit(signedData.size());
    plain.finish();
    StreamingContentDigest streamed(plain);
    streamed.run();
    return verifySigned(plain, streamed, stores, receivedAt);
}

constexpr qint64 kEnvelopeEdgeLimit = qint64(1) << 20;
constexpr qsizetype kWindowSize = qsizetype(4) << 20;

// count bytes of the file from at, fewer when it ends; nothing on a read error.
std::optional<QByteArray> readAt(int fd, qint64 at, qint64 count) {
    QByteArray bytes(qsizetype(count), Qt::Uninitialized);
    qint64 got = 0;
    while (got < count) {
        const ssize_t n = ::pread(fd, bytes.data() + got, size_t(count - got), off_t(at + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        got += n;
    }
    bytes.truncate(qsizetype(got));
    return bytes;
}

ReceiptFailure readFailure() {
    return failure(ReceiptStage::Decrypt, QStringLiteral("ошибка чтения файла квитанции"));
}

std::variant<ReceiptContent, ReceiptFailure> openInMemory(int fd, qint64 size,
                                                          const CertCollection& stores,
                                                          const QDateTime& receivedAt,
                                                          Frontend* frontend) {
    if (size > kLargeFileLimit)
        return failure(ReceiptStage::Decrypt, notEnvelopeText());
    std::optional<QByteArray> message = readAt(fd, 0, size);
    if (!message)
        return readFailure();
    return openMessage(std::move(*message), stores, receivedAt, frontend);
}

// Decrypts the pieces of encrypted content in the file into the window; stops early, without
// a failure, when the reader gives up.
std::optional<ReceiptFailure> decryptFile(int fd, ber::FilePieces pieces, EVP_CIPHER_CTX* cipher,
                                          GrowingBuffer& plain) {
    std::vector<char> cipherText(kReadChunk);
    while (const std::optional<ber::FilePieces::Piece> piece = pieces.next()) {
        for (qint64 done = 0; done < piece->length;) {
            const qsizetype room = plain.waitRoom();
            if (room == 0)
                return std::nullopt;
            const qint64 want =
                std::min<qint64>({qint64(room), qint64(kReadChunk), piece->length - done});
            const ssize_t n = ::pread(fd, cipherText.data(), size_t(want), off_t(piece->at + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return readFailure();
            int written = 0;
            if (EVP_CipherUpdate(
                    cipher, reinterpret_cast<unsigned char*>(plain.writePos()), &written,
                    reinterpret_cast<const unsigned char*>(cipherText.data()), int(n)) != 1 ||
                written != n)
                return failure(ReceiptStage::Decrypt, notDecryptedText(), takeOpenSslError());
            plain.commit(written);
            done += n;
        }
    }
    if (pieces.failed())
        return readFailure();
    unsigned char tail[64];
    int written = 0;
    if (EVP_CipherFinal_ex(cipher, tail, &written) != 1 || written != 0)
        return failure(ReceiptStage::Decrypt, notDecryptedText(), takeOpenSslError());
    return std::nullopt;
}

std::variant<ReceiptContent, ReceiptFailure> openFile(int fd, const CertCollection& stores,
                                                      const QDateTime& receivedAt,
                                                      Frontend* frontend, const ReceiptSink& sink) {
    const Status engine = ensureGostEngine();
    if (!engine)
        return failure(ReceiptStage::Decrypt, engine.text());
    ERR_clear_error();
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return readFailure();
    const qint64 size = qint64(info.st_size);

    // The envelope around the encrypted content is read from both ends of the file; the
    // content stays on disk until it is decrypted.
    const std::optional<QByteArray> head = readAt(fd, 0, std::min(size, kEnvelopeEdgeLimit));
    if (!head)
        return readFailure();
    const std::optional<EnvelopeLayout> layout =
        envelopeLayout(head->constData(), head->size(), size);
    if (!layout)
        return openInMemory(fd, size, stores, receivedAt, frontend);
    // The end of content in pieces is found by walking their headers once.
    const ber::Frame& cipherFrame = layout->content;
    qint64 contentEnd = cipherFrame.indefinite() ? -1 : cipherFrame.end();
    if (contentEnd < 0) {
        ber::FilePieces walk(fd, size, cipherFrame);
        while (walk.next()) {
        }
        // Damaged or cut off: the parser would only fail the same way, after reading it all.
        if (walk.failed())
            return failure(ReceiptStage::Decrypt,
                           QStringLiteral("зашифрованные данные повреждены или обрезаны"));
        contentEnd = walk.end();
    }
    if (contentEnd < 0 || size - contentEnd > kEnvelopeEdgeLimit)
        return openInMemory(fd, size, stores, receivedAt, frontend);
    const std::optional<QByteArray> tail = readAt(fd, contentEnd, size - contentEnd);
    if (!tail)
        return readFailure();
    std::vector<ber::Frame> shortened = layout->enclosing;
    for (ber::Frame& frame : shortened)
        if (!frame.indefinite())
            frame.length -= contentEnd - cipherFrame.at;
    const QByteArray edges = head->left(qsizetype(cipherFrame.at)) + *tail;
    const QByteArray shell = ber::splice(edges, shortened, cipherFrame.at, cipherFrame.at,
                                         QByteArrayView("\x80\x00", 2));
    CmsPtr enveloped = parseCms(shell);
    if (!enveloped || OBJ_obj2nid(CMS_get0_type(enveloped.get())) != NID_pkcs7_enveloped)
        return openInMemory(fd, size, stores, receivedAt, frontend);
    if (Status params = checkContentCipherParameters(enveloped.get()); !params)
        return failure(ReceiptStage::Decrypt, params.text());
    if (std::optional<ReceiptFailure> f = unlockContentKey(enveloped.get(), stores, frontend))
        return *f;
    const BioPtr chain(CMS_dataInit(enveloped.get(), BIO_new(BIO_s_null())));
    EVP_CIPHER_CTX* cipher = nullptr;
    if (!chain || BIO_method_type(chain.get()) != BIO_TYPE_CIPHER ||
        BIO_get_cipher_ctx(chain.get(), &cipher) != 1 || !cipher)
        return failure(ReceiptStage::Decrypt, notDecryptedText(), takeOpenSslError());

    // The content is hashed and handed on by a second thread while it is being decrypted.
    GrowingBuffer plain(kWindowSize, GrowingBuffer::Window{});
    StreamingContentDigest streamed(plain, sink);
    std::thread reader([&] { streamed.run(); });
    const std::optional<ReceiptFailure> f =
        decryptFile(fd, ber::FilePieces(fd, size, cipherFrame), cipher, plain);
    plain.finish();
    reader.join();
    if (f)
        return *f;
    if (streamed.sinkFailed())
        return failure(ReceiptStage::Verify, QStringLiteral("содержимое не записано"));
    if (!streamed.complete())
        return openInMemory(fd, size, stores, receivedAt, frontend);
    const CmsPtr signedShell = parseCms(streamed.detachedMessage());
    if (!signedShell)
        return failure(ReceiptStage::FindSigner, contentNotPkcs7Text());
    ReceiptContent content;
    content.streamed = true;
    if (std::optional<ReceiptFailure> v = verifySigner(
            signedShell.get(), stores, receivedAt, [&] { return streamed.digestChain(); }, content))
        return *v;
    return content;
}

// The failure as the callers see it: its reason, and the stage that failed as the code.
Result<ReceiptContent> opened(std::variant<ReceiptContent, ReceiptFailure> outcome) {
    if (const ReceiptFailure* f = std::get_if<ReceiptFailure>(&outcome)) {
        quint32 code = kReceiptNotVerified;
        if (f->keyNotOpened)
            code = kReceiptKeyNotOpened;
        else if (f->stage == ReceiptStage::Decrypt)
            code = kReceiptNotDecrypted;
        else if (f->stage == ReceiptStage::FindSigner)
            code = kReceiptSignerNotFound;
        return Error(f->reason, code);
    }
    return std::move(std::get<ReceiptContent>(outcome));
}

} // namespace

Result<ReceiptContent> OpenReceiptMessage(QByteArray message, const CertCollection& stores,
                                          const QDateTime& receivedAt, Frontend* frontend) {
    return opened(openMessage(std::move(message), stores, receivedAt, frontend));
}

Result<ReceiptContent> OpenSignedReceipt(const QByteArray& signedData, const CertCollection& stores,
                                         const QDateTime& receivedAt) {
    return opened(openSigned(signedData, stores, receivedAt));
}

Result<ReceiptContent> OpenReceiptFile(int fd, const CertCollection& stores,
                                       const QDateTime& receivedAt, Frontend* frontend,
                                       const ReceiptSink& sink) {
    return opened(openFile(fd, stores, receivedAt, frontend, sink));
}

} // namespace telva::crypto
