#include "crypto/cipher_params.h"

#include "crypto/der.h"
#include "crypto/oids.h"

#include <openssl/asn1.h>

namespace telva::crypto {

namespace {

// The only content length of the engine's initialisation vector.
constexpr qsizetype kGost89IvLength = 8;

// The frames of a constructed frame's content, or nothing.
std::optional<QList<der::Tlv>> inner(const QByteArray& bytes, const std::optional<der::Tlv>& tlv,
                                     quint8 tag) {
    if (!tlv || tlv->tag != tag)
        return std::nullopt;
    return der::children(bytes, *tlv);
}

bool wellFormedOid(const QByteArray& bytes, const der::Tlv& tlv) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData()) + tlv.offset;
    ASN1_OBJECT* oid = d2i_ASN1_OBJECT(nullptr, &p, long(tlv.size()));
    ASN1_OBJECT_free(oid);
    return oid != nullptr;
}

// SEQUENCE { iv OCTET STRING (8 bytes), encryptionParamSet OBJECT IDENTIFIER }, nothing more.
bool validGost89Parameters(const QByteArray& bytes, const QList<der::Tlv>& algorithm) {
    if (algorithm.size() != 2)
        return false;
    const std::optional<QList<der::Tlv>> params = inner(bytes, algorithm[1], der::kSequence);
    return params && params->size() == 2 && params->at(0).tag == der::kOctetString &&
           params->at(0).length == kGost89IvLength && params->at(1).tag == der::kOid &&
           wellFormedOid(bytes, params->at(1));
}

// The content-encryption algorithm's frames (OID, parameters) of a DER enveloped-data
// content info.
std::optional<QList<der::Tlv>> contentCipher(const QByteArray& bytes) {
    const std::optional<QList<der::Tlv>> info = inner(bytes, der::readWhole(bytes), der::kSequence);
    if (!info || info->size() != 2)
        return std::nullopt;
    const std::optional<QList<der::Tlv>> wrapped = inner(bytes, info->at(1), der::kContext0);
    if (!wrapped || wrapped->size() != 1)
        return std::nullopt;
    const std::optional<QList<der::Tlv>> enveloped = inner(bytes, wrapped->at(0), der::kSequence);
    if (!enveloped)
        return std::nullopt;
    // version, [0] originator info (optional), recipient infos, encrypted content info
    qsizetype at = 1;
    if (at < enveloped->size() && enveloped->at(at).tag == der::kContext0)
        ++at;
    if (at + 1 >= enveloped->size() || enveloped->at(at).tag != der::kSet)
        return std::nullopt;
    const std::optional<QList<der::Tlv>> content =
        inner(bytes, enveloped->at(at + 1), der::kSequence);
    if (!content || content->size() < 2)
        return std::nullopt;
    return inner(bytes, content->at(1), der::kSequence);
}

QString damagedText() {
    return QStringLiteral("параметры шифра ГОСТ 28147-89 в сообщении повреждены");
}

} // namespace

Status checkContentCipherParameters(CMS_ContentInfo* cms) {
    if (OBJ_obj2nid(CMS_get0_type(cms)) != NID_pkcs7_enveloped)
        return {};
    unsigned char* out = nullptr;
    const int n = i2d_CMS_ContentInfo(cms, &out);
    if (n <= 0)
        return Status::fail(damagedText());
    const QByteArray bytes(reinterpret_cast<const char*>(out), n);
    OPENSSL_free(out);
    const std::optional<QList<der::Tlv>> algorithm = contentCipher(bytes);
    if (!algorithm || algorithm->isEmpty() || algorithm->at(0).tag != der::kOid)
        return Status::fail(damagedText());
    const der::Tlv& oid = algorithm->at(0);
    if (bytes.mid(oid.contentOffset(), oid.length) != oid::kGost89)
        return {};
    if (!validGost89Parameters(bytes, *algorithm))
        return Status::fail(damagedText());
    return {};
}

} // namespace telva::crypto
