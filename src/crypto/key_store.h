#pragma once

#include "app/result.h"
#include "crypto/key_files.h"
#include "crypto/ossl.h"

#include <QString>

namespace telva {
class Frontend;
}

namespace telva::crypto {

// The key bound to the certificate. A protected key asks for its password through the
// frontend (when one is given), naming the certificate's owner. Failures: a certificate whose key
// the engine cannot use (CheckCertificateKey), "Нет закрытого ключа.", "Неверный пароль закрытого
// ключа.", "Пароль закрытого ключа не введен.", "Не удалось прочитать закрытый ключ.". A key file
// that others may read is refused with a text that says how to fix it.
Result<PKeyPtr> LoadPrivateKey(const Certificate& cert, Frontend* frontend);

// Reads a private key from PEM or DER (PKCS#8 plain or encrypted, or a traditional PEM
// key); an encrypted key asks for its password through the frontend. GOST R 34.10-2001 DH
// keys (1.2.643.2.2.98) are relabelled 1.2.643.2.2.19, which the engine can decrypt with.
// *password receives the password that opened it (empty when none was needed).
Result<PKeyPtr> ReadPrivateKey(const QByteArray& bytes, Frontend* frontend,
                               QString* password = nullptr);

// Writes the key for the certificate after checking that they belong together;
// protected with the password when one is given. Replaces an earlier key file.
Status StorePrivateKey(const Certificate& cert, EVP_PKEY* key, const QString& password = {});

// ReadPrivateKey + StorePrivateKey, keeping the key's protection.
Status ImportPrivateKey(const Certificate& cert, const QByteArray& keyBytes, Frontend* frontend);

// What the person is asked for a password of ("закрытого ключа", "файла PKCS#12"); after a
// wrong one the question starts with "Неверный пароль.".
QString keyPasswordPrompt(const QString& ofWhat, bool afterWrongOne);

} // namespace telva::crypto
