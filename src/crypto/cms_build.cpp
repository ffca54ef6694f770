#include "crypto/cms_build.h"

#include "app/texts.h"
#include "crypto/der.h"
#include "crypto/gost_engine.h"
#include "crypto/key_digest.h"
#include "crypto/oids.h"

#include <cstdlib>

#include <openssl/engine.h>
#include <openssl/err.h>

namespace telva::crypto {

namespace {

constexpr qsizetype kChunk = 1 << 20;

quint64 tlvSize(quint64 contentLength) {
    return quint64(der::header(0, contentLength).size()) + contentLength;
}

QByteArray toDer(CMS_ContentInfo* cms) {
    unsigned char* out = nullptr;
    const int n = i2d_CMS_ContentInfo(cms, &out);
    if (n <= 0)
        return {};
    QByteArray bytes(reinterpret_cast<char*>(out), n);
    OPENSSL_free(out);
    return bytes;
}

QByteArray slice(const QByteArray& bytes, const der::Tlv& tlv) {
    return bytes.mid(tlv.offset, tlv.size());
}

// The frames of ContentInfo { type, [0] { SEQUENCE inner } }: the inner sequence's
// children, after checking the type.
std::optional<QList<der::Tlv>> innerChildren(const QByteArray& bytes, const QByteArray& typeOid) {
    const auto top = der::readWhole(bytes);
    if (!top || top->tag != der::kSequence)
        return std::nullopt;
    const auto parts = der::children(bytes, *top);
    if (!parts || parts->size() != 2 || parts->at(0).tag != der::kOid ||
        bytes.mid(parts->at(0).contentOffset(), parts->at(0).length) != typeOid ||
        parts->at(1).tag != der::kContext0)
        return std::nullopt;
    const auto explicitPart = der::children(bytes, parts->at(1));
    if (!explicitPart || explicitPart->size() != 1 || explicitPart->first().tag != der::kSequence)
        return std::nullopt;
    return der::children(bytes, explicitPart->first());
}

// ContentInfo header for an inner sequence whose content is innerLength bytes.
QByteArray contentInfoHeader(const QByteArray& typeOid, quint64 innerLength) {
    const QByteArray oid = der::frame(der::kOid, typeOid);
    const quint64 innerSize = tlvSize(innerLength);
    const quint64 explicitSize = tlvSize(innerSize);
    return der::header(der::kSequence, quint64(oid.size()) + explicitSize) + oid +
           der::header(der::kContext0, innerSize) + der::header(der::kSequence, innerLength);
}

QString signFailedText() {
    return QStringLiteral("Не удалось подписать");
}
QString signedBuildFailedText() {
    return QStringLiteral("Не удалось построить подписанное сообщение.");
}
QString encryptFailedText() {
    return QStringLiteral("Не удалось зашифровать для сертификата получателя");
}
QString envelopeBuildFailedText() {
    return QStringLiteral("Не удалось построить зашифрованное сообщение.");
}

QString failure(const QString& what) {
    const QString reason = takeOpenSslError();
    return reason.isEmpty() ? what : what + QStringLiteral(": ") + reason;
}

// Content encryption always with CryptoPro-A, whatever the environment says.
void pinCryptoProA() {
    unsetenv("CRYPT_PARAMS");
    if (ENGINE* e = gostEngine())
        ENGINE_ctrl_cmd_string(e, "CRYPT_PARAMS", "id-Gost28147-89-CryptoPro-A-ParamSet", 0);
}

// The signed-data without its content, cut into what goes before the content (with the
// headers sized for contentSize bytes) and what goes after it.
bool splitAroundContent(CMS_ContentInfo* cms, quint64 contentSize, QByteArray& prefix,
                        QByteArray& suffix) {
    const QByteArray detached = toDer(cms);
    const auto sd = innerChildren(detached, oid::kSignedData);
    if (!sd || sd->size() < 4 || sd->at(2).tag != der::kSequence)
        return false;
    const auto encap = der::children(detached, sd->at(2));
    if (!encap || encap->size() != 1 || encap->first().tag != der::kOid)
        return false;
    const QByteArray encapOid = slice(detached, encap->first());
    const quint64 octets = tlvSize(contentSize);
    const quint64 encapLength = quint64(encapOid.size()) + tlvSize(octets);
    suffix.clear();
    for (qsizetype i = 3; i < sd->size(); ++i)
        suffix += slice(detached, sd->at(i));
    const QByteArray head = slice(detached, sd->at(0)) + slice(detached, sd->at(1));
    const quint64 innerLength =
        quint64(head.size()) + tlvSize(encapLength) + quint64(suffix.size());
    prefix = contentInfoHeader(oid::kSignedData, innerLength) + head +
             der::header(der::kSequence, encapLength) + encapOid +
             der::header(der::kContext0, octets) + der::header(der::kOctetString, contentSize);
    return true;
}

QString noDigestText() {
    return QStringLiteral("Нет алгоритма хэширования для ключа подписи (нужен ГОСТ Р 34.11-94 или "
                          "ГОСТ Р 34.11-2012)");
}

PKeyCtxPtr signingContext(EVP_PKEY* key, const EVP_MD* md) {
    PKeyCtxPtr ctx(EVP_PKEY_CTX_new(key, nullptr));
    if (!ctx || EVP_PKEY_sign_init(ctx.get()) <= 0 ||
        EVP_PKEY_CTX_set_signature_md(ctx.get(), md) <= 0)
        return {};
    return ctx;
}

} // namespace

Result<SignedDataWriter> SignedDataWriter::begin(const Certificate& signer, EVP_PKEY* key,
                                                 quint64 contentSize) {
    using R = Result<SignedDataWriter>;
    if (Status engine = ensureGostEngine(); !engine)
        return R(engine.error());
    if (signer.isNull() || !key)
        return R::fail(noPrivateKeyText());
    if (X509_check_private_key(x509Of(signer), key) != 1) {
        takeOpenSslError();
        return R::fail(keyMismatchText());
    }
    const EVP_MD* md = DigestForKey(key);
    if (!md)
        return R::fail(failure(noDigestText()));
    SignedDataWriter writer;
    const unsigned flags = CMS_BINARY | CMS_PARTIAL | CMS_DETACHED | CMS_NOSMIMECAP;
    writer.cms_.reset(CMS_sign(nullptr, nullptr, nullptr, nullptr, flags));
    writer.signer_ = writer.cms_ ? CMS_add1_signer(writer.cms_.get(), x509Of(signer), key, md,
                                                   CMS_BINARY | CMS_NOATTR | CMS_NOSMIMECAP)
                                 : nullptr;
    writer.digest_.reset(EVP_MD_CTX_new());
    if (!writer.signer_ || !writer.digest_ ||
        EVP_DigestInit_ex(writer.digest_.get(), md, nullptr) <= 0)
        return R::fail(failure(signFailedText()));
    EVP_PKEY_up_ref(key);
    writer.key_.reset(key);

    // The signature's size, asked of the key itself; a placeholder of that size fixes the
    // suffix's length until the real signature takes its place.
    const PKeyCtxPtr sign = signingContext(key, md);
    const unsigned char probe[EVP_MAX_MD_SIZE] = {};
    size_t signatureSize = 0;
    if (!sign ||
        EVP_PKEY_sign(sign.get(), nullptr, &signatureSize, probe, size_t(EVP_MD_get_size(md))) <=
            0 ||
        signatureSize == 0)
        return R::fail(failure(signFailedText()));
    const QByteArray placeholder(qsizetype(signatureSize), '\0');
    QByteArray suffix;
    if (ASN1_STRING_set(CMS_SignerInfo_get0_signature(writer.signer_), placeholder.constData(),
                        int(placeholder.size())) != 1 ||
        !splitAroundContent(writer.cms_.get(), contentSize, writer.prefix_, suffix))
        return R::fail(signedBuildFailedText());
    writer.suffixSize_ = suffix.size();
    return writer;
}

bool SignedDataWriter::update(const char* data, qsizetype size) {
    return EVP_DigestUpdate(digest_.get(), data, size_t(size)) > 0;
}

Result<QByteArray> SignedDataWriter::finish() {
    using R = Result<QByteArray>;
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned mdSize = 0;
    if (EVP_DigestFinal_ex(digest_.get(), md, &mdSize) <= 0)
        return R::fail(failure(signFailedText()));
    const PKeyCtxPtr sign = signingContext(key_.get(), EVP_MD_CTX_get0_md(digest_.get()));
    size_t size = 0;
    if (!sign || EVP_PKEY_sign(sign.get(), nullptr, &size, md, mdSize) <= 0)
        return R::fail(failure(signFailedText()));
    QByteArray signature(qsizetype(size), Qt::Uninitialized);
    if (EVP_PKEY_sign(sign.get(), reinterpret_cast<unsigned char*>(signature.data()), &size, md,
                      mdSize) <= 0)
        return R::fail(failure(signFailedText()));
    signature.truncate(qsizetype(size));
    QByteArray prefix;
    QByteArray suffix;
    if (ASN1_STRING_set(CMS_SignerInfo_get0_signature(signer_), signature.constData(),
                        int(signature.size())) != 1 ||
        !splitAroundContent(cms_.get(), 0, prefix, suffix) || suffix.size() != suffixSize_)
        return R::fail(signedBuildFailedText());
    return suffix;
}

EnvelopeWriter::~EnvelopeWriter() {
    BIO_free_all(chain_);
}

EnvelopeWriter::EnvelopeWriter(EnvelopeWriter&& other) noexcept
    : cms_(std::move(other.cms_)), chain_(other.chain_), cipher_(other.cipher_),
      header_(std::move(other.header_)), expected_(other.expected_), done_(other.done_) {
    other.chain_ = nullptr;
    other.cipher_ = nullptr;
}

Result<EnvelopeWriter> EnvelopeWriter::begin(const Certificate& recipient, quint64 plaintextSize) {
    using R = Result<EnvelopeWriter>;
    if (Status engine = ensureGostEngine(); !engine)
        return R(engine.error());
    pinCryptoProA();
    const EVP_CIPHER* cipher = EVP_get_cipherbyname("gost89");
    if (!cipher)
        return R::fail(failure(QStringLiteral("Нет алгоритма ГОСТ 28147-89")));
    EnvelopeWriter writer;
    writer.expected_ = plaintextSize;
    writer.cms_.reset(
        CMS_encrypt(nullptr, nullptr, cipher, CMS_BINARY | CMS_PARTIAL | CMS_DETACHED));
    CMS_RecipientInfo* ri =
        writer.cms_ ? CMS_add1_recipient_cert(writer.cms_.get(), x509Of(recipient), CMS_KEY_PARAM)
                    : nullptr;
    EVP_PKEY_CTX* keyCtx = ri ? CMS_RecipientInfo_get0_pkey_ctx(ri) : nullptr;
    if (!keyCtx || EVP_PKEY_CTX_ctrl(keyCtx, -1, -1, EVP_PKEY_CTRL_CIPHER,
                                     EVP_CIPHER_get_nid(cipher), nullptr) <= 0)
        return R::fail(failure(encryptFailedText()));
    writer.chain_ = CMS_dataInit(writer.cms_.get(), BIO_new(BIO_s_null()));
    if (!writer.chain_ || BIO_get_cipher_ctx(writer.chain_, &writer.cipher_) != 1 ||
        !writer.cipher_)
        return R::fail(failure(encryptFailedText()));

    const QByteArray shell = toDer(writer.cms_.get());
    const auto env = innerChildren(shell, oid::kEnvelopedData);
    qsizetype eciAt = -1;
    for (qsizetype i = 0; env && i < env->size(); ++i) {
        if (env->at(i).tag == der::kSequence)
            eciAt = i;
    }
    const auto eci = eciAt >= 0 ? der::children(shell, env->at(eciAt)) : std::nullopt;
    if (!eci || eci->size() < 2)
        return R::fail(envelopeBuildFailedText());
    QByteArray before;
    for (qsizetype i = 0; i < eciAt; ++i)
        before += slice(shell, env->at(i));
    if (eciAt + 1 != env->size())
        return R::fail(envelopeBuildFailedText());
    const QByteArray eciHead = slice(shell, eci->at(0)) + slice(shell, eci->at(1));
    const quint64 eciLength = quint64(eciHead.size()) + tlvSize(plaintextSize);
    const quint64 envLength = quint64(before.size()) + tlvSize(eciLength);
    writer.header_ = contentInfoHeader(oid::kEnvelopedData, envLength) + before +
                     der::header(der::kSequence, eciLength) + eciHead +
                     der::header(der::kContext0Primitive, plaintextSize);
    return writer;
}

bool EnvelopeWriter::encrypt(const char* in, qsizetype size, char* out) {
    for (qsizetype at = 0; at < size; at += kChunk) {
        const int n = static_cast<int>(qMin(kChunk, size - at));
        int written = 0;
        if (EVP_CipherUpdate(cipher_, reinterpret_cast<unsigned char*>(out + at), &written,
                             reinterpret_cast<const unsigned char*>(in + at), n) != 1 ||
            written != n)
            return false;
    }
    done_ += quint64(size);
    return true;
}

bool EnvelopeWriter::finish() {
    unsigned char tail[64];
    int written = 0;
    return EVP_CipherFinal_ex(cipher_, tail, &written) == 1 && written == 0 && done_ == expected_;
}

} // namespace telva::crypto
