#pragma once

#include "crypto/ossl.h"

namespace telva::crypto {

// The digest that goes with a GOST signature key: GOST R 34.11-94 for GOST R 34.10-2001,
// Streebog of the key's size for GOST R 34.10-2012; null for any other key.
const EVP_MD* DigestForKey(EVP_PKEY* key);

} // namespace telva::crypto
