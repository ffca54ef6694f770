#pragma once

#include "crypto/certificate.h"

#include <QString>

namespace telva::crypto {

// Private keys bound to certificates: PKCS#8 PEM files in $XDG_DATA_HOME/KVB/keys/,
// named "<sha1 of the certificate's DER>.pem", mode 0600 in a 0700 folder, written
// atomically. A key may be stored password-protected (encrypted PKCS#8).

QString keyStoreFolder();
QString keyFilePath(const Certificate& cert);

// Whether a key file is held for the certificate; asks nothing (no password prompt).
bool HasPrivateKey(const Certificate& cert);

// Removes the key file of the certificate; true when there was one.
bool RemovePrivateKey(const Certificate& cert);

} // namespace telva::crypto
