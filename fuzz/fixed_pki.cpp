#include "fixed_pki.h"

#include "crypto/key_store.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

using namespace telva;
using namespace telva::crypto;

namespace {

[[noreturn]] void give_up(const char* what) {
    std::fprintf(stderr, "fuzz set-up failed: %s\n", what);
    std::abort();
}

QByteArray readVector(const char* name) {
    QFile file(QStringLiteral(TELVA_GOST_VECTORS "/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        give_up(name);
    return file.readAll();
}

} // namespace

QString fuzzProfile() {
    static QTemporaryDir dir;
    static const bool set = [] {
        if (!dir.isValid())
            give_up("temporary folder");
        const QByteArray home = dir.path().toUtf8();
        setenv("HOME", home.constData(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/.config").constData(), 1);
        setenv("XDG_DATA_HOME", (home + "/.local/share").constData(), 1);
        return true;
    }();
    (void)set;
    return dir.path();
}

namespace {

Certificate fixedCertificate() {
    Result<Certificate> cert =
        Certificate::fromAnyEncoding(readVector("rfc4491-gost2001-cert.der"));
    if (!cert)
        give_up("certificate");
    return std::move(*cert);
}

CertStore installFixedCertificate(Store where) {
    fuzzProfile();
    Result<CertStore> store = CertStore::open(int(where));
    if (!store || !store->add(fixedCertificate()))
        give_up("store");
    return std::move(*store);
}

} // namespace

const CertCollection& fundStores() {
    static const CertCollection stores = [] {
        CertCollection collection;
        collection.add(installFixedCertificate(Store::Root));
        return collection;
    }();
    return stores;
}

QDateTime fixedCertValidAt() {
    return QDateTime(QDate(2010, 1, 1), QTime(0, 0), Qt::UTC);
}

const CertCollection& fixedStores() {
    static const CertCollection stores = [] {
        CertStore store = installFixedCertificate(Store::My);
        Result<PKeyPtr> key = ReadPrivateKey(readVector("rfc4491-gost2001-key.pem"), nullptr);
        if (!key || !StorePrivateKey(fixedCertificate(), key->get()))
            give_up("key");
        CertCollection collection;
        collection.add(store);
        return collection;
    }();
    return stores;
}
