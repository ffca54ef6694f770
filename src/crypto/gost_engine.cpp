#include "crypto/gost_engine.h"

#include "crypto/ossl.h"

#include <QByteArray>
#include <QString>
#include <cstdlib>
#include <mutex>

#include <openssl/engine.h>
#include <openssl/err.h>

namespace telva::crypto {

namespace {

ENGINE* g_engine = nullptr;
QString g_loadError;

constexpr const char* kCryptoProA = "id-Gost28147-89-CryptoPro-A-ParamSet";

void load() {
    // The environment would override the parameter set process-wide; the fund's side
    // expects CryptoPro-A whatever the machine says.
    unsetenv("CRYPT_PARAMS");
    OPENSSL_init_crypto(OPENSSL_INIT_LOAD_CRYPTO_STRINGS | OPENSSL_INIT_ADD_ALL_CIPHERS |
                            OPENSSL_INIT_ADD_ALL_DIGESTS,
                        nullptr);
    ENGINE_load_builtin_engines();
    ENGINE* e = ENGINE_by_id("gost");
    if (!e) {
        // Not found through the default search path: load the shared object directly, from
        // the folder OpenSSL was told to search, else from where the package puts it.
        const char* folder = std::getenv("OPENSSL_ENGINES");
        const QByteArray path =
            QByteArray(folder && *folder ? folder : TELVA_GOST_ENGINE_DIR) + "/gost.so";
        ENGINE* dyn = ENGINE_by_id("dynamic");
        if (dyn && ENGINE_ctrl_cmd_string(dyn, "SO_PATH", path.constData(), 0) &&
            ENGINE_ctrl_cmd_string(dyn, "ID", "gost", 0) &&
            ENGINE_ctrl_cmd_string(dyn, "LOAD", nullptr, 0)) {
            e = dyn;
        } else if (dyn) {
            ENGINE_free(dyn);
        }
    }
    if (!e) {
        takeOpenSslError();
        g_loadError = gostEngineMissingText();
        return;
    }
    if (!ENGINE_init(e)) {
        g_loadError =
            QStringLiteral("Не удалось инициализировать модуль ГОСТ: ") + takeOpenSslError();
        ENGINE_free(e);
        return;
    }
    ENGINE_ctrl_cmd_string(e, "CRYPT_PARAMS", kCryptoProA, 0);
    ENGINE_set_default(e, ENGINE_METHOD_ALL);
    ENGINE_free(e); // the functional reference from ENGINE_init keeps it alive
    g_engine = e;
}

} // namespace

QString gostEngineMissingText() {
    return QStringLiteral("Не найден модуль ГОСТ для OpenSSL (gost.so): без него нельзя ни "
                          "подписать, ни зашифровать отчет. Установите пакет "
                          "libengine-gost-openssl (sudo apt install libengine-gost-openssl).");
}

Status ensureGostEngine() {
    static std::once_flag once;
    std::call_once(once, load);
    if (!g_engine)
        return Status::fail(g_loadError);
    return {};
}

ENGINE* gostEngine() {
    return g_engine;
}

QString takeOpenSslError() {
    QString text;
    unsigned long code = 0;
    while ((code = ERR_get_error()) != 0) {
        char buffer[256];
        ERR_error_string_n(code, buffer, sizeof buffer);
        if (!text.isEmpty())
            text += QStringLiteral("; ");
        text += QString::fromLatin1(buffer);
    }
    return text;
}

} // namespace telva::crypto
