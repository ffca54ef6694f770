#pragma once

#include "app/result.h"
#include "crypto/certificate.h"

#include <QString>

namespace telva::crypto {

// The GOST signature key kinds the program signs and encrypts with.
enum class KeyAlgorithm { Other, Gost2001, Gost2012_256, Gost2012_512 };

// The kind of the certificate's public key, read from its algorithm identifier (so also for
// a key the engine cannot decode).
KeyAlgorithm KeyAlgorithmOf(const Certificate& cert);

// "ГОСТ Р 34.10-2001", "ГОСТ Р 34.10-2012 (256)", "ГОСТ Р 34.10-2012 (512)"; empty for others.
QString KeyAlgorithmName(KeyAlgorithm algorithm);

// Whether the engine can work with the certificate's public key; otherwise a sentence
// naming the algorithm and the reason, for the moment the certificate is about to be used.
Status CheckCertificateKey(const Certificate& cert);

} // namespace telva::crypto
