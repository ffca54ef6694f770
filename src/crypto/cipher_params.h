#pragma once

#include "app/result.h"
#include "crypto/ossl.h"

namespace telva::crypto {

// Checks the content cipher's parameters of an enveloped-data before CMS_dataInit hands
// them to the GOST engine, which does not survive damaged GOST 28147-89 parameters. Other
// messages and other ciphers pass unchanged; the failure's text is a lower-case clause.
Status checkContentCipherParameters(CMS_ContentInfo* cms);

} // namespace telva::crypto
