#include "crypto/cert_store.h"

#include "app/context.h"
#include "app/paths.h"
#include "app/safe_file.h"
#include "app/texts.h"

#include <QDir>
#include <QFile>

namespace telva::crypto {

namespace {

QByteArray readAll(const QString& path) {
    Result<QByteArray> bytes = readRegularFile(path, kSmallFileLimit);
    return bytes ? *bytes : QByteArray();
}

} // namespace

QString storeName(int index) {
    if (index < 0 || index >= kStoreCount)
        return {};
    return QString::fromLatin1(kStores[index].name);
}

QString certStoreRoot() {
    const QString base = dataHome();
    return base.isEmpty() ? QString() : base + QStringLiteral("/KVB/certstore");
}

Result<CertStore> CertStore::open(int index) {
    const QString root = certStoreRoot();
    if (index < 0 || index >= kStoreCount || root.isEmpty() ||
        !makePrivateFolder(root + QLatin1Char('/') + storeName(index)))
        return Result<CertStore>::fail(storeOpenFailedText());
    return CertStore(index);
}

QString CertStore::folder() const {
    return certStoreRoot() + QLatin1Char('/') + name();
}

QStringList CertStore::entryFiles() const {
    return QDir(folder()).entryList({QStringLiteral("*.der")}, QDir::Files, QDir::Name);
}

QList<Certificate> CertStore::certificates() const {
    QList<Certificate> list;
    const QString base = folder() + QLatin1Char('/');
    for (const QString& file : entryFiles()) {
        Result<Certificate> cert = Certificate::fromDer(readAll(base + file));
        if (cert)
            list.append(*cert);
    }
    return list;
}

bool CertStore::contains(const Certificate& cert) const {
    const QString suffix = QLatin1Char('-') + cert.sha1Hex() + QStringLiteral(".der");
    const QString base = folder() + QLatin1Char('/');
    for (const QString& file : entryFiles()) {
        if (file.endsWith(suffix) && readAll(base + file) == cert.der())
            return true;
    }
    return false;
}

Status CertStore::add(const Certificate& cert) {
    const QString failure = certAddFailedText();
    if (cert.isNull())
        return Status::fail(failure);
    if (contains(cert))
        return Status::fail(QStringLiteral("Сертификат уже есть в хранилище."), kCryptEExists);
    int last = 0;
    for (const QString& file : entryFiles())
        last = qMax(last, file.section(QLatin1Char('-'), 0, 0).toInt());
    const QString path =
        folder() + QLatin1Char('/') +
        QStringLiteral("%1-%2.der").arg(last + 1, 8, 10, QLatin1Char('0')).arg(cert.sha1Hex());
    if (!writeFileReplacing(path, cert.der()))
        return Status::fail(failure);
    return {};
}

bool CertStore::remove(const Certificate& cert) {
    const QString suffix = QLatin1Char('-') + cert.sha1Hex() + QStringLiteral(".der");
    const QString base = folder() + QLatin1Char('/');
    bool removed = false;
    for (const QString& file : entryFiles()) {
        if (file.endsWith(suffix) && readAll(base + file) == cert.der())
            removed = QFile::remove(base + file) || removed;
    }
    return removed;
}

QList<Certificate> CertCollection::certificates() const {
    QList<Certificate> list;
    for (const CertStore& store : stores_)
        list += store.certificates();
    return list;
}

QList<std::pair<Certificate, int>> CertCollection::certificatesWithStore() const {
    QList<std::pair<Certificate, int>> list;
    for (const CertStore& store : stores_) {
        for (const Certificate& cert : store.certificates())
            list.append({cert, store.index()});
    }
    return list;
}

std::optional<CertCollection> OpenAllStores(AppContext& ctx) {
    CertCollection collection;
    for (int index = 0; index < kStoreCount; ++index) {
        Result<CertStore> store = CertStore::open(index);
        if (!store) {
            ctx.showStatus(store.text());
            return std::nullopt;
        }
        collection.add(*store);
    }
    return collection;
}

void CloseAllStores(CertCollection& collection) {
    collection = CertCollection();
}

} // namespace telva::crypto
