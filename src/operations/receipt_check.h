#pragma once

#include "app/result.h"

#include <QByteArray>
#include <QString>

namespace telva {
struct AppContext;
}

namespace telva::crypto {

// A receipt that passed the check.
struct CheckedReceipt {
    QString archivePath;  // the receipt archive written beside the receipt (123.zip)
    QByteArray pageBytes; // its receipt page (123.htm) as stored; empty when there is none
    QString page;         // the page as text
    QString signer;       // who signed it: name, and organisation when known
};

// The receipt check: reads the receipt file, decrypts it with a key held for a
// certificate in any of the eight stores, verifies its first signer with the certificate
// installed for that signer, writes the signed content (a ZIP archive) beside the receipt
// file with the extension ".zip", and reads the receipt page from it.
// Every failure has been shown when this returns (one status text, or the error box for
// a damaged archive); on success nothing is shown and the status line stays as it was.
[[nodiscard]] Result<CheckedReceipt> CheckReceipt(AppContext& ctx, const QString& receiptPath);

} // namespace telva::crypto
