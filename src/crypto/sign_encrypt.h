#pragma once

#include "app/result.h"

#include <QString>

namespace telva {
struct AppContext;
}

namespace telva::crypto {

// Signs the input file's bytes with the personal certificate (ctx.settings.priv) and
// encrypts the signed message for the fund certificate (ctx.settings.pub) into the output
// file, with the provider ctx.settings.provName / provType. Asks the four validity
// questions through the frontend (Yes aborts with an empty text); otherwise the outcome
// carries the one text for the status line. The input is read once, in blocks, whatever its size;
// meanwhile the frontend sees the percentage done, keeps painting and may cancel. Succeeds only
// when the output file was written completely; otherwise nothing is left at the output's name.
//
// The message (DER): enveloped-data, one key-transport recipient (issuer and serial),
// GOST 28147-89 (1.2.643.2.2.21, CryptoPro-A parameters), around the DER signed-data with
// the input attached, only the personal certificate, no CRLs, one version-1 signer with
// the digest of its key (GOST R 34.11-94, 1.2.643.2.2.9, for GOST R 34.10-2001; Streebog-256
// or -512, 1.2.643.7.1.1.2.2 or .3, for GOST R 34.10-2012) and no signed or unsigned
// attributes. The key transport follows the fund certificate's key.
// An output naming the input itself (the same path, a link to it or a second name of the
// same file) is refused with outputIsInputText() before anything is written.
Result<QString> SignAndEncrypt(AppContext& ctx, const QString& inputFile,
                               const QString& outputFile);

QString outputIsInputText(const QString& outputFile);

} // namespace telva::crypto
