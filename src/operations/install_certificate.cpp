#include "operations/install_certificate.h"

#include "app/context.h"
#include "app/event_log.h"
#include "app/frontend.h"
#include "app/texts.h"
#include "crypto/cert_details.h"
#include "crypto/cert_format.h"
#include "crypto/cert_identity.h"
#include "crypto/cert_store.h"
#include "crypto/certificate.h"
#include "crypto/fund_trust.h"
#include "gateway/http_client.h"

namespace telva::crypto {

namespace {

QString describedField(const QList<std::pair<QString, QString>>& fields, const QString& name) {
    for (const auto& [field, value] : fields) {
        if (field == name)
            return value;
    }
    return {};
}

// The root comes over plain HTTP and makes every certificate it issued trusted: the person
// compares its fingerprint with the one the fund publishes before it goes in the first time.
bool rootAccepted(AppContext& ctx, const Certificate& root) {
    const QList<std::pair<QString, QString>> fields = DescribeCertificate(root);
    return ctx.frontend.askYesNoDefaultNo(
        QString::fromUtf8(kRootQuestionText)
            .arg(describedField(fields, QStringLiteral("Кому выдан")),
                 describedField(fields, QStringLiteral("Отпечаток SHA-256"))),
        QStringLiteral("Установка сертификатов КВБ"), Frontend::Icon::Warning);
}

// Every report is encrypted for the fund's certificate: whatever the connection, it must be
// one the confirmed root issued, usable now for encryption.
Status checkIssuedByRoot(AppContext& ctx, const Certificate& cert, const Certificate& root) {
    const Result<CertStore> intermediates = CertStore::open(toIndex(Store::CA));
    const QDateTime now = ctx.clock.now().toUTC();
    const FundTrust trust = CheckFundCertificate(
        cert, {root}, intermediates ? intermediates->certificates() : QList<Certificate>(), now,
        FundKeyUse::KeyExchange,
        QStringLiteral("текущее время ") + validityText(now) + QStringLiteral(" (UTC)"));
    if (trust.trusted())
        return {};
    return Status::fail(QString::fromUtf8(kFundCertRefusedText).arg(ownerName(cert), trust.why));
}

} // namespace

Result<Certificate> InstallCertificate(AppContext& ctx, HttpClient& client, const QString& url,
                                       int storeIndex, const Certificate* fundRoot) {
    const Result<Downloaded> got = client.Download(url);
    if (!got || got->bytes.isEmpty()) {
        // A server whose certificate failed is named with the reason: a forged site must not
        // pass for a network fault.
        if (got.kind() == ErrorKind::Tls)
            return got.error();
        // Why the download failed goes to the journal; the person sees the install's text.
        logEvent(got ? QString::fromUtf8(kDownloadFailedText) : got.text());
        Error failed{QString::fromUtf8(kCertDownloadFailedText)};
        if (!got)
            failed.cause = got.error().cause.isEmpty() ? got.text() : got.error().cause;
        return failed;
    }
    const bool overTls = got->overTls;
    // Only raw DER is taken, as the fund publishes it.
    const Result<Certificate> cert = Certificate::fromDer(got->bytes);
    if (!cert) {
        return Result<Certificate>::fail(certOpenFailedText());
    }
    if (fundRoot) {
        if (const Status issued = checkIssuedByRoot(ctx, *cert, *fundRoot); !issued)
            return issued.error();
    }
    Result<CertStore> store = CertStore::open(storeIndex);
    if (!store) {
        return Result<Certificate>::fail(storeOpenFailedText());
    }
    // Over https the server proved, with a certificate the system or the person already trusts,
    // that it is the fund's site: it vouches for the root as the fingerprint it publishes would.
    if (storeIndex == toIndex(Store::Root) && !store->contains(*cert) && !overTls &&
        !rootAccepted(ctx, *cert))
        return Result<Certificate>::fail(QString::fromUtf8(kRootDeclinedText));
    const Status added = store->add(*cert);
    if (!added && added.error().code != kCryptEExists) {
        return Result<Certificate>::fail(certAddFailedText());
    }
    if (fundRoot) {
        // A fresh identity, so that nothing of a previous fund certificate stays behind.
        CertIdentity identity;
        IdentityFromCert(*cert, identity);
        identity.store = toIndex(Store::AddressBook);
        ctx.settings.pub = identity;
    }
    return *cert;
}

Result<QString> LoadFundCertificates(AppContext& ctx, HttpClient& client) {
    const Result<Certificate> root =
        InstallCertificate(ctx, client, ctx.settings.kvbRootCertUrl, toIndex(Store::Root));
    if (!root)
        return root.error();
    const Result<Certificate> fund = InstallCertificate(ctx, client, ctx.settings.apCertUrl,
                                                        toIndex(Store::AddressBook), &*root);
    if (!fund)
        return fund.error();
    const QList<std::pair<QString, QString>> fields = DescribeCertificate(*fund);
    return QString::fromUtf8(kCertsInstalledText) + QLatin1Char(' ') +
           QString::fromUtf8(kFundCertDetailsText)
               .arg(describedField(fields, QStringLiteral("Кому выдан")),
                    describedField(fields, QStringLiteral("Действителен с (UTC)")),
                    describedField(fields, QStringLiteral("Действителен по (UTC)")),
                    describedField(fields, QStringLiteral("Отпечаток SHA-256")));
}

} // namespace telva::crypto
