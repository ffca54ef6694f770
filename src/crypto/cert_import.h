#pragma once

#include "app/result.h"
#include "crypto/certificate.h"

#include <QByteArray>

namespace telva {
class Frontend;
}

namespace telva::crypto {

// Puts a certificate (DER, PEM or Base64) into the store of that index and, when keyBytes
// is not empty, its private key into the key folder (a protected key asks for its
// password through the frontend). A certificate already in the store counts as imported.
Result<Certificate> ImportCertificate(int storeIndex, const QByteArray& certBytes,
                                      const QByteArray& keyBytes, Frontend* frontend);

// Imports a PKCS#12 file: the certificate that has the key goes into the store of that
// index, its key into the key folder (protected by the file's password), the other
// certificates of the file into "CA". Asks for the password through the frontend when
// the empty one does not open it. Files protected by a scheme the GOST engine cannot
// read are refused with a plain sentence.
Result<Certificate> ImportPkcs12(int storeIndex, const QByteArray& bytes, Frontend* frontend);

// The certificate file the person chose (a PKCS#12 file, or a certificate with its key in
// keyPath when that is not empty) put into the store of that index.
Result<Certificate> ImportCertificateFiles(int storeIndex, const QString& path,
                                           const QString& keyPath, Frontend* frontend);

// Whether the bytes look like a PKCS#12 file.
bool looksLikePkcs12(const QByteArray& bytes);

} // namespace telva::crypto
