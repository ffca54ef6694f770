#include "cms_ops.h"

#include "crypto/cipher_params.h"
#include "crypto/key_digest.h"

#include <mutex>

#include <openssl/err.h>
#include <openssl/objects.h>

namespace sim {

namespace {

// The GOST engine keeps some parameters process-wide; one message at a time.
std::mutex g_cmsMutex;

CmsPtr cmsFromDer(const std::string& der) {
    BioPtr in = memoryBio(der);
    return CmsPtr(d2i_CMS_bio(in.get(), nullptr));
}

std::string cmsToDer(CMS_ContentInfo* cms) {
    BioPtr out = emptyBio();
    if (i2d_CMS_bio(out.get(), cms) != 1)
        return {};
    return bioBytes(out.get());
}

} // namespace

bool openReport(const FundPki& pki, const std::string& upload, OpenedReport& report,
                std::string& error, std::string& detail) {
    std::lock_guard lock(g_cmsMutex);
    ERR_clear_error();
    CmsPtr envelope = cmsFromDer(upload);
    if (!envelope || OBJ_obj2nid(CMS_get0_type(envelope.get())) != NID_pkcs7_enveloped) {
        error = "Файл не является зашифрованным отчетом (ожидается сообщение CMS "
                "enveloped-data в кодировке DER).";
        detail = envelope ? "not an enveloped-data" : opensslError();
        return false;
    }
    if (const telva::Status params = telva::crypto::checkContentCipherParameters(envelope.get());
        !params) {
        error = "Не удалось расшифровать отчет: " + params.text().toStdString() + ".";
        detail = "damaged cipher parameters";
        return false;
    }
    BioPtr plain = emptyBio();
    if (!CMS_decrypt(envelope.get(), pki.apKey(), pki.apCert(), nullptr, plain.get(),
                     CMS_BINARY | CMS_DEBUG_DECRYPT)) {
        error = "Не удалось расшифровать отчет: он зашифрован не для сертификата "
                "уполномоченного лица КВБ.";
        detail = opensslError();
        return false;
    }
    CmsPtr signedData = cmsFromDer(bioBytes(plain.get()));
    if (!signedData || OBJ_obj2nid(CMS_get0_type(signedData.get())) != NID_pkcs7_signed) {
        error = "Отчет не подписан: внутри зашифрованного сообщения нет подписанных данных.";
        detail = signedData ? "content is not a signed-data" : opensslError();
        return false;
    }
    BioPtr content = emptyBio();
    if (!CMS_verify(signedData.get(), nullptr, nullptr, nullptr, content.get(),
                    CMS_BINARY | CMS_NO_SIGNER_CERT_VERIFY)) {
        error = "Подпись отчета неверна или в подписи нет сертификата отправителя.";
        detail = opensslError();
        return false;
    }
    STACK_OF(X509)* signers = CMS_get0_signers(signedData.get());
    X509* sender = signers && sk_X509_num(signers) > 0 ? sk_X509_value(signers, 0) : nullptr;
    if (sender)
        report.senderCertDer = certToDer(sender);
    sk_X509_free(signers);
    if (report.senderCertDer.empty()) {
        error = "В подписи отчета нет сертификата отправителя.";
        detail = "no signer certificate";
        return false;
    }
    report.content = bioBytes(content.get());
    return true;
}

std::string signAsFund(const FundPki& pki, const std::string& data, std::string& detail) {
    std::lock_guard lock(g_cmsMutex);
    ERR_clear_error();
    const unsigned flags = CMS_BINARY | CMS_PARTIAL | CMS_NOSMIMECAP;
    BioPtr in = memoryBio(data);
    CmsPtr cms(CMS_sign(nullptr, nullptr, nullptr, nullptr, flags));
    const EVP_MD* md = telva::crypto::DigestForKey(pki.apKey());
    if (!cms || !md || !CMS_add1_signer(cms.get(), pki.apCert(), pki.apKey(), md, flags) ||
        !CMS_final(cms.get(), in.get(), nullptr, flags)) {
        detail = opensslError();
        return {};
    }
    return cmsToDer(cms.get());
}

std::string encryptFor(const std::string& recipientCertDer, const std::string& data,
                       std::string& detail) {
    std::lock_guard lock(g_cmsMutex);
    ERR_clear_error();
    X509Ptr recipient = certFromDer(recipientCertDer);
    const EVP_CIPHER* cipher = EVP_get_cipherbyname("gost89");
    if (!recipient || !cipher) {
        detail = "no recipient certificate or no GOST 28147-89 cipher: " + opensslError();
        return {};
    }
    const unsigned flags = CMS_BINARY | CMS_PARTIAL;
    BioPtr in = memoryBio(data);
    CmsPtr cms(CMS_encrypt(nullptr, nullptr, cipher, flags));
    CMS_RecipientInfo* ri =
        cms ? CMS_add1_recipient_cert(cms.get(), recipient.get(), flags | CMS_KEY_PARAM) : nullptr;
    EVP_PKEY_CTX* pctx = ri ? CMS_RecipientInfo_get0_pkey_ctx(ri) : nullptr;
    // The GOST key transport must know the content cipher before the message is finished.
    if (!pctx ||
        EVP_PKEY_CTX_ctrl(pctx, -1, -1, EVP_PKEY_CTRL_CIPHER, EVP_CIPHER_get_nid(cipher),
                          nullptr) <= 0 ||
        !CMS_final(cms.get(), in.get(), nullptr, flags)) {
        detail = opensslError();
        return {};
    }
    return cmsToDer(cms.get());
}

} // namespace sim
