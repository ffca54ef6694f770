#include "operations/first_steps.h"

#include "crypto/cert_format.h"
#include "crypto/cert_identity.h"
#include "crypto/cert_import.h"
#include "crypto/cert_store.h"
#include "crypto/key_files.h"

namespace telva {

namespace {

std::optional<crypto::Certificate> chosen(const CertIdentity& identity) {
    if (identity.issuer.isEmpty() || identity.sernum.isEmpty())
        return std::nullopt;
    Result<crypto::CertStore> store = crypto::CertStore::open(identity.store);
    if (!store)
        return std::nullopt;
    return crypto::FindCertByIdentity(*store, identity.issuer, identity.sernum);
}

} // namespace

QList<SigningGap> SigningGaps(const Settings& settings) {
    QList<SigningGap> gaps;
    if (const std::optional<crypto::Certificate> personal = chosen(settings.priv); !personal)
        gaps.append(SigningGap::PersonalCertificate);
    else if (!crypto::HasPrivateKey(*personal))
        gaps.append(SigningGap::PersonalKey);
    if (!chosen(settings.pub))
        gaps.append(SigningGap::FundCertificate);
    return gaps;
}

QString signingGapText(SigningGap gap) {
    switch (gap) {
    case SigningGap::PersonalCertificate:
        return QStringLiteral("Личный сертификат не выбран. Импортируйте свой сертификат с "
                              "закрытым ключом (файл PKCS#12 или сертификат и ключ) или выберите "
                              "его кнопкой «…» справа от поля.");
    case SigningGap::PersonalKey:
        return QStringLiteral("У выбранного личного сертификата нет закрытого ключа, подписать им "
                              "нельзя. Импортируйте сертификат вместе с ключом.");
    case SigningGap::FundCertificate:
        return QStringLiteral("Сертификат уполномоченного лица КВБ не установлен. Установите "
                              "сертификаты КВБ с сайта фонда.");
    }
    return {};
}

std::optional<QString> chosenPersonalText(const Settings& settings) {
    const std::optional<crypto::Certificate> personal = chosen(settings.priv);
    if (!personal)
        return std::nullopt;
    return crypto::chosenCertText(*personal);
}

Result<QString> ImportPersonalCertificate(AppContext& ctx, const QString& certificatePath,
                                          const QString& keyPath) {
    const int my = crypto::toIndex(crypto::Store::My);
    const Result<crypto::Certificate> cert =
        crypto::ImportCertificateFiles(my, certificatePath, keyPath, &ctx.frontend);
    if (!cert)
        return Result<QString>(cert.error());
    // Without its key the certificate cannot sign: it stays in the store, unchosen.
    if (!crypto::HasPrivateKey(*cert))
        return Result<QString>::fail(
            QStringLiteral("Сертификат «%1» импортирован, но без закрытого ключа; личным он "
                           "быть не может. Импортируйте его вместе с ключом.")
                .arg(crypto::ownerName(*cert)));
    ctx.settings.priv = crypto::identityFromRow(my, crypto::certRow(*cert));
    return QStringLiteral("Личный сертификат выбран: %1.").arg(crypto::chosenCertText(*cert));
}

} // namespace telva
