#include "crypto/cms_message.h"

#include "app/texts.h"
#include "crypto/cipher_params.h"
#include "crypto/gost_engine.h"

#include <openssl/err.h>

namespace telva::crypto {

namespace {

CmsPtr parse(const QByteArray& message) {
    BioPtr in = memBio(message);
    CmsPtr cms(d2i_CMS_bio(in.get(), nullptr));
    takeOpenSslError();
    return cms;
}

QString notCmsText() {
    return QStringLiteral("Файл не является сообщением CMS.");
}

} // namespace

Result<QByteArray> DecryptMessage(const QByteArray& message, const Certificate& recipient,
                                  EVP_PKEY* key) {
    using R = Result<QByteArray>;
    if (Status engine = ensureGostEngine(); !engine)
        return R(engine.error());
    if (!key)
        return R::fail(noPrivateKeyText());
    CmsPtr cms = parse(message);
    if (!cms)
        return R::fail(notCmsText());
    if (OBJ_obj2nid(CMS_get0_type(cms.get())) != NID_pkcs7_enveloped)
        return R::fail(QStringLiteral("Сообщение не зашифровано."));
    int transport = 0;
    int agreement = 0;
    bool named = recipient.isNull();
    STACK_OF(CMS_RecipientInfo)* infos = CMS_get0_RecipientInfos(cms.get());
    for (int i = 0; i < sk_CMS_RecipientInfo_num(infos); ++i) {
        const int type = CMS_RecipientInfo_type(sk_CMS_RecipientInfo_value(infos, i));
        if (type != CMS_RECIPINFO_TRANS) {
            if (type == CMS_RECIPINFO_AGREE)
                ++agreement;
            continue;
        }
        ++transport;
        if (!named && CMS_RecipientInfo_ktri_cert_cmp(sk_CMS_RecipientInfo_value(infos, i),
                                                      x509Of(recipient)) == 0)
            named = true;
    }
    if (transport == 0 && agreement > 0)
        return R::fail(QStringLiteral("Сообщение зашифровано с согласованием ключей (key "
                                      "agreement); поддерживается только передача ключа."));
    if (!named)
        return R::fail(QStringLiteral("Сертификат не входит в число получателей сообщения."));
    if (Status params = checkContentCipherParameters(cms.get()); !params)
        return R::fail(QStringLiteral("Не удалось расшифровать сообщение: %1.").arg(params.text()));
    BioPtr out(BIO_new(BIO_s_mem()));
    // Without the debug flag a wrong key gives random bytes instead of an error.
    if (CMS_decrypt(cms.get(), key, recipient.isNull() ? nullptr : x509Of(recipient), nullptr,
                    out.get(), CMS_BINARY | CMS_DEBUG_DECRYPT) != 1) {
        return R::fail(
            QStringLiteral("Не удалось расшифровать сообщение (%1).").arg(takeOpenSslError()));
    }
    return bioBytes(out.get());
}

Result<QByteArray> VerifyAttachedSignature(const QByteArray& message, const Certificate& signer) {
    using R = Result<QByteArray>;
    if (Status engine = ensureGostEngine(); !engine)
        return R(engine.error());
    CmsPtr cms = parse(message);
    if (!cms)
        return R::fail(notCmsText());
    if (OBJ_obj2nid(CMS_get0_type(cms.get())) != NID_pkcs7_signed)
        return R::fail(QStringLiteral("Сообщение не подписано."));
    if (sk_CMS_SignerInfo_num(CMS_get0_SignerInfos(cms.get())) < 1)
        return R::fail(QStringLiteral("В сообщении нет сведений о подписавшем."));
    std::unique_ptr<STACK_OF(X509), void (*)(STACK_OF(X509)*)> certs(
        sk_X509_new_null(), [](STACK_OF(X509) * s) { sk_X509_free(s); });
    sk_X509_push(certs.get(), x509Of(signer));
    BioPtr out(BIO_new(BIO_s_mem()));
    const unsigned flags = CMS_BINARY | CMS_NOVERIFY | CMS_NOINTERN | CMS_NO_SIGNER_CERT_VERIFY;
    if (CMS_verify(cms.get(), certs.get(), nullptr, nullptr, out.get(), flags) != 1) {
        const unsigned long code = ERR_peek_last_error();
        const QString reason = takeOpenSslError();
        if (ERR_GET_LIB(code) == ERR_LIB_CMS &&
            ERR_GET_REASON(code) == CMS_R_SIGNER_CERTIFICATE_NOT_FOUND)
            return R::fail(QStringLiteral("Сертификат подписавшего не соответствует подписи."));
        return R::fail(QStringLiteral("Подпись неверна (%1).").arg(reason));
    }
    return bioBytes(out.get());
}

} // namespace telva::crypto
