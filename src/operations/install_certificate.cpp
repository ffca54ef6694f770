#include "operations/install_certificate.h"

#include "app/context.h"
#include "crypto/cert_identity.h"
#include "crypto/cert_store.h"
#include "crypto/certificate.h"
#include "gateway/http_client.h"

namespace telva::crypto {

namespace {

constexpr int kRootStore = 1;
constexpr int kAddressBookStore = 7;

} // namespace

bool InstallCertificate(AppContext& ctx, HttpClient& client, const QString& url, int storeIndex,
                        bool takeAsFund) {
    if (client.DownloadToBuffer(url) == 0) {
        ctx.showStatus(QString::fromUtf8(kCertDownloadFailedText));
        return false;
    }
    // Only raw DER is taken, as the fund publishes it.
    const Result<Certificate> cert = Certificate::fromDer(ctx.downloadBuffer);
    if (!cert) {
        ctx.showStatus(QString::fromUtf8(kCertOpenFailedText));
        return false;
    }
    Result<CertStore> store = CertStore::open(storeIndex);
    if (!store) {
        ctx.showStatus(QString::fromUtf8(kStoreOpenFailedText));
        return false;
    }
    const Status added = store->add(*cert);
    if (!added && added.error().code != kCryptEExists) {
        ctx.showStatus(QString::fromUtf8(kCertAddFailedText));
        return false;
    }
    if (takeAsFund) {
        // A fresh identity, so that nothing of a previous fund certificate stays behind.
        CertIdentity identity;
        IdentityFromCert(*cert, identity);
        identity.store = kAddressBookStore;
        ctx.settings.pub = identity;
    }
    return true;
}

bool LoadFundCertificates(AppContext& ctx, HttpClient& client) {
    if (!InstallCertificate(ctx, client, ctx.settings.kvbRootCertUrl, kRootStore, false))
        return false;
    if (!InstallCertificate(ctx, client, ctx.settings.apCertUrl, kAddressBookStore, true))
        return false;
    ctx.showStatus(QString::fromUtf8(kCertsInstalledText));
    return true;
}

} // namespace telva::crypto
