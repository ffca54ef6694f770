#pragma once

#include "app/result.h"
#include "operations/submission.h"

#include <QString>

namespace telva {

struct CliSession;

// The steps that several commands share, each as the window would take it.

// Signs and encrypts the input into the output with the saved provider (or the only one).
Result<QString> signReport(CliSession& session, const QString& in, const QString& out);
// Sends the encrypted report with its source; the encrypted file's kind picks the gateway.
Result<SentReport> sendReport(CliSession& session, SubmitInput input);

} // namespace telva
