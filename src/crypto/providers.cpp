#include "crypto/providers.h"

#include "crypto/gost_engine.h"

#include <openssl/engine.h>
#include <openssl/obj_mac.h>

namespace telva::crypto {

namespace {

// Algorithm ids in the style of the platform's ALG_ID: class and type in the high bits,
// a running number below. Only the three GOST ids matter for the list.
quint32 digestId(int nid) {
    switch (nid) {
    case NID_id_GostR3411_94:
        return kAlgGostR341194;
    case NID_id_Gost28147_89_MAC:
        return 0x801F;
    case NID_id_GostR3411_2012_256:
        return 0x8021;
    case NID_id_GostR3411_2012_512:
        return 0x8022;
    default:
        return 0x8000 | (nid & 0xFF);
    }
}

quint32 keyId(int nid) {
    switch (nid) {
    case NID_id_GostR3410_2001:
        return kAlgGostR34102001;
    case NID_id_GostR3410_2001DH:
        return 0xAA24;
    case NID_id_GostR3410_2012_256:
        return 0x2E49;
    case NID_id_GostR3410_2012_512:
        return 0x2E3D;
    default:
        return 0x2000 | (nid & 0xFF);
    }
}

quint32 cipherId(int nid) {
    return nid == NID_id_Gost28147_89 ? kAlgGost28147 : 0x6600 | (nid & 0xFF);
}

template <class Getter> QList<int> nidsOf(ENGINE* e, Getter getter) {
    QList<int> list;
    auto function = getter(e);
    if (!function)
        return list;
    const int* nids = nullptr;
    const int n = function(e, nullptr, &nids, 0);
    for (int i = 0; i < n && nids; ++i)
        list.append(nids[i]);
    return list;
}

ProviderBackend describe(ENGINE* e) {
    ProviderBackend backend;
    backend.name = QString::fromUtf8(ENGINE_get_name(e));
    for (int nid : nidsOf(e, ENGINE_get_digests))
        backend.algorithms.append(digestId(nid));
    const QList<int> keys = nidsOf(e, ENGINE_get_pkey_meths);
    for (int nid : keys)
        backend.algorithms.append(keyId(nid));
    for (int nid : nidsOf(e, ENGINE_get_ciphers))
        backend.algorithms.append(cipherId(nid));
    backend.type = keys.contains(NID_id_GostR3410_2001) ? kProvTypeGost2001 : 1;
    if (ENGINE_init(e)) {
        backend.acquirable = true;
        ENGINE_finish(e);
    }
    return backend;
}

} // namespace

QList<ProviderBackend> EnumProviderBackends() {
    QList<ProviderBackend> list;
    if (!ensureGostEngine())
        return list;
    for (ENGINE* e = ENGINE_get_first(); e; e = ENGINE_get_next(e))
        list.append(describe(e));
    takeOpenSslError();
    return list;
}

ProviderList FillProviderList(const QList<ProviderBackend>& backends,
                              const QString& savedProvName) {
    ProviderList list;
    for (const ProviderBackend& backend : backends) {
        if (!backend.acquirable)
            continue;
        int count = 0;
        for (quint32 id : backend.algorithms) {
            if (id == kAlgGostR341194 || id == kAlgGostR34102001 || id == kAlgGost28147)
                ++count;
        }
        if (count != 3)
            continue;
        list.entries.append({backend.name, backend.type});
        if (backend.name == savedProvName)
            list.selected = int(list.entries.size()) - 1;
    }
    // With one provider to choose from, there is nothing to ask the person.
    if (list.selected < 0 && list.entries.size() == 1)
        list.selected = 0;
    return list;
}

ProviderList FillProviderList(const QString& savedProvName) {
    return FillProviderList(EnumProviderBackends(), savedProvName);
}

ProviderContext::~ProviderContext() {
    if (engine_)
        ENGINE_finish(engine_);
}

std::optional<ProviderContext> AcquireProviderContext(const QString& name, int type) {
    for (const ProviderBackend& backend : EnumProviderBackends()) {
        if (backend.name != name || backend.type != type || !backend.acquirable)
            continue;
        for (ENGINE* e = ENGINE_get_first(); e; e = ENGINE_get_next(e)) {
            if (QString::fromUtf8(ENGINE_get_name(e)) != name)
                continue;
            if (ENGINE_init(e)) {
                ENGINE_free(e); // ENGINE_get_next's structural reference
                return ProviderContext(e);
            }
        }
    }
    takeOpenSslError();
    return std::nullopt;
}

} // namespace telva::crypto
