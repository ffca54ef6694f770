#pragma once

#include <QList>
#include <QString>

namespace telva::crypto {

// Algorithm ids of the three GOST algorithms a provider must implement.
inline constexpr quint32 kAlgGostR341194 = 0x801E;   // hash
inline constexpr quint32 kAlgGostR34102001 = 0x2E23; // signature
inline constexpr quint32 kAlgGost28147 = 0x661E;     // cipher
// The provider type of GOST R 34.10-2001 providers.
inline constexpr int kProvTypeGost2001 = 75;

// A cryptographic backend as the system lists it: a loaded OpenSSL engine, with the ids
// of the algorithms it implements (one id per digest, key method and cipher it offers).
struct ProviderBackend {
    QString name;
    int type = 0;
    bool acquirable = false; // whether a context can be opened on it
    QList<quint32> algorithms;
};

struct ProviderEntry {
    QString name;
    int type = 0;
};

// What the provider combo box shows: the entries in enumeration order and the index to
// select (-1: none).
struct ProviderList {
    QList<ProviderEntry> entries;
    int selected = -1;
};

// The loaded backends, in the order OpenSSL lists them.
QList<ProviderBackend> EnumProviderBackends();

// Keeps the acquirable backends that report exactly three of the GOST ids (a backend
// reporting one of them twice is left out); selects the last entry whose name equals
// savedProvName exactly, or else the only entry when there is one.
ProviderList FillProviderList(const QList<ProviderBackend>& backends, const QString& savedProvName);
ProviderList FillProviderList(const QString& savedProvName);

} // namespace telva::crypto
