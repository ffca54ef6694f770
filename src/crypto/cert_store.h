#pragma once

#include "app/result.h"
#include "crypto/certificate.h"

#include <QList>
#include <QString>

namespace telva {
struct AppContext;
}

namespace telva::crypto {

// The eight certificate stores of the current user. Settings and the terminal's --store keep
// a store as its index.
enum class Store { My, Root, Trust, CA, AuthRoot, TrustedPublisher, TrustedPeople, AddressBook };
inline constexpr int kStoreCount = 8;

struct StoreInfo {
    const char* name;    // the store's folder under certstore/
    const char* caption; // the chooser's tab
};
// By index, in the order of Store.
inline constexpr StoreInfo kStores[kStoreCount] = {
    {"My", "Личные"},
    {"Root", "Доверенные корневые центры сертификации"},
    {"Trust", "Доверительные отношения в предприятии"},
    {"CA", "Промежуточные центры сертификации"},
    {"AuthRoot", "Сторонние корневые центры сертификации"},
    {"TrustedPublisher", "Доверенные издатели"},
    {"TrustedPeople", "Доверенные лица"},
    {"AddressBook", "Другие пользователи"},
};

constexpr int toIndex(Store store) {
    return static_cast<int>(store);
}
// The error code of an add that finds the same certificate already in the store.
inline constexpr quint32 kCryptEExists = 0x80092005;

// The store's name, or empty text for an index outside 0..7.
QString storeName(int index);
// $XDG_DATA_HOME/KVB/certstore
QString certStoreRoot();

// One store: the folder certstore/<Name>/ holding one DER file per certificate, named
// "<sequence>-<sha1>.der" so that listing by name gives the order of addition. Every
// call reads the folder anew; nothing is cached between calls.
class CertStore {
public:
    // The store of that index, its folder created when missing. Fails with
    // "Не удалось открыть хранилище." for an index outside 0..7 or a folder that cannot
    // be made.
    static Result<CertStore> open(int index);

    int index() const { return index_; }
    QString name() const { return storeName(index_); }
    QString folder() const;

    // The certificates in order of addition; unreadable files are skipped.
    QList<Certificate> certificates() const;
    bool contains(const Certificate& cert) const;
    // Adds as a new entry, written atomically. When the store already holds the same
    // certificate the result fails with code kCryptEExists (and nothing is written);
    // other failures give "Не удалось добавить сертификат в хранилище.".
    Status add(const Certificate& cert);
    // Removes every entry with the same DER; false when there was none.
    bool remove(const Certificate& cert);

private:
    explicit CertStore(int index) : index_(index) {}
    QStringList entryFiles() const;

    int index_ = 0;
};

// Several stores seen as one: the certificates of the members in member order.
class CertCollection {
public:
    void add(const CertStore& store) { stores_.append(store); }
    const QList<CertStore>& stores() const { return stores_; }
    QList<Certificate> certificates() const;
    // Each certificate with the index of the store it was found in.
    QList<std::pair<Certificate, int>> certificatesWithStore() const;

private:
    QList<CertStore> stores_;
};

// The collection of all eight stores. On failure shows "Не удалось открыть хранилище."
// through the context's status line and gives nothing.
std::optional<CertCollection> OpenAllStores(AppContext& ctx);
// Releases what OpenAllStores opened. Stores hold no open handle between calls here, so
// this only empties the collection; callers still pair it with OpenAllStores.
void CloseAllStores(CertCollection& collection);

} // namespace telva::crypto
