#include "crypto/cert_details.h"

#include "crypto/cert_format.h"
#include "crypto/gost_engine.h"
#include "crypto/key_algorithm.h"
#include "crypto/ossl.h"

#include <QCryptographicHash>

#include <openssl/objects.h>
#include <openssl/x509v3.h>

namespace telva::crypto {

namespace {

QString objectText(const ASN1_OBJECT* object) {
    char dotted[128];
    OBJ_obj2txt(dotted, sizeof dotted, object, 1);
    const int nid = OBJ_obj2nid(object);
    const char* longName = nid != NID_undef ? OBJ_nid2ln(nid) : nullptr;
    return longName ? QStringLiteral("%1 (%2)").arg(QString::fromLatin1(longName),
                                                    QString::fromLatin1(dotted))
                    : QString::fromLatin1(dotted);
}

QString keyUsageText(X509* cert) {
    static const std::pair<uint32_t, const char*> bits[] = {
        {KU_DIGITAL_SIGNATURE, "Цифровая подпись"}, {KU_NON_REPUDIATION, "Неотрекаемость"},
        {KU_KEY_ENCIPHERMENT, "Шифрование ключей"}, {KU_DATA_ENCIPHERMENT, "Шифрование данных"},
        {KU_KEY_AGREEMENT, "Согласование ключей"},  {KU_KEY_CERT_SIGN, "Подпись сертификатов"},
        {KU_CRL_SIGN, "Подпись списка отзыва"},
    };
    const uint32_t usage = X509_get_key_usage(cert);
    if (usage == UINT32_MAX)
        return QStringLiteral("не ограничено");
    QStringList names;
    for (const auto& [bit, name] : bits) {
        if (usage & bit)
            names.append(QString::fromUtf8(name));
    }
    return names.join(QStringLiteral(", "));
}

QString extendedUsageText(X509* cert) {
    auto* usages = static_cast<EXTENDED_KEY_USAGE*>(
        X509_get_ext_d2i(cert, NID_ext_key_usage, nullptr, nullptr));
    if (!usages)
        return QStringLiteral("нет");
    QStringList names;
    for (int i = 0; i < sk_ASN1_OBJECT_num(usages); ++i)
        names.append(objectText(sk_ASN1_OBJECT_value(usages, i)));
    EXTENDED_KEY_USAGE_free(usages);
    return names.join(QStringLiteral(", "));
}

QString fingerprint(const QByteArray& der, QCryptographicHash::Algorithm algorithm) {
    return QString::fromLatin1(QCryptographicHash::hash(der, algorithm).toHex(' ').toUpper());
}

} // namespace

QList<std::pair<QString, QString>> DescribeCertificate(const Certificate& cert) {
    QList<std::pair<QString, QString>> fields;
    if (cert.isNull())
        return fields;
    ensureGostEngine().ok();
    X509* x = x509Of(cert);
    const X509_ALGOR* signature = nullptr;
    X509_get0_signature(nullptr, &signature, x);
    const ASN1_OBJECT* signatureObject = nullptr;
    X509_ALGOR_get0(&signatureObject, nullptr, nullptr, signature);
    ASN1_OBJECT* keyObject = nullptr;
    X509_PUBKEY_get0_param(&keyObject, nullptr, nullptr, nullptr, X509_get_X509_PUBKEY(x));
    const QByteArray der = cert.der();

    fields.append({QStringLiteral("Версия"), QString::number(X509_get_version(x) + 1)});
    fields.append({QStringLiteral("Серийный номер"), cert.serialHex().value_or(QString())});
    fields.append(
        {QStringLiteral("Кому выдан"), cert.renderName(WhichName::Subject, NameStyle::X500)});
    fields.append(
        {QStringLiteral("Кем выдан"), cert.renderName(WhichName::Issuer, NameStyle::X500)});
    fields.append({QStringLiteral("Действителен с (UTC)"), validityText(cert.notBefore())});
    fields.append({QStringLiteral("Действителен по (UTC)"), validityText(cert.notAfter())});
    fields.append({QStringLiteral("Алгоритм подписи"), objectText(signatureObject)});
    fields.append({QStringLiteral("Открытый ключ"), objectText(keyObject)});
    if (const QString algorithm = KeyAlgorithmName(KeyAlgorithmOf(cert)); !algorithm.isEmpty())
        fields.append({QStringLiteral("Алгоритм ключа"), algorithm});
    fields.append({QStringLiteral("Использование ключа"), keyUsageText(x)});
    fields.append({QStringLiteral("Расширенное использование ключа"), extendedUsageText(x)});
    fields.append({QStringLiteral("Отпечаток SHA-1"), fingerprint(der, QCryptographicHash::Sha1)});
    fields.append(
        {QStringLiteral("Отпечаток SHA-256"), fingerprint(der, QCryptographicHash::Sha256)});
    return fields;
}

} // namespace telva::crypto
