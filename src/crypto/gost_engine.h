#pragma once

#include "app/result.h"

namespace telva::crypto {

// Loads and initialises the GOST engine once per process, from the program itself and
// whatever the system openssl.cnf says, and makes it the default for every method.
// The content-encryption parameter set is pinned to CryptoPro-A (1.2.643.2.2.31.1).
[[nodiscard]] Status ensureGostEngine();

// The failure when the engine is not installed; it says which package brings it.
QString gostEngineMissingText();

// The last OpenSSL error as readable text (and clears the queue); empty when none.
QString takeOpenSslError();

} // namespace telva::crypto
