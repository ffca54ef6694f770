#include "operations/install_certificate.h"

#include "app/context.h"
#include "app/event_log.h"
#include "app/frontend.h"
#include "app/texts.h"
#include "crypto/cert_details.h"
#include "crypto/cert_identity.h"
#include "crypto/cert_store.h"
#include "crypto/certificate.h"
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

} // namespace

Status InstallCertificate(AppContext& ctx, HttpClient& client, const QString& url, int storeIndex,
                          bool takeAsFund) {
    const Result<QByteArray> bytes = client.Download(url);
    const bool overTls = client.lastOverTls();
    if (!bytes || bytes->isEmpty()) {
        // A server whose certificate failed is named with the reason: a forged site must not
        // pass for a network fault.
        if (client.lastTlsFailure())
            return Status::fail(bytes.text());
        // Why the download failed goes to the journal; the person sees the install's text.
        logEvent(bytes ? QString::fromUtf8(kDownloadFailedText) : bytes.text());
        return Status::fail(QString::fromUtf8(kCertDownloadFailedText));
    }
    // Only raw DER is taken, as the fund publishes it.
    const Result<Certificate> cert = Certificate::fromDer(*bytes);
    if (!cert) {
        return Status::fail(certOpenFailedText());
    }
    Result<CertStore> store = CertStore::open(storeIndex);
    if (!store) {
        return Status::fail(storeOpenFailedText());
    }
    // Over https the server proved, with a certificate the system or the person already trusts,
    // that it is the fund's site: it vouches for the root as the fingerprint it publishes would.
    if (storeIndex == toIndex(Store::Root) && !store->contains(*cert) && !overTls &&
        !rootAccepted(ctx, *cert))
        return Status::fail(QString::fromUtf8(kRootDeclinedText));
    const Status added = store->add(*cert);
    if (!added && added.error().code != kCryptEExists) {
        return Status::fail(certAddFailedText());
    }
    if (takeAsFund) {
        // A fresh identity, so that nothing of a previous fund certificate stays behind.
        CertIdentity identity;
        IdentityFromCert(*cert, identity);
        identity.store = toIndex(Store::AddressBook);
        ctx.settings.pub = identity;
    }
    return {};
}

Result<QString> LoadFundCertificates(AppContext& ctx, HttpClient& client) {
    if (Status root = InstallCertificate(ctx, client, ctx.settings.kvbRootCertUrl,
                                         toIndex(Store::Root), false);
        !root)
        return root.error();
    if (Status fund = InstallCertificate(ctx, client, ctx.settings.apCertUrl,
                                         toIndex(Store::AddressBook), true);
        !fund)
        return fund.error();
    return QString::fromUtf8(kCertsInstalledText);
}

} // namespace telva::crypto
